#include "OnvifServiceSim.h"

#include "DatagramLog.h"
#include "HttpDate.h"
#include "HttpDigest.h"
#include "OnvifNamespaces.h"
#include "SimNetwork.h"
#include "SoapMessages.h"

#include <QJsonObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {
const QByteArray kServicePath = "/onvif/device_service";
constexpr qsizetype kMaxRequestBytes = 256 * 1024;
constexpr int kMaxNonces = 64;

QByteArray statusLine(int status)
{
    switch (status) {
    case 200: return "200 OK";
    case 400: return "400 Bad Request";
    case 401: return "401 Unauthorized";
    case 404: return "404 Not Found";
    case 413: return "413 Content Too Large";
    default: return "500 Internal Server Error";
    }
}

QString latin(const QByteArray &text)
{
    return QString::fromUtf8(text);
}

// A response element with children written by fill.
QByteArray respond(const QString &operation, const std::function<void(QXmlStreamWriter &)> &fill = {})
{
    return SoapEnvelope([&](QXmlStreamWriter &w) {
        w.writeStartElement(OnvifNs::DeviceWsdl, operation + QLatin1String("Response"));
        if (fill)
            fill(w);
        w.writeEndElement();
    });
}

// The device's own file handles: a thousand devices each listen and serve a connection.
void raiseFileLimit()
{
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
#endif
}
} // namespace

QByteArray OnvifServiceSim::Request::Header(const char *name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

OnvifServiceSim::OnvifServiceSim(QList<SimDevice> &devices, DatagramLog &log, SimAddresses &addresses, Options options,
                                 QObject *parent)
    : QObject(parent)
    , m_devices(devices)
    , m_log(log)
    , m_addresses(addresses)
    , m_options(std::move(options))
{
}

OnvifServiceSim::~OnvifServiceSim() = default;

bool OnvifServiceSim::Start(QString &error)
{
    raiseFileLimit();
    for (int i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].family != SimDevice::Family::Onvif)
            continue;
        auto state = std::make_unique<DeviceState>();
        state->index = i;
        state->factory = m_devices[i];
        if (!Listen(*state, error))
            return false;
        m_states.push_back(std::move(state));
    }
    return true;
}

bool OnvifServiceSim::Listen(DeviceState &state, QString &error)
{
    const SimDevice &device = m_devices[state.index];
    state.server = std::make_unique<QTcpServer>();
    if (!state.server->listen(QHostAddress(latin(device.ip)), device.webPort)) {
        error = QStringLiteral("cannot serve ONVIF device %1 at %2:%3: %4")
                    .arg(latin(device.mac), latin(device.ip))
                    .arg(device.webPort)
                    .arg(state.server->errorString());
        return false;
    }
    connect(state.server.get(), &QTcpServer::newConnection, this, [this, &state] { OnConnection(state); });
    return true;
}

void OnvifServiceSim::OnConnection(DeviceState &state)
{
    while (QTcpSocket *socket = state.server->nextPendingConnection()) {
        // The socket outlives a server that moves: it belongs to the service.
        socket->setParent(this);
        state.connections.removeAll(nullptr);
        state.connections.append(socket);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, &state, socket] { OnData(state, *socket); });
    }
}

void OnvifServiceSim::OnData(DeviceState &state, QTcpSocket &socket)
{
    QByteArray buffer = socket.property("buffer").toByteArray() + socket.readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            if (buffer.size() > kMaxRequestBytes)
                socket.abort();
            break;
        }
        Request request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
        }
        bool ok = true;
        const qsizetype length = request.Header("Content-Length").toLongLong(&ok);
        if (!request.Header("Content-Length").isEmpty() && (!ok || length < 0 || length > kMaxRequestBytes)) {
            socket.abort();
            return;
        }
        const qsizetype total = headerEnd + 4 + (ok ? length : 0);
        if (buffer.size() < total)
            break;
        request.body = buffer.mid(headerEnd + 4, total - headerEnd - 4);
        buffer.remove(0, total);

        const Response response = Handle(state, request, socket.peerAddress());
        const bool close = request.Header("Connection").compare("close", Qt::CaseInsensitive) == 0;
        QByteArray answer = "HTTP/1.1 " + statusLine(response.status) + "\r\n";
        for (const QByteArray &challenge : response.challenges)
            answer += "WWW-Authenticate: " + challenge + "\r\n";
        if (!response.body.isEmpty())
            answer += "Content-Type: application/soap+xml; charset=utf-8\r\n";
        answer += "Date: " + HttpDate(DeviceClock(state)) + "\r\n";
        answer += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        answer += close ? "Connection: close\r\n\r\n" : "\r\n";
        socket.write(answer + response.body);
        if (close) {
            socket.disconnectFromHost();
            return;
        }
    }
    socket.setProperty("buffer", buffer);
}

