/*
 * ZEKSDK: the library of the Halvetrano device family, as Corvane ships it. Usable from C and C++.
 * How it talks to devices is described in docs/vendor-protocol.md; what a program and a
 * replacement build may expect of this interface, in docs/vendor-library.md.
 *
 * Handles and results are 32-bit. Results: 0 (ZEK_OK) or a negative ZEK_ERR_ code.
 * Texts are NUL-terminated 8-bit strings; a text longer than the slot it goes to is cut.
 *
 * Threads. Every function may be called from any thread.
 * - ZEKDevice_Search blocks its caller until the search time is over, or until
 *   ZEKSDKInvalidate ends the search (within about 100 ms). It reports each device at most once
 *   (by MAC address) through the callback, which runs on a thread of the library's own, never on
 *   the caller's. When ZEKDevice_Search returns, that thread makes no further callback for it.
 * - ZEKSDKInvalidate ends running searches and device calls and returns at once: it never waits
 *   for a callback that is running, so a callback may hand over synchronously to the thread that
 *   calls ZEKSDKInvalidate without dead-locking. Such a callback may still finish after
 *   ZEKSDKInvalidate has returned; the search's own ZEKDevice_Search returns after it.
 *   ZEKSDKInitialize may be called again afterwards; handles from before stay invalid.
 * - ZEKCBDelete stops further callbacks through that handle; one already begun may finish.
 * - Nothing blocks longer than its time: a search its search time, ZEKDevice_ModifyNetwork its
 *   timeout, ZEKDevice_Open and the reboot and reset ZEK_ANSWER_TIMEOUT_MS. Calls on one device
 *   handle from several threads run one after the other, so such a call may first wait for the
 *   one before it.
 */
#ifndef CORVANE_ZEKSDK_H
#define CORVANE_ZEKSDK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum ZEKResult {
    ZEK_OK = 0,
    ZEK_ERR_FAILED = -1,          /* anything else, including an answer the library cannot read */
    ZEK_ERR_NOT_INITIALIZED = -2, /* before ZEKSDKInitialize, or after ZEKSDKInvalidate */
    ZEK_ERR_INVALID_ARGUMENT = -3,
    ZEK_ERR_INVALID_HANDLE = -4,
    ZEK_ERR_NETWORK = -5,        /* no socket could be had, or nothing could be sent */
    ZEK_ERR_TIMEOUT = -6,        /* the device did not answer in time */
    ZEK_ERR_CANCELLED = -7,      /* ended by ZEKSDKInvalidate */
    ZEK_ERR_NOT_LOGGED_IN = -8,  /* reboot or reset without a login the device accepted */
    ZEK_ERR_INVALID_CONFIG = -9, /* the device refused the network settings */
    ZEK_ERR_PASSWORD = -29       /* wrong user ID or password */
};

enum ZEKEvent {
    ZEK_EVENT_DEVICE_FOUND = 3201 /* data: const VendorDeviceInfo *, valid until the callback returns */
};

enum {
    ZEK_ANSWER_TIMEOUT_MS = 2500, /* how long login, reboot and reset wait for the device */
    ZEK_NETWORK_MODE_STATIC = 2   /* the one addressing mode of VendorNetworkConfig.mode */
};

/*
 * The event callback: (callback handle, event code, size of the event data in bytes, event data,
 * the user value given to ZEKCBCreate). Returns 0.
 * The vendor's interface has five 32-bit values. The fourth carries a pointer, which does not fit
 * 32 bits on a 64-bit host, so it is pointer-sized here; the other four are 32-bit.
 */
typedef int32_t (*ZEKEventCallback)(int32_t callbackHandle, int32_t event, int32_t dataSize, intptr_t data,
                                    int32_t user);

typedef struct VendorSearchParams
{
    int32_t callbackHandle; /* from ZEKCBCreate */
    int32_t searchTimeMs;   /* how long to collect answers, in milliseconds: 3000 is three seconds */
} VendorSearchParams;

/* One found device. Every text is NUL-terminated inside its slot. */
typedef struct VendorDeviceInfo
{
    char ip_addr[64];      /* 0 */
    uint16_t media_port;   /* 64 */
    uint16_t reserved1;    /* 66 */
    uint16_t web_port;     /* 68 */
    char subnet_mask[22];  /* 70 */
    char gateway[64];      /* 92 */
    char mac_addr[40];     /* 156 */
    char dns1[64];         /* 196: primary DNS */
    char dns2[64];         /* 260: secondary DNS */
    char device_type[40];  /* 324 */
    char device_model[64]; /* 364 */
} VendorDeviceInfo;

