// A second build of ZEKSDK.h, for the tests only: it reports one fixed device and writes every
// call it gets, one line each, to the file CORVANE_FAKE_ZEKSDK_CALLS names. It reaches no
// network. Logins take the password "secret".

#include "ZekExportedApi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {
std::mutex g_mutex;
ZEKEventCallback g_callback = nullptr;
int32_t g_user = 0;
int32_t g_lastDevice = 0;

void record(const std::string &line)
{
    const std::lock_guard lock(g_mutex);
    const char *path = std::getenv("CORVANE_FAKE_ZEKSDK_CALLS");
    if (!path)
        return;
    if (FILE *file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

std::string onDevice(const char *function, int32_t device)
{
    return std::string(function) + ' ' + std::to_string(device);
}

int32_t recordOnDevice(const char *function, int32_t device)
{
    record(onDevice(function, device));
    return ZEK_OK;
}

void copy(char *slot, std::size_t width, const char *text)
{
    std::strncpy(slot, text, width - 1);
}
} // namespace

extern "C" {

int32_t ZEKSDKInitialize(void)
{
    record("ZEKSDKInitialize");
    g_lastDevice = 0;
    return ZEK_OK;
}

int32_t ZEKSDKInvalidate(void)
{
    record("ZEKSDKInvalidate");
    return ZEK_OK;
}

int32_t ZEKCBCreate(int32_t user, ZEKEventCallback callback)
{
    record("ZEKCBCreate");
    g_callback = callback;
    g_user = user;
    return 1;
}

int32_t ZEKDevice_Search(const VendorSearchParams *params)
{
    record("ZEKDevice_Search " + std::to_string(params->searchTimeMs));
    // The callback comes from a thread of the library's own, as the header promises.
    std::thread reporter([handle = params->callbackHandle] {
        VendorDeviceInfo info{};
        copy(info.ip_addr, sizeof info.ip_addr, "10.77.1.77");
        info.media_port = 8000;
        info.web_port = 8080;
        copy(info.subnet_mask, sizeof info.subnet_mask, "255.255.255.0");
        copy(info.gateway, sizeof info.gateway, "10.77.1.1");
        copy(info.mac_addr, sizeof info.mac_addr, "5C:F2:07:FA:CE:01");
        copy(info.dns1, sizeof info.dns1, "10.77.1.53");
        copy(info.dns2, sizeof info.dns2, "8.8.4.4");
        copy(info.device_type, sizeof info.device_type, "IPC");
        copy(info.device_model, sizeof info.device_model, "FAKE-1");
        if (g_callback)
            g_callback(handle, ZEK_EVENT_DEVICE_FOUND, sizeof info, reinterpret_cast<intptr_t>(&info), g_user);
    });
    reporter.join();
    return ZEK_OK;
}

int32_t ZEKCBDelete(int32_t callbackHandle)
{
    record(onDevice("ZEKCBDelete", callbackHandle));
    g_callback = nullptr;
    return ZEK_OK;
}

int32_t ZEKDevice_Create(void)
{
    record("ZEKDevice_Create");
    return ++g_lastDevice;
}

int32_t ZEKDevice_Open(int32_t device, const char *ipAddress, const uint16_t *mediaPort, const char *userId,
                       const char *password)
{
    record(onDevice("ZEKDevice_Open", device) + ' ' + ipAddress + ' ' + std::to_string(*mediaPort) + " user=" + userId);
    return std::strcmp(password, "secret") == 0 ? ZEK_OK : ZEK_ERR_PASSWORD;
}

int32_t ZEKDevice_RebootDevice(int32_t device)
{
    return recordOnDevice("ZEKDevice_RebootDevice", device);
}

int32_t ZEKDevice_FactoryReset(int32_t device)
{
    return recordOnDevice("ZEKDevice_FactoryReset", device);
}

int32_t ZEKDevice_Close(int32_t device)
{
    return recordOnDevice("ZEKDevice_Close", device);
}

int32_t ZEKDevice_Delete(int32_t device)
{
    return recordOnDevice("ZEKDevice_Delete", device);
}

int32_t ZEKDevice_ModifyNetwork(const char *userId, const char *password, const VendorNetworkConfig *config,
                                int32_t timeoutMs)
{
    (void)password;
    record(std::string("ZEKDevice_ModifyNetwork ") + config->mac_addr + ' ' + config->ip_addr + " user=" + userId + ' '
           + std::to_string(timeoutMs));
    return ZEK_OK;
}

} // extern "C"
