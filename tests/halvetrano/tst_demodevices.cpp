#include "CTalbrixReceveSocket.h"
#include "CTalbrixSendSocket.h"
#include "CaptureStdout.h"
#include "RecordText.h"
#include "TestNetwork.h"

#include <QProcess>
#include <QSet>
#include <QTest>

using namespace TestNetwork;

// The demo's devices, as scripts/demo.sh plays them: each answers from its own address, the
// vendor devices too, and can be reached there. And a large site of the vendor family, found
// whole through a stock host's buffers.
class TestDemoDevices : public QObject
{
    Q_OBJECT

    DevSim m_sim;

    // The password, when given, goes in through standard input, as zekcli reads it.
    static QByteArray zekcli(const QStringList &arguments, const QString &preload = {}, const QByteArray &password = {})
    {
        QProcess process;
        if (!preload.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("LD_PRELOAD"), preload);
            // A sanitized build would refuse a library loaded before its runtime.
            environment.insert(QStringLiteral("ASAN_OPTIONS"), environment.value(QStringLiteral("ASAN_OPTIONS"))
                                                                   + QStringLiteral(":verify_asan_link_order=0"));
            process.setProcessEnvironment(environment);
        }
        process.start(QStringLiteral(CORVANE_ZEKCLI), arguments);
        process.write(password + '\n');
        process.closeWriteChannel();
        if (!process.waitForFinished(10000))
            return {};
        return process.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts");
        QVERIFY(m_sim.Start(
            {QStringLiteral("--devices"), QStringLiteral(CORVANE_DEMO_DEVICES), QStringLiteral("--own-addresses")}));
    }

    void vendorDevicesHaveAddressesOfTheirOwn()
    {
        const QList<QByteArray> lines = zekcli({QStringLiteral("search"), QStringLiteral("1000")}).split('\n');
        QSet<QByteArray> ips;
        for (const QByteArray &line : lines) {
            if (line.startsWith("ip="))
                ips.insert(line.mid(3, line.indexOf(' ') - 3));
        }
        QCOMPARE(ips, QSet<QByteArray>({"10.77.1.31", "10.77.1.32", "10.77.1.33", "10.77.1.34"}));
        // Reached at its own address, it answers from it (the library takes nothing else).
        QCOMPARE(zekcli({QStringLiteral("login"), QStringLiteral("10.77.1.33"), QStringLiteral("8003"), QString()}, {},
                        "admin"),
                 QByteArray("login: 0\nresult: 0\n"));
    }

    void aLargeSitesVendorSearchFindsEveryDevice()
    {
        // 5,000 answers at once, each from its own address, to buffers capped as on a stock
        // host: about 330 answers each.
        DevSim site(2);
        QVERIFY(
            site.Start({QStringLiteral("--generate-vendor"), QStringLiteral("5000"), QStringLiteral("--first-ip"),
                        QStringLiteral("10.78.0.1"), QStringLiteral("--own-addresses"), QStringLiteral("--shuffle")}));
        const QList<QByteArray> lines =
            zekcli({QStringLiteral("search"), QStringLiteral("3000")}, QStringLiteral(CORVANE_STOCK_HOST)).split('\n');
        QSet<QByteArray> macs;
        for (const QByteArray &line : lines) {
            const qsizetype at = line.indexOf(" mac=");
            if (at >= 0 && line.contains("ip=10.78."))
                macs.insert(line.mid(at + 5, 17));
        }
        QCOMPARE(macs.size(), 5000);
    }

    void ownFamilyAnswersComeFromTheDevicesAddresses()
    {
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        QHash<QByteArray, QString> senders;
        connect(&socket, &CTalbrixReceveSocket::receivePacket, this, [&] {
            char buffer[CAMERA_INFO_SIZE];
            QString sender;
            const qint64 size = socket.ReceiveFrom(buffer, sizeof buffer, &sender);
            if (size >= CAMERA_INFO_WIRE_SIZE && size <= CAMERA_INFO_SIZE)
                senders.insert(ReadText(FromDatagram(QByteArrayView(buffer, size)).ip_addr), sender);
        });
        CaptureStdout([] { CTalbrixSendSocket().SendPacket(kHostAddress1, -1, MakeSearchRequest()); });
        QTRY_COMPARE(senders.size(), 8);
        for (auto it = senders.cbegin(); it != senders.cend(); ++it)
            QCOMPARE(it.value(), QString::fromLatin1(it.key()));
    }
};

QTEST_GUILESS_MAIN(TestDemoDevices)
#include "tst_demodevices.moc"
