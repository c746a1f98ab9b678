// Times reading the settings of many ONVIF devices, as corvanectl search with a login does:
// corvane-devsim in device namespace 1 plays N ONVIF devices, each at its own address from
// 10.77.16.1 up (beside, not inside, the namespaces' 10.77.1.0/24 and 10.77.2.0/24), and one
// OnvifClient reads them P at a time: the clock, then five calls, each with the device's login.
// Runs only inside the namespaces of tests/netns-run.sh:
//   tests/netns-run.sh build-release/bench/corvane-bench-onvif-read [devices] [at a time] [runs]
// Prints one line per run: devices read, devices that failed, and the time from the first call to
// the last answer.

#include "OnvifClient.h"
#include "TestNetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>

#include <cstdio>
#include <functional>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int devices = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 1000;
    const int atATime = argc > 2 ? std::max(1, QByteArray(argv[2]).toInt()) : 8;
    const int runs = argc > 3 ? std::max(1, QByteArray(argv[3]).toInt()) : 3;
    if (!TestNetwork::InPrivateNamespace()) {
        std::fprintf(stderr, "run inside tests/netns-run.sh\n");
        return 77;
    }
    const QString firstIp = QStringLiteral("10.77.16.1");
    DevSim sim(1);
    if (!sim.Start(
            {QStringLiteral("--generate-onvif"), QString::number(devices), QStringLiteral("--first-ip"), firstIp})) {
        std::fprintf(stderr, "corvane-devsim did not start\n");
        return 1;
    }
    const quint32 base = QHostAddress(firstIp).toIPv4Address();
    std::printf("devices  at a time  read  failed  ms\n");
    for (int run = 0; run < runs; ++run) {
        // A new client each run: every device's clock and login are learnt anew.
        OnvifClient client;
        int next = 0;
        int ended = 0;
        int failed = 0;
        QElapsedTimer clock;
        std::function<void()> readNext = [&] {
            if (next >= devices)
                return;
            OnvifDevice device;
            device.endpoint = QStringLiteral("bench-%1").arg(next);
            device.serviceAddress = QUrl(
                QStringLiteral("http://%1/onvif/device_service").arg(QHostAddress(base + quint32(next)).toString()));
            device.credentialsSafe = true;
            ++next;
            client.ReadSettings(device, {QStringLiteral("admin"), QStringLiteral("admin")},
                                [&](OnvifResult result, const OnvifSettings &) {
                                    failed += result == OnvifResult::Ok ? 0 : 1;
                                    if (++ended == devices)
                                        app.quit();
                                    else
                                        readNext();
                                });
        };
        clock.start();
        for (int i = 0; i < atATime; ++i)
            readNext();
        QCoreApplication::exec();
        std::printf("%7d  %9d  %4d  %6d  %lld\n", devices, atATime, devices - failed, failed,
                    static_cast<long long>(clock.elapsed()));
    }
    return 0;
}
