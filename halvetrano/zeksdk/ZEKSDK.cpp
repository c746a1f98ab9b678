// The C entry points: each finds its handle, then leaves the work to ZekSearch or ZekDeviceCalls.
// They are the library's whole interface.

#include "ZekExportedApi.h"

#include "ZekDeviceCalls.h"
#include "ZekLibrary.h"
#include "ZekMessages.h"
#include "ZekSearch.h"

#include <cstring>
#include <thread>

namespace {
// A C interface keeps its state where every function finds it. Never destroyed: a search
// thread still finishing a callback at exit must not meet a destroyed library.
ZekLibrary &library()
{
    static ZekLibrary *const instance = new ZekLibrary;
    return *instance;
}

// No exception crosses into a C caller.
template<typename Fn>
int32_t guarded(int32_t onException, Fn &&fn) noexcept
{
    try {
        return fn();
    } catch (...) {
        return onException;
    }
}

template<typename Fn>
int32_t onDevice(int32_t handle, Fn &&fn) noexcept
{
    return guarded(ZEK_ERR_FAILED, [&]() -> int32_t {
        const ZekFound<ZekDevice> found = library().FindDevice(handle);
        if (found.result != ZEK_OK)
            return found.result;
        const std::lock_guard lock(found.object->mutex);
        return fn(*found.object, found.stop);
    });
}
} // namespace

extern "C" {

int32_t ZEKSDKInitialize(void)
{
    return guarded(ZEK_ERR_FAILED, [] { return library().Initialize(); });
}

int32_t ZEKSDKInvalidate(void)
{
    return guarded(ZEK_ERR_FAILED, [] { return library().Invalidate(); });
}

int32_t ZEKCBCreate(int32_t user, ZEKEventCallback callback)
{
    return guarded(0, [&] { return library().CreateCallback(user, callback); });
}

int32_t ZEKCBDelete(int32_t callbackHandle)
{
    return guarded(ZEK_ERR_FAILED, [&]() -> int32_t { return library().DeleteCallback(callbackHandle); });
}

int32_t ZEKDevice_Search(const VendorSearchParams *params)
{
    return guarded(ZEK_ERR_FAILED, [&]() -> int32_t {
        if (!params || params->searchTimeMs <= 0)
            return ZEK_ERR_INVALID_ARGUMENT;
        const int32_t callbackHandle = params->callbackHandle;
        const int searchTimeMs = params->searchTimeMs;
        const ZekFound<ZekCallback> found = library().FindCallback(callbackHandle);
        if (found.result != ZEK_OK)
            return found.result;
        // Callbacks come from a thread of the library's own; joining it before returning is
        // what guarantees the caller that none comes later.
        int32_t result = ZEK_ERR_FAILED;
        std::thread searcher([&] {
            result = guarded(ZEK_ERR_FAILED, [&]() -> int32_t {
                return RunZekSearch(*found.object, callbackHandle, searchTimeMs, found.stop);
            });
        });
        searcher.join();
        return result;
    });
}

int32_t ZEKDevice_Create(void)
{
    return guarded(0, [] { return library().CreateDevice(); });
}

int32_t ZEKDevice_Open(int32_t device, const char *ipAddress, const uint16_t *mediaPort, const char *userId,
                       const char *password)
{
    return onDevice(device, [&](ZekDevice &handle, const ZekStop &stop) -> int32_t {
        if (!ipAddress || !mediaPort || !userId || !password) {
            LogoutZekDevice(handle);
            return ZEK_ERR_INVALID_ARGUMENT;
        }
        // The port may sit in a packed record, at an odd address.
        uint16_t port = 0;
        std::memcpy(&port, mediaPort, sizeof port);
        return LoginZekDevice(handle, ipAddress, port, userId, password, stop);
    });
}

int32_t ZEKDevice_RebootDevice(int32_t device)
{
    return onDevice(device, [](ZekDevice &handle, const ZekStop &stop) {
        return SendZekSessionCommand(handle, ZEK_REBOOT, stop);
    });
}

int32_t ZEKDevice_FactoryReset(int32_t device)
{
    return onDevice(device, [](ZekDevice &handle, const ZekStop &stop) {
        return SendZekSessionCommand(handle, ZEK_FACTORY_RESET, stop);
    });
}

int32_t ZEKDevice_Close(int32_t device)
{
    return onDevice(device, [](ZekDevice &handle, const ZekStop &) -> int32_t {
        LogoutZekDevice(handle);
        return ZEK_OK;
    });
}

int32_t ZEKDevice_Delete(int32_t device)
{
    return guarded(ZEK_ERR_FAILED, [&]() -> int32_t {
        const ZekFound<ZekDevice> found = library().TakeDevice(device);
        if (found.result != ZEK_OK)
            return found.result;
        const std::lock_guard lock(found.object->mutex);
        LogoutZekDevice(*found.object);
        return ZEK_OK;
    });
}

int32_t ZEKDevice_ModifyNetwork(const char *userId, const char *password, const VendorNetworkConfig *config,
                                int32_t timeoutMs)
{
    return guarded(ZEK_ERR_FAILED, [&]() -> int32_t {
        if (!userId || !password || !config)
            return ZEK_ERR_INVALID_ARGUMENT;
        ZekStop stop;
        if (const int32_t result = library().Begin(stop); result != ZEK_OK)
            return result;
        return ModifyZekNetwork(userId, password, *config, timeoutMs, stop);
    });
}

} // extern "C"
