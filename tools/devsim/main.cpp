// corvane-devsim: plays any number of devices on the network it runs in, for tests and demos.
// Run it only inside a private network namespace: it answers broadcasts with broadcasts.

#include "DatagramLog.h"
#include "OnvifDiscoverySim.h"
#include "OnvifServiceSim.h"
#include "OwnProtocolSim.h"
#include "OwnedThread.h"
#include "Ports.h"
#include "SimAddresses.h"
#include "SimDevice.h"
#include "VendorProtocolSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kMaxFlood = 1000000; // a load that stops by itself

int fail(const QString &message)
{
    std::fprintf(stderr, "corvane-devsim: %s\n", qPrintable(message));
    return 2;
}
} // namespace

int main(int argc, char *argv[])
{
    AwaitThreadsAtExit(); // under LeakSanitizer: its check sees no thread half gone
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulates Corvane's devices of both families."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption devicesFile(QStringLiteral("devices"), QStringLiteral("Device file (JSON)."),
                                         QStringLiteral("file"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("One device as key=value,... (repeatable)."),
                                    QStringLiteral("keys"));
    const QCommandLineOption generate(QStringLiteral("generate"), QStringLiteral("Add N own-family devices."),
                                      QStringLiteral("N"));
    const QCommandLineOption generateVendor(QStringLiteral("generate-vendor"),
                                            QStringLiteral("Add N vendor-family devices."), QStringLiteral("N"));
    const QCommandLineOption generateOnvif(QStringLiteral("generate-onvif"), QStringLiteral("Add N ONVIF devices."),
                                           QStringLiteral("N"));
    const QCommandLineOption firstIp(QStringLiteral("first-ip"), QStringLiteral("First address of generated devices."),
                                     QStringLiteral("ip"), QStringLiteral("10.77.1.100"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Log every received datagram here (default: stderr)."),
                                 QStringLiteral("file"));
    const QCommandLineOption devicePort(QStringLiteral("device-port"), QStringLiteral("Port devices listen on."),
                                        QStringLiteral("port"), QString::number(DEVICE_PORT));
    const QCommandLineOption replyPort(QStringLiteral("reply-port"), QStringLiteral("Port answers go to."),
                                       QStringLiteral("port"), QString::number(REPLY_PORT));
    const QCommandLineOption answerTwice(QStringLiteral("answer-twice"), QStringLiteral("Send every answer twice."));
    const QCommandLineOption answerDelay(QStringLiteral("answer-delay"),
                                         QStringLiteral("Send answers this many ms late."), QStringLiteral("ms"),
                                         QStringLiteral("0"));
    const QCommandLineOption malformed(
        QStringLiteral("malformed"),
        QStringLiteral("With every search answer also send these: short,long,empty,nonul,unknown; with vendor "
                       "probe answers also magic,version,foreign."),
        QStringLiteral("kinds"));
    const QCommandLineOption flood(
        QStringLiteral("flood"),
        QStringLiteral("On the first search also send N datagrams of every kind at full speed: valid, duplicate, "
                       "cut, empty, oversized, unknown command, foreign protocol (valid ones: MAC 02:F1:00:xx:xx:xx)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption rebootTime(QStringLiteral("reboot-time"),
                                        QStringLiteral("How long a rebooting vendor device stays silent."),
                                        QStringLiteral("ms"), QStringLiteral("3000"));
    const QCommandLineOption ownAddresses(
        QStringLiteral("own-addresses"),
        QStringLiteral("Every device answers from its own address, added to this namespace's interface (as /32)."));
    const QCommandLineOption shuffle(QStringLiteral("shuffle"),
                                     QStringLiteral("Answer every search in a new random order."));
    const QCommandLineOption answerSpread(QStringLiteral("answer-spread"),
                                          QStringLiteral("Send each search answer at a random moment within MS."),
                                          QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption onvifDelay(
        QStringLiteral("onvif-delay"),
        QStringLiteral(
            "Send each ONVIF probe answer at a random moment within MS (WS-Discovery's APP_MAX_DELAY: 500)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption onvifBigEvery(
        QStringLiteral("onvif-big-every"),
        QStringLiteral("Every Nth generated ONVIF device answers with about 2.7 KB (bigAnswer)."), QStringLiteral("N"),
        QStringLiteral("0"));
    const QCommandLineOption onvifHello(QStringLiteral("onvif-hello"),
                                        QStringLiteral("Announce every ONVIF device with a Hello once started."));
    const QCommandLineOption onvifRebootTime(QStringLiteral("onvif-reboot-time"),
                                             QStringLiteral("How long a rebooting ONVIF device stays silent."),
                                             QStringLiteral("ms"), QStringLiteral("1000"));
    parser.addOptions({devicesFile,   device,     generate,       generateVendor, generateOnvif, firstIp,
                       log,           devicePort, replyPort,      answerTwice,    answerDelay,   malformed,
                       flood,         rebootTime, ownAddresses,   shuffle,        answerSpread,  onvifDelay,
                       onvifBigEvery, onvifHello, onvifRebootTime});
    parser.process(app);

    QString error;
    QList<SimDevice> devices;
    if (parser.isSet(devicesFile) && !LoadDeviceFile(parser.value(devicesFile), devices, error))
        return fail(error);
    const auto options = parser.values(device);
    for (const QString &option : options) {
        SimDevice simDevice;
        if (!ParseDeviceOption(option, simDevice, error))
            return fail(error);
        devices.append(simDevice);
    }
    const QByteArray ip = parser.value(firstIp).toLatin1();
    const int ownCount = parser.value(generate).toInt();
    devices += GenerateDevices(SimDevice::Family::Own, ownCount, ip);
    const int vendorCount = parser.value(generateVendor).toInt();
    devices += GenerateDevices(SimDevice::Family::Vendor, vendorCount, ip, ownCount);
    QList<SimDevice> generatedOnvif = GenerateDevices(SimDevice::Family::Onvif, parser.value(generateOnvif).toInt(), ip,
                                                      ownCount + vendorCount);
    const int bigEvery = parser.value(onvifBigEvery).toInt();
    for (qsizetype i = 0; bigEvery > 0 && i < generatedOnvif.size(); i += bigEvery)
        generatedOnvif[i].bigAnswer = true;
    devices += generatedOnvif;

    SimAddresses addresses;
    SimAddresses *deviceAddresses = nullptr;
    if (parser.isSet(ownAddresses)) {
        QList<QByteArray> ips;
        for (const SimDevice &simDevice : std::as_const(devices))
            ips.append(simDevice.ip);
        if (!addresses.Add(ips, error))
            return fail(error);
        deviceAddresses = &addresses;
    }
    // ONVIF devices always answer from, and serve at, an address of their own.
    QList<QByteArray> onvifIps;
    for (const SimDevice &simDevice : std::as_const(devices)) {
        if (simDevice.family == SimDevice::Family::Onvif)
            onvifIps.append(simDevice.ip);
    }
    if (!onvifIps.isEmpty() && !addresses.Add(onvifIps, error))
        return fail(error);
    AnswerStyle style;
    style.shuffle = parser.isSet(shuffle);
    style.spreadMs = std::max(0, parser.value(answerSpread).toInt());

    DatagramLog datagramLog;
    if (!datagramLog.Open(parser.value(log), error))
        return fail(error);

    OwnProtocolSim::Faults faults;
    faults.answerTwice = parser.isSet(answerTwice);
    faults.answerDelayMs = parser.value(answerDelay).toInt();
    faults.malformed = parser.value(malformed).split(QLatin1Char(','), Qt::SkipEmptyParts);
    faults.flood = std::clamp(parser.value(flood).toInt(), 0, kMaxFlood);
    faults.style = style;

    OwnProtocolSim own(devices, datagramLog, parser.value(devicePort).toUShort(), parser.value(replyPort).toUShort(),
                       faults, deviceAddresses);
    if (!own.Start(error))
        return fail(error);

    VendorProtocolSim::Options vendorOptions;
    vendorOptions.rebootTimeMs = parser.value(rebootTime).toInt();
    vendorOptions.answerTwice = faults.answerTwice;
    vendorOptions.malformed = faults.malformed;
    vendorOptions.style = style;
    vendorOptions.addresses = deviceAddresses;
    VendorProtocolSim vendor(devices, datagramLog, vendorOptions);
    if (!vendor.Start(error))
        return fail(error);

    // WS-Discovery for the ONVIF devices, when there are any.
    OnvifDiscoverySim::Options onvifOptions;
    onvifOptions.style = style;
    onvifOptions.appMaxDelayMs = std::max(0, parser.value(onvifDelay).toInt());
    OnvifDiscoverySim onvifDiscovery(devices, datagramLog, onvifOptions);
    if (!onvifIps.isEmpty() && !onvifDiscovery.Start(error))
        return fail(error);
    if (!onvifIps.isEmpty() && parser.isSet(onvifHello)) {
        for (const SimDevice &simDevice : std::as_const(devices)) {
            if (simDevice.family == SimDevice::Family::Onvif)
                onvifDiscovery.AnnounceHello(simDevice);
        }
    }

    // The ONVIF devices' device management service over HTTP.
    OnvifServiceSim::Options serviceOptions;
    serviceOptions.rebootTimeMs = std::max(0, parser.value(onvifRebootTime).toInt());
    OnvifServiceSim onvifService(devices, datagramLog, addresses, serviceOptions);
    if (!onvifService.Start(error))
        return fail(error);
    onvifDiscovery.silent = [&onvifService](int index) { return onvifService.IsRebooting(index); };
    onvifService.rebooted = [&onvifDiscovery, &devices](int index) { onvifDiscovery.AnnounceHello(devices[index]); };
    // A device that moved by itself says so, as real ones do: Bye, then Hello at its new address.
    onvifService.moved = [&onvifDiscovery, &devices](int index, const QByteArray &) {
        onvifDiscovery.AnnounceBye(devices[index]);
        onvifDiscovery.AnnounceHello(devices[index]);
    };

    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
