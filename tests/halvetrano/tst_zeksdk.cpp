#include "ProgramRun.h"
#include "TestNetwork.h"
#include "ZEKSDK.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QMutex>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

using namespace TestNetwork;

namespace {
// A simulated vendor device, as the device file gives it and as a search must report it.
struct VendorDevice
{
    QString mac;
    QString ip;
    quint16 mediaPort;
    quint16 webPort;
    QString mask;
    QString gateway;
    QString dns1;
    QString dns2;
    QString type;
    QString model;

    QString DeviceOption() const
    {
        return QStringLiteral("family=vendor,mac=%1,ip=%2,mediaPort=%3,webPort=%4,mask=%5,gateway=%6,dns=%7,dns2=%8,"
                              "deviceType=%9,model=%10,userId=admin,password=secret")
            .arg(mac, ip)
            .arg(mediaPort)
            .arg(webPort)
            .arg(mask, gateway, dns1, dns2, type, model);
    }

    QString Described() const
    {
        return QStringList{
            ip, QString::number(mediaPort), QString::number(webPort), mask, gateway, mac, dns1, dns2, type, model}
            .join(QLatin1Char('|'));
    }
};

const VendorDevice kCamera{"00:1A:2B:00:00:01", "10.77.1.2",  8001,      81,    "255.255.255.0",
                           "10.77.1.1",         "10.77.1.53", "9.9.9.9", "IPC", "HV-2000"};
const VendorDevice kRecorder{"00:1A:2B:00:00:02", "10.77.1.2",  8002,      8080,  "255.255.0.0",
                             "10.77.0.1",         "10.77.0.53", "1.0.0.1", "NVR", "HV-3100"};
const VendorDevice kDome{"00:1A:2B:00:00:03", "10.77.1.2",  8003, 80,    "255.255.255.128",
                         "10.77.1.126",       "10.77.1.10", "",   "PTZ", "HV-5500"};
const VendorDevice kFarCamera{"00:1A:2B:00:00:04", "10.77.2.2",  8001,      443,   "255.255.255.0",
                              "10.77.2.1",         "10.77.2.53", "8.8.4.4", "IPC", "HV-2100"};

QStringList simArguments(const QList<VendorDevice> &devices, const QStringList &more = {})
{
    QStringList arguments{QStringLiteral("--reboot-time"), QStringLiteral("1500")};
    for (const VendorDevice &device : devices)
        arguments << QStringLiteral("--device") << device.DeviceOption();
    return arguments + more;
}

bool allTextsEndInTheirSlots(const VendorDeviceInfo &info)
{
    auto ends = [](const char *slot, std::size_t width) { return std::memchr(slot, '\0', width) != nullptr; };
    return ends(info.ip_addr, sizeof info.ip_addr) && ends(info.subnet_mask, sizeof info.subnet_mask)
           && ends(info.gateway, sizeof info.gateway) && ends(info.mac_addr, sizeof info.mac_addr)
           && ends(info.dns1, sizeof info.dns1) && ends(info.dns2, sizeof info.dns2)
           && ends(info.device_type, sizeof info.device_type) && ends(info.device_model, sizeof info.device_model);
}

QString described(const VendorDeviceInfo &info)
{
    return QStringList{QString::fromLatin1(info.ip_addr),     QString::number(info.media_port),
                       QString::number(info.web_port),        QString::fromLatin1(info.subnet_mask),
                       QString::fromLatin1(info.gateway),     QString::fromLatin1(info.mac_addr),
                       QString::fromLatin1(info.dns1),        QString::fromLatin1(info.dns2),
                       QString::fromLatin1(info.device_type), QString::fromLatin1(info.device_model)}
        .join(QLatin1Char('|'));
}

QStringList described(const QList<VendorDevice> &devices)
{
    QStringList result;
    for (const VendorDevice &device : devices)
        result << device.Described();
    result.sort();
    return result;
}

// What one search reported. The callback's user value finds its Reports: a pointer does not fit it.
class Reports final
{
public:
    using Hook = std::function<void(const VendorDeviceInfo &)>;

    explicit Reports(Hook hook = {})
        : m_hook(std::move(hook))
    {
        const QMutexLocker lock(&s_mutex);
        m_user = ++s_lastUser;
        s_all.insert(m_user, this);
    }

