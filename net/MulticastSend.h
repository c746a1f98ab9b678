#pragma once

#include "NativeSocketTypes.h"

#include <QByteArrayView>
#include <QtGlobal>

// Multicasts leave through the interface that owns interfaceAddress (host order), with this TTL:
// IP_MULTICAST_IF and IP_MULTICAST_TTL, the same calls on Windows and POSIX systems. Without the
// interface, Linux picks the way out by the routing table, and a namespace without a default
// route refuses the send. False when either is refused.
bool SetMulticastSending(NativeSocket s, quint32 interfaceAddress, int ttl);

// One datagram to address:port (host order); false when the system refused it.
bool SendDatagram(NativeSocket s, QByteArrayView datagram, quint32 address, quint16 port);