QDateTime OnvifServiceSim::DeviceClock(const DeviceState &state) const
{
    return QDateTime::currentDateTimeUtc().addSecs(m_devices[state.index].clockOffsetS);
}

QList<QByteArray> OnvifServiceSim::Challenges(DeviceState &state)
{
    QList<QByteArray> challenges;
    const QList<QByteArray> algorithms = m_devices[state.index].digestAlgorithms.split(' ');
    for (const QByteArray &algorithm : algorithms) {
        if (algorithm.isEmpty())
            continue;
        DigestChallenge challenge;
        challenge.realm = m_options.realm;
        challenge.algorithm = algorithm;
        challenge.nonce = MakeCnonce();
        challenge.opaque = "c0rvane";
        state.nonces.append(challenge.nonce);
        challenges.append(DigestChallengeHeader(challenge));
    }
    while (state.nonces.size() > kMaxNonces)
        state.nonces.removeFirst();
    return challenges;
}

QString OnvifServiceSim::LoginOf(DeviceState &state, const Request &request, const SoapReply &soap, bool &digestOk,
                                 bool &tokenOk) const
{
    const SimDevice &device = m_devices[state.index];
    QStringList kinds;
    digestOk = tokenOk = false;

    const QByteArray authorization = request.Header("Authorization");
    if (!authorization.isEmpty()) {
        const QList<AuthHeader> headers = ParseAuthHeaders({authorization});
        const AuthHeader header = headers.value(0);
        const QByteArray algorithm = header.params.value("algorithm", "MD5");
        kinds << (header.scheme.compare("Digest", Qt::CaseInsensitive) == 0
                      ? QStringLiteral("digest-") + QString::fromLatin1(algorithm)
                      : QString::fromLatin1(header.scheme).toLower());
        bool ncOk = false;
        const quint32 nc = header.params.value("nc").toUInt(&ncOk, 16);
        DigestChallenge challenge;
        challenge.realm = header.params.value("realm");
        challenge.nonce = header.params.value("nonce");
        challenge.algorithm = algorithm;
        digestOk = header.scheme.compare("Digest", Qt::CaseInsensitive) == 0 && ncOk
                   && header.params.value("qop") == "auth" && challenge.realm == m_options.realm
                   && state.nonces.contains(challenge.nonce) && device.digestAlgorithms.split(' ').contains(algorithm)
                   && header.params.value("uri") == request.path && header.params.value("username") == device.userId
                   && DigestResponse(challenge, latin(device.userId), latin(device.password), request.method,
                                     request.path, nc, header.params.value("cnonce"))
                          == header.params.value("response");
    }

    const XmlTree &t = soap.Tree();
    const int header = t.Child(0, OnvifNs::Soap12, u"Header");
    const int token = t.Path(t.Child(header, OnvifNs::WsseSecext, u"Security"), OnvifNs::WsseSecext,
                             {u"UsernameToken"});
    if (token >= 0) {
        const int password = t.Child(token, OnvifNs::WsseSecext, u"Password");
        const bool digest =
            t.At(password < 0 ? token : password).attributes.value(QLatin1String("Type")).endsWith(u"#PasswordDigest");
        kinds << (digest ? QStringLiteral("token") : QStringLiteral("token-text"));
        const QString created = t.Text(t.Child(token, OnvifNs::WsseUtility, u"Created"));
        const QDateTime createdAt = QDateTime::fromString(created, Qt::ISODateWithMs);
        const QByteArray nonce = QByteArray::fromBase64(
            t.Text(t.Child(token, OnvifNs::WsseSecext, u"Nonce")).toLatin1());
        tokenOk = digest && !nonce.isEmpty() && createdAt.isValid()
                  && qAbs(createdAt.secsTo(DeviceClock(state))) <= m_options.clockWindowS
                  && t.Text(t.Child(token, OnvifNs::WsseSecext, u"Username")) == latin(device.userId)
                  && PasswordDigest(nonce, created, latin(device.password)) == t.Text(password).toLatin1();
    }
    return kinds.isEmpty() ? QStringLiteral("none") : kinds.join(QLatin1Char('+'));
}

