#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QUrl>

// One ONVIF device as discovery found it. Its identity is the endpoint address, never its IP.
struct OnvifDevice
{
    QString endpoint;          // EndpointReference/Address, e.g. "urn:uuid:..."
    QUrl serviceAddress;       // the device service XAddr Corvane talks to
    QHostAddress answerSource; // where the ProbeMatch (or Hello) came from
    // Credentials may go to serviceAddress: its host is the answer's source or on the adapter's
    // network. A device that names someone else's address must not harvest a password.
    bool credentialsSafe = false;
    QStringList types;
    QStringList scopes; // as announced, percent-encoded
    QStringList xaddrs; // every XAddr announced, in order
    quint32 metadataVersion = 0;
    // From the scopes until a login reads the device: empty when not announced.
    QString mac;      // "00:1A:2B:3C:4D:5E"
    QString hardware; // the hardware scope: the model
    QString name;     // the name scope: stands in for the manufacturer
};

// What a device's settings read with a login say. Texts are empty where the device said nothing.
struct OnvifSettings
{
    QString interfaceToken; // of the interface that carries the address, for SetNetworkInterfaces
    QString mac;
    bool dhcp = false;
    QString ip;
    int prefixLength = -1;
    QString mask; // from prefixLength
    QString gateway;
    QString dns; // the first manual (or DHCP-given) IPv4 DNS server
    bool dnsFromDhcp = false;
    int webPort = -1; // the first port of the enabled HTTP protocol
    // What Save expects of the device: the port its device service moves to with the web port
    // (ServiceAddressAfterWebPort); -1 when the service stays where it was.
    int servicePort = -1;
    QString manufacturer;
    QString model;
    QString firmware;
    QString serial;
    QString hardwareId;
};

// The user ID and password a call goes with.
struct OnvifLogin
{
    QString user;
    QString password;
    bool IsEmpty() const { return user.isEmpty() && password.isEmpty(); }
};
