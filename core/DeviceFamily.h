#pragma once

#include "CameraInfo.h"

enum class DeviceFamily {
    Own,
    Vendor,
    Onvif,
};

// The family of a record as an own-family or vendor search reports it: its manufacturer says
// it. An ONVIF device's record says nothing of the kind; its family is kept beside it.
DeviceFamily FamilyOf(const CameraInfo &record);
// "own", "vendor" or "onvif".
const char *FamilyName(DeviceFamily family);