OnvifServiceSim::Response OnvifServiceSim::Handle(DeviceState &state, const Request &request, const QHostAddress &from)
{
    SimDevice &device = m_devices[state.index];
    const SoapReply soap(request.body);
    const int operationElement = soap.Body() >= 0 && !soap.Tree().At(soap.Body()).children.isEmpty()
                                     ? soap.Tree().At(soap.Body()).children.first()
                                     : -1;
    const QString operation = operationElement >= 0 ? soap.Tree().At(operationElement).name : QString();
    bool digestOk = false;
    bool tokenOk = false;
    const QString login = LoginOf(state, request, soap, digestOk, tokenOk);

    Response response;
    bool accepted = true;
    if (request.path != kServicePath || request.method != "POST") {
        response.status = 404;
        accepted = false;
    } else if (operation != QLatin1String("GetSystemDateAndTime") || device.clockAccess != "open") {
        // A device that takes both checks HTTP first, then WS-Security.
        const QByteArray &auth = device.onvifAuth;
        const bool hasDigest = !request.Header("Authorization").isEmpty();
        const bool hasToken = login.contains(QLatin1String("token"));
        if (auth == "digest" || (auth == "both" && (hasDigest || !hasToken)))
            accepted = digestOk;
        else
            accepted = tokenOk;
        if (!accepted) {
            if (auth == "token" || (auth == "both" && !hasDigest && hasToken)) {
                response.status = 400;
                response.body = SoapFaultEnvelope(QStringLiteral("Sender"), {QStringLiteral("NotAuthorized")},
                                                  QStringLiteral("Sender not Authorized"));
            } else {
                response.status = 401;
                response.challenges = Challenges(state);
            }
        }
    }
    m_log.WriteLine(QJsonObject{
        {QStringLiteral("protocol"), QStringLiteral("onvif")},
        {QStringLiteral("device"), latin(device.mac)},
        {QStringLiteral("from"), from.toString()},
        {QStringLiteral("operation"), operation},
        {QStringLiteral("login"), login},
        {QStringLiteral("accepted"), accepted},
    });
    if (!accepted)
        return response;
    if (operation.isEmpty())
        return {400,
                SoapFaultEnvelope(QStringLiteral("Sender"), {QStringLiteral("WellFormed")},
                                  QStringLiteral("Not a SOAP 1.2 request")),
                {}};
    return Operate(state, operation, soap);
}

