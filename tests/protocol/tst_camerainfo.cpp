#include "CCameraInfoObj.h"
#include "CameraInfo.h"
#include "RecordText.h"

#include <QTest>

#include <cstring>

class TestCameraInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void searchRequestOnTheWire()
    {
        const QByteArray wire = ToDatagram(MakeSearchRequest());
        QCOMPARE(wire.size(), 371);
        QCOMPARE(wire, QByteArray::fromHex("03000000") + QByteArray(367, '\0'));
    }

    void integersAreLittleEndian()
    {
        CameraInfo info{};
        info.header.cmd = CMD_SET_NETWORK;
        info.header.result = -1;
        info.dhcp = 1;
        info.web_port = 80;
        info.media_port = 0x1234;
        info.https = 1;
        const auto *bytes = reinterpret_cast<const unsigned char *>(&info);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes), 8).toHex(), QByteArray("05000000ffffffff"));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes + 228), 4).toHex(), QByteArray("01000000"));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes + 360), 2).toHex(), QByteArray("5000"));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes + 364), 2).toHex(), QByteArray("3412"));
        QCOMPARE(bytes[370], 1);
    }

    void datagramRoundTrip()
    {
        QByteArray full(372, '\0');
        for (int i = 0; i < full.size(); ++i)
            full[i] = static_cast<char>(i * 7 + 1);
        const CameraInfo info = FromDatagram(full);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&info), 372), full);
        // Only the first 371 bytes travel back.
        QCOMPARE(ToDatagram(info), full.left(371));

        // A short datagram is zero-filled to a whole record, a long one cut to it.
        const CameraInfo shortInfo = FromDatagram(full.left(100));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&shortInfo), 372), full.left(100) + QByteArray(272, '\0'));
        const CameraInfo longInfo = FromDatagram(full + QByteArray(50, 'z'));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&longInfo), 372), full);
        const CameraInfo empty = FromDatagram(QByteArrayView());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&empty), 372), QByteArray(372, '\0'));
    }

    void readingStopsAtTheFieldsEnd()
    {
        CameraInfo info{};
        std::memset(info.mac_addr, 'M', sizeof info.mac_addr); // no NUL: the next field follows
        std::memset(info.model_name, 'N', sizeof info.model_name);
        QCOMPARE(ReadText(info.mac_addr), QByteArray(24, 'M'));

        WriteText(info.model_name, "TC-100");
        QCOMPARE(ReadText(info.model_name), QByteArray("TC-100"));
        QCOMPARE(FieldString(info.model_name), QStringLiteral("TC-100"));
    }

    void writingCutsAndKeepsTheRest()
    {
        char field[8];
        std::memset(field, 'x', sizeof field);
        WriteText(field, "ab");
        QCOMPARE(QByteArray(field, 8), QByteArray("ab\0xxxxx", 8));

        WriteText(field, "0123456789");
        QCOMPARE(QByteArray(field, 8), QByteArray("0123456\0", 8));

        std::memset(field, 'x', sizeof field);
        WriteText(field, "");
        QCOMPARE(QByteArray(field, 8), QByteArray("\0xxxxxxx", 8));

        CameraInfo info{};
        std::memset(info.subnet_mask, 'y', sizeof info.subnet_mask);
        SetFieldString(info.ip_addr, QString(40, QLatin1Char('9')));
        QCOMPARE(ReadText(info.ip_addr), QByteArray(31, '9'));
        QCOMPARE(info.subnet_mask[0], 'y');
    }

    void vendorPasswordUsesThe32BytesBeforeTheMac()
    {
        CameraInfo info{};
        WriteText(info.mac_addr, "00:11:22:33:44:55");
        SetVendorPassword(info, QByteArray(40, 'p'));
        QCOMPARE(VendorPassword(info), QByteArray(31, 'p'));
        QCOMPARE(ReadText(info.mac_addr), QByteArray("00:11:22:33:44:55"));
        SetVendorPassword(info, "secret");
        QCOMPARE(VendorPassword(info), QByteArray("secret"));
    }

    void resultMessages()
    {
        QCOMPARE(ResultMessage(RESULT_OK), "Apply");
        QCOMPARE(ResultMessage(RESULT_FAILED), "Failed");
        QCOMPARE(ResultMessage(RESULT_INVALID_ADDRESS), "Failed. Invalid address");
        QCOMPARE(ResultMessage(RESULT_INVALID_PORT), "Failed. Invalid port");
        QCOMPARE(ResultMessage(RESULT_INVALID_CONFIG), "Failed. Invalid config");
        QCOMPARE(ResultMessage(RESULT_LOGIN_FAILED), "Failed. login failed");
        QCOMPARE(ResultMessage(6), nullptr);
        QCOMPARE(ResultMessage(-1), nullptr);
    }

    void familyIsTheExactMakerName()
    {
        CameraInfo info{};
        WriteText(info.manufacturer, "Halvetrano");
        QVERIFY(IsVendorFamily(info));
        WriteText(info.manufacturer, "halvetrano");
        QVERIFY(!IsVendorFamily(info));
        WriteText(info.manufacturer, "Halvetrano ");
        QVERIFY(!IsVendorFamily(info));
    }

    void deviceObjectCopiesTheWholeRecord()
    {
        CameraInfo info = FromDatagram(QByteArray(372, '\x5a'));
        const CCameraInfoObj device(info);
        QCOMPARE(device.m_strMaker, QStringLiteral("Talbrixonics"));
        QCOMPARE(std::memcmp(&device.m_CameraInfo, &info, sizeof info), 0);
    }
};

QTEST_APPLESS_MAIN(TestCameraInfo)
#include "tst_camerainfo.moc"
