#include "HttpDigest.h"

#include <QRandomGenerator>

namespace {
bool isTokenChar(char c)
{
    return c > ' ' && c < 127 && !QByteArrayView("()<>@,;:\\\"/[]?={}").contains(c);
}

// A tokenizer over one header value: tokens, "=", quoted strings and commas.
class Scanner
{
public:
    explicit Scanner(const QByteArray &value)
        : m_text(value)
    {
    }

    void SkipSpace()
    {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t'))
            ++m_at;
    }
    bool AtEnd()
    {
        SkipSpace();
        return m_at >= m_text.size();
    }
    bool Take(char c)
    {
        SkipSpace();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    QByteArray Token()
    {
        SkipSpace();
        const qsizetype start = m_at;
        while (m_at < m_text.size() && isTokenChar(m_text[m_at]))
            ++m_at;
        return m_text.mid(start, m_at - start);
    }
    // A quoted string (escapes undone) or a token; false on an unterminated quote.
    bool Value(QByteArray &value)
    {
        SkipSpace();
        if (m_at < m_text.size() && m_text[m_at] == '"') {
            ++m_at;
            value.clear();
            while (m_at < m_text.size() && m_text[m_at] != '"') {
                if (m_text[m_at] == '\\' && m_at + 1 < m_text.size())
                    ++m_at;
                value += m_text[m_at++];
            }
            if (m_at >= m_text.size())
                return false;
            ++m_at;
            return true;
        }
        value = Token();
        return true;
    }
    qsizetype Mark() const { return m_at; }
    void Reset(qsizetype at) { m_at = at; }

private:
    const QByteArray m_text;
    qsizetype m_at = 0;
};

QByteArray quoted(const QByteArray &value)
{
    QByteArray out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

QByteArray hexHash(QCryptographicHash::Algorithm algorithm, const QByteArray &data)
{
    return QCryptographicHash::hash(data, algorithm).toHex();
}
} // namespace

QList<AuthHeader> ParseAuthHeaders(const QList<QByteArray> &values)
{
    QList<AuthHeader> headers;
    for (const QByteArray &value : values) {
        Scanner s(value);
        while (!s.AtEnd()) {
            if (s.Take(','))
                continue;
            const QByteArray scheme = s.Token();
            if (scheme.isEmpty())
                break; // not a header we can read any further
            AuthHeader header;
            header.scheme = scheme;
            // Parameters up to the next token that is not followed by "=": the next scheme.
            while (!s.AtEnd()) {
                const qsizetype mark = s.Mark();
                if (s.Take(','))
                    continue;
                const QByteArray name = s.Token();
                if (name.isEmpty() || !s.Take('=')) {
                    s.Reset(mark);
                    break;
                }
                QByteArray parameter;
                if (!s.Value(parameter))
                    break;
                header.params.insert(name.toLower(), parameter);
            }
            headers.append(header);
        }
    }
    return headers;
}

std::optional<QCryptographicHash::Algorithm> DigestHash(const QByteArray &algorithm)
{
    const QByteArray name = algorithm.toUpper();
    if (name == "MD5" || name == "MD5-SESS")
        return QCryptographicHash::Md5;
    if (name == "SHA-256" || name == "SHA-256-SESS")
        return QCryptographicHash::Sha256;
    return std::nullopt;
}

bool IsSessionAlgorithm(const QByteArray &algorithm)
{
    return algorithm.toUpper().endsWith("-SESS");
}

std::optional<DigestChallenge> ChooseDigestChallenge(const QList<AuthHeader> &challenges)
{
    std::optional<DigestChallenge> chosen;
    for (const AuthHeader &header : challenges) {
        if (header.scheme.compare("Digest", Qt::CaseInsensitive) != 0 || header.params.value("nonce").isEmpty())
            continue;
        const QByteArray qop = header.params.value("qop");
        if (!qop.isEmpty()) {
            bool auth = false;
            for (const QByteArray &option : qop.split(','))
                auth = auth || option.trimmed() == "auth";
            if (!auth)
                continue;
        }
        DigestChallenge challenge;
        challenge.realm = header.params.value("realm");
        challenge.nonce = header.params.value("nonce");
        challenge.opaque = header.params.value("opaque");
        challenge.algorithm = header.params.value("algorithm", "MD5");
        challenge.stale = header.params.value("stale").compare("true", Qt::CaseInsensitive) == 0;
        const auto hash = DigestHash(challenge.algorithm);
        if (!hash)
            continue;
        // SHA-256 is the stronger; otherwise the server's order of preference.
        if (!chosen || (*hash == QCryptographicHash::Sha256 && DigestHash(chosen->algorithm) != hash))
            chosen = challenge;
    }
    return chosen;
}

QByteArray DigestResponse(const DigestChallenge &challenge, const QString &user, const QString &password,
                          const QByteArray &method, const QByteArray &uri, quint32 nc, const QByteArray &cnonce)
{
    const auto hash = DigestHash(challenge.algorithm).value_or(QCryptographicHash::Md5);
    QByteArray ha1 = hexHash(hash, user.toUtf8() + ':' + challenge.realm + ':' + password.toUtf8());
    if (IsSessionAlgorithm(challenge.algorithm))
        ha1 = hexHash(hash, ha1 + ':' + challenge.nonce + ':' + cnonce);
    const QByteArray ha2 = hexHash(hash, method + ':' + uri);
    const QByteArray ncText = QByteArray::number(nc, 16).rightJustified(8, '0');
    return hexHash(hash, ha1 + ':' + challenge.nonce + ':' + ncText + ':' + cnonce + ":auth:" + ha2);
}

QByteArray MakeCnonce()
{
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    return QByteArray(reinterpret_cast<const char *>(random), sizeof random).toHex();
}

QByteArray DigestAuthorization(const DigestChallenge &challenge, const QString &user, const QString &password,
                               const QByteArray &method, const QByteArray &uri, quint32 nc, const QByteArray &cnonce)
{
    QByteArray header = "Digest username=" + quoted(user.toUtf8()) + ", realm=" + quoted(challenge.realm) + ", nonce="
                        + quoted(challenge.nonce) + ", uri=" + quoted(uri) + ", algorithm=" + challenge.algorithm
                        + ", qop=auth, nc=" + QByteArray::number(nc, 16).rightJustified(8, '0')
                        + ", cnonce=" + quoted(cnonce) + ", response=\""
                        + DigestResponse(challenge, user, password, method, uri, nc, cnonce) + '"';
    if (!challenge.opaque.isEmpty())
        header += ", opaque=" + quoted(challenge.opaque);
    return header;
}

QByteArray DigestChallengeHeader(const DigestChallenge &challenge)
{
    QByteArray header = "Digest realm=" + quoted(challenge.realm) + ", qop=\"auth\", algorithm=" + challenge.algorithm
                        + ", nonce=" + quoted(challenge.nonce);
    if (!challenge.opaque.isEmpty())
        header += ", opaque=" + quoted(challenge.opaque);
    if (challenge.stale)
        header += ", stale=true";
    return header;
}
