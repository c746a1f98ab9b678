#include "OnvifNamespaces.h"

namespace OnvifNs {
const QLatin1StringView Soap12("http://www.w3.org/2003/05/soap-envelope");
const QLatin1StringView Addressing("http://schemas.xmlsoap.org/ws/2004/08/addressing");
const QLatin1StringView Discovery("http://schemas.xmlsoap.org/ws/2005/04/discovery");
const QLatin1StringView NetworkWsdl("http://www.onvif.org/ver10/network/wsdl");
const QLatin1StringView DeviceWsdl("http://www.onvif.org/ver10/device/wsdl");
const QLatin1StringView Schema("http://www.onvif.org/ver10/schema");
const QLatin1StringView WsseSecext("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd");
const QLatin1StringView
    WsseUtility("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd");
const QLatin1StringView SoapErrorCodes("http://www.onvif.org/ver10/error");
} // namespace OnvifNs