    ~Reports()
    {
        const QMutexLocker lock(&s_mutex);
        s_all.remove(m_user);
    }

    static int32_t Callback(int32_t, int32_t event, int32_t size, intptr_t data, int32_t user)
    {
        Reports *reports = nullptr;
        {
            const QMutexLocker lock(&s_mutex);
            reports = s_all.value(user);
        }
        if (!reports || event != ZEK_EVENT_DEVICE_FOUND || size != int32_t(sizeof(VendorDeviceInfo)))
            return 0;
        const auto &info = *reinterpret_cast<const VendorDeviceInfo *>(data);
        {
            const QMutexLocker lock(&reports->m_lock);
            reports->m_devices.append(info);
            reports->m_threads.insert(QThread::currentThreadId());
        }
        if (reports->m_hook)
            reports->m_hook(info);
        return 0;
    }

    int32_t User() const { return m_user; }

    QList<VendorDeviceInfo> Devices() const
    {
        const QMutexLocker lock(&m_lock);
        return m_devices;
    }

    QStringList Described() const
    {
        QStringList result;
        const auto devices = Devices();
        for (const VendorDeviceInfo &info : devices)
            result << described(info);
        result.sort();
        return result;
    }

    bool CalledOn(Qt::HANDLE thread) const
    {
        const QMutexLocker lock(&m_lock);
        return m_threads.contains(thread);
    }

private:
    static inline QMutex s_mutex;
    static inline QHash<int32_t, Reports *> s_all;
    static inline int32_t s_lastUser = 0;

    Hook m_hook;
    int32_t m_user = 0;
    mutable QMutex m_lock;
    QList<VendorDeviceInfo> m_devices;
    QSet<Qt::HANDLE> m_threads;
};

struct SearchRun
{
    int32_t result = ZEK_ERR_FAILED;
    qint64 elapsedMs = 0;
};

// One whole search as the vendor window runs it: register, search, unregister.
SearchRun search(Reports &reports, int searchTimeMs)
{
    const int32_t callback = ZEKCBCreate(reports.User(), &Reports::Callback);
    const VendorSearchParams params{callback, searchTimeMs};
    QElapsedTimer timer;
    timer.start();
    SearchRun run;
    run.result = ZEKDevice_Search(&params);
    run.elapsedMs = timer.elapsed();
    ZEKCBDelete(callback);
    return run;
}

QStringList searchNow(int searchTimeMs = 500)
{
    Reports reports;
    search(reports, searchTimeMs);
    return reports.Described();
}

// Login, then the operation whatever the login gave, then Close and Delete: as the window does.
std::pair<int32_t, int32_t> loginAnd(const VendorDevice &device, const char *password, int32_t (*operation)(int32_t))
{
    const int32_t handle = ZEKDevice_Create();
    const QByteArray ip = device.ip.toLatin1();
    // The window hands over the media port of a packed record, which may sit at an odd address.
    alignas(2) char record[3] = {};
    qToLittleEndian<quint16>(device.mediaPort, record + 1);
    const auto *port = reinterpret_cast<const uint16_t *>(record + 1);
    const int32_t login = ZEKDevice_Open(handle, ip.constData(), port, "admin", password);
    const int32_t result = operation(handle);
    ZEKDevice_Close(handle);
    ZEKDevice_Delete(handle);
    return {login, result};
}

VendorNetworkConfig networkConfig(const VendorDevice &device, const char *hostIp = "10.77.1.1")
{
    VendorNetworkConfig config;
    std::memset(&config, 0, sizeof config);
    std::strcpy(config.mac_addr, device.mac.toLatin1().constData());
    std::strcpy(config.host_ip, hostIp);
    std::strcpy(config.ip_addr, "10.77.1.60");
    std::strcpy(config.subnet_mask, "255.255.254.0");
    std::strcpy(config.gateway, "10.77.1.254");
    std::strcpy(config.dns1, "10.77.1.250");
    std::strcpy(config.dns2, "8.8.8.8");
    config.mode = ZEK_NETWORK_MODE_STATIC;
    return config;
}

// The vendor requests of this type that the simulator received.
QList<QByteArray> vendorRequests(const DevSim &sim, quint8 type)
{
    QList<QByteArray> requests;
    for (const QByteArray &bytes : ReceivedDatagrams(sim, QLatin1String("vendor"))) {
        if (bytes.size() > 5 && quint8(bytes[5]) == type)
            requests << bytes;
    }
    return requests;
}

QStringList vendorSenders(const DevSim &sim)
{
    QStringList senders;
    const auto log = sim.Log();
    for (const QJsonObject &line : log) {
        if (line.value(QLatin1String("protocol")).toString() == QLatin1String("vendor"))
            senders << line.value(QLatin1String("from")).toString();
    }
    return senders;
}

constexpr quint8 kLoginType = 0x02;
constexpr quint8 kRebootType = 0x03;
constexpr quint8 kModifyType = 0x06;
} // namespace

