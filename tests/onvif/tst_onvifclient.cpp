// The device service client against the simulator's ONVIF devices, in the private namespaces:
// each login kind reads and moves its device, only what changed is sent, a refused login, a
// wrong address and an unreachable device end as they must.

#include "OnvifClient.h"
#include "TestNetwork.h"

#include <QTcpSocket>
#include <QtTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {
constexpr int kWaitMs = 30000; // the machine is loaded: generous, never a measure

struct SimOnvif
{
    const char *name;
    QString mac;
    QString ip;
    QString keys; // beyond family, mac and ip
};

// The simulator's devices, one per login kind and quirk, all at 10.77.1.x.
const QList<SimOnvif> kDevices{
    {"token", u"02:20:00:00:00:01"_s, u"10.77.1.101"_s, u"onvifAuth=token"_s},
    {"digest MD5", u"02:20:00:00:00:02"_s, u"10.77.1.102"_s, u"onvifAuth=digest,digestAlgorithms=MD5"_s},
    {"digest SHA-256", u"02:20:00:00:00:03"_s, u"10.77.1.103"_s, u"onvifAuth=digest,digestAlgorithms=MD5 SHA-256"_s},
    {"both", u"02:20:00:00:00:04"_s, u"10.77.1.104"_s, u"onvifAuth=both"_s},
    {"clock an hour off", u"02:20:00:00:00:05"_s, u"10.77.1.105"_s, u"onvifAuth=token,clockOffset=3600"_s},
    {"reboot needed", u"02:20:00:00:00:06"_s, u"10.77.1.106"_s, u"onvifAuth=both,rebootNeeded=true"_s},
    {"web port", u"02:20:00:00:00:07"_s, u"10.77.1.107"_s, u"webPort=8080,onvifAuth=digest"_s},
    {"reset", u"02:20:00:00:00:08"_s, u"10.77.1.108"_s, u"onvifAuth=both"_s},
    {"port at once", u"02:20:00:00:00:09"_s, u"10.77.1.109"_s, u"onvifAuth=both"_s},
    {"port at reboot", u"02:20:00:00:00:0A"_s, u"10.77.1.110"_s, u"webPort=8080,onvifAuth=token,rebootNeeded=1"_s},
    {"clock with a login", u"02:20:00:00:00:0B"_s, u"10.77.1.111"_s,
     u"onvifAuth=token,clockOffset=3600,clockAccess=login"_s},
    {"clock by Date", u"02:20:00:00:00:0C"_s, u"10.77.1.112"_s,
     u"onvifAuth=token,clockOffset=-7200,clockAccess=none"_s},
};

const SimOnvif &simDevice(const QString &name)
{
    for (const SimOnvif &device : kDevices) {
        if (name == QLatin1String(device.name))
            return device;
    }
    qFatal("no such device");
}

OnvifDevice deviceAt(const SimOnvif &sim, const QString &ip, int port = 80)
{
    OnvifDevice device;
    device.endpoint = u"urn:uuid:test-"_s + sim.mac;
    device.serviceAddress = QUrl(
        u"http://%1%2/onvif/device_service"_s.arg(ip, port == 80 ? QString() : u":%1"_s.arg(port)));
    device.credentialsSafe = true;
    return device;
}

const OnvifLogin kLogin{u"admin"_s, u"admin"_s};

// A call's result, waited for.
template<typename Result>
struct Waited
{
    std::optional<Result> result;
    bool Wait()
    {
        QDeadlineTimer deadline(kWaitMs);
        while (!result && !deadline.hasExpired())
            QTest::qWait(10);
        return result.has_value();
    }
};

std::pair<OnvifResult, OnvifSettings> readSettings(OnvifClient &client, const OnvifDevice &device,
                                                   const OnvifLogin &login = kLogin)
{
    Waited<std::pair<OnvifResult, OnvifSettings>> w;
    client.ReadSettings(device, login, [&](OnvifResult r, const OnvifSettings &s) { w.result = {r, s}; });
    if (!w.Wait())
        return {OnvifResult::Failed, {}};
    return *w.result;
}

