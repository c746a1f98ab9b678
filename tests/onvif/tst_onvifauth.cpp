// The two logins: HTTP Digest against RFC 7616's own examples, the parsing of challenges as
// devices send them, and the UsernameToken digest against one worked out by hand.

#include "HttpDate.h"
#include "HttpDigest.h"
#include "UsernameToken.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
// RFC 7616, section 3.9.1.
DigestChallenge rfcChallenge(const QByteArray &algorithm)
{
    DigestChallenge challenge;
    challenge.realm = "http-auth@example.org";
    challenge.nonce = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";
    challenge.opaque = "FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS";
    challenge.algorithm = algorithm;
    return challenge;
}
const QByteArray kRfcCnonce = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";
} // namespace

class TestOnvifAuth : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void digestMatchesTheRfcExamples_data()
    {
        QTest::addColumn<QByteArray>("algorithm");
        QTest::addColumn<QByteArray>("response");
        QTest::newRow("MD5") << QByteArray("MD5") << QByteArray("8ca523f5e9506fed4657c9700eebdbec");
        QTest::newRow("SHA-256") << QByteArray("SHA-256")
                                 << QByteArray("753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
        // The -sess forms hash the nonces into HA1 as well.
        QTest::newRow("MD5-sess") << QByteArray("MD5-sess") << QByteArray("e783283f46242139c486a698fec7211d");
        QTest::newRow("SHA-256-sess") << QByteArray("SHA-256-sess")
                                      << QByteArray("2fd51b3a77ad75bad6afad6003e818d767133c46d9e2749e7f5232ae1ea3efd7");
    }
    void digestMatchesTheRfcExamples()
    {
        QFETCH(QByteArray, algorithm);
        QFETCH(QByteArray, response);
        const DigestChallenge challenge = rfcChallenge(algorithm);
        QCOMPARE(DigestResponse(challenge, u"Mufasa"_s, u"Circle of Life"_s, "GET", "/dir/index.html", 1, kRfcCnonce),
                 response);

        // The header carries the response and echoes what the server must see, never the password.
        const QByteArray header = DigestAuthorization(challenge, u"Mufasa"_s, u"Circle of Life"_s, "GET",
                                                      "/dir/index.html", 1, kRfcCnonce);
        QVERIFY(header.startsWith("Digest "));
        QVERIFY(!header.contains("Circle"));
        const AuthHeader parsed = ParseAuthHeaders({header}).value(0);
        QCOMPARE(parsed.params.value("response"), response);
        QCOMPARE(parsed.params.value("uri"), QByteArray("/dir/index.html"));
        QCOMPARE(parsed.params.value("nc"), QByteArray("00000001"));
        QCOMPARE(parsed.params.value("qop"), QByteArray("auth"));
        QCOMPARE(parsed.params.value("opaque"), challenge.opaque);
        QCOMPARE(parsed.params.value("algorithm"), algorithm);
    }

    void challengesAreReadAsDevicesSendThem()
    {
        // Two headers, the second a comma list holding two challenges; escapes in quoted strings.
        const QList<AuthHeader> all = ParseAuthHeaders(
            {"Digest realm=\"cam\", qop=\"auth,auth-int\", nonce=\"n1\", algorithm=MD5",
             "Basic realm=\"b\", Digest realm=\"a \\\"quoted\\\" realm\", nonce=\"n2\", algorithm=SHA-256, "
             "stale=TRUE, opaque=\"o,p\""});
        QCOMPARE(all.size(), 3);
        QCOMPARE(all[0].scheme, QByteArray("Digest"));
        QCOMPARE(all[0].params.value("qop"), QByteArray("auth,auth-int"));
        QCOMPARE(all[1].scheme, QByteArray("Basic"));
        QCOMPARE(all[2].params.value("realm"), QByteArray("a \"quoted\" realm"));
        QCOMPARE(all[2].params.value("opaque"), QByteArray("o,p"));

        // SHA-256 wins wherever it stands; stale is read without regard to case.
        const auto chosen = ChooseDigestChallenge(all);
        QVERIFY(chosen);
        QCOMPARE(chosen->nonce, QByteArray("n2"));
        QCOMPARE(chosen->algorithm, QByteArray("SHA-256"));
        QVERIFY(chosen->stale);
    }

    void challengesWeCannotAnswerAreSkipped()
    {
        // Unknown algorithm, qop without auth, no nonce, another scheme: nothing to answer.
        QVERIFY(!ChooseDigestChallenge(
            ParseAuthHeaders({"Digest realm=\"r\", nonce=\"n\", algorithm=SHA-512-256",
                              "Digest realm=\"r\", nonce=\"n\", qop=\"auth-int\"", "Digest realm=\"r\"",
                              "Digest realm=\"r\", nonce=\"\"", "Basic realm=\"r\""})));
        // Without an algorithm a challenge means MD5; the first of equals is kept.
        const auto md5 = ChooseDigestChallenge(
            ParseAuthHeaders({"Digest realm=\"r\", nonce=\"first\"", "Digest realm=\"r\", nonce=\"second\""}));
        QVERIFY(md5);
        QCOMPARE(md5->nonce, QByteArray("first"));
        QCOMPARE(DigestHash(md5->algorithm), QCryptographicHash::Md5);
    }

    void brokenHeadersEndWithoutHarm()
    {
        const QList<QByteArray> broken{"",   ",,,",          "Digest realm=\"never closed", "Digest =\"x\"",
                                       "\"", "Digest a=b=c", QByteArray(2000, ',')};
        for (const QByteArray &value : broken)
            ParseAuthHeaders({value}); // must simply return
        QVERIFY(!ChooseDigestChallenge(ParseAuthHeaders({"Digest realm=\"never closed, nonce=\"n\""})));
    }

    void usernameTokenDigestMatchesOneWorkedOutByHand()
    {
        // Base64(SHA-1(nonce bytes 00..0f + created + password)), worked out separately.
        QByteArray nonce;
        for (char i = 0; i < 16; ++i)
            nonce += i;
        QCOMPARE(PasswordDigest(nonce, u"2026-01-05T10:11:12.000Z"_s, u"Circle of Life"_s),
                 QByteArray("pwUgNqv+jkuE/D1ZPmVBax2rvMI="));
    }

    void usernameTokensAreFreshAndCarryTheDevicesTime()
    {
        const QDateTime deviceNow(QDate(2026, 1, 5), QTime(10, 11, 12, 345), Qt::UTC);
        const OnvifLogin login{u"admin"_s, u"secret"_s};
        const UsernameToken a = MakeUsernameToken(login, deviceNow);
        const UsernameToken b = MakeUsernameToken(login, deviceNow);
        QCOMPARE(a.created, u"2026-01-05T10:11:12.345Z"_s);
        QCOMPARE(a.nonce.size(), 16);
        QVERIFY(a.nonce != b.nonce);
        QCOMPARE(a.passwordDigest, PasswordDigest(a.nonce, a.created, login.password));
        QVERIFY(!a.passwordDigest.contains("secret"));
        // A time given in another zone is written as UTC.
        QCOMPARE(CreatedText(deviceNow.toOffsetFromUtc(3600)), u"2026-01-05T10:11:12.345Z"_s);
    }

    void theDateHeaderGivesTheDevicesClock()
    {
        // English names whatever the locale; the time in UTC.
        const QLocale locale = QLocale();
        QLocale::setDefault(QLocale(QLocale::German));
        const QDateTime time(QDate(2026, 3, 8), QTime(7, 5, 9), Qt::UTC);
        QCOMPARE(HttpDate(time), QByteArray("Sun, 08 Mar 2026 07:05:09 GMT"));
        QCOMPARE(HttpDate(time.toOffsetFromUtc(-3600)), QByteArray("Sun, 08 Mar 2026 07:05:09 GMT"));
        QCOMPARE(ParseHttpDate(" Sun, 08 Mar 2026 07:05:09 GMT"), time);
        QCOMPARE(ParseHttpDate("Sun, 08 Mar 2026 07:05:09 GMT").timeSpec(), Qt::UTC);
        QLocale::setDefault(locale);
        for (const QByteArray &broken :
             {QByteArray(), QByteArray("yesterday"), QByteArray("Sun, 32 Mar 2026 07:05:09 GMT"),
              QByteArray("Sun, 08 Mar 2026 07:05 GMT")})
            QVERIFY2(!ParseHttpDate(broken).isValid(), broken.constData());
    }
};

QTEST_GUILESS_MAIN(TestOnvifAuth)
#include "tst_onvifauth.moc"
