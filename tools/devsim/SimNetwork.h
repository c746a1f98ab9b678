#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QUdpSocket>

#include <optional>

// What both families' simulated devices need of the network.

bool IsDottedQuad(const QByteArray &text);
// A dotted quad whose host part is 0...01...1.
bool IsContiguousMask(const QByteArray &text);

// The broken answers that only change a valid answer's size: "short", "long" and "empty";
// nothing for other kinds.
std::optional<QByteArray> SizeFault(const QString &kind, const QByteArray &valid);

// Sends one datagram; a burst of thousands can fill the send queue for a moment, so it waits
// and tries again.
void SendPatiently(QUdpSocket &socket, const QByteArray &datagram, const QHostAddress &to, quint16 port);
