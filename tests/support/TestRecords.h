#pragma once

#include "CameraInfo.h"
#include "RecordText.h"

// An own-family device's search reply with every text a list row shows.
inline CameraInfo MakeReply(const char *mac, const char *ip = "10.77.1.20", const char *manufacturer = "Talbrixonics")
{
    CameraInfo info{};
    info.header.cmd = CMD_SEARCH_REPLY;
    WriteText(info.mac_addr, mac);
    WriteText(info.ip_addr, ip);
    WriteText(info.subnet_mask, "255.255.255.0");
    WriteText(info.gateway, "10.77.1.1");
    WriteText(info.dns, "10.77.1.1");
    WriteText(info.model_name, "TC-100");
    WriteText(info.manufacturer, manufacturer);
    WriteText(info.version, "3.0.0");
    info.web_port = 80;
    return info;
}
