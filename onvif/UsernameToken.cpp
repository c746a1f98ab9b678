#include "UsernameToken.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

QByteArray PasswordDigest(const QByteArray &nonce, const QString &created, const QString &password)
{
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(nonce);
    sha1.addData(created.toUtf8());
    sha1.addData(password.toUtf8());
    return sha1.result().toBase64();
}

QString CreatedText(const QDateTime &utc)
{
    // Some devices refuse longer forms (more fractional digits, an offset instead of Z).
    return utc.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char('Z');
}

UsernameToken MakeUsernameToken(const OnvifLogin &login, const QDateTime &deviceNow)
{
    UsernameToken token;
    token.user = login.user;
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    token.nonce = QByteArray(reinterpret_cast<const char *>(random), sizeof random);
    token.created = CreatedText(deviceNow);
    token.passwordDigest = PasswordDigest(token.nonce, token.created, login.password);
    return token;
}
