#pragma once

// Contract of the device management calls; implemented in OnvifClient.cpp.

#include "OnvifDevice.h"

#include <QObject>

#include <functional>
#include <memory>

// How a command ended, as the window and corvanectl report it.
enum class OnvifResult {
    Ok,             // "Apply"
    LoginFailed,    // "Failed. login failed"
    InvalidAddress, // "Failed. Invalid address"
    Failed,         // "Failed": no answer in time, a fault, an answer that cannot be read
};
// The text the window and corvanectl show for result.
QString OnvifResultText(OnvifResult result);

struct OnvifClientOptions
{
    int callTimeoutMs = 5000;
    qint64 maxReplyBytes = 1 << 20;
};

// The device service calls, with the login each device takes: its clock is read first (with
// the login when the device wants one, else from its replies' Date header) and the method that
// worked (UsernameToken digest, HTTP Digest MD5 or SHA-256) is remembered per device. Every call is asynchronous and
// ends in its callback, on the client's thread; a device that does not answer fails its own call only. A device whose
// credentialsSafe is false is sent nothing at all: its calls fail.
class OnvifClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnvifClient)

public:
    explicit OnvifClient(OnvifClientOptions options = {}, QObject *parent = nullptr);
    ~OnvifClient() override;

    using SettingsDone = std::function<void(OnvifResult, const OnvifSettings &)>;
    using Done = std::function<void(OnvifResult)>;

    // GetNetworkInterfaces, GetDNS, GetNetworkDefaultGateway, GetNetworkProtocols and
    // GetDeviceInformation.
    void ReadSettings(const OnvifDevice &device, const OnvifLogin &login, SettingsDone done);
    // Changes what differs between current (as ReadSettings gave it) and wanted, gateway and DNS
    // first, then the web port, the interface last, then SystemReboot if the device asks for it.
    // A field that current does not hold is never sent. After a new web port the calls go where
    // ServiceAddressAfterWebPort says, and to the old address when that refuses the connection.
    void ApplySettings(const OnvifDevice &device, const OnvifLogin &login, const OnvifSettings &current,
                       const OnvifSettings &wanted, Done done);
    void Reboot(const OnvifDevice &device, const OnvifLogin &login, Done done);
    // Soft keeps the addressing; hard resets everything.
    void FactoryDefault(const OnvifDevice &device, const OnvifLogin &login, bool hard, Done done);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
