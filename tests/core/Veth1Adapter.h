#pragma once

#include "AdapterEnumeration.h"
#include "CaptureStdout.h"

// The host's veth1 of netns-run.sh, as the enumeration gives it (its traces kept out of the
// test's output).
inline CNetworkAdapterObj veth1()
{
    std::vector<std::unique_ptr<CNetworkAdapterObj>> adapters;
    CaptureStdout([&] { adapters = EnumerateAdapters(SystemInterfaces()); });
    for (const auto &adapter : adapters) {
        if (adapter->m_strName == QLatin1String("veth1"))
            return *adapter;
    }
    return {};
}
