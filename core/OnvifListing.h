#pragma once

#include "CameraInfo.h"
#include "OnvifDevice.h"
#include "SetNetwork.h"

#include <QString>

#include <optional>
#include <utility>

// An ONVIF device as a list holds it: what discovery gave and, once a login has read them,
// its settings. Its identity is the endpoint address; its MAC is known from a scope or a login.
struct OnvifListing
{
    OnvifDevice device;
    std::optional<OnvifSettings> settings;
    QString readError; // why reading the settings failed; empty when it did not
};

// The record the list, its flags, Copy, Export and the CSV show for the device: MAC, the
// address Corvane talks to, the model (hardware scope, else the device's own word), the
// manufacturer (the device's own word, else the name scope), the firmware, and the addressing
// once read. The web port is the device service's until the settings say otherwise.
CameraInfo OnvifRecord(const OnvifListing &listing);

// The addressing of settings as a record holds it (ip, mask, gateway, dns, web port, DHCP), so
// that what a change would alter is told as for the other families (ChangedSettings).
CameraInfo OnvifSettingsRecord(const OnvifSettings &settings);

// The MAC the device has shown so far: from its settings, else from a scope; empty when none.
QString OnvifMac(const OnvifListing &listing);

// A MAC text's 48 bits, so that "00:1a:2b:..." and "00-1A-2B-..." compare equal; nullopt
// for a text that is no MAC. It allocates nothing: a search asks it of every device.
std::optional<quint64> MacNumber(QByteArrayView mac);
std::optional<quint64> MacNumber(QStringView mac);

// True when name (a MAC in any usual form, or an endpoint address) names the device.
bool NamesOnvifDevice(const OnvifListing &listing, const QString &name);

// How many discovery rounds a moved device gets: one that waits for its reboot, or for its new
// address to settle, first answers at its old one.
inline constexpr int kOnvifMoveCheckRounds = 5;

// Whether a moved device answers where Save put it: found is the device of that endpoint as
// discovery shows it now, nullptr when it did not answer. The text says what was seen
// ("found at ...", "not found at ...", "not found at ...: answers at ..."); without a login
// only the address can be checked. When Save moved the device service with the web port
// (wanted.servicePort), the device must be announced at that port as well.
std::pair<QString, bool> OnvifMoveVerification(const OnvifSettings &wanted, const OnvifDevice *found);

// What Save asks of a device whose settings read now are current: the edits where they say
// something, the current value where an edit is empty (a field never read is never sent
// empty). Under DHCP the addresses are the server's. fieldsRead: the edits were filled from
// the device's settings; when not, the static/DHCP choice is kept unless DHCP was chosen.
OnvifSettings WantedOnvifSettings(const OnvifSettings &current, const NetworkEdits &edits, bool fieldsRead);

// The note on an ONVIF row's number cell, its tooltip and what a screen reader says.
QString OnvifRowNote(const OnvifListing &listing);
