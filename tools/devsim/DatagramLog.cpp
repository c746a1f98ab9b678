#include "DatagramLog.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

bool DatagramLog::Open(const QString &path, QString &error)
{
    const bool ok = path.isEmpty() ? m_file.open(stderr, QIODevice::WriteOnly)
                                   : (m_file.setFileName(path), m_file.open(QIODevice::WriteOnly | QIODevice::Append));
    if (!ok)
        error = QStringLiteral("cannot open log %1: %2").arg(path, m_file.errorString());
    return ok;
}

void DatagramLog::Write(const char *protocol, const QHostAddress &from, quint16 port, const QByteArray &datagram)
{
    const QJsonObject line{
        {QStringLiteral("protocol"), QLatin1String(protocol)},
        {QStringLiteral("from"), from.toString()},
        {QStringLiteral("port"), port},
        {QStringLiteral("size"), datagram.size()},
        {QStringLiteral("hex"), QString::fromLatin1(datagram.toHex())},
    };
    WriteLine(line);
}

void DatagramLog::WriteLine(const QJsonObject &line)
{
    m_file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
    m_file.flush();
}
