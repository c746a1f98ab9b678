#pragma once

#include <QString>

// One host network adapter as the adapter combo box lists it.
class CNetworkAdapterObj final
{
public:
    QString m_strName;        // friendly name
    QString m_strAddress;     // last IPv4 address of the adapter; empty when it has none
    int m_nPrefixLength = -1; // of m_strAddress's network; -1 when not known
    int m_nIfIndex = -1;      // never filled: sends always go to the limited broadcast
};