class TestZekSdk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void init() { QCOMPARE(ZEKSDKInitialize(), int32_t(ZEK_OK)); }
    void cleanup() { ZEKSDKInvalidate(); }

    void searchReportsEverySimulatedDeviceOnce()
    {
        DevSim near(1);
        DevSim far(2);
        QVERIFY(near.Start(simArguments({kCamera, kRecorder, kDome},
                                        {QStringLiteral("--answer-twice"), QStringLiteral("--device"),
                                         QStringLiteral("family=own,mac=00:AA:00:00:00:01,ip=10.77.1.9")})));
        QVERIFY(far.Start(simArguments({kFarCamera})));

        Reports reports;
        const SearchRun run = search(reports, 3000);
        QCOMPARE(run.result, int32_t(ZEK_OK));
        qInfo("a 3000 ms search returned after %lld ms", run.elapsedMs);
        QVERIFY(run.elapsedMs >= 2990 && run.elapsedMs < 3500);
        QCOMPARE(reports.Described(), described({kCamera, kRecorder, kDome, kFarCamera}));
        QVERIFY(!reports.CalledOn(QThread::currentThreadId()));
        for (const VendorDeviceInfo &info : reports.Devices())
            QVERIFY(allTextsEndInTheirSlots(info));
        // Through every interface, each from its own address.
        QCOMPARE(vendorSenders(near), QStringList{kHostAddress1});
        QCOMPARE(vendorSenders(far), QStringList{kHostAddress2});

        QThread::msleep(200);
        QCOMPARE(reports.Devices().size(), 4); // nothing after the search returned
    }

    void malformedAndForeignAnswersAreIgnored()
    {
        DevSim sim;
        const QString kinds = QStringLiteral("short,long,empty,unknown,magic,version,foreign,nonul");
        QVERIFY(sim.Start(simArguments({kCamera}, {QStringLiteral("--malformed"), kinds})));
        Reports reports;
        QCOMPARE(search(reports, 800).result, int32_t(ZEK_OK));
        // The full-width answer is well-formed: taken, its texts cut within their slots.
        const QString fullWidth = QStringList{QString(16, QLatin1Char('1')), QStringLiteral("8000"),
                                              QStringLiteral("80"),          QString(16, QLatin1Char('2')),
                                              QString(16, QLatin1Char('3')), QString(39, QLatin1Char('M')),
                                              QString(16, QLatin1Char('4')), QString(16, QLatin1Char('5')),
                                              QString(32, QLatin1Char('T')), QString(32, QLatin1Char('D'))}
                                      .join(QLatin1Char('|'));
        QStringList expected{kCamera.Described(), fullWidth};
        expected.sort();
        QCOMPARE(reports.Described(), expected);
    }

    void wrongPasswordThenRebootIsRefusedByTheDevice()
    {
        DevSim sim;
        QVERIFY(sim.Start(simArguments({kCamera})));
        const auto [login, reboot] = loginAnd(kCamera, "wrong", ZEKDevice_RebootDevice);
        QCOMPARE(login, int32_t(ZEK_ERR_PASSWORD));
        QCOMPARE(reboot, int32_t(ZEK_ERR_NOT_LOGGED_IN));
        QCOMPARE(vendorRequests(sim, kRebootType).size(), 1);    // the device saw it, and refused it
        QCOMPARE(searchNow(), QStringList{kCamera.Described()}); // and is not rebooting

        // The login on the wire: target, user ID, and a proof instead of the password.
        const QByteArray request = vendorRequests(sim, kLoginType).value(0);
        QCOMPARE(request.size(), 100);
        QCOMPARE(request.left(5), QByteArray("ZEKP\x01"));
        QCOMPARE(QByteArray(request.constData() + 16), QByteArray("10.77.1.2"));
        QCOMPARE(qFromLittleEndian<quint16>(request.constData() + 32), quint16(8001));
        QCOMPARE(QByteArray(request.constData() + 36), QByteArray("admin"));
        QVERIFY(!request.contains("wrong"));
    }

    void loginFailuresAreBoundedAndNamed()
    {
        DevSim sim;
        QVERIFY(sim.Start(simArguments({kCamera})));
        const int32_t handle = ZEKDevice_Create();
        QVERIFY(handle > 0);
        const uint16_t port = kCamera.mediaPort;
        const uint16_t silentPort = 9999;
        const uint16_t noPort = 0;

        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ZEKDevice_Open(handle, "10.77.1.2", &silentPort, "admin", "secret"), int32_t(ZEK_ERR_TIMEOUT));
        QVERIFY(timer.elapsed() >= ZEK_ANSWER_TIMEOUT_MS - 10 && timer.elapsed() < ZEK_ANSWER_TIMEOUT_MS + 500);
        QCOMPARE(ZEKDevice_Open(handle, "10.77.1.2", &port, "root", "secret"), int32_t(ZEK_ERR_PASSWORD));

        timer.restart();
        const QByteArray longAddress = "10.77.1.2" + QByteArray(40, '0');
        QCOMPARE(ZEKDevice_Open(handle, nullptr, &port, "admin", "secret"), int32_t(ZEK_ERR_INVALID_ARGUMENT));
        QCOMPARE(ZEKDevice_Open(handle, "10.77.1.2", nullptr, "admin", "secret"), int32_t(ZEK_ERR_INVALID_ARGUMENT));
        QCOMPARE(ZEKDevice_Open(handle, "10.77.1.2", &noPort, "admin", "secret"), int32_t(ZEK_ERR_INVALID_ARGUMENT));
        QCOMPARE(ZEKDevice_Open(handle, "10.77.1", &port, "admin", "secret"), int32_t(ZEK_ERR_INVALID_ARGUMENT));
        QCOMPARE(ZEKDevice_Open(handle, longAddress.constData(), &port, "admin", "secret"),
                 int32_t(ZEK_ERR_INVALID_ARGUMENT));
        QCOMPARE(ZEKDevice_Open(handle, "10.77.1.2", &port, "admin", nullptr), int32_t(ZEK_ERR_INVALID_ARGUMENT));
        // No device ever answered this handle: nothing to send a reboot to.
        QCOMPARE(ZEKDevice_RebootDevice(handle), int32_t(ZEK_ERR_NOT_LOGGED_IN));
        QVERIFY(timer.elapsed() < 500); // none of these waited for an answer
        QCOMPARE(vendorRequests(sim, kRebootType).size(), 0);

        QCOMPARE(ZEKDevice_Delete(handle), int32_t(ZEK_OK));
        QCOMPARE(ZEKDevice_Open(handle, "10.77.1.2", &port, "admin", "secret"), int32_t(ZEK_ERR_INVALID_HANDLE));
        QCOMPARE(ZEKDevice_RebootDevice(0), int32_t(ZEK_ERR_INVALID_HANDLE));
    }

    void callsOutsideTheLibrarysLifeAreRefused()
    {
        const int32_t handle = ZEKDevice_Create();
        QCOMPARE(ZEKSDKInvalidate(), int32_t(ZEK_OK));
        QCOMPARE(ZEKCBCreate(0, &Reports::Callback), 0);
        QCOMPARE(ZEKDevice_Create(), 0);
        QCOMPARE(ZEKDevice_RebootDevice(handle), int32_t(ZEK_ERR_NOT_INITIALIZED));
        const VendorSearchParams params{1, 100};
        QCOMPARE(ZEKDevice_Search(&params), int32_t(ZEK_ERR_NOT_INITIALIZED));
        const VendorNetworkConfig config = networkConfig(kCamera);
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "secret", &config, 100), int32_t(ZEK_ERR_NOT_INITIALIZED));
        // Started again, the old handle stays gone.
        QCOMPARE(ZEKSDKInitialize(), int32_t(ZEK_OK));
        QCOMPARE(ZEKDevice_RebootDevice(handle), int32_t(ZEK_ERR_INVALID_HANDLE));
        QCOMPARE(ZEKDevice_Search(nullptr), int32_t(ZEK_ERR_INVALID_ARGUMENT));
        QCOMPARE(ZEKDevice_Search(&params), int32_t(ZEK_ERR_INVALID_HANDLE));
    }

    void rebootMakesTheDeviceSilentThenBack()
    {
        DevSim sim;
        QVERIFY(sim.Start(simArguments({kCamera, kRecorder})));
        QCOMPARE(loginAnd(kCamera, "secret", ZEKDevice_RebootDevice), std::make_pair(int32_t(ZEK_OK), int32_t(ZEK_OK)));
        QElapsedTimer sinceReboot;
        sinceReboot.start();
        QCOMPARE(searchNow(), QStringList{kRecorder.Described()});
        QTRY_COMPARE_WITH_TIMEOUT(searchNow(), described({kCamera, kRecorder}), 5000);
        QVERIFY(sinceReboot.elapsed() >= 1500);
    }

    void factoryResetRestoresTheDeviceFile()
    {
        DevSim sim;
        QVERIFY(sim.Start(simArguments({kCamera})));
        VendorNetworkConfig config = networkConfig(kCamera);
        std::strcpy(config.ip_addr, "10.77.1.2"); // stays reachable for the login
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "secret", &config, 3000), int32_t(ZEK_OK));
        VendorDevice changed = kCamera;
        changed.mask = QStringLiteral("255.255.254.0");
        changed.gateway = QStringLiteral("10.77.1.254");
        changed.dns1 = QStringLiteral("10.77.1.250");
        changed.dns2 = QStringLiteral("8.8.8.8");
        QCOMPARE(searchNow(), QStringList{changed.Described()});

        QCOMPARE(loginAnd(kCamera, "secret", ZEKDevice_FactoryReset), std::make_pair(int32_t(ZEK_OK), int32_t(ZEK_OK)));
        QTRY_COMPARE_WITH_TIMEOUT(searchNow(), QStringList{kCamera.Described()}, 5000);
    }

    void networkChange()
    {
        DevSim near(1);
        QVERIFY(near.Start(simArguments({kCamera, kRecorder})));

        VendorNetworkConfig config = networkConfig(kCamera);
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "wrong", &config, 3000), int32_t(ZEK_ERR_PASSWORD));
        QCOMPARE(ZEKDevice_ModifyNetwork("guest", "secret", &config, 3000), int32_t(ZEK_ERR_PASSWORD));
        std::strcpy(config.subnet_mask, "255.0.255.0");
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "secret", &config, 3000), int32_t(ZEK_ERR_INVALID_CONFIG));
        QCOMPARE(searchNow(), described({kCamera, kRecorder}));

        // Sent through the other interface only: this device never hears it.
        config = networkConfig(kCamera, "10.77.2.1");
        const qsizetype heard = vendorRequests(near, kModifyType).size();
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "secret", &config, 700), int32_t(ZEK_ERR_TIMEOUT));
        QVERIFY(timer.elapsed() >= 690 && timer.elapsed() < 1200);
        QCOMPARE(vendorRequests(near, kModifyType).size(), heard);

        // A host address this machine does not have: through every interface.
        config = networkConfig(kCamera, "192.168.0.1");
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "secret", &config, 3000), int32_t(ZEK_OK));
        VendorDevice changed = kCamera;
        changed.ip = QStringLiteral("10.77.1.60");
        changed.mask = QStringLiteral("255.255.254.0");
        changed.gateway = QStringLiteral("10.77.1.254");
        changed.dns1 = QStringLiteral("10.77.1.250");
        changed.dns2 = QStringLiteral("8.8.8.8");
        QCOMPARE(searchNow(), described({changed, kRecorder}));

        std::strcpy(config.mac_addr, "00:1A:2B:99:99:99");
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "secret", &config, 500), int32_t(ZEK_ERR_TIMEOUT));
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "secret", &config, 0), int32_t(ZEK_ERR_INVALID_ARGUMENT));
    }

    void devicesKeepTheRulesOfTheProtocolPage()
    {
        // The MAC text is six upper-case pairs with colons; a simulator refuses any other.
        VendorDevice lowerCase = kCamera;
        lowerCase.mac = QStringLiteral("00:1a:2b:00:00:01");
        QVERIFY(!DevSim().Start(simArguments({lowerCase})));

        VendorDevice neighbour = kCamera;
        neighbour.mac = QStringLiteral("00:1A:2B:00:00:09");
        neighbour.ip = QStringLiteral("10.77.1.9");
        DevSim sim;
        QVERIFY(sim.Start(simArguments({kCamera, neighbour},
                                       {QStringLiteral("--device"),
                                        QString::fromUtf8("family=vendor,mac=00:1A:2B:00:00:0A,ip=10.77.1.2,"
                                                          "mediaPort=8010,userId=admin,password=gr\xc3\xbc\xc3\x9f"
                                                          "e")})));

        // A network change must name the device byte for byte: another letter case is nobody.
        VendorNetworkConfig config = networkConfig(kCamera);
        std::strcpy(config.mac_addr, "00:1a:2b:00:00:01");
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "secret", &config, 600), int32_t(ZEK_ERR_TIMEOUT));

        // Valid settings the device cannot take, as another device answers at that address and
        // media port: -1, and it stays where it was (the login below reaches it there).
        config = networkConfig(kCamera);
        std::strcpy(config.ip_addr, "10.77.1.9");
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "secret", &config, 3000), int32_t(ZEK_ERR_FAILED));

        // A change, even to the same address, ends the sessions the device gave.
        const int32_t handle = ZEKDevice_Create();
        const uint16_t port = kCamera.mediaPort;
        QCOMPARE(ZEKDevice_Open(handle, "10.77.1.2", &port, "admin", "secret"), int32_t(ZEK_OK));
        std::strcpy(config.ip_addr, "10.77.1.2");
        QCOMPARE(ZEKDevice_ModifyNetwork("admin", "secret", &config, 3000), int32_t(ZEK_OK));
        QCOMPARE(ZEKDevice_RebootDevice(handle), int32_t(ZEK_ERR_NOT_LOGGED_IN));
        ZEKDevice_Delete(handle);

        // Passwords are UTF-8 on both sides.
        VendorDevice utf8 = kCamera;
        utf8.mediaPort = 8010;
        QCOMPARE(loginAnd(utf8,
                          "gr\xc3\xbc\xc3\x9f"
                          "e",
                          ZEKDevice_Close)
                     .first,
                 int32_t(ZEK_OK));
        QCOMPARE(loginAnd(utf8,
                          "gr\xfc\xdf"
                          "e",
                          ZEKDevice_Close)
                     .first,
                 int32_t(ZEK_ERR_PASSWORD)); // Latin-1
    }

    void twoSearchesAtOnceKeepToThemselves()
    {
        DevSim sim;
        QVERIFY(sim.Start(simArguments({kCamera, kRecorder, kDome})));
        Reports first;
        Reports second;
        SearchRun firstRun;
        SearchRun secondRun;
        std::thread a([&] { firstRun = search(first, 1500); });
        std::thread b([&] { secondRun = search(second, 1000); });
        a.join();
        b.join();
        QCOMPARE(firstRun.result, int32_t(ZEK_OK));
        QCOMPARE(secondRun.result, int32_t(ZEK_OK));
        QVERIFY(firstRun.elapsedMs < 2000 && secondRun.elapsedMs < 1500);
        QCOMPARE(first.Described(), described({kCamera, kRecorder, kDome}));
        QCOMPARE(second.Described(), described({kCamera, kRecorder, kDome}));
    }

    void invalidateEndsASearchPromptly()
    {
        DevSim sim;
        QVERIFY(sim.Start(simArguments({kCamera})));
        Reports reports;
        SearchRun run;
        QElapsedTimer sinceInvalidate;
        std::atomic<qint64> searchEndedAt{-1};
        std::thread searcher([&] {
            run = search(reports, 10000);
            searchEndedAt = sinceInvalidate.elapsed();
        });
        QTRY_COMPARE(reports.Devices().size(), 1);
        sinceInvalidate.start();
        QCOMPARE(ZEKSDKInvalidate(), int32_t(ZEK_OK));
        const qint64 invalidateTook = sinceInvalidate.elapsed();
        searcher.join();
        qInfo("Invalidate returned after %lld ms, the search after %lld ms", invalidateTook, qint64(searchEndedAt));
        QVERIFY(invalidateTook < 100);
        QVERIFY(searchEndedAt < 300);
        QCOMPARE(run.result, int32_t(ZEK_ERR_CANCELLED));

        // The library starts again and searches as before.
        QCOMPARE(ZEKSDKInitialize(), int32_t(ZEK_OK));
        QCOMPARE(searchNow(300), QStringList{kCamera.Described()});
    }

    void invalidateDoesNotWaitForARunningCallback()
    {
        // The window's callback hands over synchronously to the thread that may be the one
        // stopping the library: waiting for the callback there would never end.
        DevSim sim;
        QVERIFY(sim.Start(simArguments({kCamera, kRecorder, kDome})));
        QSemaphore entered;
        QSemaphore release;
        Reports reports([&](const VendorDeviceInfo &) {
            entered.release();
            release.acquire();
        });
        SearchRun run;
        std::thread searcher([&] { run = search(reports, 10000); });
        QVERIFY(entered.tryAcquire(1, 5000));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ZEKSDKInvalidate(), int32_t(ZEK_OK));
        QVERIFY(timer.elapsed() < 100);
        release.release(10);
        searcher.join();
        QCOMPARE(run.result, int32_t(ZEK_ERR_CANCELLED));
        QCOMPARE(reports.Devices().size(), 1); // no callback after the stop
    }

    void deletedCallbackIsNotCalledAgain()
    {
        DevSim sim;
        QVERIFY(sim.Start(simArguments({kCamera, kRecorder, kDome})));
        std::atomic<int32_t> handle{0};
        Reports reports([&](const VendorDeviceInfo &) { ZEKCBDelete(handle); });
        handle = ZEKCBCreate(reports.User(), &Reports::Callback);
        const VendorSearchParams params{handle, 600};
        QCOMPARE(ZEKDevice_Search(&params), int32_t(ZEK_OK)); // the search itself runs its time
        QCOMPARE(reports.Devices().size(), 1);
    }

    void commandLineDriver()
    {
        DevSim sim;
        QVERIFY(sim.Start(simArguments({kCamera})));
        const ProgramRun search = RunProgram(QStringLiteral(CORVANE_ZEKCLI),
                                             {QStringLiteral("search"), QStringLiteral("500")});
        QCOMPARE(search.exitCode, 0);
        QCOMPARE(search.out,
                 QByteArray("ip=10.77.1.2 media_port=8001 web_port=81 mask=255.255.255.0 gateway=10.77.1.1 "
                            "mac=00:1A:2B:00:00:01 dns1=10.77.1.53 dns2=9.9.9.9 type=IPC model=HV-2000\nresult: 0\n"));

        // The password is the first line of standard input, never an argument.
        const QStringList reboot{QStringLiteral("reboot"), QStringLiteral("10.77.1.2"), QStringLiteral("8001"),
                                 QStringLiteral("admin")};
        const ProgramRun wrong = RunProgram(QStringLiteral(CORVANE_ZEKCLI), reboot, "wrong\n");
        QCOMPARE(wrong.exitCode, 1);
        QCOMPARE(wrong.out, QByteArray("login: -29\nresult: -8\n"));

        // A line end of either kind is not part of it.
        const ProgramRun right = RunProgram(QStringLiteral(CORVANE_ZEKCLI), reboot, "secret\r\n");
        QCOMPARE(right.exitCode, 0);
        QCOMPARE(right.out, QByteArray("login: 0\nresult: 0\n"));
    }
};

QTEST_GUILESS_MAIN(TestZekSdk)
#include "tst_zeksdk.moc"
