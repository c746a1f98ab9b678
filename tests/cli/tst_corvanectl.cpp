#include "CHalvetranoDlg.h"
#include "CSplashMsgDlg.h"
#include "DeviceListFormat.h"
#include "DialogHarness.h"
#include "ProgramRun.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

using namespace TestNetwork;
using namespace Qt::Literals::StringLiterals;
using D = CCorvaneDlg;

namespace {
const QString kOwn1 = u"00:1A:2B:3C:4D:01"_s;
const QString kOwn2 = u"00:1A:2B:3C:4D:02"_s;
const QString kOwn3 = u"00:1A:2B:3C:4D:03"_s;
const QString kVendor1 = u"5C:F2:07:00:10:01"_s;
const QString kPassword = u"S3cret-Pw"_s;

QString own(const QString &mac, const QString &ip, const QString &extra = {})
{
    return u"mac=%1,ip=%2,gateway=10.77.1.1,dns=10.77.1.1,password=%3"_s.arg(mac, ip, kPassword) + extra;
}

QString vendor(const QString &mac, int mediaPort)
{
    return u"family=vendor,mac=%1,ip=10.77.1.2,mediaPort=%2,userId=,password=%3"_s.arg(mac).arg(mediaPort).arg(
        kPassword);
}

// ONVIF device n at 10.77.1.4n, with its MAC announced in a scope.
QString onvif(int n, const QString &auth, const QString &extra = {})
{
    return u"family=onvif,mac=02:20:00:00:00:0%1,ip=10.77.1.4%1,gateway=10.77.1.1,dns=10.77.1.1,userId=admin,"
           "password=%2,onvifAuth=%3,serial=SN%1,macScope=1"_s.arg(n)
               .arg(kPassword, auth)
           + extra;
}

QStringList devices(const QStringList &keyLists)
{
    QStringList arguments;
    for (const QString &keys : keyLists)
        arguments << u"--device"_s << keys;
    return arguments;
}

using CtlResult = ProgramRun;

// Runs corvanectl to its end; the password, when given, through standard input.
CtlResult runCtl(const QStringList &arguments, const QByteArray &input = {}, int timeoutMs = 60000)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"CORVANE_PASSWORD"_s);
    return RunProgram(QStringLiteral(CORVANECTL), arguments, input, timeoutMs, environment);
}

QStringList withPassword(QStringList arguments)
{
    return arguments << u"--password-file"_s << u"-"_s;
}

QList<QJsonObject> jsonLines(const QByteArray &out)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError)
            return {};
        objects << document.object();
    }
    return objects;
}

QSet<QString> macsOf(const QList<QJsonObject> &objects)
{
    QSet<QString> macs;
    for (const QJsonObject &object : objects)
        macs << object.value("mac"_L1).toString();
    return macs;
}

QJsonObject deviceIn(const QList<QJsonObject> &objects, const QString &mac)
{
    for (const QJsonObject &object : objects) {
        if (object.value("mac"_L1).toString() == mac)
            return object;
    }
    return {};
}

// Vendor network changes: message type 6 after the magic and version.
int vendorChanges(const DevSim &sim)
{
    int count = 0;
    for (const QByteArray &datagram : ReceivedDatagrams(sim, "vendor"_L1))
        count += datagram.startsWith(QByteArray("ZEKP\x01\x06", 6)) ? 1 : 0;
    return count;
}

// The next line a running corvanectl prints, as JSON; empty when none came in time.
QJsonObject nextJsonLine(QProcess &process, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!process.canReadLine() && !deadline.hasExpired())
        process.waitForReadyRead(100);
    return QJsonDocument::fromJson(process.readLine()).object();
}

QList<QJsonObject> search(const QStringList &extra = {})
{
    const CtlResult result = runCtl(QStringList{u"search"_s, u"-a"_s, u"veth1"_s, u"-o"_s, u"jsonl"_s} + extra);
    if (result.exitCode != 0)
        return {};
    return jsonLines(result.out);
}
} // namespace

