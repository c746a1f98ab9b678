#pragma once

#include "ZEKSDK.h"
#include "ZekSocket.h"

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

// Listens on the client port, broadcasts request to the device port from each address, and
// hands every answer to accept until it takes one, the deadline passes or stop is requested.
// askAgainOnDrops: when the kernel dropped answers, the request goes out again once they have
// gone quiet, as a search of the own family does (SearchRepeatPolicy).
ZekWaitEnd BroadcastAndCollect(const QList<quint32> &fromAddresses, QByteArrayView request,
                               const QDeadlineTimer &deadline, const ZekStop &stop,
                               const std::function<bool(const ZekDatagram &)> &accept, bool askAgainOnDrops = false);

// The library's result for how a wait ended: ZEK_OK when an answer was taken.
int32_t ZekWaitResult(ZekWaitEnd end);
