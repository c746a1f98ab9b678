#pragma once

#include "ZEKSDK.h"
#include "ZekLibrary.h"

// The calls on one device handle; the caller holds the handle's mutex.

// Logs in at ipAddress:port; a new login replaces the handle's earlier one.
int32_t LoginZekDevice(ZekDevice &device, const char *ipAddress, quint16 port, const char *userId, const char *password,
                       const ZekStop &stop);
// ZEK_REBOOT or ZEK_FACTORY_RESET, with the handle's session.
int32_t SendZekSessionCommand(ZekDevice &device, quint8 type, const ZekStop &stop);
// Tells the device the session is over, without waiting for it, and forgets the login.
void LogoutZekDevice(ZekDevice &device);

int32_t ModifyZekNetwork(const char *userId, const char *password, const VendorNetworkConfig &config, int timeoutMs,
                         const ZekStop &stop);