OnvifServiceSim::Response OnvifServiceSim::Operate(DeviceState &state, const QString &operation, const SoapReply &soap)
{
    SimDevice &device = m_devices[state.index];
    const XmlTree &t = soap.Tree();
    const int request = t.Child(soap.Body(), OnvifNs::DeviceWsdl, operation);
    const auto fault = [](const QString &subcode, const QString &reason) {
        return Response{400,
                        SoapFaultEnvelope(QStringLiteral("Sender"), {QStringLiteral("InvalidArgVal"), subcode}, reason),
                        {}};
    };
    if (operation == QLatin1String("GetSystemDateAndTime") && device.clockAccess != "none") {
        const QDateTime now = DeviceClock(state);
        return {200,
                respond(operation,
                        [&](QXmlStreamWriter &w) {
                            w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("SystemDateAndTime"));
                            WriteSchemaElement(w, "DateTimeType", QStringLiteral("Manual"));
                            WriteSchemaElement(w, "DaylightSavings", XmlBool(false));
                            w.writeStartElement(OnvifNs::Schema, QStringLiteral("UTCDateTime"));
                            w.writeStartElement(OnvifNs::Schema, QStringLiteral("Time"));
                            WriteSchemaElement(w, "Hour", QString::number(now.time().hour()));
                            WriteSchemaElement(w, "Minute", QString::number(now.time().minute()));
                            WriteSchemaElement(w, "Second", QString::number(now.time().second()));
                            w.writeEndElement();
                            w.writeStartElement(OnvifNs::Schema, QStringLiteral("Date"));
                            WriteSchemaElement(w, "Year", QString::number(now.date().year()));
                            WriteSchemaElement(w, "Month", QString::number(now.date().month()));
                            WriteSchemaElement(w, "Day", QString::number(now.date().day()));
                            w.writeEndElement();
                            w.writeEndElement();
                            w.writeEndElement();
                        }),
                {}};
    }
    if (operation == QLatin1String("GetDeviceInformation")) {
        return {200,
                respond(operation,
                        [&](QXmlStreamWriter &w) {
                            WriteDeviceElement(w, "Manufacturer", latin(device.manufacturer));
                            WriteDeviceElement(w, "Model", latin(device.model));
                            WriteDeviceElement(w, "FirmwareVersion", latin(device.version));
                            WriteDeviceElement(w, "SerialNumber", latin(device.serial));
                            WriteDeviceElement(w, "HardwareId", latin(device.model));
                        }),
                {}};
    }
    if (operation == QLatin1String("GetNetworkInterfaces")) {
        return {200,
                respond(operation,
                        [&](QXmlStreamWriter &w) {
                            w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("NetworkInterfaces"));
                            w.writeAttribute(QStringLiteral("token"), QStringLiteral("eth0"));
                            WriteSchemaElement(w, "Enabled", XmlBool(true));
                            w.writeStartElement(OnvifNs::Schema, QStringLiteral("Info"));
                            WriteSchemaElement(w, "Name", QStringLiteral("eth0"));
                            WriteSchemaElement(w, "HwAddress", latin(device.mac));
                            WriteSchemaElement(w, "MTU", QStringLiteral("1500"));
                            w.writeEndElement();
                            w.writeStartElement(OnvifNs::Schema, QStringLiteral("IPv4"));
                            WriteSchemaElement(w, "Enabled", XmlBool(true));
                            w.writeStartElement(OnvifNs::Schema, QStringLiteral("Config"));
                            w.writeStartElement(OnvifNs::Schema,
                                                device.dhcp ? QStringLiteral("FromDHCP") : QStringLiteral("Manual"));
                            WriteSchemaElement(w, "Address", latin(device.ip));
                            WriteSchemaElement(w, "PrefixLength",
                                               QString::number(PrefixLengthOfMask(latin(device.mask))));
                            w.writeEndElement();
                            WriteSchemaElement(w, "DHCP", XmlBool(device.dhcp));
                            w.writeEndElement();
                            w.writeEndElement();
                            w.writeEndElement();
                        }),
                {}};
    }
    if (operation == QLatin1String("GetDNS")) {
        return {200,
                respond(operation,
                        [&](QXmlStreamWriter &w) {
                            w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("DNSInformation"));
                            WriteSchemaElement(w, "FromDHCP", XmlBool(false));
                            if (!device.dns.isEmpty()) {
                                w.writeStartElement(OnvifNs::Schema, QStringLiteral("DNSManual"));
                                WriteSchemaElement(w, "Type", QStringLiteral("IPv4"));
                                WriteSchemaElement(w, "IPv4Address", latin(device.dns));
                                w.writeEndElement();
                            }
                            w.writeEndElement();
                        }),
                {}};
    }
    if (operation == QLatin1String("GetNetworkDefaultGateway")) {
        return {200,
                respond(operation,
                        [&](QXmlStreamWriter &w) {
                            w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("NetworkGateway"));
                            if (!device.gateway.isEmpty())
                                WriteSchemaElement(w, "IPv4Address", latin(device.gateway));
                            w.writeEndElement();
                        }),
                {}};
    }
    if (operation == QLatin1String("GetNetworkProtocols")) {
        return {200,
                respond(operation,
                        [&](QXmlStreamWriter &w) {
                            const std::pair<const char *, int> protocols[] = {{"HTTP", device.webPort},
                                                                              {"RTSP", state.rtspPort}};
                            for (const auto &[name, port] : protocols) {
                                w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("NetworkProtocols"));
                                WriteSchemaElement(w, "Name", QLatin1String(name));
                                WriteSchemaElement(w, "Enabled", XmlBool(true));
                                WriteSchemaElement(w, "Port", QString::number(port));
                                w.writeEndElement();
                            }
                        }),
                {}};
    }
    if (operation == QLatin1String("SetNetworkDefaultGateway")) {
        const QByteArray gateway = DeviceText(t, request, "IPv4Address").toLatin1();
        if (!IsDottedQuad(gateway))
            return fault(QStringLiteral("InvalidGatewayAddress"), QStringLiteral("Invalid gateway"));
        device.gateway = gateway;
        return {200, respond(operation), {}};
    }
    if (operation == QLatin1String("SetDNS")) {
        const QByteArray dns =
            SchemaText(t, t.Child(request, OnvifNs::DeviceWsdl, u"DNSManual"), "IPv4Address").toLatin1();
        if (!IsDottedQuad(dns))
            return fault(QStringLiteral("InvalidIPv4Address"), QStringLiteral("Invalid DNS server"));
        device.dns = dns;
        return {200, respond(operation), {}};
    }
    if (operation == QLatin1String("SetNetworkProtocols")) {
        quint16 webPort = device.webPort;
        for (int entry : t.Children(request, OnvifNs::DeviceWsdl, u"NetworkProtocols")) {
            bool ok = false;
            const quint16 port = SchemaText(t, entry, "Port").toUShort(&ok);
            if (!ok || port == 0)
                return fault(QStringLiteral("InvalidArgVal"), QStringLiteral("Invalid port"));
            if (SchemaText(t, entry, "Name") == QLatin1String("HTTP"))
                webPort = port;
            else if (SchemaText(t, entry, "Name") == QLatin1String("RTSP"))
                state.rtspPort = port;
        }
        if (webPort != device.webPort && device.rebootNeeded) {
            state.pendingPort = webPort;
        } else if (webPort != device.webPort) {
            // At once, as soon as this answer is out: the next request must find the new port.
            const Addressing same{device.dhcp, device.ip, device.mask};
            QTimer::singleShot(0, this, [this, &state, same, webPort] { Move(state, same, webPort); });
        }
        return {200, respond(operation), {}};
    }
    if (operation == QLatin1String("SetNetworkInterfaces")) {
        if (DeviceText(t, request, "InterfaceToken") != QLatin1String("eth0"))
            return fault(QStringLiteral("InvalidNetworkInterface"), QStringLiteral("No such interface"));
        const int ipv4 = t.Path(t.Child(request, OnvifNs::DeviceWsdl, u"NetworkInterface"), OnvifNs::Schema, {u"IPv4"});
        const int manual = t.Child(ipv4, OnvifNs::Schema, u"Manual");
        Addressing wanted{SchemaText(t, ipv4, "DHCP") == QLatin1String("true"), device.ip, device.mask};
        // Manual beside DHCP is what leaves real devices unreachable: refused here.
        if (wanted.dhcp && manual >= 0)
            return fault(QStringLiteral("InvalidIPv4Address"), QStringLiteral("Manual address with DHCP"));
        if (!wanted.dhcp) {
            wanted.ip = SchemaText(t, manual, "Address").toLatin1();
            bool ok = false;
            const int prefix = SchemaText(t, manual, "PrefixLength").toInt(&ok);
            if (!IsDottedQuad(wanted.ip) || !ok || prefix < 1 || prefix > 32)
                return fault(QStringLiteral("InvalidIPv4Address"), QStringLiteral("Invalid address"));
            wanted.mask = MaskOfPrefixLength(prefix).toLatin1();
        }
        if (device.rebootNeeded)
            state.pending = wanted;
        else
            MoveLater(state, wanted);
        return {200,
                respond(operation,
                        [&](QXmlStreamWriter &w) {
                            WriteDeviceElement(w, "RebootNeeded", XmlBool(device.rebootNeeded));
                        }),
                {}};
    }
    if (operation == QLatin1String("SystemReboot")) {
        // Once this answer is out.
        QTimer::singleShot(0, this, [this, &state] { Reboot(state); });
        return {200,
                respond(operation,
                        [](QXmlStreamWriter &w) {
                            WriteDeviceElement(w, "Message", QStringLiteral("Rebooting in 1 seconds"));
                        }),
                {}};
    }
    if (operation == QLatin1String("SetSystemFactoryDefault")) {
        const QString kind = DeviceText(t, request, "FactoryDefault");
        if (kind == QLatin1String("Hard")) {
            // Everything but the address, which the DHCP server gives it again.
            const SimDevice now = device;
            device = state.factory;
            device.ip = now.ip;
            device.mask = now.mask;
            device.webPort = now.webPort;
            device.dhcp = true;
        } else if (kind != QLatin1String("Soft")) {
            return fault(QStringLiteral("InvalidArgVal"), QStringLiteral("Soft or Hard"));
        }
        // Restarts to take its defaults, once this answer is out.
        QTimer::singleShot(0, this, [this, &state] { Reboot(state); });
        return {200, respond(operation), {}};
    }
    return {500,
            SoapFaultEnvelope(QStringLiteral("Receiver"), {QStringLiteral("ActionNotSupported")},
                              QStringLiteral("Not supported")),
            {}};
}

