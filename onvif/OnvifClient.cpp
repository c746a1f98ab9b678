#include "OnvifClient.h"

#include "HttpDate.h"
#include "HttpDigest.h"
#include "OnvifServiceAddress.h"
#include "SoapMessages.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <deque>

QString OnvifResultText(OnvifResult result)
{
    switch (result) {
    case OnvifResult::Ok: return QStringLiteral("Apply");
    case OnvifResult::LoginFailed: return QStringLiteral("Failed. login failed");
    case OnvifResult::InvalidAddress: return QStringLiteral("Failed. Invalid address");
    case OnvifResult::Failed: break;
    }
    return QStringLiteral("Failed");
}

namespace {
enum class Method { Token, Digest };

// What the client knows of one device's login: its clock and the method that worked.
struct DeviceLogin
{
    bool clockKnown = false;
    qint64 clockOffsetMs = 0; // the device's clock minus ours
    Method method = Method::Token;
    std::optional<DigestChallenge> challenge;
    quint32 nc = 0; // requests sent with challenge's nonce
};

// One HTTP exchange as it ended.
struct Exchange
{
    bool reached = false; // an HTTP answer arrived, whole and within the limits
    bool refused = false; // the connection was refused: the request never reached the device
    int status = 0;
    QByteArray body;
    QList<QByteArray> challenges; // every WWW-Authenticate value
    QDateTime date;               // the Date header's, when it had a valid one
};

// One call of a sequence; read takes its reply, and may add calls to the sequence.
struct Sequence;
struct Step
{
    SoapCall call;
    std::function<bool(const SoapReply &, Sequence &)> read;
    bool optional = false; // a fault (not a refused login) leaves the fields it reads unread
};

struct Sequence
{
    OnvifDevice device;
    OnvifLogin login;
    std::deque<Step> steps;
    // Where to try again when device.serviceAddress refuses the connection: the service's old
    // address after a web port change, for a device that applies the new port only later.
    QUrl fallback;
    std::function<void(OnvifResult)> done;
};

// One call's way through the logins.
struct Attempt
{
    OnvifDevice device;
    OnvifLogin login;
    SoapCall call;
    bool last = false; // the device's last call for now: its connection may close
    Method method = Method::Token;
    bool freshChallenge = false;
    bool digestRetried = false;
    bool clockReread = false;
    QUrl fallback; // as Sequence's; taken at most once
    std::function<void(OnvifResult, const SoapReply &)> done;
};

// A call whose reply says nothing more than that it worked.
bool answered(const SoapReply &, Sequence &)
{
    return true;
}

QString deviceKey(const OnvifDevice &device)
{
    return device.endpoint.isEmpty() ? device.serviceAddress.toString() : device.endpoint;
}

QByteArray requestPath(const QUrl &url)
{
    const QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    const QByteArray query = url.query(QUrl::FullyEncoded).toLatin1();
    return (path.isEmpty() ? QByteArray("/") : path) + (query.isEmpty() ? QByteArray() : '?' + query);
}
} // namespace

struct OnvifClient::Private
{
    OnvifClient *q;
    OnvifClientOptions options;
    QNetworkAccessManager network;
    QHash<QString, DeviceLogin> logins;
    QSet<QNetworkReply *> inFlight;

    void Post(const QUrl &url, const QString &operation, const QByteArray &envelope, const QByteArray &authorization,
              bool last, std::function<void(const Exchange &)> done);
    void ReadClock(std::shared_ptr<Attempt> attempt, std::function<void(bool reached)> done);
    void Call(std::shared_ptr<Attempt> attempt);
    void ReadClockThenSend(std::shared_ptr<Attempt> attempt);
    void Send(std::shared_ptr<Attempt> attempt);
    void OnAnswer(std::shared_ptr<Attempt> attempt, const Exchange &exchange);
    void Run(std::shared_ptr<Sequence> sequence);
    void Later(std::function<void(OnvifResult)> done, OnvifResult result);
    void RunOne(const OnvifDevice &device, const OnvifLogin &login, const SoapCall &call,
                std::function<void(OnvifResult)> done);
};

