#pragma once

#include "CNetworkAdapterObj.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

// One address of a host interface, with its network's prefix length (-1: not known); it is
// still a QHostAddress to those who need no more.
struct HostAddress : QHostAddress
{
    HostAddress(QHostAddress address, int prefix = -1) // implicit: most callers know no prefix
        : QHostAddress(std::move(address))
        , prefixLength(prefix)
    {
    }
    int prefixLength;
};

// What the enumeration needs of a host interface; tests make these up.
struct HostInterface
{
    QString friendlyName;
    QList<HostAddress> addresses; // in the system's order
};

// Every interface of the host, in the system's order, loopback and down ones included. On Windows
// from the IP Helper, which may fail: then it writes "GetAdaptersAddresses() failed..." to
// standard error (when the first query fails) and there are none.
QList<HostInterface> SystemInterfaces();

// One adapter per interface, in order; writes the "\t%s " trace for every address.
std::vector<std::unique_ptr<CNetworkAdapterObj>> EnumerateAdapters(const QList<HostInterface> &interfaces);

// The adapter's text in the combo box: "name: address".
QString AdapterComboText(const CNetworkAdapterObj &adapter);
