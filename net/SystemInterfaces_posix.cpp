#include "AdapterEnumeration.h"

#include <QNetworkInterface>

QList<HostInterface> SystemInterfaces()
{
    QList<HostInterface> result;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        HostInterface host{nic.humanReadableName(), {}};
        const auto entries = nic.addressEntries();
        for (const QNetworkAddressEntry &entry : entries)
            host.addresses.append({entry.ip(), entry.prefixLength()});
        result.append(host);
    }
    return result;
}
