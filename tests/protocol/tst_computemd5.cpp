#include "ComputeMD5.h"

#include <QByteArray>
#include <QTest>

namespace {
QByteArray digestOf(const QByteArray &data, std::uint32_t outSize = 16)
{
    QByteArray out(static_cast<qsizetype>(outSize), '\xee');
    const bool ok = ComputeMD5(outSize, data.constData(), static_cast<std::uint32_t>(data.size()), out.data());
    return ok ? out.left(outSize) : QByteArray();
}

QByteArray passwordDigest(const char *password)
{
    return digestOf(QByteArray(password) + '\0').toHex();
}
} // namespace

class TestComputeMD5 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rfc1321Vectors()
    {
        QCOMPARE(digestOf("").toHex(), QByteArray("d41d8cd98f00b204e9800998ecf8427e"));
        QCOMPARE(digestOf("abc").toHex(), QByteArray("900150983cd24fb0d6963f7d28e17f72"));
        QCOMPARE(digestOf("message digest").toHex(), QByteArray("f96b697d7cb7938d525a2f31aaf161d0"));
    }

    void passwordsAreDigestedWithTheirNul()
    {
        QCOMPARE(passwordDigest(""), QByteArray("93b885adfe0da089cdf634904fd59f71"));
        QVERIFY(passwordDigest("abc") != digestOf("abc").toHex());
        QCOMPARE(passwordDigest("abc"), digestOf(QByteArray("abc", 4)).toHex());
    }

    void largerBufferGetsSixteenBytes()
    {
        std::uint32_t size = 32;
        QByteArray out(32, '\xee');
        QVERIFY(ComputeMD5(size, "abc", 3, out.data()));
        QCOMPARE(size, 16u);
        QCOMPARE(out.mid(16), QByteArray(16, '\xee'));
    }

    void smallBufferFailsAndWritesNothing()
    {
        std::uint32_t size = 15;
        QByteArray out(16, '\xee');
        QVERIFY(!ComputeMD5(size, "abc", 3, out.data()));
        QCOMPARE(out, QByteArray(16, '\xee'));
    }
};

QTEST_APPLESS_MAIN(TestComputeMD5)
#include "tst_computemd5.moc"