/* A network change: 140 bytes, zero-filled, then these. Address slots hold at most 15 characters. */
typedef struct VendorNetworkConfig
{
    char ip_addr[16];     /* 0: the new IPv4 address */
    char host_ip[16];     /* 16: IPv4 address of the host adapter to send through */
    char mac_addr[40];    /* 32: the device's MAC address, as the device reports it */
    char subnet_mask[16]; /* 72 */
    char gateway[16];     /* 88 */
    char dns1[16];        /* 104 */
    char dns2[16];        /* 120 */
    int32_t mode;         /* 136: ZEK_NETWORK_MODE_STATIC */
} VendorNetworkConfig;

#ifdef __cplusplus
#define ZEK_STATIC_ASSERT(condition) static_assert(condition, #condition)
#else
#define ZEK_STATIC_ASSERT(condition) _Static_assert(condition, #condition)
#endif

ZEK_STATIC_ASSERT(sizeof(int32_t) == 4);
ZEK_STATIC_ASSERT(sizeof(VendorSearchParams) == 8);
ZEK_STATIC_ASSERT(offsetof(VendorSearchParams, callbackHandle) == 0);
ZEK_STATIC_ASSERT(offsetof(VendorSearchParams, searchTimeMs) == 4);

ZEK_STATIC_ASSERT(offsetof(VendorDeviceInfo, ip_addr) == 0);
ZEK_STATIC_ASSERT(offsetof(VendorDeviceInfo, media_port) == 64);
ZEK_STATIC_ASSERT(offsetof(VendorDeviceInfo, web_port) == 68);
ZEK_STATIC_ASSERT(offsetof(VendorDeviceInfo, subnet_mask) == 70);
ZEK_STATIC_ASSERT(offsetof(VendorDeviceInfo, gateway) == 92);
ZEK_STATIC_ASSERT(offsetof(VendorDeviceInfo, mac_addr) == 156);
ZEK_STATIC_ASSERT(offsetof(VendorDeviceInfo, dns1) == 196);
ZEK_STATIC_ASSERT(offsetof(VendorDeviceInfo, dns2) == 260);
ZEK_STATIC_ASSERT(offsetof(VendorDeviceInfo, device_type) == 324);
ZEK_STATIC_ASSERT(offsetof(VendorDeviceInfo, device_model) == 364);
ZEK_STATIC_ASSERT(sizeof(VendorDeviceInfo) == 428);

ZEK_STATIC_ASSERT(offsetof(VendorNetworkConfig, ip_addr) == 0);
ZEK_STATIC_ASSERT(offsetof(VendorNetworkConfig, host_ip) == 16);
ZEK_STATIC_ASSERT(offsetof(VendorNetworkConfig, mac_addr) == 32);
ZEK_STATIC_ASSERT(offsetof(VendorNetworkConfig, subnet_mask) == 72);
ZEK_STATIC_ASSERT(offsetof(VendorNetworkConfig, gateway) == 88);
ZEK_STATIC_ASSERT(offsetof(VendorNetworkConfig, dns1) == 104);
ZEK_STATIC_ASSERT(offsetof(VendorNetworkConfig, dns2) == 120);
ZEK_STATIC_ASSERT(offsetof(VendorNetworkConfig, mode) == 136);
ZEK_STATIC_ASSERT(sizeof(VendorNetworkConfig) == 140);

/* Starts the library. Calling it again while started does nothing. */
int32_t ZEKSDKInitialize(void);
/* Stops the library: ends running searches and device calls, forgets every handle. */
int32_t ZEKSDKInvalidate(void);

/* Registers a callback; returns its handle (> 0), or 0 when none could be made. */
int32_t ZEKCBCreate(int32_t user, ZEKEventCallback callback);
/* Searches for devices; see Threads above. ZEK_OK when the search ran its time. */
int32_t ZEKDevice_Search(const VendorSearchParams *params);
int32_t ZEKCBDelete(int32_t callbackHandle);

/* Makes a device handle (> 0), or 0 when none could be made. */
int32_t ZEKDevice_Create(void);
/* Logs in to the device at ipAddress and *mediaPort: ZEK_OK, ZEK_ERR_PASSWORD, or another error. */
int32_t ZEKDevice_Open(int32_t device, const char *ipAddress, const uint16_t *mediaPort, const char *userId,
                       const char *password);
/* Act on the device the handle is logged in to; the device refuses them without a login. */
int32_t ZEKDevice_RebootDevice(int32_t device);
int32_t ZEKDevice_FactoryReset(int32_t device);
/* Logs out; the handle may be opened again. */
int32_t ZEKDevice_Close(int32_t device);
int32_t ZEKDevice_Delete(int32_t device);

/*
 * Changes the network settings of the device with config->mac_addr. The request is broadcast
 * through the host adapter whose address is config->host_ip (through every adapter when none
 * has it). ZEK_OK only when the device confirmed the change within timeoutMs milliseconds.
 */
int32_t ZEKDevice_ModifyNetwork(const char *userId, const char *password, const VendorNetworkConfig *config,
                                int32_t timeoutMs);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_ZEKSDK_H */
