#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>
#include <QSet>
#include <QString>
#include <QUdpSocket>

// Gives every simulated device an address of its own in this namespace, as on a real site, where
// each device answers from its own address. Each becomes a local /32 route on the loopback
// interface: to the stack that is a local address like one on an interface (it sends from it and
// answers ARP for it on every interface), but 65,000 of them go on in a second, where as many
// interface addresses take minutes (the kernel walks the interface's list for each).
// Adding them needs the network namespace's administrator: run inside a private namespace.
class SimAddresses final
{
public:
    // Adds those of ips the namespace does not have yet. False and a message on failure.
    bool Add(const QList<QByteArray> &ips, QString &error);
    bool IsLocal(const QByteArray &ip) const { return m_local.contains(ip); }
    // A device moves: removes from (when it was added here, not the namespace's own) and adds to.
    bool Replace(const QByteArray &from, const QByteArray &to, QString &error);

private:
    bool Load(QString &error);

    int m_interfaceIndex = 0;
    QSet<QByteArray> m_local;
    QSet<QByteArray> m_added; // by Add() or Replace(), so ours to remove
};

// The namespace's own interface: the first with an IPv4 address that is not the loopback (device
// addresses live on the loopback). Invalid when there is none.
QNetworkInterface NamespaceInterface();

// Sends datagram from the local address from (host and port of the socket otherwise), so that
// a device answers from its own address; a null from lets the system choose. Retries while the
// send queue is full, like SendPatiently().
void SendFrom(QUdpSocket &socket, const QByteArray &datagram, const QHostAddress &from, const QHostAddress &to,
              quint16 port);

// One answer and the address it leaves from (null: the system's choice).
struct SimAnswer
{
    QByteArray datagram;
    QHostAddress from;
};

// How a burst of answers goes out: in the devices' order or shuffled anew for every request, all
// at once or each at a random moment within spreadMs.
struct AnswerStyle
{
    bool shuffle = false;
    int spreadMs = 0;
};

// Sends the answers to to:port as style says; blocks until the last has gone.
void SendAnswers(QUdpSocket &socket, QList<SimAnswer> answers, const AnswerStyle &style, const QHostAddress &to,
                 quint16 port);