void OnvifClient::Private::Post(const QUrl &url, const QString &operation, const QByteArray &envelope,
                                const QByteArray &authorization, bool last, std::function<void(const Exchange &)> done)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QString(QStringLiteral("application/soap+xml; charset=utf-8; action=\"") + SoapAction(operation)
                              + QLatin1Char('"')));
    // Credentials go only where the caller sends them: no redirects, no cached logins.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setTransferTimeout(options.callTimeoutMs);
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    // Reading a thousand devices would otherwise keep a thousand idle connections open.
    if (last)
        request.setRawHeader("Connection", "close");
    QNetworkReply *reply = network.post(request, envelope);
    inFlight.insert(reply);
    auto *timer = new QTimer(reply);
    timer->setSingleShot(true);
    auto failed = std::make_shared<bool>(false);
    QObject::connect(timer, &QTimer::timeout, reply, [reply, failed] {
        *failed = true;
        reply->abort();
    });
    timer->start(options.callTimeoutMs);
    const qint64 maxBytes = options.maxReplyBytes;
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [reply, failed, maxBytes](qint64 received, qint64 total) {
                         if (received > maxBytes || total > maxBytes) {
                             *failed = true;
                             reply->abort();
                         }
                     });
    QObject::connect(reply, &QNetworkReply::finished, q, [this, reply, failed, done = std::move(done)] {
        inFlight.remove(reply);
        reply->deleteLater();
        Exchange exchange;
        exchange.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        exchange.reached = !*failed && exchange.status != 0;
        exchange.refused = !exchange.reached && reply->error() == QNetworkReply::ConnectionRefusedError;
        if (exchange.reached) {
            exchange.body = reply->readAll();
            if (exchange.body.size() > options.maxReplyBytes)
                exchange.reached = false;
            for (const auto &[name, value] : reply->rawHeaderPairs()) {
                if (name.compare("WWW-Authenticate", Qt::CaseInsensitive) == 0)
                    exchange.challenges.append(value);
                else if (name.compare("Date", Qt::CaseInsensitive) == 0)
                    exchange.date = ParseHttpDate(value);
            }
        }
        done(exchange);
    });
}

void OnvifClient::Private::ReadClock(std::shared_ptr<Attempt> attempt, std::function<void(bool reached)> done)
{
    const QString operation = QStringLiteral("GetSystemDateAndTime");
    const QString key = deviceKey(attempt->device);
    Post(attempt->device.serviceAddress, operation, SoapEnvelope(PlainCall(operation).body), {}, false,
         [this, attempt, key, operation, done = std::move(done)](const Exchange &exchange) {
             if (!exchange.reached) {
                 done(false);
                 return;
             }
             DeviceLogin &login = logins[key];
             login.clockKnown = true;
             QDateTime deviceUtc;
             if (ReadSystemDateAndTime(SoapReply(exchange.body), deviceUtc)) {
                 login.clockOffsetMs = QDateTime::currentDateTimeUtc().msecsTo(deviceUtc);
                 done(true);
                 return;
             }
             // Some devices read their clock only to a login. Until that call tells it, the
             // reply's Date header is the best guess, and the last one if the call fails too; a
             // device without either is taken to be on time.
             login.clockOffsetMs = exchange.date.isValid() ? QDateTime::currentDateTimeUtc().msecsTo(exchange.date) : 0;
             auto clock = std::make_shared<Attempt>();
             clock->device = attempt->device;
             clock->login = attempt->login;
             clock->call = PlainCall(operation);
             clock->method = login.challenge ? login.method : Method::Token;
             clock->clockReread = true; // no clock is read for the clock's own call
             clock->done = [this, key, done](OnvifResult result, const SoapReply &reply) {
                 QDateTime told;
                 if (result == OnvifResult::Ok && ReadSystemDateAndTime(reply, told))
                     logins[key].clockOffsetMs = QDateTime::currentDateTimeUtc().msecsTo(told);
                 done(true);
             };
             Send(clock);
         });
}

