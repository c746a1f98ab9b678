#include "RecordText.h"
#include "ZEKSDK.h"
#include "ZekMessages.h"
#include "ZekSearch.h"

#include <QTest>

#include <cstring>

namespace {
// A probe answer put together byte by byte at the offsets device makers are given.
QByteArray handMadeProbeAnswer(quint32 requestId)
{
    QByteArray bytes(204, '\0');
    auto put = [&](int offset, QByteArrayView text) { bytes.replace(offset, text.size(), text.toByteArray()); };
    put(0, "ZEKP");
    bytes[4] = 1;
    bytes[5] = char(0x81);
    qToLittleEndian<quint32>(requestId, bytes.data() + 8);
    put(16, "10.0.0.5");
    put(32, "255.255.0.0");
    put(48, "10.0.0.1");
    put(64, "10.0.0.53");
    put(80, "9.9.9.9");
    put(96, "00:1A:2B:3C:4D:5E");
    put(136, "NVR");
    put(168, "HV-3100");
    qToLittleEndian<quint16>(8001, bytes.data() + 200);
    qToLittleEndian<quint16>(8080, bytes.data() + 202);
    return bytes;
}

QByteArray textAt(const VendorDeviceInfo &info, int offset)
{
    return QByteArray(reinterpret_cast<const char *>(&info) + offset);
}

quint16 portAt(const VendorDeviceInfo &info, int offset)
{
    quint16 port = 0;
    std::memcpy(&port, reinterpret_cast<const char *>(&info) + offset, sizeof port);
    return port;
}
} // namespace

class TestZekMessages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void probeAnswerLandsAtTheCallbackOffsets()
    {
        const auto answer = DecodeZek<ZekProbeAnswer>(handMadeProbeAnswer(77), ZEK_PROBE | ZEK_ANSWER);
        QVERIFY(answer);
        QCOMPARE(quint32(answer->header.request_id), 77u);
        const VendorDeviceInfo info = ToVendorDeviceInfo(*answer);
        QCOMPARE(textAt(info, 0), QByteArray("10.0.0.5"));
        QCOMPARE(portAt(info, 64), quint16(8001));
        QCOMPARE(portAt(info, 68), quint16(8080));
        QCOMPARE(textAt(info, 70), QByteArray("255.255.0.0"));
        QCOMPARE(textAt(info, 92), QByteArray("10.0.0.1"));
        QCOMPARE(textAt(info, 156), QByteArray("00:1A:2B:3C:4D:5E"));
        QCOMPARE(textAt(info, 196), QByteArray("10.0.0.53"));
        QCOMPARE(textAt(info, 260), QByteArray("9.9.9.9"));
        QCOMPARE(textAt(info, 324), QByteArray("NVR"));
        QCOMPARE(textAt(info, 364), QByteArray("HV-3100"));
    }

    void fullWidthTextsEndInsideTheirSlots()
    {
        ZekProbeAnswer answer = *DecodeZek<ZekProbeAnswer>(handMadeProbeAnswer(1), ZEK_PROBE | ZEK_ANSWER);
        std::memset(answer.ip_addr, '1', sizeof answer.ip_addr);
        std::memset(answer.mac_addr, 'M', sizeof answer.mac_addr);
        std::memset(answer.device_model, 'D', sizeof answer.device_model);
        VendorDeviceInfo info;
        std::memset(&info, 'x', sizeof info); // no NUL may come from what was there before
        info = ToVendorDeviceInfo(answer);
        QCOMPARE(QByteArray(info.ip_addr), QByteArray(16, '1'));
        QCOMPARE(QByteArray(info.mac_addr), QByteArray(39, 'M')); // the slot is as wide as the field
        QCOMPARE(QByteArray(info.device_model), QByteArray(32, 'D'));
    }

    void malformedOrForeignDatagramsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        const QByteArray valid = handMadeProbeAnswer(5);
        QByteArray magic = valid;
        magic[0] = 'z';
        QByteArray version = valid;
        version[4] = 2;
        QByteArray type = valid;
        type[5] = 0x01;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("header only") << valid.left(16);
        QTest::newRow("one byte short") << valid.left(203);
        QTest::newRow("one byte long") << valid + '\0';
        QTest::newRow("other magic") << magic;
        QTest::newRow("other version") << version;
        QTest::newRow("other type") << type;
        QTest::newRow("own-family record") << QByteArray(372, '\0');
    }

    void malformedOrForeignDatagramsAreRefused()
    {
        QFETCH(QByteArray, datagram);
        QVERIFY(!DecodeZek<ZekProbeAnswer>(datagram, ZEK_PROBE | ZEK_ANSWER));
    }

    void passwordProof()
    {
        // Also given in the protocol page, for device makers to check their own.
        const QByteArray expected = QByteArray::fromHex(
            "8d1a02a30245faa65408bd30b038a4f492f6d257d889c774297f833df7c2dd43");
        QCOMPARE(ZekPasswordProof(0x01020304, "secret"), expected);
        char proof[ZEK_PROOF_SIZE];
        WriteZekProof(proof, 0x01020304, "secret");
        QVERIFY(ZekProofMatches(proof, 0x01020304, "secret"));
        QVERIFY(!ZekProofMatches(proof, 0x01020305, "secret")); // bound to its request
        QVERIFY(!ZekProofMatches(proof, 0x01020304, "secret2"));
        QVERIFY(!ZekProofMatches(proof, 0x01020304, ""));
    }
};

QTEST_GUILESS_MAIN(TestZekMessages)
#include "tst_zekmessages.moc"
