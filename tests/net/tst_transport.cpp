#include "CTalbrixReceveSocket.h"
#include "CTalbrixSendSocket.h"
#include "CaptureStdout.h"
#include "RecordText.h"
#include "TestNetwork.h"

#include <QJsonObject>
#include <QSet>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

using namespace TestNetwork;

namespace {
void sendSearch(const QString &adapterAddress)
{
    CaptureStdout([&] { CTalbrixSendSocket().SendPacket(adapterAddress, -1, MakeSearchRequest()); });
}
} // namespace

class TestTransport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts");
    }

    void searchRequestOnTheWire()
    {
        DevSim device;
        QVERIFY(device.Start({}));
        QByteArray trace = CaptureStdout([] { CTalbrixSendSocket().SendPacket(kHostAddress1, -1, MakeSearchRequest()); });
        QCOMPARE(trace, QByteArray("trying: socket...\ntrying: setsockopt...\ntrying: sendto...\n"
                                   "trying: closesocket...\nEND"));
        QVERIFY(device.WaitForLog(1));
        const QJsonObject datagram = device.Log().first();
        QCOMPARE(datagram.value(QLatin1String("from")).toString(), kHostAddress1);
        QCOMPARE(datagram.value(QLatin1String("port")).toInt(), 40013);
        QCOMPARE(datagram.value(QLatin1String("size")).toInt(), 371);
        QCOMPARE(datagram.value(QLatin1String("hex")).toString().toLatin1(),
                 (QByteArray::fromHex("03000000") + QByteArray(367, '\0')).toHex());
    }

    void leavesThroughTheChosenAdapterOnly()
    {
        DevSim first(1);
        DevSim second(2);
        QVERIFY(first.Start({}));
        QVERIFY(second.Start({}));

        sendSearch(kHostAddress1);
        QVERIFY(first.WaitForLog(1));
        QThread::msleep(300);
        QCOMPARE(second.Log().size(), 0);

        sendSearch(kHostAddress2);
        QVERIFY(second.WaitForLog(1));
        QCOMPARE(second.Log().first().value(QLatin1String("from")).toString(), kHostAddress2);
        QThread::msleep(300);
        QCOMPARE(first.Log().size(), 1);
    }

    void adapterWithoutAddressStillSends()
    {
        // No usable bind address: the system picks the source (here by the default route).
        DevSim device;
        QVERIFY(device.Start({}));
        sendSearch(QString());
        QVERIFY(device.WaitForLog(1));
        QCOMPARE(device.Log().first().value(QLatin1String("size")).toInt(), 371);
        QCOMPARE(device.Log().first().value(QLatin1String("from")).toString(), kHostAddress1);
    }

    void burstOfRepliesAllReachTheHandler()
    {
        constexpr int kDevices = 1000;
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        QVERIFY(socket.ReceiveBufferSize() >= CTalbrixReceveSocket::kReceiveBufferBytes);

        QSet<QByteArray> macs;
        int datagrams = 0;
        connect(&socket, &CTalbrixReceveSocket::receivePacket, this, [&] {
            char buffer[372];
            if (socket.ReceiveFrom(buffer, sizeof buffer) == CAMERA_INFO_SIZE) {
                ++datagrams;
                macs.insert(ReadText(FromDatagram(QByteArrayView(buffer, sizeof buffer)).mac_addr));
            }
        });

        DevSim device;
        QVERIFY(device.Start({QStringLiteral("--generate"), QString::number(kDevices)}));
        sendSearch(kHostAddress1);
        // Let the whole burst wait in the socket: a single readyRead must still hand over
        // every datagram.
        QThread::msleep(1500);
        QTRY_COMPARE_WITH_TIMEOUT(datagrams, kDevices, 10000);
        QCOMPARE(macs.size(), kDevices);
    }

    void oddDatagramSizesAreReported()
    {
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        QList<qint64> sizes;
        QByteArray firstBytes;
        connect(&socket, &CTalbrixReceveSocket::receivePacket, this, [&] {
            char buffer[372];
            std::memset(buffer, 0, sizeof buffer);
            sizes << socket.ReceiveFrom(buffer, sizeof buffer);
            firstBytes = QByteArray(buffer, sizeof buffer);
        });
        QUdpSocket sender;
        sender.writeDatagram(QByteArray(), QHostAddress::LocalHost, REPLY_PORT);
        sender.writeDatagram(QByteArray(400, 'L'), QHostAddress::LocalHost, REPLY_PORT);
        QTRY_COMPARE(sizes, QList<qint64>({0, 400}));
        QCOMPARE(firstBytes, QByteArray(372, 'L'));
        QVERIFY(socket.IsOpen());
    }

    void ownerThatReadsNothingDoesNotSpin()
    {
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        int signals = 0;
        auto lazy = connect(&socket, &CTalbrixReceveSocket::receivePacket, this, [&] { ++signals; });
        QUdpSocket sender;
        sender.writeDatagram(QByteArray(372, '\0'), QHostAddress::LocalHost, REPLY_PORT);
        QTRY_COMPARE(signals, 1);
        disconnect(lazy);
        char buffer[372];
        QCOMPARE(socket.ReceiveFrom(buffer, sizeof buffer), qint64(372));
    }

    void secondProgramOnTheReplyPort()
    {
        DevSim holder(0);
        QVERIFY(holder.Start({QStringLiteral("--device-port"), QString::number(REPLY_PORT)}));
        CTalbrixReceveSocket blocked;
        QVERIFY(!blocked.Create());
        holder.Stop();
        CTalbrixReceveSocket free;
        QVERIFY(free.Create());
        QVERIFY(free.IsOpen());
    }

    void recreatedOnTheSamePort()
    {
        auto first = std::make_unique<CTalbrixReceveSocket>();
        QVERIFY(first->Create());
        first->Close();
        first.reset();
        CTalbrixReceveSocket second;
        QVERIFY(second.Create());
    }
};

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
