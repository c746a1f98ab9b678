// Any bytes of any length as a datagram on the reply port, through the main window's reply
// handling: no crash, no read outside the datagram or past a record field, and no change but
// the one a valid record makes. The expected change is worked out here on its own: a search
// reply with a new, non-empty MAC adds one device and one row showing its fields; a set-network reply
// from the selected device is reported once; nothing else changes anything.

#include "CCorvaneDlg.h"
#include "CReportCtrl.h"
#include "FuzzCheck.h"

#include <QApplication>
#include <QtEndian>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {
struct Harness
{
    QStringList messages;
    QSet<QByteArray> listedMacs;
    std::unique_ptr<CCorvaneDlg> dialog;

    void Reset()
    {
        dialog.reset();
        listedMacs.clear();
        messages.clear();
        CorvaneServices services;
        services.interfaces = [] {
            return QList<HostInterface>{{QStringLiteral("lo"), {QHostAddress(QHostAddress::LocalHost)}}};
        };
        services.messageBox = [this](QWidget *, const QString &text) { messages << text; };
        services.openUrl = [](const QUrl &) {};
        dialog = std::make_unique<CCorvaneDlg>(services);
    }
};

Harness *g_harness = nullptr;
constexpr std::size_t kDevicesBeforeReset = 400;

// A record field's text as the list must show it: up to the first NUL, never past the field.
template<std::size_t N>
QByteArray fieldText(const char (&field)[N])
{
    return QByteArray(field, static_cast<qsizetype>(qstrnlen(field, N)));
}

template<std::size_t N>
QString cellText(const char (&field)[N])
{
    return QString::fromLocal8Bit(fieldText(field));
}

const char *resultText(qint32 result)
{
    static const char *const texts[] = {"Apply",
                                        "Failed",
                                        "Failed. Invalid address",
                                        "Failed. Invalid port",
                                        "Failed. Invalid config",
                                        "Failed. login failed"};
    return result >= 0 && result < 6 ? texts[result] : nullptr;
}

void checkRow(const CReportCtrl &list, int row, const CameraInfo &record)
{
    const QString manufacturer = fieldText(record.manufacturer) == "Halvetrano" ? QString()
                                                                                : cellText(record.manufacturer);
    FUZZ_CHECK(list.GetItemText(row, 0) == QString::number(row + 1));
    FUZZ_CHECK(list.GetItemText(row, 1) == cellText(record.mac_addr));
    FUZZ_CHECK(list.GetItemText(row, 2) == cellText(record.ip_addr));
    FUZZ_CHECK(list.GetItemText(row, 3) == cellText(record.model_name));
    FUZZ_CHECK(list.GetItemText(row, 4) == manufacturer);
    FUZZ_CHECK(list.GetItemText(row, 5) == cellText(record.version));
    FUZZ_CHECK(list.GetItemText(row, 6).isEmpty());
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "corvane-fuzz-reply";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    g_harness = new Harness;
    g_harness->Reset();
    // libFuzzer ends with exit(): the window goes before the application, and both before the
    // final leak check.
    std::atexit([] {
        delete g_harness;
        delete app;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Harness &h = *g_harness;
    if (h.dialog->m_arrDevices.size() >= kDevicesBeforeReset)
        h.Reset();
    CCorvaneDlg &dialog = *h.dialog;
    const std::size_t before = dialog.m_arrDevices.size();
    // The first device is selected and its one report is still due.
    dialog.m_nSelected = before > 0 ? 0 : -1;
    dialog.m_bResultShown = 0;
    const qsizetype messagesBefore = h.messages.size();

    dialog.DispatchReply(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    // The window shows a report once the replies in hand are handled.
    QCoreApplication::sendPostedEvents(&dialog, QEvent::MetaCall);

    // Only a datagram of 1 to 372 bytes is a record; the rest of a short one reads as zeros.
    const bool isRecord = size > 0 && size <= sizeof(CameraInfo);
    CameraInfo record{};
    if (isRecord)
        std::memcpy(&record, data, size);
    const qint32 cmd = qFromLittleEndian<qint32>(&record);
    const QByteArray mac = fieldText(record.mac_addr);

    const bool added = isRecord && cmd == CMD_SEARCH_REPLY && !mac.isEmpty() && !(before == 0 && mac.size() < 12)
                       && !h.listedMacs.contains(mac);
    FUZZ_CHECK(dialog.m_arrDevices.size() == before + (added ? 1 : 0));
    FUZZ_CHECK(dialog.m_listDevice->GetItemCount() == static_cast<int>(dialog.m_arrDevices.size()));
    if (added) {
        h.listedMacs.insert(mac);
        const CCameraInfoObj &device = *dialog.m_arrDevices.back();
        FUZZ_CHECK(std::memcmp(&device.m_CameraInfo, &record, sizeof record) == 0);
        FUZZ_CHECK(device.m_strMaker == QLatin1String("Talbrixonics"));
        checkRow(*dialog.m_listDevice, static_cast<int>(before), record);
    }

    const bool fromSelected = isRecord && cmd == CMD_SET_NETWORK && before > 0
                              && mac == fieldText(dialog.m_arrDevices.front()->m_CameraInfo.mac_addr);
    FUZZ_CHECK(dialog.m_bResultShown == (fromSelected ? 1 : 0));
    const char *report = fromSelected ? resultText(record.header.result) : nullptr;
    FUZZ_CHECK(h.messages.size() == messagesBefore + (report ? 1 : 0));
    if (report)
        FUZZ_CHECK(h.messages.last() == QLatin1String(report));
    FUZZ_CHECK(dialog.m_nSelected == (before > 0 ? 0 : -1));
    return 0;
}
