#include "AdapterEnumeration.h"

#include <winsock2.h> // before the others, which need it

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cwchar>
#include <new>
#include <vector>

// The IP Helper itself, as Qt does not show its failure: IPv4 and IPv6 with their prefixes,
// every adapter in the system's order.
namespace {
constexpr ULONG kFamily = AF_UNSPEC;
constexpr ULONG kFlags = GAA_FLAG_INCLUDE_PREFIX;

// The friendly name in the ANSI code page, as the adapter list shows it: characters the code page
// lacks become its default character.
QString ansiName(const wchar_t *name)
{
    const int length = static_cast<int>(std::wcslen(name));
    const int bytes = WideCharToMultiByte(CP_ACP, 0, name, length, nullptr, 0, nullptr, nullptr);
    QByteArray ansi(bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, name, length, ansi.data(), bytes, nullptr, nullptr);
    return QString::fromLocal8Bit(ansi);
}

QHostAddress hostAddress(const SOCKET_ADDRESS &address)
{
    const sockaddr *socketAddress = address.lpSockaddr;
    if (socketAddress->sa_family == AF_INET)
        return QHostAddress(ntohl(reinterpret_cast<const sockaddr_in *>(socketAddress)->sin_addr.s_addr));
    return QHostAddress(socketAddress); // IPv6, or a null address for a family Qt does not know
}
} // namespace

QList<HostInterface> SystemInterfaces()
{
    ULONG size = 0;
    if (GetAdaptersAddresses(kFamily, kFlags, nullptr, nullptr, &size) != ERROR_BUFFER_OVERFLOW) {
        std::fputs("GetAdaptersAddresses() failed...", stderr);
        return {};
    }
    std::vector<IP_ADAPTER_ADDRESSES> buffer;
    try {
        buffer.resize(size / sizeof(IP_ADAPTER_ADDRESSES) + 1);
    } catch (const std::bad_alloc &) {
        return {};
    }
    // Adapters that changed since the first call make this fail too: then there are none.
    if (GetAdaptersAddresses(kFamily, kFlags, nullptr, buffer.data(), &size) != NO_ERROR)
        return {};

    QList<HostInterface> result;
    for (const IP_ADAPTER_ADDRESSES *adapter = buffer.data(); adapter; adapter = adapter->Next) {
        HostInterface host{ansiName(adapter->FriendlyName), {}};
        for (const IP_ADAPTER_UNICAST_ADDRESS *unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next)
            host.addresses.append({hostAddress(unicast->Address), unicast->OnLinkPrefixLength});
        result.append(host);
    }
    return result;
}
