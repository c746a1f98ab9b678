#include "VendorCommands.h"

#include "CHalvetranoDlg.h"

int RunVendorCommand(CHalvetranoDlg &vendor, CameraInfo &record, const QString &password, VendorCommand command)
{
    SetVendorPasswordText(record, password);
    vendor.m_TargetInfo = record;
    return command == VendorCommand::Reboot ? vendor.RebootDevice() : vendor.FactoryResetDevice();
}

int ChangeVendorNetwork(CHalvetranoDlg &vendor, const QString &hostAddress, const CameraInfo &found, CameraInfo &edited,
                        const QString &password)
{
    vendor.m_strHostIp = hostAddress;
    SetVendorPasswordText(edited, password);
    vendor.m_TargetInfo = found;
    vendor.m_NewInfo = edited;
    return vendor.ModifyNetwork();
}
