#include "VendorCommands.h"

#include "ZEKSDK.h"

VendorCommandResult RunVendorCommand(CHalvetranoDlg &vendor, CameraInfo &record, QByteArrayView password,
                                     VendorCommand command)
{
    SetVendorPassword(record, password);
    vendor.m_TargetInfo = record;
    VendorCommandResult result;
    if (command == VendorCommand::Reboot)
        vendor.RebootDevice(&result);
    else
        vendor.FactoryResetDevice(&result);
    return result;
}

bool VendorCommandDone(const VendorCommandResult &result)
{
    return result.login == ZEK_OK && result.operation == ZEK_OK;
}

QString VendorCommandMessage(const VendorCommandResult &result, VendorCommand command)
{
    if (VendorCommandDone(result))
        return command == VendorCommand::Reboot ? QStringLiteral("reboot requested")
                                                : QStringLiteral("factory reset requested");
    // A refused login is the likely reason the command failed as well: name it first.
    return VendorResultMessage(result.login != ZEK_OK ? result.login : result.operation);
}

QString VendorResultMessage(int result)
{
    if (result == ZEK_ERR_PASSWORD)
        return QString::fromLatin1(ResultMessage(RESULT_LOGIN_FAILED));
    return QString::fromLatin1(ResultMessage(result == ZEK_OK ? RESULT_OK : RESULT_FAILED));
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
