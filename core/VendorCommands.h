#pragma once

#include "CameraInfo.h"

#include <QString>

class CHalvetranoDlg;

// The vendor family's commands, through the window that owns the vendor library. Each call
// waits for the library.

enum class VendorCommand {
    Reboot,
    FactoryReset,
};

// Logs in to the device with the record's address, media port and user ID and this password,
// then reboots or resets it whatever the login gave. The record keeps the plain password at
// pass_wd, as Reboot and Factory Reset leave it.
int RunVendorCommand(CHalvetranoDlg &vendor, CameraInfo &record, const QString &password, VendorCommand command);

// Changes the network of the device found as found to the settings written into edited,
// which gets the plain password at pass_wd; hostAddress is the adapter's IPv4 address.
// The library's result (0: done).
int ChangeVendorNetwork(CHalvetranoDlg &vendor, const QString &hostAddress, const CameraInfo &found, CameraInfo &edited,
                        const QString &password);
