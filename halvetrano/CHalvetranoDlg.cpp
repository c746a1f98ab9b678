#include "CHalvetranoDlg.h"

#include "OwnedThread.h"
#include "RecordText.h"

#include <QFile>
#include <QMetaObject>
#include <QSemaphore>
#include <QThread>

#include <cstdio>

namespace {
// The library's callback carries no object: it reaches the one vendor window through these.
std::atomic<CHalvetranoDlg *> g_hVendorWnd{nullptr};
int32_t g_hVendorCallback = 0; // touched only by the one running search
int32_t g_hVendorDevice = 0;   // user-interface thread only

} // namespace

CHalvetranoDlg::CHalvetranoDlg(QObject *parent)
    : CHalvetranoDlg(QString(), parent)
{
}

CHalvetranoDlg::CHalvetranoDlg(const QString &libraryFile, QObject *parent)
    : QObject(parent)
    , m_bLibrary(ZekSdkLoad(&m_sdk, libraryFile.isEmpty() ? nullptr : QFile::encodeName(libraryFile).constData()) == 1)
{
    if (m_bLibrary)
        m_sdk.ZEKSDKInitialize();
}

CHalvetranoDlg::~CHalvetranoDlg()
{
    m_closing = true;
    if (m_bLibrary)
        m_sdk.ZEKSDKInvalidate(); // ends a running search without waiting for its callbacks
    for (const auto &worker : m_workers)
        worker->wait();
    CHalvetranoDlg *self = this;
    g_hVendorWnd.compare_exchange_strong(self, nullptr);
}

void CHalvetranoDlg::StartSearch()
{
    std::erase_if(m_workers, [](const std::unique_ptr<QThread> &worker) { return worker->isFinished(); });
    std::unique_ptr<QThread> worker = MakeOwnedThread(&CHalvetranoDlg::VendorSearchThreadProc, this);
    worker->start(QThread::HighestPriority);
    m_workers.push_back(std::move(worker));
}

unsigned CHalvetranoDlg::VendorSearchThreadProc(void *param)
{
    static_cast<CHalvetranoDlg *>(param)->SearchDevices();
    return 0;
}

int CHalvetranoDlg::SearchDevices()
{
    if (m_bSearching.exchange(1) == 1) // test and set in one step: one library search at a time
        return 0;
    if (m_bLibrary) {
        if (g_hVendorCallback == 0) {
            g_hVendorWnd = this;
            g_hVendorCallback = m_sdk.ZEKCBCreate(0, &CHalvetranoDlg::VendorEventCallback);
        }
        VendorSearchParams params{};
        params.callbackHandle = g_hVendorCallback;
        params.searchTimeMs = kSearchTimeMs;
        m_sdk.ZEKDevice_Search(&params);
        m_sdk.ZEKCBDelete(g_hVendorCallback);
        g_hVendorCallback = 0;
    }
    m_bSearching = 0; // without the library the search is over at once: the wait window still goes
    SendToUiThread([this] { Q_EMIT vendorDone(); });
    return 0;
}

int32_t CHalvetranoDlg::VendorEventCallback(int32_t, int32_t event, int32_t, intptr_t data, int32_t)
{
    CHalvetranoDlg *window = g_hVendorWnd;
    if (event != ZEK_EVENT_DEVICE_FOUND || !window || data == 0)
        return 0;
    // The description is valid only until we return: the user-interface thread gets a copy.
    const VendorDeviceInfo info = *reinterpret_cast<const VendorDeviceInfo *>(data);
    window->SendToUiThread([window, info] { window->OnVendorDeviceFound(info); });
    return 0;
}

template<typename Fn>
void CHalvetranoDlg::SendToUiThread(Fn fn)
{
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    if (m_closing)
        return;
    auto done = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(
        this,
        [this, fn, done] {
            if (!m_closing)
                fn();
            done->release();
        },
        Qt::QueuedConnection);
    while (!done->tryAcquire(1, 20)) {
        if (m_closing)
            return;
    }
}