void OnvifServiceSim::MoveLater(DeviceState &state, const Addressing &addressing)
{
    QTimer::singleShot(m_options.moveDelayMs, this,
                       [this, &state, addressing] { Move(state, addressing, m_devices[state.index].webPort); });
}

void OnvifServiceSim::Move(DeviceState &state, const Addressing &addressing, quint16 webPort)
{
    SimDevice &device = m_devices[state.index];
    const QByteArray oldIp = device.ip;
    device.dhcp = addressing.dhcp;
    device.mask = addressing.mask;
    if (oldIp == addressing.ip && webPort == device.webPort)
        return;
    QString error;
    state.server.reset();
    DropConnections(state);
    if (!m_addresses.Replace(oldIp, addressing.ip, error))
        std::fprintf(stderr, "corvane-devsim: %s\n", qPrintable(error));
    device.ip = addressing.ip;
    device.webPort = webPort;
    if (!Listen(state, error))
        std::fprintf(stderr, "corvane-devsim: %s\n", qPrintable(error));
    if (moved)
        moved(state.index, oldIp);
}

void OnvifServiceSim::DropConnections(DeviceState &state)
{
    for (const QPointer<QTcpSocket> &socket : std::as_const(state.connections)) {
        if (socket)
            socket->disconnectFromHost(); // what was written still goes out
    }
    state.connections.clear();
}

void OnvifServiceSim::Reboot(DeviceState &state)
{
    if (state.rebooting)
        return;
    // A rebooted device has forgotten the digest nonces it gave out.
    state.nonces.clear();
    state.rebooting = true;
    state.server.reset();
    DropConnections(state);
    QTimer::singleShot(m_options.rebootTimeMs, this, [this, &state] {
        state.rebooting = false;
        SimDevice &device = m_devices[state.index];
        const Addressing next = state.pending.value_or(Addressing{device.dhcp, device.ip, device.mask});
        const quint16 port = state.pendingPort.value_or(device.webPort);
        state.pending.reset();
        state.pendingPort.reset();
        if (next.ip != device.ip || port != device.webPort) {
            Move(state, next, port);
            return;
        }
        device.dhcp = next.dhcp;
        device.mask = next.mask;
        QString error;
        if (!Listen(state, error))
            std::fprintf(stderr, "corvane-devsim: %s\n", qPrintable(error));
        if (rebooted)
            rebooted(state.index);
    });
}

bool OnvifServiceSim::IsRebooting(int deviceIndex) const
{
    for (const auto &state : m_states) {
        if (state->index == deviceIndex)
            return state->rebooting;
    }
    return false;
}
