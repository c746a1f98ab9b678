#include "SetNetwork.h"

#include "AdapterNetwork.h"
#include "ComputeMD5.h"
#include "RecordText.h"

#include <cstdio>

NetworkEdits EditsOf(const CameraInfo &record)
{
    NetworkEdits edits;
    edits.ipAddress = FieldString(record.ip_addr);
    edits.subnetMask = FieldString(record.subnet_mask);
    edits.gateway = FieldString(record.gateway);
    edits.dns = FieldString(record.dns);
    edits.webPort = record.web_port;
    edits.dhcp = record.dhcp;
    edits.userId = FieldString(record.header.user_id);
    return edits;
}

bool WriteEdits(CameraInfo &record, const NetworkEdits &edits)
{
    SetFieldString(record.ip_addr, edits.ipAddress);
    SetFieldString(record.subnet_mask, edits.subnetMask);
    SetFieldString(record.gateway, edits.gateway);
    SetFieldString(record.dns, edits.dns);
    record.web_port = static_cast<quint16>(edits.webPort & 0xFFFF);
    record.dhcp = edits.dhcp;
    SetFieldString(record.header.user_id, edits.userId);
    const QByteArray password = edits.password.toLocal8Bit();
    std::uint32_t size = sizeof record.header.pass_wd;
    const bool digested = ComputeMD5(size, password.constData(), static_cast<std::uint32_t>(password.size() + 1),
                                     record.header.pass_wd);
    // The digest is the credential itself for the own family, and standard output may end in
    // a kept journal: the line stays, its bytes do not.
    std::printf("pObj->m_CameraInfo.header.pass_wd=[%s]\n", "********");
    std::fflush(stdout);
    return digested;
}

CameraInfo SetNetworkRequest(CameraInfo edited)
{
    edited.header.cmd = CMD_SET_NETWORK;
    return edited;
}

CameraInfo MakeSetNetworkRequest(CameraInfo found, const NetworkEdits &edits)
{
    WriteEdits(found, edits);
    return SetNetworkRequest(found);
}

bool SendSetNetworkRequest(const CNetworkAdapterObj *adapter, const CameraInfo &edited, quint16 devicePort)
{
    return BroadcastThrough(adapter, SetNetworkRequest(edited), devicePort);
}

bool IsAnswerFrom(const CameraInfo &answer, const CameraInfo &record)
{
    return answer.header.cmd == CMD_SET_NETWORK && ReadText(answer.mac_addr) == ReadText(record.mac_addr);
}
