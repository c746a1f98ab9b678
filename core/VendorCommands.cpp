#include "VendorCommands.h"

#include "CHalvetranoDlg.h"

int RunVendorCommand(CHalvetranoDlg &vendor, CameraInfo &record, QByteArrayView password, VendorCommand command)
{
    SetVendorPassword(record, password);
    vendor.m_TargetInfo = record;
    return command == VendorCommand::Reboot ? vendor.RebootDevice() : vendor.FactoryResetDevice();
}

int ChangeVendorNetwork(CHalvetranoDlg &vendor, const QString &hostAddress, const CameraInfo &found, CameraInfo &edited,
                        QByteArrayView password)
{
    vendor.m_strHostIp = hostAddress;
    SetVendorPassword(edited, password);
    vendor.m_TargetInfo = found;
    vendor.m_NewInfo = edited;
    return vendor.ModifyNetwork();
}