void OnvifClient::Private::Call(std::shared_ptr<Attempt> attempt)
{
    const DeviceLogin &login = logins[deviceKey(attempt->device)];
    attempt->method = login.challenge ? login.method : Method::Token;
    if (login.clockKnown) {
        Send(attempt);
        return;
    }
    ReadClockThenSend(attempt);
}

void OnvifClient::Private::ReadClockThenSend(std::shared_ptr<Attempt> attempt)
{
    ReadClock(attempt, [this, attempt](bool reached) {
        if (reached)
            Send(attempt);
        else
            attempt->done(OnvifResult::Failed, SoapReply({}));
    });
}

void OnvifClient::Private::Send(std::shared_ptr<Attempt> attempt)
{
    DeviceLogin &login = logins[deviceKey(attempt->device)];
    const QUrl &url = attempt->device.serviceAddress;
    QByteArray envelope;
    QByteArray authorization;
    if (attempt->method == Method::Digest && login.challenge) {
        // Digest alone: a device that takes both checks HTTP first and may reject the pair.
        envelope = SoapEnvelope(attempt->call.body);
        authorization = DigestAuthorization(*login.challenge, attempt->login.user, attempt->login.password, "POST",
                                            requestPath(url), ++login.nc, MakeCnonce());
    } else {
        attempt->method = Method::Token;
        const UsernameToken token = MakeUsernameToken(attempt->login,
                                                      QDateTime::currentDateTimeUtc().addMSecs(login.clockOffsetMs));
        envelope = SoapEnvelope(attempt->call.body, &token);
    }
    Post(url, attempt->call.operation, envelope, authorization, attempt->last,
         [this, attempt](const Exchange &exchange) { OnAnswer(attempt, exchange); });
}

void OnvifClient::Private::OnAnswer(std::shared_ptr<Attempt> attempt, const Exchange &exchange)
{
    if (!exchange.reached) {
        // Only a refusal proves nothing arrived: a request that timed out may have been carried
        // out, and is never sent twice.
        if (exchange.refused && !attempt->fallback.isEmpty()) {
            attempt->device.serviceAddress = attempt->fallback;
            attempt->fallback.clear();
            Send(attempt);
            return;
        }
        attempt->done(OnvifResult::Failed, SoapReply({}));
        return;
    }
    DeviceLogin &login = logins[deviceKey(attempt->device)];
    if (exchange.status == 401) {
        const auto challenge = ChooseDigestChallenge(ParseAuthHeaders(exchange.challenges));
        // A digest is tried again only with a nonce it has not been refused with yet: an old
        // one from an earlier call, or one the device calls stale.
        const bool retry = challenge
                           && (attempt->method != Method::Digest
                               || (!attempt->digestRetried && (!attempt->freshChallenge || challenge->stale)));
        if (!retry) {
            attempt->done(OnvifResult::LoginFailed, SoapReply({}));
            return;
        }
        if (attempt->method == Method::Digest)
            attempt->digestRetried = true;
        login.challenge = challenge;
        login.nc = 0;
        attempt->method = Method::Digest;
        attempt->freshChallenge = true;
        Send(attempt);
        return;
    }
    const SoapReply reply(exchange.body);
    if (const auto fault = reply.Fault()) {
        const OnvifResult result = ResultOfFault(*fault);
        // A refused token is most often a clock that has drifted since it was read.
        if (result == OnvifResult::LoginFailed && attempt->method == Method::Token && !attempt->clockReread) {
            attempt->clockReread = true;
            ReadClockThenSend(attempt);
            return;
        }
        attempt->done(result, reply);
        return;
    }
    if (exchange.status != 200 || !reply.IsValid()) {
        attempt->done(OnvifResult::Failed, reply);
        return;
    }
    login.method = attempt->method;
    attempt->done(OnvifResult::Ok, reply);
}

void OnvifClient::Private::Later(std::function<void(OnvifResult)> done, OnvifResult result)
{
    // Calls end in their callback after they return, even when nothing was sent.
    QMetaObject::invokeMethod(
        q, [done = std::move(done), result] { done(result); }, Qt::QueuedConnection);
}

