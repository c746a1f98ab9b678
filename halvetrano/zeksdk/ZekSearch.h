#pragma once

#include "ZEKSDK.h"
#include "ZekLibrary.h"
#include "ZekMessages.h"

// The device description a probe answer carries, in the layout the callback hands out. Every
// text is read within its wire field and ends with a NUL inside its slot.
VendorDeviceInfo ToVendorDeviceInfo(const ZekProbeAnswer &answer);

// Probes through every interface and reports each answering device once, by MAC address,
// until searchTimeMs have passed or stop is requested. Runs on the library's search thread.
int32_t RunZekSearch(const ZekCallback &callback, int32_t callbackHandle, int searchTimeMs, const ZekStop &stop);
