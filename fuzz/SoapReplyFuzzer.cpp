// Any bytes as a device service's reply: the reply and every reader of it end without harm, a
// reply that reads as settings holds values a device can have, and a fault is a fault only in a
// SOAP 1.2 envelope. The same bytes as challenge headers, which come from the device too.

#include "FuzzCheck.h"
#include "HttpDigest.h"
#include "SoapMessages.h"

#include <QByteArray>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const SoapReply reply(bytes);
    const auto fault = reply.Fault();
    FUZZ_CHECK(!fault || reply.IsValid());
    if (fault)
        ResultOfFault(*fault);

    OnvifSettings settings;
    if (ReadNetworkInterfaces(reply, settings)) {
        FUZZ_CHECK(reply.IsValid());
        FUZZ_CHECK(settings.prefixLength >= -1 && settings.prefixLength <= 32);
        FUZZ_CHECK(settings.mask == MaskOfPrefixLength(settings.prefixLength));
    }
    ReadDns(reply, settings);
    ReadNetworkDefaultGateway(reply, settings);
    ReadDeviceInformation(reply, settings);
    QList<NetworkProtocol> protocols;
    if (ReadNetworkProtocols(reply, protocols)) {
        const int port = WebPortOf(protocols);
        FUZZ_CHECK(port == -1 || (port >= 1 && port <= 65535));
    }
    QDateTime utc;
    if (ReadSystemDateAndTime(reply, utc))
        FUZZ_CHECK(utc.isValid());
    bool rebootNeeded = false;
    ReadRebootNeeded(reply, rebootNeeded);

    const auto challenge = ChooseDigestChallenge(ParseAuthHeaders(bytes.split('\n')));
    if (challenge)
        FUZZ_CHECK(!challenge->nonce.isEmpty() && DigestHash(challenge->algorithm).has_value());
    return 0;
}
