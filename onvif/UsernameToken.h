#pragma once

#include "OnvifDevice.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The WS-Security UsernameToken of one request. It carries a digest of the password, never
// the password itself.
struct UsernameToken
{
    QString user;
    QByteArray nonce;          // raw bytes
    QString created;           // UTC, ending in Z
    QByteArray passwordDigest; // Base64
};

// Base64(SHA-1(nonce + created + password)), nonce as raw bytes.
QByteArray PasswordDigest(const QByteArray &nonce, const QString &created, const QString &password);
// "2026-01-05T10:11:12.000Z"
QString CreatedText(const QDateTime &utc);
// A token with a fresh random 16-byte nonce, created at deviceNow (the device's clock).
UsernameToken MakeUsernameToken(const OnvifLogin &login, const QDateTime &deviceNow);
