#pragma once

// HTTP Digest access authentication (RFC 7616) with MD5, SHA-256 and their -sess forms, qop=auth.
// Qt's own authenticator knows only MD5 and keeps only the first challenge.

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// One challenge or credentials header: its scheme and its parameters (names in lower case,
// quoted strings unquoted).
struct AuthHeader
{
    QByteArray scheme;
    QMap<QByteArray, QByteArray> params;
};

// Every challenge in WWW-Authenticate values (one header each, each maybe a comma list of
// several challenges), or the one set of credentials in an Authorization value.
QList<AuthHeader> ParseAuthHeaders(const QList<QByteArray> &values);

struct DigestChallenge
{
    QByteArray realm;
    QByteArray nonce;
    QByteArray opaque;
    QByteArray algorithm = "MD5"; // as the server spelled it
    bool stale = false;
};

// The digest algorithm of a challenge's algorithm name; nothing for an unknown one.
std::optional<QCryptographicHash::Algorithm> DigestHash(const QByteArray &algorithm);
bool IsSessionAlgorithm(const QByteArray &algorithm);

// The challenge to answer: SHA-256 before MD5, among those with qop auth (or none given).
std::optional<DigestChallenge> ChooseDigestChallenge(const QList<AuthHeader> &challenges);

// The request-digest (response=) of RFC 7616 with qop=auth, lower-case hex.
QByteArray DigestResponse(const DigestChallenge &challenge, const QString &user, const QString &password,
                          const QByteArray &method, const QByteArray &uri, quint32 nc, const QByteArray &cnonce);

// A random client nonce.
QByteArray MakeCnonce();

// The Authorization header value for one request.
QByteArray DigestAuthorization(const DigestChallenge &challenge, const QString &user, const QString &password,
                               const QByteArray &method, const QByteArray &uri, quint32 nc, const QByteArray &cnonce);

// A challenge header value as a server sends it: Digest realm=..., qop="auth", nonce=..., ...
QByteArray DigestChallengeHeader(const DigestChallenge &challenge);
