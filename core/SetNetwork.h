#pragma once

#include "CNetworkAdapterObj.h"
#include "CameraInfo.h"

#include <QString>

// A device's network settings and the credentials to change them, as the user gives them.
struct NetworkEdits
{
    QString ipAddress;
    QString subnetMask;
    QString gateway;
    QString dns;
    int webPort = 0; // only its low 16 bits reach the record
    int dhcp = 0;    // 0 static, 1 DHCP
    QString userId;
    QString password; // plain text; an own-family record gets its digest
};

// The settings a record holds, as selecting its device shows them: the password is empty.
NetworkEdits EditsOf(const CameraInfo &record);

// Writes the edits into record in the order Save does and digests the password (and its
// NUL) into pass_wd; traces the digest's line without a byte of it. False when the digest
// failed: pass_wd is then as it was.
bool WriteEdits(CameraInfo &record, const NetworkEdits &edits);

// The set-network request for a record into which the edits have been written: every other
// byte is the device's own.
CameraInfo SetNetworkRequest(CameraInfo edited);

// The request Save sends for an own-family device found as found.
CameraInfo MakeSetNetworkRequest(CameraInfo found, const NetworkEdits &edits);

// Broadcasts SetNetworkRequest(edited) through the adapter; false when nothing could be sent
// (see CanSendThrough).
bool SendSetNetworkRequest(const CNetworkAdapterObj *adapter, const CameraInfo &edited, quint16 devicePort);

// True when answer is a set-network answer from the device that record describes: answers
// name their device by its MAC text alone.
bool IsAnswerFrom(const CameraInfo &answer, const CameraInfo &record);