void CHalvetranoDlg::OnVendorDeviceFound(const VendorDeviceInfo &info)
{
    const QByteArray ip = ReadText(info.ip_addr, sizeof info.ip_addr);
    const QByteArray mask = ReadText(info.subnet_mask, sizeof info.subnet_mask);
    const QByteArray gateway = ReadText(info.gateway, sizeof info.gateway);
    const QByteArray mac = ReadText(info.mac_addr, sizeof info.mac_addr);
    const QByteArray dns = ReadText(info.dns1, sizeof info.dns1);
    const QByteArray dns2 = ReadText(info.dns2, sizeof info.dns2);
    const QByteArray type = ReadText(info.device_type, sizeof info.device_type);
    const QByteArray model = ReadText(info.device_model, sizeof info.device_model);
    std::printf("ip = %s,  http port = %d, media port = %d, sub mask = %s, gateway = %s,  MAC = %s, major dns = %s,  "
                "minor dns = %s, device type = %s,  device model = %s\n",
                ip.constData(), info.web_port, info.media_port, mask.constData(), gateway.constData(), mac.constData(),
                dns.constData(), dns2.constData(), type.constData(), model.constData());
    std::fflush(stdout);

    CameraInfo record{};
    WriteText(record.mac_addr, mac);
    WriteText(record.model_name, model);
    WriteText(record.manufacturer, VENDOR_MANUFACTURER);
    WriteText(record.ip_addr, ip);
    WriteText(record.subnet_mask, mask);
    WriteText(record.gateway, gateway);
    WriteText(record.dns, dns);
    record.web_port = info.web_port;
    record.media_port = info.media_port;
    Q_EMIT deviceFound(record);
}

int CHalvetranoDlg::RunOnDevice(int32_t (*operation)(int32_t), DeviceOperationResult *result)
{
    if (!m_bLibrary) {
        if (result)
            *result = {ZEK_ERR_NOT_INITIALIZED, ZEK_ERR_NOT_INITIALIZED};
        return 0;
    }
    g_hVendorDevice = m_sdk.ZEKDevice_Create();
    const uint16_t mediaPort = m_TargetInfo.media_port;
    const int login = m_sdk.ZEKDevice_Open(g_hVendorDevice, ReadText(m_TargetInfo.ip_addr).constData(), &mediaPort,
                                           ReadText(m_TargetInfo.header.user_id).constData(),
                                           VendorPassword(m_TargetInfo).constData());
    if (login == 0)
        std::printf("login success!\n");
    else if (login == ZEK_ERR_PASSWORD)
        std::printf("password error\n");
    std::fflush(stdout);
    const int done = operation(g_hVendorDevice); // asked for whatever the login gave: the device judges
    if (result)
        *result = {login, done};
    m_sdk.ZEKDevice_Close(g_hVendorDevice);
    m_sdk.ZEKDevice_Delete(g_hVendorDevice);
    g_hVendorDevice = 0;
    return 0;
}

int CHalvetranoDlg::RebootDevice(DeviceOperationResult *result)
{
    return RunOnDevice(m_sdk.ZEKDevice_RebootDevice, result);
}

int CHalvetranoDlg::FactoryResetDevice(DeviceOperationResult *result)
{
    return RunOnDevice(m_sdk.ZEKDevice_FactoryReset, result);
}

int CHalvetranoDlg::ModifyNetwork()
{
    VendorNetworkConfig config{};
    WriteText(config.subnet_mask, sizeof config.subnet_mask, ReadText(m_NewInfo.subnet_mask));
    WriteText(config.gateway, sizeof config.gateway, ReadText(m_NewInfo.gateway));
    WriteText(config.dns1, sizeof config.dns1, ReadText(m_NewInfo.dns));
    WriteText(config.dns2, sizeof config.dns2, "8.8.8.8");
    WriteText(config.ip_addr, sizeof config.ip_addr, ReadText(m_NewInfo.ip_addr));
    WriteText(config.mac_addr, sizeof config.mac_addr, ReadText(m_TargetInfo.mac_addr));
    WriteText(config.host_ip, sizeof config.host_ip, m_strHostIp.toLatin1());
    config.mode = ZEK_NETWORK_MODE_STATIC;
    const int result = m_bLibrary ? m_sdk.ZEKDevice_ModifyNetwork(ReadText(m_NewInfo.header.user_id).constData(),
                                                                  VendorPassword(m_NewInfo).constData(), &config,
                                                                  kModifyTimeMs)
                                  : ZEK_ERR_NOT_INITIALIZED;
    Q_EMIT vendorDone();
    return result;
}
