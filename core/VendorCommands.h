#pragma once

#include "CHalvetranoDlg.h"
#include "CameraInfo.h"

#include <QByteArrayView>
#include <QString>

// The vendor family's commands, through the window that owns the vendor library. Each call
// waits for the library.

enum class VendorCommand {
    Reboot,
    FactoryReset,
};

using VendorCommandResult = CHalvetranoDlg::DeviceOperationResult;

// Logs in to the device with the record's address, media port and user ID and this password,
// then reboots or resets it whatever the login gave. The record keeps the plain password at
// pass_wd, as Reboot and Factory Reset leave it.
VendorCommandResult RunVendorCommand(CHalvetranoDlg &vendor, CameraInfo &record, QByteArrayView password,
                                     VendorCommand command);

// What a reboot or reset did, for people: "reboot requested", "factory reset requested",
// "Failed. login failed" when the device refused the login (it then ignores the command too),
// "Failed" otherwise.
QString VendorCommandMessage(const VendorCommandResult &result, VendorCommand command);
bool VendorCommandDone(const VendorCommandResult &result);

// A vendor library result as the window's messages say it: "Apply", "Failed. login failed"
// for a refused password, "Failed" for anything else.
QString VendorResultMessage(int result);

// Changes the network of the device found as found to the settings written into edited,
// which gets the plain password at pass_wd; hostAddress is the adapter's IPv4 address.
// The library's result (0: done).
int ChangeVendorNetwork(CHalvetranoDlg &vendor, const QString &hostAddress, const CameraInfo &found, CameraInfo &edited,
                        QByteArrayView password);