void OnvifClient::Private::Run(std::shared_ptr<Sequence> sequence)
{
    if (sequence->steps.empty()) {
        Later(sequence->done, OnvifResult::Ok);
        return;
    }
    // A device that named someone else's address gets neither a login nor a request.
    if (!sequence->device.credentialsSafe) {
        Later(sequence->done, OnvifResult::Failed);
        return;
    }
    auto attempt = std::make_shared<Attempt>();
    attempt->device = sequence->device;
    attempt->login = sequence->login;
    attempt->call = sequence->steps.front().call;
    attempt->last = sequence->steps.size() == 1;
    attempt->fallback = sequence->fallback;
    attempt->done = [this, sequence, weak = std::weak_ptr<Attempt>(attempt)](OnvifResult result,
                                                                             const SoapReply &reply) {
        // Once either address has answered, the rest of the calls go there alone.
        if (const auto answered = weak.lock(); answered && (result != OnvifResult::Failed || reply.IsValid())) {
            sequence->device.serviceAddress = answered->device.serviceAddress;
            sequence->fallback.clear();
        }
        const Step step = std::move(sequence->steps.front());
        sequence->steps.pop_front();
        if (result == OnvifResult::Ok && !step.read(reply, *sequence))
            result = OnvifResult::Failed;
        if (result == OnvifResult::Failed && step.optional && reply.Fault())
            result = OnvifResult::Ok;
        if (result != OnvifResult::Ok) {
            sequence->done(result);
            return;
        }
        Run(sequence);
    };
    Call(attempt);
}

void OnvifClient::Private::RunOne(const OnvifDevice &device, const OnvifLogin &login, const SoapCall &call,
                                  std::function<void(OnvifResult)> done)
{
    auto sequence = std::make_shared<Sequence>();
    sequence->device = device;
    sequence->login = login;
    sequence->done = std::move(done);
    sequence->steps.push_back({call, answered});
    Run(sequence);
}

OnvifClient::OnvifClient(OnvifClientOptions options, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->q = this;
    d->options = options;
    // Devices are on the local network: never through a proxy.
    d->network.setProxy(QNetworkProxy::NoProxy);
}

OnvifClient::~OnvifClient()
{
    // No callback runs once the client is gone.
    const auto replies = d->inFlight;
    for (QNetworkReply *reply : replies) {
        QObject::disconnect(reply, nullptr, nullptr, nullptr);
        reply->abort();
        delete reply;
    }
}

void OnvifClient::ReadSettings(const OnvifDevice &device, const OnvifLogin &login, SettingsDone done)
{
    auto settings = std::make_shared<OnvifSettings>();
    auto sequence = std::make_shared<Sequence>();
    sequence->device = device;
    sequence->login = login;
    const auto read = [settings](bool (*reader)(const SoapReply &, OnvifSettings &)) {
        return [settings, reader](const SoapReply &reply, Sequence &) { return reader(reply, *settings); };
    };
    sequence->steps = {
        {PlainCall(QStringLiteral("GetNetworkInterfaces")), read(ReadNetworkInterfaces), false},
        {PlainCall(QStringLiteral("GetDNS")), read(ReadDns), true},
        {PlainCall(QStringLiteral("GetNetworkDefaultGateway")), read(ReadNetworkDefaultGateway), true},
        {PlainCall(QStringLiteral("GetNetworkProtocols")),
         [settings](const SoapReply &reply, Sequence &) {
             QList<NetworkProtocol> protocols;
             if (!ReadNetworkProtocols(reply, protocols))
                 return false;
             settings->webPort = WebPortOf(protocols);
             return true;
         },
         true},
        {PlainCall(QStringLiteral("GetDeviceInformation")), read(ReadDeviceInformation), true},
    };
    sequence->done = [settings, done = std::move(done)](OnvifResult result) {
        done(result, result == OnvifResult::Ok ? *settings : OnvifSettings());
    };
    d->Run(sequence);
}

