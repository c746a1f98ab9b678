#include "ZekLibrary.h"

#include <limits>

int32_t ZekLibrary::Initialize()
{
    const std::lock_guard lock(m_mutex);
    if (!m_initialized)
        StartSockets();
    m_initialized = true;
    return ZEK_OK;
}

int32_t ZekLibrary::Invalidate()
{
    std::map<int32_t, std::shared_ptr<ZekCallback>> callbacks;
    std::map<int32_t, std::shared_ptr<ZekDevice>> devices;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_initialized)
            return ZEK_OK;
        m_initialized = false;
        ++m_epoch;
        callbacks.swap(m_callbacks);
        devices.swap(m_devices);
        for (auto &entry : callbacks)
            entry.second->alive = false;
        StopSockets();
    }
    // The maps die here, outside the lock; running calls keep their own share of each handle.
    return ZEK_OK;
}

int32_t ZekLibrary::NextHandle()
{
    // Handles are never 0 (no handle) nor negative (an error), and not reused soon.
    m_lastHandle = m_lastHandle == std::numeric_limits<int32_t>::max() ? 1 : m_lastHandle + 1;
    return m_lastHandle;
}

int32_t ZekLibrary::CreateCallback(int32_t user, ZEKEventCallback function)
{
    if (!function)
        return 0;
    auto callback = std::make_shared<ZekCallback>();
    callback->function = function;
    callback->user = user;
    const std::lock_guard lock(m_mutex);
    if (!m_initialized)
        return 0;
    const int32_t handle = NextHandle();
    m_callbacks[handle] = std::move(callback);
    return handle;
}

int32_t ZekLibrary::DeleteCallback(int32_t handle)
{
    const std::lock_guard lock(m_mutex);
    if (!m_initialized)
        return ZEK_ERR_NOT_INITIALIZED;
    const auto it = m_callbacks.find(handle);
    if (it == m_callbacks.end())
        return ZEK_ERR_INVALID_HANDLE;
    it->second->alive = false;
    m_callbacks.erase(it);
    return ZEK_OK;
}

int32_t ZekLibrary::CreateDevice()
{
    auto device = std::make_shared<ZekDevice>();
    const std::lock_guard lock(m_mutex);
    if (!m_initialized)
        return 0;
    const int32_t handle = NextHandle();
    m_devices[handle] = std::move(device);
    return handle;
}

template<typename T>
ZekFound<T> ZekLibrary::Find(const std::map<int32_t, std::shared_ptr<T>> &handles, int32_t handle)
{
    ZekFound<T> found;
    found.stop = {&m_epoch, m_epoch.load()};
    if (!m_initialized) {
        found.result = ZEK_ERR_NOT_INITIALIZED;
    } else if (const auto it = handles.find(handle); it != handles.end()) {
        found.result = ZEK_OK;
        found.object = it->second;
    }
    return found;
}

ZekFound<ZekCallback> ZekLibrary::FindCallback(int32_t handle)
{
    const std::lock_guard lock(m_mutex);
    return Find(m_callbacks, handle);
}

ZekFound<ZekDevice> ZekLibrary::FindDevice(int32_t handle)
{
    const std::lock_guard lock(m_mutex);
    return Find(m_devices, handle);
}

ZekFound<ZekDevice> ZekLibrary::TakeDevice(int32_t handle)
{
    const std::lock_guard lock(m_mutex);
    ZekFound<ZekDevice> found = Find(m_devices, handle);
    if (found.object)
        m_devices.erase(handle);
    return found;
}

int32_t ZekLibrary::Begin(ZekStop &stop)
{
    const std::lock_guard lock(m_mutex);
    stop = {&m_epoch, m_epoch.load()};
    return m_initialized ? ZEK_OK : ZEK_ERR_NOT_INITIALIZED;
}
