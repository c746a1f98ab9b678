/*
 * zekcli: drives the vendor library from the command line, with no window. It broadcasts:
 * run it only on a network where that is wanted, or inside tests/netns-run.sh.
 * It loads the library as Corvane does: CORVANE_ZEKSDK, or the usual places.
 */
#define _POSIX_C_SOURCE 200809L

#include "ZekSdkLoader.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char usage[] = "usage: zekcli --help | --version\n"
                            "       zekcli search [MS]\n"
                            "       zekcli login|reboot|reset IP MEDIAPORT USER < PASSWORD-FILE\n"
                            "       zekcli modify MAC HOSTIP NEWIP MASK GATEWAY DNS1 DNS2 USER [MS] < PASSWORD-FILE\n"
                            "The password is the first line of standard input.\n"
                            "The vendor library is the file CORVANE_ZEKSDK names, or else the one Corvane finds.\n";

static ZekSdk sdk;

static int32_t printDevice(int32_t callbackHandle, int32_t event, int32_t dataSize, intptr_t data, int32_t user)
{
    (void)callbackHandle;
    (void)user;
    if (event == ZEK_EVENT_DEVICE_FOUND && dataSize == (int32_t)sizeof(VendorDeviceInfo)) {
        const VendorDeviceInfo *info = (const VendorDeviceInfo *)data;
        printf("ip=%s media_port=%u web_port=%u mask=%s gateway=%s mac=%s dns1=%s dns2=%s type=%s model=%s\n",
               info->ip_addr, (unsigned)info->media_port, (unsigned)info->web_port, info->subnet_mask, info->gateway,
               info->mac_addr, info->dns1, info->dns2, info->device_type, info->device_model);
        fflush(stdout);
    }
    return 0;
}

/* A whole number in [1, max], or 0. */
static long number(const char *text, long max)
{
    char *end = NULL;
    const long value = strtol(text, &end, 10);
    return (*text != '\0' && *end == '\0' && value >= 1 && value <= max) ? value : 0;
}

static void copyText(char *slot, size_t width, const char *text)
{
    strncpy(slot, text, width - 1);
    slot[width - 1] = '\0';
}

/* The first line of standard input, without its line end: a password given as an argument
 * would show in the process list. Empty when there is none. */
static const char *readPassword(void)
{
    static char line[256];
    if (!fgets(line, sizeof line, stdin))
        line[0] = '\0';
    line[strcspn(line, "\r\n")] = '\0';
    return line;
}

static int32_t search(int argc, char **argv)
{
    VendorSearchParams params;
    int32_t result;
    params.searchTimeMs = argc > 2 ? (int32_t)number(argv[2], 600000) : 3000;
    params.callbackHandle = sdk.ZEKCBCreate(0, printDevice);
    result = sdk.ZEKDevice_Search(&params);
    sdk.ZEKCBDelete(params.callbackHandle);
    return result;
}

static int32_t onDevice(int argc, char **argv)
{
    const char *command = argv[1];
    uint16_t mediaPort;
    int32_t device;
    int32_t result;
    if (argc != 5 || number(argv[3], 65535) == 0)
        return ZEK_ERR_INVALID_ARGUMENT;
    mediaPort = (uint16_t)number(argv[3], 65535);
    device = sdk.ZEKDevice_Create();
    result = sdk.ZEKDevice_Open(device, argv[2], &mediaPort, argv[4], readPassword());
    printf("login: %d\n", (int)result);
    if (strcmp(command, "reboot") == 0)
        result = sdk.ZEKDevice_RebootDevice(device);
    else if (strcmp(command, "reset") == 0)
        result = sdk.ZEKDevice_FactoryReset(device);
    sdk.ZEKDevice_Close(device);
    sdk.ZEKDevice_Delete(device);
    return result;
}

static int32_t modify(int argc, char **argv)
{
    VendorNetworkConfig config;
    if (argc != 10 && argc != 11)
        return ZEK_ERR_INVALID_ARGUMENT;
    memset(&config, 0, sizeof config);
    copyText(config.mac_addr, sizeof config.mac_addr, argv[2]);
    copyText(config.host_ip, sizeof config.host_ip, argv[3]);
    copyText(config.ip_addr, sizeof config.ip_addr, argv[4]);
    copyText(config.subnet_mask, sizeof config.subnet_mask, argv[5]);
    copyText(config.gateway, sizeof config.gateway, argv[6]);
    copyText(config.dns1, sizeof config.dns1, argv[7]);
    copyText(config.dns2, sizeof config.dns2, argv[8]);
    config.mode = ZEK_NETWORK_MODE_STATIC;
    return sdk.ZEKDevice_ModifyNetwork(argv[9], readPassword(), &config,
                                       argc == 11 ? (int32_t)number(argv[10], 600000) : 3000);
}

int main(int argc, char **argv)
{
    int32_t result = ZEK_ERR_INVALID_ARGUMENT;
    if (argc < 2) {
        fputs(usage, stderr);
        return 2;
    }
    if (strcmp(argv[1], "--help") == 0) {
        fputs(usage, stdout);
        return 0;
    }
    if (!ZekSdkLoad(&sdk, NULL))
        return 3;
    if (strcmp(argv[1], "--version") == 0) {
        printf("zekcli " CORVANE_VERSION "\nvendor library: %s\n", sdk.file);
        return 0;
    }
    sdk.ZEKSDKInitialize();
    if (strcmp(argv[1], "search") == 0)
        result = search(argc, argv);
    else if (strcmp(argv[1], "login") == 0 || strcmp(argv[1], "reboot") == 0 || strcmp(argv[1], "reset") == 0)
        result = onDevice(argc, argv);
    else if (strcmp(argv[1], "modify") == 0)
        result = modify(argc, argv);
    sdk.ZEKSDKInvalidate();
    printf("result: %d\n", (int)result);
    if (result == ZEK_ERR_INVALID_ARGUMENT)
        fputs(usage, stderr);
    return result == ZEK_OK ? 0 : 1;
}