class TestCorvaneCtl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void searchListsEveryDeviceOnceInEachFormat()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({own(kOwn1, u"10.77.1.21"_s), own(kOwn2, u"10.77.1.22"_s), vendor(kVendor1, 8001)})
                          << u"--answer-twice"_s));
        const QSet<QString> all{kOwn1, kOwn2, kVendor1};

        const QList<QJsonObject> lines = search();
        QCOMPARE(lines.size(), 3); // answered twice, listed once
        QCOMPARE(macsOf(lines), all);
        QCOMPARE(deviceIn(lines, kVendor1).value("family"_L1).toString(), u"vendor"_s);
        QCOMPARE(deviceIn(lines, kOwn1).value("family"_L1).toString(), u"own"_s);
        QCOMPARE(deviceIn(lines, kOwn1).value("url"_L1).toString(), u"http://10.77.1.21"_s);

        const CtlResult csv = runCtl({u"search"_s, u"-a"_s, u"10.77.1.1"_s, u"-o"_s, u"csv"_s});
        QCOMPARE(csv.exitCode, 0);
        const QList<CsvRow> rows = ReadCsv(csv.out);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.front().cells.mid(0, 3), QStringList({u"family"_s, u"mac"_s, u"ip"_s}));
        QSet<QString> csvMacs;
        for (const CsvRow &row : rows.mid(1))
            csvMacs << row.cells.value(1);
        QCOMPARE(csvMacs, all);

        const CtlResult json = runCtl({u"search"_s, u"-a"_s, u"veth1"_s, u"-o"_s, u"json"_s});
        QCOMPARE(json.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(json.out).array().size(), 3);

        QCOMPARE(macsOf(search({u"--family"_s, u"own"_s})), QSet<QString>({kOwn1, kOwn2}));
        QCOMPARE(macsOf(search({u"--family"_s, u"vendor"_s})), QSet<QString>({kVendor1}));
        QVERIFY(csv.err.isEmpty()); // the engine's diagnostics stay out of both streams
    }

    void oddTextsStayValid()
    {
        DevSim sim;
        // Latin-1 bytes, a comma, quotes and a line break; and --malformed nonul: every text
        // field filled to its width without a NUL.
        const QString odd = own(kOwn1, u"10.77.1.21"_s)
                            + u",model=hex:%1,manufacturer=hex:%2"_s.arg(
                                QString::fromLatin1(QByteArray("Dome, \"outdoor\"\nB").toHex()),
                                QString::fromLatin1(QByteArray("Caf\xe9 \xff").toHex()));
        QVERIFY(sim.Start(devices({odd}) << u"--malformed"_s << u"nonul"_s));
        const QList<QJsonObject> lines = search({u"--family"_s, u"own"_s});
        QCOMPARE(lines.size(), 2);
        const QJsonObject device = deviceIn(lines, kOwn1);
        QCOMPARE(device.value("model"_L1).toString(), u"Dome, \"outdoor\"\nB"_s);
        QCOMPARE(device.value("manufacturer"_L1).toString(), u"Caf\u00e9 \u00ff"_s);
        const QJsonObject noNul = deviceIn(lines, QString(24, u'M'));
        QCOMPARE(noNul.value("model"_L1).toString(), QString(32, u'N'));
        QCOMPARE(noNul.value("manufacturer"_L1).toString(), QString(64, u'F'));

        const CtlResult csv = runCtl({u"search"_s, u"-a"_s, u"veth1"_s, u"--family"_s, u"own"_s, u"-o"_s, u"csv"_s});
        QCOMPARE(csv.exitCode, 0);
        QVERIFY(!QString::fromUtf8(csv.out).contains(QChar::ReplacementCharacter)); // valid UTF-8
        const QList<CsvRow> rows = ReadCsv(csv.out);
        QCOMPARE(rows.size(), 3);
        for (const CsvRow &row : rows)
            QCOMPARE(row.cells.size(), 18); // the ONVIF fields appended
    }

    void setSendsWhatSaveSends()
    {
        // The window's Save and corvanectl set, the same edits to the same device. The device
        // does not move, so both start from the same record.
        const QStringList sim = devices({own(kOwn1, u"10.77.1.21"_s, u",fakeApply=1"_s)});
        QByteArray saved;
        {
            DevSim window;
            QVERIFY(window.Start(sim));
            DialogHarness h;
            h.dialog->OnBnClickedSearch();
            QTRY_VERIFY_WITH_TIMEOUT(h.rowOf(kOwn1.toLatin1()) >= 0, 6000);
            h.dialog->OnNMClickListDevice(h.rowOf(kOwn1.toLatin1()));
            h.setText(D::IDC_EDIT_IP, u"10.77.1.50"_s);
            h.setText(D::IDC_EDIT_SUBNET, u"255.255.0.0"_s);
            h.setText(D::IDC_EDIT_GATEWAY, u"10.77.1.254"_s);
            h.setText(D::IDC_EDIT_DNS, u"10.77.1.253"_s);
            h.setText(D::IDC_EDIT_WEBPORT, u"8081"_s);
            h.setText(D::IDC_EDIT_USERID, u"admin"_s);
            h.setText(D::IDC_EDIT_PASSWORD, kPassword);
            QTest::mouseClick(h.dialog->m_btnSave, Qt::LeftButton);
            QTRY_COMPARE(SetNetworkRequests(window).size(), 1);
            QTRY_COMPARE(h.messages, QStringList({u"Apply"_s}));
            saved = SetNetworkRequests(window).first();
        } // the window lets the reply port go

        DevSim ctl;
        QVERIFY(ctl.Start(sim));
        const CtlResult result = runCtl(withPassword({u"set"_s, kOwn1, u"-a"_s, u"veth1"_s, u"--ip"_s, u"10.77.1.50"_s,
                                                      u"--mask"_s, u"255.255.0.0"_s, u"--gateway"_s, u"10.77.1.254"_s,
                                                      u"--dns"_s, u"10.77.1.253"_s, u"--web-port"_s, u"8081"_s,
                                                      u"--user"_s, u"admin"_s, u"--no-verify"_s}),
                                        kPassword.toUtf8() + '\n');
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray("Apply\n"));
        QCOMPARE(SetNetworkRequests(ctl).size(), 1);
        QCOMPARE(SetNetworkRequests(ctl).first().toHex(), saved.toHex());
        QCOMPARE(ctl.Log().last().value("from"_L1).toString(), kHostAddress1);
    }

    void setChangesOnlyTheGivenFieldsAndChecks()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({own(kOwn1, u"10.77.1.21"_s, u",webPort=81"_s), vendor(kVendor1, 8001)})));
        const CtlResult result = runCtl(withPassword({u"set"_s, kOwn1, u"-a"_s, u"veth1"_s, u"--ip"_s, u"10.77.1.31"_s,
                                                      u"--user"_s, u"admin"_s}),
                                        kPassword.toUtf8());
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray("Apply\nfound at 10.77.1.31\n"));
        const CameraInfo request = FromDatagram(SetNetworkRequests(sim).first());
        QCOMPARE(int(request.web_port), 81); // as the device reported them
        QCOMPARE(int(request.header.cmd), CMD_SET_NETWORK);
        QCOMPARE(ReadText(request.subnet_mask), QByteArray("255.255.255.0"));

        // The vendor device, through the vendor library, with its empty user ID.
        const CtlResult changed = runCtl(withPassword({u"set"_s, kVendor1, u"-a"_s, u"veth1"_s, u"--ip"_s,
                                                       u"10.77.1.2"_s, u"--gateway"_s, u"10.77.1.9"_s}),
                                         kPassword.toUtf8());
        QCOMPARE(changed.exitCode, 0);
        QCOMPARE(changed.out, QByteArray("Apply\nfound at 10.77.1.2\n"));
        QCOMPARE(vendorChanges(sim), 1);
        QCOMPARE(deviceIn(search(), kVendor1).value("gateway"_L1).toString(), u"10.77.1.9"_s);
    }

    void setFailures()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({own(kOwn1, u"10.77.1.21"_s)})));
        const CtlResult wrong = runCtl(withPassword({u"set"_s, kOwn1, u"-a"_s, u"veth1"_s, u"--ip"_s, u"10.77.1.31"_s,
                                                     u"--user"_s, u"admin"_s}),
                                       "wrong\n");
        QCOMPARE(wrong.exitCode, 1);
        QCOMPARE(wrong.out, QByteArray("Failed. login failed\n"));

        const CtlResult unknown = runCtl(withPassword({u"set"_s, u"00:1A:2B:3C:4D:99"_s, u"-a"_s, u"veth1"_s, u"--ip"_s,
                                                       u"10.77.1.31"_s}),
                                         "x\n");
        QCOMPARE(unknown.exitCode, 1);
        QVERIFY(unknown.err.contains("00:1A:2B:3C:4D:99: not found"));
        QCOMPARE(SetNetworkRequests(sim).size(), 1);
    }

    void thePasswordShowsNowhere()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({own(kOwn1, u"10.77.1.21"_s), vendor(kVendor1, 8001)})));
        QTemporaryDir dir;
        QFile file(dir.filePath(u"password"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kPassword.toUtf8() + '\n');
        file.close();
        const QStringList arguments{u"set"_s,        kOwn1,       u"-a"_s,    u"veth1"_s,           u"--ip"_s,
                                    u"10.77.1.31"_s, u"--user"_s, u"admin"_s, u"--password-file"_s, file.fileName(),
                                    u"--verbose"_s};
        const CtlResult result = runCtl(arguments);
        QCOMPARE(result.exitCode, 0);
        CtlResult vendorResult = runCtl(withPassword({u"reboot"_s, kVendor1, u"--verbose"_s}), kPassword.toUtf8());
        QCOMPARE(vendorResult.exitCode, 0);

        const QByteArray digest = QCryptographicHash::hash(kPassword.toUtf8() + '\0', QCryptographicHash::Md5);
        for (const QByteArray &text :
             {result.out, result.err, vendorResult.out, vendorResult.err, arguments.join(u' ').toUtf8()}) {
            QVERIFY(!text.contains(kPassword.toUtf8()));
            QVERIFY(!text.contains(digest));
            QVERIFY(!text.toLower().contains(digest.toHex()));
        }
        // On the wire: the digest at pass_wd of the set-network request, and nothing else.
        const QList<QByteArray> own = ReceivedDatagrams(sim, "own"_L1);
        for (const QByteArray &datagram : own) {
            QVERIFY(!datagram.contains(kPassword.toUtf8()));
            if (datagram.startsWith(QByteArray("\x05\0\0\0", 4)))
                QCOMPARE(datagram.mid(40, 16), digest);
            else
                QVERIFY(!datagram.contains(digest));
        }
        for (const QByteArray &datagram : ReceivedDatagrams(sim, "vendor"_L1)) {
            QVERIFY(!datagram.contains(kPassword.toUtf8())); // the vendor protocol carries a proof only
            QVERIFY(!datagram.contains(digest));
        }
    }

    void applyGoesOnPastABadRow()
    {
        DevSim sim;
        QVERIFY(sim.Start(
            devices({own(kOwn1, u"10.77.1.21"_s), own(kOwn2, u"10.77.1.22"_s), own(kOwn3, u"10.77.1.23"_s)})));
        QTemporaryDir dir;
        const QString plan = dir.filePath(u"plan.csv"_s);
        QFile file(plan);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("mac,ip,user,comment\n"
                   "00:1A:2B:3C:4D:01,10.77.1.41,admin,first\n"
                   "00:1A:2B:3C:4D:02,10.77.1.420,admin,a typo\n"
                   "00:1A:2B:3C:4D:09,10.77.1.49,admin,not there\n"
                   "00:1A:2B:3C:4D:03,10.77.1.43,admin,\n");
        file.close();

        const CtlResult dry = runCtl({u"apply"_s, plan, u"-a"_s, u"veth1"_s, u"--dry-run"_s});
        QCOMPARE(dry.exitCode, 1); // the plan has failing rows
        QVERIFY(dry.out.contains("00:1A:2B:3C:4D:01,\"would send ip 10.77.1.41,"));
        QVERIFY(dry.out.contains("user admin\""));
        QCOMPARE(SetNetworkRequests(sim).size(), 0);
        QCOMPARE(vendorChanges(sim), 0);

        const CtlResult result = runCtl(withPassword({u"apply"_s, plan, u"-a"_s, u"veth1"_s}), kPassword.toUtf8());
        QCOMPARE(result.exitCode, 1);
        const QList<CsvRow> rows = ReadCsv(result.out);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0].cells, QStringList({u"mac"_s, u"result"_s, u"verified"_s}));
        QCOMPARE(rows[1].cells, QStringList({kOwn1, u"Apply"_s, u"found at 10.77.1.41"_s}));
        QCOMPARE(rows[2].cells.value(1), u"ip \"10.77.1.420\" is not an IPv4 address"_s);
        QCOMPARE(rows[3].cells.value(1), u"not found"_s);
        QCOMPARE(rows[4].cells, QStringList({kOwn3, u"Apply"_s, u"found at 10.77.1.43"_s}));
        QCOMPARE(SetNetworkRequests(sim).size(), 2);
    }

    void anEditedListIsAPlan()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({own(kOwn1, u"10.77.1.21"_s), own(kOwn2, u"10.77.1.22"_s)})));
        const CtlResult list = runCtl({u"search"_s, u"-a"_s, u"veth1"_s, u"--family"_s, u"own"_s, u"-o"_s, u"csv"_s});
        QCOMPARE(list.exitCode, 0);
        // What a spreadsheet does: one address edited, everything else written back as read.
        QList<CsvRow> rows = ReadCsv(list.out);
        QByteArray edited;
        for (CsvRow &row : rows) {
            if (row.cells.value(1) == kOwn2)
                row.cells[2] = u"10.77.1.62"_s;
            edited += CsvLine(row.cells);
        }
        QTemporaryDir dir;
        QFile file(dir.filePath(u"plan.csv"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(edited);
        file.close();
        const CtlResult result = runCtl(withPassword({u"apply"_s, file.fileName(), u"-a"_s, u"veth1"_s, u"--user"_s,
                                                      u"admin"_s}),
                                        kPassword.toUtf8());
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.contains("00:1A:2B:3C:4D:02,Apply,found at 10.77.1.62\n"));
        // A request may restart a device's network: the unedited one gets none.
        QVERIFY(result.out.contains("00:1A:2B:3C:4D:01,unchanged,\n"));
        QCOMPARE(SetNetworkRequests(sim).size(), 1);

        // --force sends to both; jsonl gives a record a device with the check's result.
        const CtlResult forced = runCtl(withPassword({u"apply"_s, file.fileName(), u"-a"_s, u"veth1"_s, u"--user"_s,
                                                      u"admin"_s, u"--force"_s, u"-o"_s, u"jsonl"_s}),
                                        kPassword.toUtf8() + '\n');
        QCOMPARE(forced.exitCode, 0);
        QCOMPARE(SetNetworkRequests(sim).size(), 3);
        const QList<QJsonObject> records = jsonLines(forced.out);
        QCOMPARE(records.size(), 2);
        const QJsonObject first = deviceIn(records, kOwn1);
        QCOMPARE(first.value("outcome"_L1).toString(), u"changed"_s);
        QCOMPARE(first.value("changes"_L1).toArray(), QJsonArray());
        QCOMPARE(first.value("verified"_L1).toString(), u"found at 10.77.1.21"_s);
        QCOMPARE(first.value("verified_ok"_L1), QJsonValue(true));
        QCOMPARE(first.value("line"_L1).toInt(), 2);
    }

    void setForMachines()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({own(kOwn1, u"10.77.1.21"_s)})));
        const auto set = [](const QStringList &extra, const QByteArray &password) {
            const CtlResult result = runCtl(withPassword(QStringList{u"set"_s, kOwn1, u"-a"_s, u"veth1"_s, u"--user"_s,
                                                                     u"admin"_s, u"-o"_s, u"json"_s}
                                                         + extra),
                                            password + '\n');
            const QJsonArray array = QJsonDocument::fromJson(result.out).array();
            return std::pair{result.exitCode, array.size() == 1 ? array.first().toObject() : QJsonObject()};
        };
        auto [code, record] = set({u"--ip"_s, u"10.77.1.21"_s, u"--mask"_s, u"255.255.255.0"_s}, kPassword.toUtf8());
        QCOMPARE(code, 0);
        QCOMPARE(record.value("outcome"_L1).toString(), u"unchanged"_s);
        QCOMPARE(record.value("verified"_L1), QJsonValue());
        QCOMPARE(SetNetworkRequests(sim).size(), 0);

        std::tie(code, record) = set({u"--ip"_s, u"10.77.1.31"_s, u"--web-port"_s, u"8080"_s}, "wrong");
        QCOMPARE(code, 1);
        QCOMPARE(record.value("outcome"_L1).toString(), u"failed"_s);
        QCOMPARE(record.value("result"_L1).toString(), u"Failed. login failed"_s);
        QCOMPARE(record.value("ok"_L1), QJsonValue(false));

        std::tie(code, record) = set({u"--ip"_s, u"10.77.1.31"_s, u"--web-port"_s, u"8080"_s}, kPassword.toUtf8());
        QCOMPARE(code, 0);
        QCOMPARE(record.value("mac"_L1).toString(), kOwn1);
        QCOMPARE(record.value("outcome"_L1).toString(), u"changed"_s);
        QCOMPARE(record.value("result"_L1).toString(), u"Apply"_s);
        QCOMPARE(record.value("changes"_L1).toArray(), QJsonArray({u"ip"_s, u"web_port"_s}));
        QCOMPARE(record.value("verified"_L1).toString(), u"found at 10.77.1.31"_s);
        QCOMPARE(SetNetworkRequests(sim).size(), 2);

        std::tie(code, record) = set({u"--ip"_s, u"10.77.1.31"_s, u"--force"_s}, kPassword.toUtf8());
        QCOMPARE(code, 0);
        QCOMPARE(record.value("outcome"_L1).toString(), u"changed"_s);
        QCOMPARE(SetNetworkRequests(sim).size(), 3);

        const CtlResult missing = runCtl(withPassword({u"set"_s, u"00:1A:2B:3C:4D:99"_s, u"-a"_s, u"veth1"_s, u"--ip"_s,
                                                       u"10.77.1.32"_s, u"-o"_s, u"json"_s}),
                                         "x\n");
        QCOMPARE(missing.exitCode, 1);
        const QJsonObject none = QJsonDocument::fromJson(missing.out).array().first().toObject();
        QCOMPARE(none.value("result"_L1).toString(), u"not found"_s);
        QCOMPARE(none.value("outcome"_L1).toString(), u"failed"_s);
    }

    void verificationCatchesAnEditThatDidNotStick()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({own(kOwn1, u"10.77.1.21"_s, u",fakeApply=1"_s)})));
        const CtlResult set = runCtl(withPassword({u"set"_s, kOwn1, u"-a"_s, u"veth1"_s, u"--ip"_s, u"10.77.1.51"_s,
                                                   u"--user"_s, u"admin"_s}),
                                     kPassword.toUtf8());
        QCOMPARE(set.exitCode, 1);
        QCOMPARE(set.out, QByteArray("Apply\nnot found at 10.77.1.51: answers at 10.77.1.21\n"));

        QTemporaryDir dir;
        QFile file(dir.filePath(u"plan.csv"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("mac,ip,user\n00:1A:2B:3C:4D:01,10.77.1.52,admin\n");
        file.close();
        const CtlResult apply = runCtl(withPassword({u"apply"_s, file.fileName(), u"-a"_s, u"veth1"_s}),
                                       kPassword.toUtf8());
        QCOMPARE(apply.exitCode, 1);
        QVERIFY(apply.out.endsWith("00:1A:2B:3C:4D:01,Apply,not found at 10.77.1.52: answers at 10.77.1.21\n"));
    }

    void searchThroughEveryAdapter()
    {
        DevSim first(1);
        DevSim second(2);
        QVERIFY(first.Start(devices({own(kOwn1, u"10.77.1.21"_s), own(kOwn2, u"10.99.0.22"_s)})));
        QVERIFY(second.Start(devices({own(kOwn3, u"10.77.2.23"_s)})));
        const CtlResult result = runCtl({u"search"_s, u"-a"_s, u"all"_s, u"--family"_s, u"own"_s, u"-o"_s, u"jsonl"_s});
        QCOMPARE(result.exitCode, 0);
        const QList<QJsonObject> lines = jsonLines(result.out);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(deviceIn(lines, kOwn1).value("adapter"_L1).toString(), u"veth1"_s);
        QCOMPARE(deviceIn(lines, kOwn1).value("reachable"_L1), QJsonValue(true));
        QCOMPARE(deviceIn(lines, kOwn2).value("adapter"_L1).toString(), u"veth1"_s);
        QCOMPARE(deviceIn(lines, kOwn2).value("reachable"_L1), QJsonValue(false));
        QCOMPARE(deviceIn(lines, kOwn3).value("adapter"_L1).toString(), u"veth2"_s);
        QCOMPARE(deviceIn(lines, kOwn3).value("reachable"_L1), QJsonValue(true));
        QCOMPARE(ReceivedDatagrams(first, "own"_L1).first(),
                 QByteArray("\x03\0\0\0", 4) + QByteArray(367, '\0')); // as the window's
        QCOMPARE(first.Log().first().value("from"_L1).toString(), kHostAddress1);
        QCOMPARE(second.Log().first().value("from"_L1).toString(), kHostAddress2);
    }

    void watchTellsChangedAndGone()
    {
        auto sim = std::make_unique<DevSim>();
        QVERIFY(sim->Start(devices({own(kOwn1, u"10.77.1.21"_s)})));
        QProcess watch;
        watch.start(QStringLiteral(CORVANECTL), {u"watch"_s, u"-a"_s, u"veth1"_s, u"--family"_s, u"own"_s, u"--every"_s,
                                                 u"1"_s, u"--wait"_s, u"300"_s, u"-o"_s, u"jsonl"_s});
        QVERIFY(watch.waitForStarted());
        const auto nextEvent = [&watch] { return nextJsonLine(watch, 15000); };
        QJsonObject event = nextEvent();
        QCOMPARE(event.value("event"_L1).toString(), u"found"_s);
        QCOMPARE(event.value("mac"_L1).toString(), kOwn1);
        QVERIFY(!event.value("time"_L1).toString().isEmpty());

        // The same device answers from a new address.
        sim = std::make_unique<DevSim>();
        QVERIFY(sim->Start(devices({own(kOwn1, u"10.77.1.71"_s)})));
        event = nextEvent();
        QCOMPARE(event.value("event"_L1).toString(), u"changed"_s);
        QCOMPARE(event.value("changed"_L1).toArray(), QJsonArray({u"ip"_s, u"url"_s}));
        QCOMPARE(event.value("ip"_L1).toString(), u"10.77.1.71"_s);

        sim.reset(); // it stops answering
        event = nextEvent();
        QCOMPARE(event.value("event"_L1).toString(), u"gone"_s);
        QCOMPARE(event.value("mac"_L1).toString(), kOwn1);
        watch.kill();
        watch.waitForFinished();
    }

    void rebootSilencesAVendorDeviceAndRefusesOwnOnes()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({own(kOwn1, u"10.77.1.21"_s), vendor(kVendor1, 8001)})
                          << u"--reboot-time"_s << u"60000"_s));
        const CtlResult refused = runCtl(withPassword({u"reboot"_s, kOwn1, u"-a"_s, u"veth1"_s}), kPassword.toUtf8());
        QCOMPARE(refused.exitCode, 1);
        QVERIFY(refused.out.contains("own-family device; its protocol has no reboot command"));

        const CtlResult reboot = runCtl(withPassword({u"reboot"_s, kVendor1, u"-a"_s, u"veth1"_s}), kPassword.toUtf8());
        QCOMPARE(reboot.exitCode, 0);
        QCOMPARE(reboot.out, (kVendor1 + u": reboot requested\n"_s).toUtf8());
        QCOMPARE(macsOf(search()), QSet<QString>({kOwn1}));
    }

    void rebootSaysWhatTheDeviceDid()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({vendor(kVendor1, 8001)}) << u"--reboot-time"_s << u"3000"_s));
        const auto reboots = [&sim] {
            int count = 0; // message type 3 after the magic and version
            for (const QByteArray &datagram : ReceivedDatagrams(sim, "vendor"_L1))
                count += datagram.startsWith(QByteArray("ZEKP\x01\x03", 6)) ? 1 : 0;
            return count;
        };
        // A refused login: the request still goes out, as the window sends it, and is reported.
        const CtlResult refused = runCtl(withPassword({u"reboot"_s, kVendor1}), "wrong\n");
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.out, (kVendor1 + u": Failed. login failed\n"_s).toUtf8());
        QCOMPARE(reboots(), 1);
        QCOMPARE(macsOf(search()), QSet<QString>({kVendor1})); // it did not reboot

        // The password as Ansible's run_command(data=...) sends it: with one line end.
        const CtlResult json = runCtl(withPassword(
                                          {u"reboot"_s, kVendor1, u"-o"_s, u"json"_s, u"--wait-back"_s, u"120"_s}),
                                      kPassword.toUtf8() + '\n');
        QCOMPARE(json.exitCode, 0);
        const QJsonArray records = QJsonDocument::fromJson(json.out).array();
        QCOMPARE(records.size(), 1);
        const QJsonObject record = records.first().toObject();
        QCOMPARE(record.value("result"_L1).toString(), u"reboot requested"_s);
        QCOMPARE(record.value("outcome"_L1).toString(), u"back"_s);
        QCOMPARE(record.value("ok"_L1), QJsonValue(true));
        QVERIFY(record.value("back_after_ms"_L1).toDouble() >= 3000); // silent that long at least

        const CtlResult reset = runCtl(withPassword({u"factory-reset"_s, kVendor1, u"--wait-back"_s, u"120"_s}),
                                       kPassword.toUtf8() + '\n');
        QCOMPARE(reset.exitCode, 0);
        QVERIFY(reset.out.startsWith(
            (kVendor1 + u": factory reset requested\n"_s + kVendor1 + u": back after "_s).toUtf8()));

        // Still silent when the time is up. On the first segment too: under Wine the vendor
        // library's search reaches only that one.
        sim.Stop();
        DevSim slow;
        QVERIFY(slow.Start(devices({vendor(u"5C:F2:07:00:10:02"_s, 8002)}) << u"--reboot-time"_s << u"600000"_s));
        const CtlResult late = runCtl(withPassword({u"reboot"_s, u"5C:F2:07:00:10:02"_s, u"--wait-back"_s, u"4"_s}),
                                      kPassword.toUtf8() + '\n');
        QCOMPARE(late.exitCode, 1);
        QVERIFY(late.out.endsWith("5C:F2:07:00:10:02: not back after 4 s\n"));
    }

    void theReplyPortTakenGivesThree()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, REPLY_PORT));
        const CtlResult result = runCtl({u"search"_s, u"-a"_s, u"veth1"_s});
        QCOMPARE(result.exitCode, 3);
        QVERIFY(result.err.contains("cannot be had"));
        QCOMPARE(runCtl({u"search"_s, u"-a"_s, u"eth9"_s}).exitCode, 3); // no such adapter
    }

    void usageErrors()
    {
        const CtlResult none = runCtl({u"search"_s});
        QCOMPARE(none.exitCode, 2); // two adapters: which one?
        QVERIFY(none.err.contains("veth1 (10.77.1.1), veth2 (10.77.2.1)"));
        QCOMPARE(runCtl({u"frobnicate"_s}).exitCode, 2);
        QCOMPARE(runCtl({u"search"_s, u"-a"_s, u"veth1"_s, u"-o"_s, u"xml"_s}).exitCode, 2);
        QCOMPARE(runCtl({u"set"_s, kOwn1, u"-a"_s, u"all"_s}).exitCode, 2);
        const CtlResult noPassword = runCtl({u"set"_s, kOwn1, u"-a"_s, u"veth1"_s, u"--ip"_s, u"10.77.1.5"_s});
        QCOMPARE(noPassword.exitCode, 2); // standard input is no terminal, and nothing else gives one
        QVERIFY(noPassword.err.contains("no password"));
        const CtlResult help = runCtl({u"apply"_s, u"--help"_s});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith("Usage: corvanectl apply [options] PLAN.csv"));
        QVERIFY(help.out.contains("--dry-run"));
        QCOMPARE(runCtl({u"--version"_s}).out, QByteArray("corvanectl 3.0.0.0\n"));
    }

    // ONVIF devices, played by the simulator with each login kind.
    void searchListsExactlyTheOnvifDevices()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({own(kOwn1, u"10.77.1.21"_s), vendor(kVendor1, 8001), onvif(1, u"both"_s),
                                   onvif(2, u"token"_s, u",clockOffset=3600"_s),
                                   onvif(3, u"digest"_s, u",digestAlgorithms=SHA-256 MD5"_s)})));
        const CtlResult result = runCtl(
            {u"search"_s, u"-a"_s, u"veth1"_s, u"--family"_s, u"onvif"_s, u"-o"_s, u"json"_s});
        QCOMPARE(result.exitCode, 0);
        const QJsonArray listed = QJsonDocument::fromJson(result.out).array();
        QSet<QString> ips;
        for (const QJsonValue &value : listed) {
            const QJsonObject device = value.toObject();
            QCOMPARE(device.value("family"_L1).toString(), u"onvif"_s);
            QVERIFY(device.value("endpoint"_L1).toString().contains(u"uuid:"_s));
            QCOMPARE(device.value("service"_L1).toString(),
                     u"http://%1/onvif/device_service"_s.arg(device.value("ip"_L1).toString()));
            ips << device.value("ip"_L1).toString();
        }
        QCOMPARE(listed.size(), 3);
        QCOMPARE(ips, QSet<QString>({u"10.77.1.41"_s, u"10.77.1.42"_s, u"10.77.1.43"_s}));
    }

    void searchReadsTheSettingsAndListsAFailedLogin()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({onvif(1, u"both"_s), onvif(2, u"token"_s, u",clockOffset=3600,password=other"_s),
                                   onvif(3, u"digest"_s)})));
        const CtlResult result = runCtl(withPassword({u"search"_s, u"-a"_s, u"veth1"_s, u"--family"_s, u"onvif"_s,
                                                      u"-o"_s, u"jsonl"_s, u"--user"_s, u"admin"_s}),
                                        kPassword.toUtf8() + '\n');
        QCOMPARE(result.exitCode, 1); // one device could not be read
        const QList<QJsonObject> listed = jsonLines(result.out);
        QCOMPARE(listed.size(), 3);
        for (const QJsonObject &device : listed) {
            if (device.value("ip"_L1).toString() == u"10.77.1.42"_s) {
                QCOMPARE(device.value("read_error"_L1).toString(), u"Failed. login failed"_s);
                continue;
            }
            QCOMPARE(device.value("read_error"_L1).toString(), QString());
            QCOMPARE(device.value("mask"_L1).toString(), u"255.255.255.0"_s);
            QCOMPARE(device.value("gateway"_L1).toString(), u"10.77.1.1"_s);
            QVERIFY(device.value("mac"_L1).toString().startsWith(u"02:20:00:00:00:0"_s));
            QVERIFY(!device.value("serial"_L1).toString().isEmpty());
        }
    }

    void setMovesAnOnvifDeviceNamedByItsEndpoint()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({onvif(1, u"digest"_s, u",rebootNeeded=1"_s)})));
        const QList<QJsonObject> found = search({u"--family"_s, u"onvif"_s});
        QCOMPARE(found.size(), 1);
        const QString endpoint = found.front().value("endpoint"_L1).toString();
        // Its address already: nothing to send, and nothing is.
        const CtlResult same = runCtl(withPassword({u"set"_s, endpoint, u"-a"_s, u"veth1"_s, u"--ip"_s, u"10.77.1.41"_s,
                                                    u"--user"_s, u"admin"_s, u"-o"_s, u"json"_s}),
                                      kPassword.toUtf8() + '\n');
        QCOMPARE(same.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(same.out).array().first().toObject().value("outcome"_L1).toString(),
                 u"unchanged"_s);
        const CtlResult set = runCtl(withPassword({u"set"_s, endpoint, u"-a"_s, u"veth1"_s, u"--ip"_s, u"10.77.1.51"_s,
                                                   u"--user"_s, u"admin"_s}),
                                     kPassword.toUtf8() + '\n');
        QCOMPARE(set.out, QByteArray("Apply\nfound at 10.77.1.51\n"));
        QCOMPARE(set.exitCode, 0);

        const CtlResult wrong =
            runCtl(withPassword({u"reboot"_s, endpoint, u"-a"_s, u"veth1"_s, u"--user"_s, u"admin"_s}), "wrong\n");
        QCOMPARE(wrong.out, (endpoint + u": Failed. login failed\n"_s).toUtf8());
        QCOMPARE(wrong.exitCode, 1);
        const CtlResult reset = runCtl(withPassword({u"factory-reset"_s, endpoint, u"-a"_s, u"veth1"_s, u"--user"_s,
                                                     u"admin"_s}),
                                       kPassword.toUtf8() + '\n');
        QCOMPARE(reset.out, (endpoint + u": Apply\n"_s).toUtf8());
        QCOMPARE(reset.exitCode, 0);
    }

    void anOnvifDeviceThatAnnouncesNoMacIsNamedByItWithALogin()
    {
        // Its MAC shows only after a login, as on the label the installer reads.
        DevSim sim;
        QVERIFY(sim.Start(
            devices({onvif(2, u"token"_s, u",macScope=0"_s), onvif(3, u"digest"_s, u",macScope=0,password=other"_s)})));
        const CtlResult set = runCtl(withPassword({u"set"_s, u"02:20:00:00:00:02"_s, u"-a"_s, u"veth1"_s, u"--ip"_s,
                                                   u"10.77.1.52"_s, u"--user"_s, u"admin"_s}),
                                     kPassword.toUtf8() + '\n');
        QCOMPARE(set.out, QByteArray("Apply\nfound at 10.77.1.52\n"));
        QCOMPARE(set.exitCode, 0);
        // Silent for a second only, shorter than a round of probes: its Hello says it is back.
        const CtlResult reboot = runCtl(withPassword({u"reboot"_s, u"02-20-00-00-00-02"_s, u"-a"_s, u"veth1"_s,
                                                      u"--user"_s, u"admin"_s, u"--wait-back"_s, u"60"_s}),
                                        kPassword.toUtf8() + '\n', 120000);
        QVERIFY2(reboot.out.startsWith("02-20-00-00-00-02: Apply\n02-20-00-00-00-02: back after "), reboot.out);
        QCOMPARE(reboot.exitCode, 0);

        // The one whose login fails stays unknown, and says why.
        const CtlResult refused = runCtl(withPassword({u"set"_s, u"02:20:00:00:00:03"_s, u"-a"_s, u"veth1"_s, u"--ip"_s,
                                                       u"10.77.1.53"_s, u"--user"_s, u"admin"_s}),
                                         kPassword.toUtf8() + '\n');
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("10.77.1.43: Failed. login failed (its MAC is unknown)"), refused.err);
        QVERIFY(refused.err.contains("02:20:00:00:00:03: not found"));
    }

    void oneSetMovesAnOnvifDevicesPortAndAddress()
    {
        // The device takes its new web port at once: the address must follow it there.
        DevSim sim;
        QVERIFY(sim.Start(devices({onvif(4, u"both"_s)})));
        const CtlResult set = runCtl(withPassword({u"set"_s, u"02:20:00:00:00:04"_s, u"-a"_s, u"veth1"_s, u"--ip"_s,
                                                   u"10.77.1.54"_s, u"--web-port"_s, u"8088"_s, u"--user"_s,
                                                   u"admin"_s}),
                                     kPassword.toUtf8() + '\n');
        QCOMPARE(set.out, QByteArray("Apply\nfound at 10.77.1.54:8088\n"));
        QCOMPARE(set.exitCode, 0);
        const CtlResult found = runCtl(withPassword({u"search"_s, u"-a"_s, u"veth1"_s, u"--family"_s, u"onvif"_s,
                                                     u"-o"_s, u"jsonl"_s, u"--user"_s, u"admin"_s}),
                                       kPassword.toUtf8() + '\n');
        QCOMPARE(found.exitCode, 0);
        const QList<QJsonObject> listed = jsonLines(found.out);
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().value("ip"_L1).toString(), u"10.77.1.54"_s);
        QCOMPARE(listed.first().value("web_port"_L1).toInt(), 8088);
        QCOMPARE(listed.first().value("service"_L1).toString(), u"http://10.77.1.54:8088/onvif/device_service"_s);
    }

    void watchHearsOnvifDevicesLeaveAndComeBetweenRounds()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices({onvif(7, u"both"_s)})));
        // Rounds far apart: what comes before the second is what was heard.
        QProcess watch;
        watch.start(QStringLiteral(CORVANECTL), {u"watch"_s, u"-a"_s, u"veth1"_s, u"--family"_s, u"onvif"_s,
                                                 u"--every"_s, u"3600"_s, u"-o"_s, u"jsonl"_s});
        QVERIFY(watch.waitForStarted());
        const auto nextEvent = [&watch] { return nextJsonLine(watch, 60000); };
        QJsonObject event = nextEvent();
        QCOMPARE(event.value("event"_L1).toString(), u"found"_s);
        QCOMPARE(event.value("ip"_L1).toString(), u"10.77.1.47"_s);
        const QString endpoint = event.value("endpoint"_L1).toString();

        // Moved, it says Bye and then Hello from its new address.
        const CtlResult set = runCtl(withPassword({u"set"_s, endpoint, u"-a"_s, u"veth1"_s, u"--ip"_s, u"10.77.1.57"_s,
                                                   u"--user"_s, u"admin"_s, u"--no-verify"_s}),
                                     kPassword.toUtf8() + '\n');
        QCOMPARE(set.exitCode, 0);
        event = nextEvent();
        QCOMPARE(event.value("event"_L1).toString(), u"gone"_s);
        QCOMPARE(event.value("endpoint"_L1).toString(), endpoint);
        event = nextEvent();
        QCOMPARE(event.value("event"_L1).toString(), u"found"_s);
        QCOMPARE(event.value("endpoint"_L1).toString(), endpoint);
        QCOMPARE(event.value("ip"_L1).toString(), u"10.77.1.57"_s);
        watch.kill();
        watch.waitForFinished();
    }

    void rebootWaitsForOnvifDevicesToComeBack()
    {
        DevSim sim;
        QVERIFY(
            sim.Start(devices({onvif(5, u"digest"_s), onvif(6, u"token"_s)}) << u"--onvif-reboot-time"_s << u"4000"_s));
        const QList<QJsonObject> before = search({u"--family"_s, u"onvif"_s});
        QCOMPARE(before.size(), 2);
        QString endpoint;
        for (const QJsonObject &device : before) {
            if (device.value("ip"_L1).toString() == u"10.77.1.46"_s)
                endpoint = device.value("endpoint"_L1).toString();
        }
        QVERIFY(!endpoint.isEmpty());
        // One named by MAC, one by endpoint; short rounds, so the silence fills at least one.
        const CtlResult json = runCtl(withPassword({u"reboot"_s, u"02:20:00:00:00:05"_s, endpoint, u"-a"_s, u"veth1"_s,
                                                    u"--user"_s, u"admin"_s, u"--wait"_s, u"1000"_s, u"-o"_s, u"json"_s,
                                                    u"--wait-back"_s, u"120"_s}),
                                      kPassword.toUtf8() + '\n', 180000);
        QCOMPARE(json.exitCode, 0);
        const QJsonArray records = QJsonDocument::fromJson(json.out).array();
        QCOMPARE(records.size(), 2);
        QStringList names;
        for (const QJsonValue &value : records) {
            const QJsonObject record = value.toObject();
            names << record.value("mac"_L1).toString();
            QCOMPARE(record.value("result"_L1).toString(), u"Apply"_s);
            QCOMPARE(record.value("outcome"_L1).toString(), u"back"_s);
            QCOMPARE(record.value("ok"_L1), QJsonValue(true));
            QVERIFY(record.value("back_after_ms"_L1).toDouble() > 0);
        }
        QCOMPARE(names, QStringList({u"02:20:00:00:00:05"_s, endpoint}));
        // The wait starts after the last command: that device was silent nearly as long.
        QVERIFY(records.last().toObject().value("back_after_ms"_L1).toDouble() >= 3000);

        // A refused login restarts nothing, and nothing is waited for.
        const CtlResult refused = runCtl(withPassword({u"factory-reset"_s, endpoint, u"-a"_s, u"veth1"_s, u"--user"_s,
                                                       u"admin"_s, u"--wait-back"_s, u"120"_s}),
                                         "wrong\n");
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.out, (endpoint + u": Failed. login failed\n"_s).toUtf8());
    }
};

QTEST_MAIN(TestCorvaneCtl)
#include "tst_corvanectl.moc"
