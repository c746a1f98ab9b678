// Any bytes as a device's answer to the vendor library: each answer type is taken exactly when
// the datagram is well formed for it, and the bytes of any probe answer become a device
// description whose texts end inside their slots and say what the wire fields say.

#include "FuzzCheck.h"
#include "RecordText.h"
#include "ZekMessages.h"
#include "ZekSearch.h"
#include "ZekSocket.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>

namespace {
template<typename Message>
void checkDecoding(QByteArrayView datagram, quint8 type)
{
    const auto decoded = DecodeZek<Message>(datagram, type);
    const bool wellFormed = datagram.size() == static_cast<qsizetype>(sizeof(Message))
                            && std::memcmp(datagram.data(), "ZEKP", 4) == 0
                            && static_cast<quint8>(datagram[4]) == ZEK_VERSION
                            && static_cast<quint8>(datagram[5]) == type;
    FUZZ_CHECK(decoded.has_value() == wellFormed);
    if (decoded)
        FUZZ_CHECK(std::memcmp(&*decoded, datagram.data(), sizeof(Message)) == 0);
}

// The slot holds the wire field's text, cut where needed to end with a NUL inside the slot.
template<std::size_t Slot, std::size_t Wire>
void checkText(const char (&slot)[Slot], const char (&wire)[Wire])
{
    const std::size_t length = qstrnlen(slot, Slot);
    FUZZ_CHECK(length < Slot);
    const std::size_t wireLength = std::min(qstrnlen(wire, Wire), Slot - 1);
    FUZZ_CHECK(QByteArray(slot, static_cast<qsizetype>(length))
               == QByteArray(wire, static_cast<qsizetype>(wireLength)));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView datagram(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    checkDecoding<ZekProbeAnswer>(datagram, ZEK_PROBE | ZEK_ANSWER);
    checkDecoding<ZekLoginAnswer>(datagram, ZEK_LOGIN | ZEK_ANSWER);
    checkDecoding<ZekStatusAnswer>(datagram, ZEK_REBOOT | ZEK_ANSWER);
    checkDecoding<ZekStatusAnswer>(datagram, ZEK_FACTORY_RESET | ZEK_ANSWER);
    checkDecoding<ZekStatusAnswer>(datagram, ZEK_LOGOUT | ZEK_ANSWER);
    checkDecoding<ZekModifyAnswer>(datagram, ZEK_MODIFY_NETWORK | ZEK_ANSWER);

    // Whatever the header says, the body's fields as a probe answer (zeros after a short one).
    ZekProbeAnswer answer{};
    std::memcpy(&answer, data, std::min(size, sizeof answer));
    const VendorDeviceInfo info = ToVendorDeviceInfo(answer);
    checkText(info.ip_addr, answer.ip_addr);
    checkText(info.subnet_mask, answer.subnet_mask);
    checkText(info.gateway, answer.gateway);
    checkText(info.mac_addr, answer.mac_addr);
    checkText(info.dns1, answer.dns1);
    checkText(info.dns2, answer.dns2);
    checkText(info.device_type, answer.device_type);
    checkText(info.device_model, answer.device_model);
    FUZZ_CHECK(info.media_port == answer.media_port);
    FUZZ_CHECK(info.web_port == answer.web_port);

    // An address the library reads from an answer reads the same again once written out.
    quint32 address = 0;
    if (ParseIPv4(ReadText(answer.ip_addr), address)) {
        const QByteArray dotted = QByteArray::number(address >> 24) + '.' + QByteArray::number((address >> 16) & 0xff)
                                  + '.' + QByteArray::number((address >> 8) & 0xff) + '.'
                                  + QByteArray::number(address & 0xff);
        quint32 again = 0;
        FUZZ_CHECK(ParseIPv4(dotted, again) && again == address);
    }
    return 0;
}
