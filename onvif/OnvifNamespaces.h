#pragma once

#include <QLatin1StringView>

// The namespace URIs of the messages ONVIF devices speak. Replies are read by URI and local
// name, never by prefix: devices choose their own prefixes.
namespace OnvifNs {
extern const QLatin1StringView Soap12;         // SOAP 1.2 envelope
extern const QLatin1StringView Addressing;     // WS-Addressing 2004/08, as WS-Discovery 2005/04 uses it
extern const QLatin1StringView Discovery;      // WS-Discovery 2005/04
extern const QLatin1StringView NetworkWsdl;    // dn: NetworkVideoTransmitter
extern const QLatin1StringView DeviceWsdl;     // tds: the device management service
extern const QLatin1StringView Schema;         // tt: ONVIF's types
extern const QLatin1StringView WsseSecext;     // wsse: WS-Security
extern const QLatin1StringView WsseUtility;    // wsu: Created
extern const QLatin1StringView SoapErrorCodes; // ter: ONVIF's fault subcodes
} // namespace OnvifNs