// A device that moves is away for a moment: read it again until it answers.
std::pair<OnvifResult, OnvifSettings> readOnceMoved(OnvifClient &client, const OnvifDevice &device)
{
    QDeadlineTimer deadline(kWaitMs);
    for (;;) {
        auto read = readSettings(client, device);
        if (read.first == OnvifResult::Ok || deadline.hasExpired())
            return read;
        QTest::qWait(100);
    }
}

// Whether the device service at ip:port went away (the device restarts) and then served again.
bool restarted(const QString &ip, quint16 port = 80)
{
    bool wentAway = false;
    QDeadlineTimer deadline(kWaitMs);
    while (!deadline.hasExpired()) {
        QTcpSocket knock; // a connection without a request: the device logs nothing
        knock.connectToHost(ip, port);
        const bool serving = knock.waitForConnected(2000);
        if (serving && wentAway)
            return true;
        wentAway = wentAway || !serving;
        QTest::qWait(50);
    }
    return false;
}

OnvifResult waitFor(const std::function<void(OnvifClient::Done)> &call)
{
    Waited<OnvifResult> w;
    call([&](OnvifResult r) { w.result = r; });
    return w.Wait() ? *w.result : OnvifResult::Failed;
}
} // namespace

class TestOnvifClient : public QObject
{
    Q_OBJECT

    DevSim m_sim{1};
    QHash<QString, QString> m_movedTo; // by MAC, once a test has moved the device

    QString addressOf(const SimOnvif &device) const { return m_movedTo.value(device.mac, device.ip); }