void OnvifClient::ApplySettings(const OnvifDevice &device, const OnvifLogin &login, const OnvifSettings &current,
                                const OnvifSettings &wanted, Done done)
{
    const auto changed = [](const QString &was, const QString &now) {
        return !was.isEmpty() && !now.isEmpty() && was != now;
    };
    const bool gateway = changed(current.gateway, wanted.gateway);
    const bool dns = changed(current.dns, wanted.dns);
    const bool webPort = current.webPort > 0 && wanted.webPort > 0 && current.webPort != wanted.webPort;
    const int prefix = wanted.mask.isEmpty() ? wanted.prefixLength : PrefixLengthOfMask(wanted.mask);
    const bool nic = !current.interfaceToken.isEmpty()
                     && (wanted.dhcp != current.dhcp
                         || (!wanted.dhcp && (wanted.ip != current.ip || prefix != current.prefixLength)));

    // Refused before anything is sent, so that a typing error never leaves a device half set.
    if ((nic && !wanted.dhcp && (!IsUsableIPv4(wanted.ip) || prefix < 1 || prefix > 32))
        || (gateway && !IsUsableIPv4(wanted.gateway)) || (dns && !IsUsableIPv4(wanted.dns))) {
        d->Later(std::move(done), OnvifResult::InvalidAddress);
        return;
    }
    if (webPort && wanted.webPort > 65535) {
        d->Later(std::move(done), OnvifResult::Failed);
        return;
    }

    auto sequence = std::make_shared<Sequence>();
    sequence->device = device;
    sequence->login = login;
    sequence->done = std::move(done);
    if (gateway)
        sequence->steps.push_back({SetNetworkDefaultGatewayCall(wanted.gateway), answered});
    if (dns)
        sequence->steps.push_back({SetDnsCall(wanted.dns), answered});
    if (webPort) {
        // The other protocols are sent back as the device has them now.
        const int port = wanted.webPort;
        sequence->steps.push_back(
            {PlainCall(QStringLiteral("GetNetworkProtocols")), [port](const SoapReply &reply, Sequence &s) {
                 QList<NetworkProtocol> protocols;
                 if (!ReadNetworkProtocols(reply, protocols))
                     return false;
                 const int oldPort = WebPortOf(protocols);
                 for (NetworkProtocol &protocol : protocols) {
                     if (protocol.name == QLatin1String("HTTP")) {
                         if (protocol.ports.isEmpty())
                             protocol.ports.append(port);
                         else
                             protocol.ports.first() = port;
                     }
                 }
                 // Before the interface, if any: the next call after this one. A device that
                 // applies the port at once is found at it from then on; one that waits for its
                 // reboot still answers at the old port, which refuses the connection otherwise.
                 s.steps.push_front(
                     {SetNetworkProtocolsCall(protocols), [oldPort, port](const SoapReply &, Sequence &q) {
                          const QUrl moved = ServiceAddressAfterWebPort(q.device.serviceAddress, oldPort, port);
                          if (moved != q.device.serviceAddress) {
                              q.fallback = q.device.serviceAddress;
                              q.device.serviceAddress = moved;
                          }
                          return true;
                      }});
                 return true;
             }});
    }
    if (nic) {
        sequence->steps.push_back({SetNetworkInterfacesCall(current.interfaceToken, wanted.dhcp, wanted.ip, prefix),
                                   [](const SoapReply &reply, Sequence &s) {
                                       bool rebootNeeded = false;
                                       if (!ReadRebootNeeded(reply, rebootNeeded))
                                           return false;
                                       if (rebootNeeded)
                                           s.steps.push_back({PlainCall(QStringLiteral("SystemReboot")), answered});
                                       return true;
                                   }});
    }
    d->Run(sequence);
}

void OnvifClient::Reboot(const OnvifDevice &device, const OnvifLogin &login, Done done)
{
    d->RunOne(device, login, PlainCall(QStringLiteral("SystemReboot")), std::move(done));
}

void OnvifClient::FactoryDefault(const OnvifDevice &device, const OnvifLogin &login, bool hard, Done done)
{
    d->RunOne(device, login, SetSystemFactoryDefaultCall(hard), std::move(done));
}
