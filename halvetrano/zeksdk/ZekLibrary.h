#pragma once

#include "ZEKSDK.h"
#include "ZekSocket.h"

#include <QByteArray>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

struct ZekCallback
{
    ZEKEventCallback function = nullptr;
    int32_t user = 0;
    std::atomic<bool> alive{true}; // false once deleted or the library stopped
};

// One device handle. Calls on it hold its mutex, so they run one after the other.
struct ZekDevice
{
    std::mutex mutex;
    QByteArray ipText; // as given to the login, cut to its slot
    quint32 address = 0;
    quint16 port = 0;
    bool reached = false; // the device answered the last login, accepted or not
    quint32 session = 0;  // non-zero while logged in
};

template<typename T>
struct ZekFound
{
    int32_t result = ZEK_ERR_INVALID_HANDLE;
    std::shared_ptr<T> object;
    ZekStop stop;
};

// The library's state between calls: whether it is started, the handles, and the epoch that
// ZEKSDKInvalidate moves on to end every call in progress without waiting for any of them.
// Handles are shared with running calls, so forgetting one never pulls it from under them.
class ZekLibrary final
{
public:
    int32_t Initialize();
    int32_t Invalidate();

    int32_t CreateCallback(int32_t user, ZEKEventCallback function);
    int32_t DeleteCallback(int32_t handle);
    ZekFound<ZekCallback> FindCallback(int32_t handle);

    int32_t CreateDevice();
    // Forgets the handle and hands it back for a last logout.
    ZekFound<ZekDevice> TakeDevice(int32_t handle);
    ZekFound<ZekDevice> FindDevice(int32_t handle);

    // A stop token for a call that starts now: ZEK_OK, or ZEK_ERR_NOT_INITIALIZED.
    int32_t Begin(ZekStop &stop);

private:
    template<typename T>
    ZekFound<T> Find(const std::map<int32_t, std::shared_ptr<T>> &handles, int32_t handle);
    int32_t NextHandle();

    std::mutex m_mutex;
    bool m_initialized = false;
    std::atomic<quint64> m_epoch{0};
    int32_t m_lastHandle = 0;
    std::map<int32_t, std::shared_ptr<ZekCallback>> m_callbacks;
    std::map<int32_t, std::shared_ptr<ZekDevice>> m_devices;
};
