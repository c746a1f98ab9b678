/*
 * Finds and loads the vendor library at run time, for every program that uses it (Corvane,
 * corvanectl, zekcli). Usable from C and C++. Where it looks: docs/vendor-library.md.
 */
#ifndef CORVANE_ZEKSDKLOADER_H
#define CORVANE_ZEKSDKLOADER_H

#include "ZEKSDK.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The twelve functions of a loaded library, named as in ZEKSDK.h, and the file they came from. */
typedef struct ZekSdk
{
    int32_t (*ZEKSDKInitialize)(void);
    int32_t (*ZEKSDKInvalidate)(void);
    int32_t (*ZEKCBCreate)(int32_t user, ZEKEventCallback callback);
    int32_t (*ZEKDevice_Search)(const VendorSearchParams *params);
    int32_t (*ZEKCBDelete)(int32_t callbackHandle);
    int32_t (*ZEKDevice_Create)(void);
    int32_t (*ZEKDevice_Open)(int32_t device, const char *ipAddress, const uint16_t *mediaPort, const char *userId,
                              const char *password);
    int32_t (*ZEKDevice_RebootDevice)(int32_t device);
    int32_t (*ZEKDevice_FactoryReset)(int32_t device);
    int32_t (*ZEKDevice_Close)(int32_t device);
    int32_t (*ZEKDevice_Delete)(int32_t device);
    int32_t (*ZEKDevice_ModifyNetwork)(const char *userId, const char *password, const VendorNetworkConfig *config,
                                       int32_t timeoutMs);
    char file[1024]; /* the library loaded, NUL-terminated */
} ZekSdk;

/*
 * Loads the vendor library and fills *sdk: 1 when every function was found. Otherwise 0, every
 * member of *sdk zero, and standard error told why, ending with the line
 * "Vendor library not found: devices of the second family will not be searched".
 * file: the library to load (a file or a folder holding it), or NULL to look where the
 * environment variable CORVANE_ZEKSDK says, or else in the usual places. The library stays
 * loaded for the rest of the program's run.
 */
int ZekSdkLoad(ZekSdk *sdk, const char *file);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_ZEKSDKLOADER_H */
