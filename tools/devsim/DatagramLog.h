#pragma once

#include <QFile>
#include <QHostAddress>
#include <QJsonObject>
#include <QString>

// Every datagram the simulator receives, one JSON line each, so that tests can assert on
// exactly what went on the wire:
//   {"protocol":"own","from":"10.77.1.1","port":40013,"size":371,"hex":"0300..."}
// protocol is "own", "vendor" or "onvif" (WS-Discovery on port 3702: probes, and Hellos heard).
class DatagramLog final
{
public:
    // An empty path logs to standard error.
    bool Open(const QString &path, QString &error);
    void Write(const char *protocol, const QHostAddress &from, quint16 port, const QByteArray &datagram);
    // Any other event, as one line.
    void WriteLine(const QJsonObject &line);

private:
    QFile m_file;
};
