#pragma once

#include <QByteArrayView>
#include <QList>

// The host addresses to broadcast from: preferred alone when it is one of the host's IPv4
// addresses; otherwise the first IPv4 address of every interface, loopback left out (devices
// are never found there, and a simulator on the same host hears the other interfaces).
QList<quint32> ZekSendAddresses(QByteArrayView preferred = {});

// Broadcasts data to 255.255.255.255:port once from each address. A socket bound to an
// interface's address is what makes a limited broadcast leave through that interface.
// False when it left through none.
bool BroadcastZek(const QList<quint32> &fromAddresses, QByteArrayView data, quint16 port);
