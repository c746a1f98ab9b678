#include "ComputeMD5.h"

#include <QCryptographicHash>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
bool fail(const char *step)
{
    std::printf("%s failed, Error=0x%.8x\n", step, static_cast<unsigned>(errno));
    return false;
}
} // namespace

bool ComputeMD5(std::uint32_t &outSize, const void *data, std::uint32_t dataLength, void *out)
{
    if (!data && dataLength > 0)
        return fail("CryptHashData");

    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(QByteArrayView(static_cast<const char *>(data), dataLength));

    const auto hashSize = static_cast<std::uint32_t>(QCryptographicHash::hashLength(QCryptographicHash::Md5));
    if (outSize < hashSize) {
        std::printf("\n Output buffer %d, is not sufficient, Required size = %d", static_cast<int>(outSize),
                    static_cast<int>(hashSize));
        return fail("Memory problem");
    }
    if (!out)
        return fail("CryptGetHashParam");

    const QByteArray digest = hash.result();
    std::memcpy(out, digest.constData(), hashSize);
    outSize = hashSize;
    return true;
}