    QList<QJsonObject> requests(const SimOnvif &device) const { return OnvifServiceRequests(m_sim, device.mac); }
    QStringList operations(const SimOnvif &device, qsizetype from = 0) const
    {
        QStringList names;
        const auto lines = requests(device);
        for (qsizetype i = from; i < lines.size(); ++i) {
            if (lines[i].value("accepted"_L1).toBool())
                names << lines[i].value("operation"_L1).toString();
        }
        return names;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!TestNetwork::InPrivateNamespace())
            QSKIP("needs the private namespaces of netns-run.sh");
        QStringList arguments;
        for (const SimOnvif &device : kDevices) {
            arguments << u"--device"_s
                      << u"family=onvif,mac=%1,ip=%2,gateway=10.77.1.1,dns=10.77.1.1,%3"_s.arg(device.mac, device.ip,
                                                                                               device.keys);
        }
        // Silent long enough after a reboot to be seen so on a loaded machine.
        QVERIFY(m_sim.Start(arguments << u"--onvif-reboot-time"_s << u"3000"_s));
    }

    void readsSettingsWithEachLogin_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("login");
        QTest::newRow("token") << u"token"_s << u"token"_s;
        QTest::newRow("digest MD5") << u"digest MD5"_s << u"digest-MD5"_s;
        QTest::newRow("digest SHA-256") << u"digest SHA-256"_s << u"digest-SHA-256"_s;
        QTest::newRow("both") << u"both"_s << u"token"_s;
        QTest::newRow("clock an hour off") << u"clock an hour off"_s << u"token"_s;
    }
    void readsSettingsWithEachLogin()
    {
        QFETCH(QString, name);
        QFETCH(QString, login);
        const SimOnvif &sim = simDevice(name);
        OnvifClient client;
        const auto [result, settings] = readSettings(client, deviceAt(sim, sim.ip));
        QCOMPARE(result, OnvifResult::Ok);
        QCOMPARE(settings.mac, sim.mac);
        QCOMPARE(settings.ip, sim.ip);
        QCOMPARE(settings.interfaceToken, u"eth0"_s);
        QVERIFY(!settings.dhcp);
        QCOMPARE(settings.mask, u"255.255.255.0"_s);
        QCOMPARE(settings.gateway, u"10.77.1.1"_s);
        QCOMPARE(settings.dns, u"10.77.1.1"_s);
        QCOMPARE(settings.webPort, 80);
        QCOMPARE(settings.manufacturer, u"Ostrava Optics"_s);
        QCOMPARE(settings.model, u"OV-4000"_s);
        QCOMPARE(settings.firmware, u"3.0.0"_s);
        QCOMPARE(settings.serial, QString(sim.mac).remove(u':'));

        // The clock first, without a login; then every call with the one login that works. A
        // digest goes alone, without a token beside it; the clock that is off costs no refusal.
        const QStringList expected{u"GetSystemDateAndTime"_s,     u"GetNetworkInterfaces"_s, u"GetDNS"_s,
                                   u"GetNetworkDefaultGateway"_s, u"GetNetworkProtocols"_s,  u"GetDeviceInformation"_s};
        QCOMPARE(operations(sim), expected);
        const auto lines = requests(sim);
        for (const QJsonObject &line : lines) {
            const QString carried = line.value("login"_L1).toString();
            if (line.value("accepted"_L1).toBool() && line.value("operation"_L1).toString() != expected[0])
                QCOMPARE(carried, login);
            QVERIFY2(!carried.contains(u'+'), qPrintable(carried));
        }
        if (login == "token"_L1)
            QCOMPARE(lines.size(), expected.size());

        // Known now: the method that worked goes first, with no refusal on the way.
        const qsizetype before = requests(sim).size();
        QCOMPARE(readSettings(client, deviceAt(sim, sim.ip)).first, OnvifResult::Ok);
        const auto again = requests(sim).mid(before);
        QCOMPARE(again.size(), expected.size() - 1);
        for (const QJsonObject &line : again)
            QVERIFY(line.value("accepted"_L1).toBool());
    }

    void saveMovesEachKind_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("newIp");
        QTest::newRow("token") << u"token"_s << u"10.77.1.151"_s;
        QTest::newRow("digest MD5") << u"digest MD5"_s << u"10.77.1.152"_s;
        QTest::newRow("digest SHA-256") << u"digest SHA-256"_s << u"10.77.1.153"_s;
        QTest::newRow("both") << u"both"_s << u"10.77.1.154"_s;
        QTest::newRow("clock an hour off") << u"clock an hour off"_s << u"10.77.1.155"_s;
        QTest::newRow("reboot needed") << u"reboot needed"_s << u"10.77.1.156"_s;
    }
    void saveMovesEachKind()
    {
        QFETCH(QString, name);
        QFETCH(QString, newIp);
        const SimOnvif &sim = simDevice(name);
        OnvifClient client;
        const auto [read, current] = readSettings(client, deviceAt(sim, sim.ip));
        QCOMPARE(read, OnvifResult::Ok);
        const qsizetype before = requests(sim).size();

        OnvifSettings wanted = current;
        wanted.ip = newIp;
        wanted.mask = u"255.255.0.0"_s;
        wanted.gateway = u"10.77.1.254"_s;
        QCOMPARE(waitFor([&](OnvifClient::Done done) {
                     client.ApplySettings(deviceAt(sim, sim.ip), kLogin, current, wanted, done);
                 }),
                 OnvifResult::Ok);
        QStringList expected{u"SetNetworkDefaultGateway"_s, u"SetNetworkInterfaces"_s};
        if (name == "reboot needed"_L1)
            expected << u"SystemReboot"_s;
        QCOMPARE(operations(sim, before), expected);
        m_movedTo.insert(sim.mac, newIp);

        // The same device answers at its new address, with what was asked.
        const auto [movedResult, moved] = readOnceMoved(client, deviceAt(sim, newIp));
        QCOMPARE(movedResult, OnvifResult::Ok);
        QCOMPARE(moved.ip, newIp);
        QCOMPARE(moved.mac, sim.mac);
        QCOMPARE(moved.prefixLength, 16);
        QCOMPARE(moved.gateway, u"10.77.1.254"_s);
        // And nothing at the old one.
        OnvifClient fresh(OnvifClientOptions{3000, 1 << 20});
        QCOMPARE(readSettings(fresh, deviceAt(sim, sim.ip)).first, OnvifResult::Failed);
    }

    void aDigestNonceTheDeviceForgotIsRenewed()
    {
        // After a reboot the device no longer knows the nonce the client remembers.
        const SimOnvif &sim = simDevice(u"digest MD5"_s);
        const OnvifDevice device = deviceAt(sim, addressOf(sim));
        OnvifClient client;
        QCOMPARE(readSettings(client, device).first, OnvifResult::Ok);
        QCOMPARE(waitFor([&](OnvifClient::Done done) { client.Reboot(device, kLogin, done); }), OnvifResult::Ok);
        QVERIFY(restarted(device.serviceAddress.host()));
        const qsizetype before = requests(sim).size();
        QCOMPARE(readSettings(client, device).first, OnvifResult::Ok);
        const auto lines = requests(sim).mid(before);
        QCOMPARE(lines.size(), 6); // one refusal, then the five calls
        QVERIFY(!lines[0].value("accepted"_L1).toBool());
        QCOMPARE(lines[0].value("login"_L1).toString(), u"digest-MD5"_s);
        for (qsizetype i = 1; i < lines.size(); ++i)
            QVERIFY(lines[i].value("accepted"_L1).toBool());
    }

    void onlyWhatChangedIsSent()
    {
        const SimOnvif &sim = simDevice(u"web port"_s);
        OnvifClient client;
        const auto [read, current] = readSettings(client, deviceAt(sim, sim.ip, 8080));
        QCOMPARE(read, OnvifResult::Ok);
        QCOMPARE(current.webPort, 8080);

        // Nothing changed: nothing sent.
        qsizetype before = requests(sim).size();
        QCOMPARE(waitFor([&](OnvifClient::Done done) {
                     client.ApplySettings(deviceAt(sim, sim.ip, 8080), kLogin, current, current, done);
                 }),
                 OnvifResult::Ok);
        QCOMPARE(requests(sim).size(), before);

        // A field the current settings never held is never sent, even when wanted.
        OnvifSettings unread;
        unread.interfaceToken = current.interfaceToken;
        unread.ip = current.ip;
        unread.prefixLength = current.prefixLength;
        OnvifSettings wanted = unread;
        wanted.gateway = u"10.77.1.9"_s;
        wanted.dns = u"10.77.1.9"_s;
        wanted.webPort = 81;
        QCOMPARE(waitFor([&](OnvifClient::Done done) {
                     client.ApplySettings(deviceAt(sim, sim.ip, 8080), kLogin, unread, wanted, done);
                 }),
                 OnvifResult::Ok);
        QCOMPARE(requests(sim).size(), before);

        // Only the DNS server, then only the web port (the other protocols sent back as read).
        wanted = current;
        wanted.dns = u"10.77.1.53"_s;
        QCOMPARE(waitFor([&](OnvifClient::Done done) {
                     client.ApplySettings(deviceAt(sim, sim.ip, 8080), kLogin, current, wanted, done);
                 }),
                 OnvifResult::Ok);
        QCOMPARE(operations(sim, before), QStringList{u"SetDNS"_s});
        before = requests(sim).size();
        OnvifSettings nowCurrent = current;
        nowCurrent.dns = wanted.dns;
        wanted.webPort = 8081;
        QCOMPARE(waitFor([&](OnvifClient::Done done) {
                     client.ApplySettings(deviceAt(sim, sim.ip, 8080), kLogin, nowCurrent, wanted, done);
                 }),
                 OnvifResult::Ok);
        QCOMPARE(operations(sim, before), (QStringList{u"GetNetworkProtocols"_s, u"SetNetworkProtocols"_s}));
        const auto [movedResult, moved] = readOnceMoved(client, deviceAt(sim, sim.ip, 8081));
        QCOMPARE(movedResult, OnvifResult::Ok);
        QCOMPARE(moved.webPort, 8081);
        QCOMPARE(moved.dns, u"10.77.1.53"_s);

        // DHCP alone: the interface, nothing else.
        before = requests(sim).size();
        wanted = moved;
        wanted.dhcp = true;
        QCOMPARE(waitFor([&](OnvifClient::Done done) {
                     client.ApplySettings(deviceAt(sim, sim.ip, 8081), kLogin, moved, wanted, done);
                 }),
                 OnvifResult::Ok);
        QCOMPARE(operations(sim, before), QStringList{u"SetNetworkInterfaces"_s});
        QTRY_VERIFY_WITH_TIMEOUT(readSettings(client, deviceAt(sim, sim.ip, 8081)).second.dhcp, kWaitMs);
    }

    void aNewWebPortAndAddressInOneSave_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("newIp");
        QTest::addColumn<int>("newPort");
        QTest::addColumn<QStringList>("calls");
        // One applies the port at once, so the address goes to the new port; the other only at its
        // reboot, so the new port refuses and the old one still takes the address and the reboot.
        QTest::newRow("port at once") << u"port at once"_s << u"10.77.1.159"_s << 8088
                                      << QStringList{u"GetNetworkProtocols"_s, u"SetNetworkProtocols"_s,
                                                     u"SetNetworkInterfaces"_s};
        QTest::newRow("port at reboot") << u"port at reboot"_s << u"10.77.1.160"_s << 80
                                        << QStringList{u"GetNetworkProtocols"_s, u"SetNetworkProtocols"_s,
                                                       u"SetNetworkInterfaces"_s, u"SystemReboot"_s};
    }
    void aNewWebPortAndAddressInOneSave()
    {
        QFETCH(QString, name);
        QFETCH(QString, newIp);
        QFETCH(int, newPort);
        QFETCH(QStringList, calls);
        const SimOnvif &sim = simDevice(name);
        OnvifClient client;
        const int oldPort = name == "port at reboot"_L1 ? 8080 : 80;
        const auto [read, current] = readSettings(client, deviceAt(sim, sim.ip, oldPort));
        QCOMPARE(read, OnvifResult::Ok);
        QCOMPARE(current.webPort, oldPort);
        const qsizetype before = requests(sim).size();

        OnvifSettings wanted = current;
        wanted.ip = newIp;
        wanted.webPort = newPort;
        QCOMPARE(waitFor([&](OnvifClient::Done done) {
                     client.ApplySettings(deviceAt(sim, sim.ip, oldPort), kLogin, current, wanted, done);
                 }),
                 OnvifResult::Ok);
        QCOMPARE(operations(sim, before), calls);
        m_movedTo.insert(sim.mac, newIp);

        const auto [movedResult, moved] = readOnceMoved(client, deviceAt(sim, newIp, newPort));
        QCOMPARE(movedResult, OnvifResult::Ok);
        QCOMPARE(moved.ip, newIp);
        QCOMPARE(moved.webPort, newPort);
        QCOMPARE(moved.mac, sim.mac);
    }

    void theClockWithoutAnOpenGetSystemDateAndTime_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("with a login") << u"clock with a login"_s;
        QTest::newRow("by the Date header") << u"clock by Date"_s;
    }
    void theClockWithoutAnOpenGetSystemDateAndTime()
    {
        // Both clocks are hours off and the device takes only a token, which needs the right time.
        QFETCH(QString, name);
        const SimOnvif &sim = simDevice(name);
        OnvifClient client;
        const auto [read, settings] = readSettings(client, deviceAt(sim, sim.ip));
        QCOMPARE(read, OnvifResult::Ok);
        QCOMPARE(settings.mac, sim.mac);
        // Every token after the clock was read went in on time: no refusal but the clock's own.
        const QList<QJsonObject> lines = requests(sim);
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines.first().value("operation"_L1).toString(), u"GetSystemDateAndTime"_s);
        QCOMPARE(lines.first().value("login"_L1).toString(), u"none"_s);
        for (qsizetype i = 1; i < lines.size(); ++i)
            QVERIFY2(lines[i].value("accepted"_L1).toBool(), qPrintable(lines[i].value("operation"_L1).toString()));
        if (name == "clock with a login"_L1)
            QCOMPARE(lines.value(1).value("operation"_L1).toString(), u"GetSystemDateAndTime"_s);
    }

    void anInvalidAddressSendsNothing_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("gateway");
        QTest::newRow("address") << u"10.77.1.300"_s << u"255.255.255.0"_s << u"10.77.1.1"_s;
        QTest::newRow("mask") << u"10.77.1.120"_s << u"255.0.255.0"_s << u"10.77.1.1"_s;
        QTest::newRow("gateway") << u"10.77.1.120"_s << u"255.255.255.0"_s << u"gateway"_s;
        QTest::newRow("broadcast") << u"255.255.255.255"_s << u"255.255.255.0"_s << u"10.77.1.1"_s;
    }
    void anInvalidAddressSendsNothing()
    {
        QFETCH(QString, ip);
        QFETCH(QString, mask);
        QFETCH(QString, gateway);
        const SimOnvif &sim = simDevice(u"reset"_s);
        OnvifClient client;
        const auto [read, current] = readSettings(client, deviceAt(sim, sim.ip));
        QCOMPARE(read, OnvifResult::Ok);
        const qsizetype before = requests(sim).size();
        OnvifSettings wanted = current;
        wanted.ip = ip;
        wanted.mask = mask;
        wanted.gateway = gateway;
        const OnvifResult result = waitFor([&](OnvifClient::Done done) {
            client.ApplySettings(deviceAt(sim, sim.ip), kLogin, current, wanted, done);
        });
        QCOMPARE(result, OnvifResult::InvalidAddress);
        QCOMPARE(OnvifResultText(result), u"Failed. Invalid address"_s);
        QCOMPARE(requests(sim).size(), before);
    }

    void aWrongPasswordIsARefusedLogin_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("token") << u"token"_s;
        QTest::newRow("digest") << u"digest SHA-256"_s;
        QTest::newRow("both") << u"both"_s;
    }
    void aWrongPasswordIsARefusedLogin()
    {
        QFETCH(QString, name);
        const SimOnvif &sim = simDevice(name);
        OnvifClient client;
        const qsizetype before = requests(sim).size();
        const OnvifResult result =
            readSettings(client, deviceAt(sim, addressOf(sim)), {u"admin"_s, u"Typo-Passw0rd"_s}).first;
        QCOMPARE(result, OnvifResult::LoginFailed);
        QCOMPARE(OnvifResultText(result), u"Failed. login failed"_s);
        // Refused, and given up: no Set, no endless retries, and the password never on the wire
        // as itself (the log would show a plain-text token).
        const auto lines = requests(sim).mid(before);
        int refused = 0;
        for (const QJsonObject &line : lines) {
            QVERIFY(!line.value("operation"_L1).toString().startsWith("Set"_L1));
            QVERIFY(line.value("login"_L1).toString() != "token-text"_L1);
            refused += line.value("accepted"_L1).toBool() ? 0 : 1;
        }
        QVERIFY(refused >= 1 && refused <= 3);
    }

    void rebootAndFactoryDefault()
    {
        const SimOnvif &sim = simDevice(u"reset"_s);
        OnvifClient client;
        const OnvifDevice device = deviceAt(sim, sim.ip);
        qsizetype before = requests(sim).size();
        QCOMPARE(waitFor([&](OnvifClient::Done done) { client.Reboot(device, kLogin, done); }), OnvifResult::Ok);
        QCOMPARE(operations(sim, before).last(), u"SystemReboot"_s);
        QVERIFY(restarted(sim.ip));

        // Soft keeps the addressing; hard goes back to DHCP. Either restarts the device.
        before = requests(sim).size();
        QCOMPARE(waitFor([&](OnvifClient::Done done) { client.FactoryDefault(device, kLogin, false, done); }),
                 OnvifResult::Ok);
        QCOMPARE(operations(sim, before).last(), u"SetSystemFactoryDefault"_s);
        QVERIFY(restarted(sim.ip));
        auto [result, settings] = readSettings(client, device);
        QCOMPARE(result, OnvifResult::Ok);
        QVERIFY(!settings.dhcp);
        QCOMPARE(waitFor([&](OnvifClient::Done done) { client.FactoryDefault(device, kLogin, true, done); }),
                 OnvifResult::Ok);
        QVERIFY(restarted(sim.ip));
        std::tie(result, settings) = readSettings(client, device);
        QCOMPARE(result, OnvifResult::Ok);
        QVERIFY(settings.dhcp);
        QCOMPARE(settings.ip, sim.ip);

        // A refused login does nothing.
        before = requests(sim).size();
        QCOMPARE(waitFor([&](OnvifClient::Done done) {
                     client.Reboot(device, {u"admin"_s, u"nope"_s}, done);
                 }),
                 OnvifResult::LoginFailed);
        QVERIFY(!operations(sim, before).contains(u"SystemReboot"_s));
    }

    void anUnreachableDeviceFailsAlone()
    {
        // Nothing answers at .250; the simulator's device answers beside it, at the same time.
        OnvifClient client(OnvifClientOptions{2000, 1 << 20});
        const SimOnvif &sim = simDevice(u"reset"_s);
        const SimOnvif nobody{"nobody", u"02:20:00:00:00:99"_s, u"10.77.1.250"_s, {}};
        Waited<OnvifResult> lost;
        Waited<std::pair<OnvifResult, OnvifSettings>> found;
        client.ReadSettings(deviceAt(nobody, nobody.ip), kLogin,
                            [&](OnvifResult r, const OnvifSettings &) { lost.result = r; });
        client.ReadSettings(deviceAt(sim, sim.ip), kLogin, [&](OnvifResult r, const OnvifSettings &s) {
            found.result = {r, s};
        });
        QVERIFY(found.Wait());
        QCOMPARE(found.result->first, OnvifResult::Ok);
        QVERIFY(lost.Wait());
        QCOMPARE(*lost.result, OnvifResult::Failed);
        QCOMPARE(OnvifResultText(*lost.result), u"Failed"_s);
    }

    void aDeviceNamingSomeoneElsesAddressGetsNothing()
    {
        const SimOnvif &sim = simDevice(u"reset"_s);
        OnvifDevice foreign = deviceAt(sim, sim.ip);
        foreign.credentialsSafe = false;
        OnvifClient client;
        const qsizetype before = requests(sim).size();
        QCOMPARE(readSettings(client, foreign).first, OnvifResult::Failed);
        QCOMPARE(waitFor([&](OnvifClient::Done done) { client.Reboot(foreign, kLogin, done); }), OnvifResult::Failed);
        QCOMPARE(requests(sim).size(), before);
    }

    void aReplyBeyondTheSizeLimitFails()
    {
        const SimOnvif &sim = simDevice(u"reset"_s);
        OnvifClient client(OnvifClientOptions{5000, 300});
        QCOMPARE(readSettings(client, deviceAt(sim, sim.ip)).first, OnvifResult::Failed);
    }

    void aClientGoneWithCallsInFlightCallsNothing()
    {
        const SimOnvif nobody{"nobody", u"02:20:00:00:00:98"_s, u"10.77.1.251"_s, {}};
        bool called = false;
        {
            OnvifClient client(OnvifClientOptions{2000, 1 << 20});
            client.ReadSettings(deviceAt(nobody, nobody.ip), kLogin,
                                [&](OnvifResult, const OnvifSettings &) { called = true; });
            QTest::qWait(50);
        }
        QTest::qWait(100);
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(TestOnvifClient)
#include "tst_onvifclient.moc"
