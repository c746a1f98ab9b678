// Times an ONVIF search on a large site: corvane-devsim in device namespace 1 plays N ONVIF
// devices, each at its own address (10.78.0.1 upwards), every third with a 2.7 KB answer full of
// namespace declarations and the others with 1.6 KB; they answer each probe at once, or each at
// a random moment within the delay given (WS-Discovery's APP_MAX_DELAY is 500 ms). OnvifDiscovery
// searches through veth1 as Corvane does. Runs only inside the namespaces of tests/netns-run.sh:
//   tests/netns-run.sh build-release/bench/corvane-bench-onvif-discovery [devices] [runs]
//       [receive buffer bytes, 0: Corvane's] [answer delay ms] [more corvane-devsim options...]
// Prints one table row per run: the buffer granted per socket, rounds of probes and probe
// datagrams sent, answers read, the kernel's drops (all rounds, and after the last round), devices
// lost, and the time from the first probe to the last device listed and to the search's end.

#include "AdapterEnumeration.h"
#include "BenchSupport.h"
#include "CaptureStdout.h"
#include "OnvifDiscovery.h"
#include "TestNetwork.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSet>
#include <QTimer>

#include <cstdio>

namespace {
CNetworkAdapterObj veth1()
{
    std::vector<std::unique_ptr<CNetworkAdapterObj>> adapters;
    CaptureStdout([&] { adapters = EnumerateAdapters(SystemInterfaces()); });
    for (const auto &adapter : adapters) {
        if (adapter->m_strName == QLatin1String("veth1"))
            return *adapter;
    }
    return {};
}

double ms(qint64 ns)
{
    return static_cast<double>(ns) / 1e6;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int devices = arguments.size() > 1 ? arguments[1].toInt() : 1000;
    const int runs = arguments.size() > 2 ? arguments[2].toInt() : 5;
    const int bufferBytes = arguments.size() > 3 ? arguments[3].toInt() : 0;
    const int delayMs = arguments.size() > 4 ? arguments[4].toInt() : 0;
    if (!TestNetwork::InPrivateNamespace()) {
        std::fprintf(stderr, "run through tests/netns-run.sh: this benchmark multicasts\n");
        return 2;
    }
    QStringList simulatorOptions{QStringLiteral("--generate-onvif"),
                                 QString::number(devices),
                                 QStringLiteral("--first-ip"),
                                 QStringLiteral("10.78.0.1"),
                                 QStringLiteral("--onvif-big-every"),
                                 QStringLiteral("3"),
                                 QStringLiteral("--shuffle"),
                                 QStringLiteral("--onvif-delay"),
                                 QString::number(delayMs)};
    simulatorOptions += arguments.mid(5);
    DevSim simulator;
    if (!simulator.Start(simulatorOptions)) {
        std::fprintf(stderr, "corvane-devsim did not start\n");
        return 1;
    }
    const CNetworkAdapterObj adapter = veth1();

    std::printf("%d ONVIF devices, answer delay 0..%d ms, receive buffer asked %d bytes, %d runs, simulator: %s\n\n",
                devices, delayMs, bufferBytes, runs, qPrintable(simulatorOptions.join(QLatin1Char(' '))));
    std::printf("| run | sockets | buffer granted | rounds | probes sent | answers read | kernel drops | drops after "
                "last round | devices lost | first probe to last device ms | first probe to end ms |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    std::fflush(stdout);
    int failures = 0;
    for (int run = 1; run <= runs; ++run) {
        OnvifDiscoveryOptions options;
        options.receiveBufferBytes = bufferBytes;
        OnvifDiscovery discovery(options);
        QSet<QString> found;
        qint64 lastFoundNs = 0;
        QObject::connect(&discovery, &OnvifDiscovery::deviceFound, [&](const OnvifDevice &device) {
            found.insert(device.endpoint);
            lastFoundNs = MonotonicNs();
        });
        QEventLoop loop;
        QObject::connect(&discovery, &OnvifDiscovery::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        const qint64 startNs = MonotonicNs();
        if (!discovery.Start(adapter)) {
            std::fprintf(stderr, "the search did not start\n");
            return 1;
        }
        loop.exec();
        const qint64 endNs = MonotonicNs();
        const OnvifDiscoveryStats stats = discovery.Stats();
        const qsizetype lost = devices - found.size();
        failures += lost > 0 ? 1 : 0;
        std::printf("| %d | %d | %d | %d | %d | %lld | %lld | %lld | %lld | %.0f | %.0f |\n", run, stats.sockets,
                    stats.receiveBufferBytes, stats.rounds, stats.probesSent, static_cast<long long>(stats.answersRead),
                    static_cast<long long>(stats.dropped), static_cast<long long>(stats.droppedAfterLastRound),
                    static_cast<long long>(lost), lastFoundNs ? ms(lastFoundNs - startNs) : 0.0, ms(endNs - startNs));
        std::fflush(stdout);
        // The simulator's last answers (to repeats it ignores, to a later round) are long gone
        // before the next search; a short pause keeps runs apart all the same.
        QEventLoop pause;
        QTimer::singleShot(1000, &pause, &QEventLoop::quit);
        pause.exec();
    }
    return failures == 0 ? 0 : 1;
}
