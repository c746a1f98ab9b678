#pragma once

#include "SimulatorProcess.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The private namespaces that netns-run.sh makes for every test.
namespace TestNetwork {
inline const QString kHostAddress1 = QStringLiteral("10.77.1.1");
inline const QString kDeviceAddress1 = QStringLiteral("10.77.1.2");
inline const QString kHostAddress2 = QStringLiteral("10.77.2.1");
inline const QString kDeviceAddress2 = QStringLiteral("10.77.2.2");

// True only inside the namespaces of netns-run.sh: tests that open sockets check this
// first, so that a test started by hand can never send on a real network.
bool InPrivateNamespace();

QString DeviceNamespace(int which); // 1 or 2

// True for the Windows build's tests, run under Wine by tests/wine/run-test.sh.
bool UnderWine();

// True when the test runs as an ordinary user (netns-run.sh's user namespace) and the host's
// net.core.rmem_max keeps a receive buffer below bytes. Root forces the buffer's size, so only
// then may a test that counts on no datagram being lost skip.
bool ReceiveBufferLimited(int bytes);

// Sends a datagram to a port of this host, as a device's answer arrives there.
void SendToLocalPort(const QByteArray &datagram, quint16 port);
} // namespace TestNetwork

// corvane-devsim running in one of the device namespaces (1 or 2), or in the test's own
// namespace (0), with its datagram log.
class DevSim final
{
public:
    explicit DevSim(int deviceNamespace = 1);
    ~DevSim();
    DevSim(const DevSim &) = delete;
    DevSim &operator=(const DevSim &) = delete;

    // Starts the simulator with these arguments and waits until it listens.
    bool Start(const QStringList &arguments);
    void Stop();

    // The datagrams it has received so far, one JSON object each.
    QList<QJsonObject> Log() const;
    // Waits until at least count datagrams are logged.
    bool WaitForLog(int count, int timeoutMs = 5000) const;
    // The next line the simulator prints that starts with prefix, such as its report of a burst
    // sent ("sent N datagrams, first at T ns, last at T ns"); empty after timeoutMs.
    QByteArray WaitForOutput(const QByteArray &prefix, int timeoutMs = 10000);

private:
    int m_namespace;
    QTemporaryDir m_dir;
    SimulatorProcess m_process;
};

// The datagrams of one protocol ("own" or "vendor") the simulator has received, in order.
QList<QByteArray> ReceivedDatagrams(const DevSim &sim, QLatin1StringView protocol);
// The set-network requests the simulator has received, as raw bytes.
QList<QByteArray> SetNetworkRequests(const DevSim &sim);

// The requests the simulator's ONVIF device service has logged, in order, each
// {"protocol":"onvif","device":MAC,"from":IP,"operation":"GetDNS","login":"token","accepted":true};
// those of one device when mac is given.
QList<QJsonObject> OnvifServiceRequests(const DevSim &sim, const QString &mac = {});
