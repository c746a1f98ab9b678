#pragma once

#include "OnvifClient.h"
#include "OnvifListing.h"
#include "SetNetwork.h"

#include <QObject>
#include <QQueue>

#include <functional>
#include <memory>

// Why a login must not go to the device: its service address is neither where its answer came
// from nor on the adapter's network, so a password would go to someone else. Empty when it may.
QString CredentialsWithheldReason(const OnvifDevice &device);
// What a call to the device that ended in result says: the result's text, or, when no login
// could be sent there, why.
QString OnvifCallText(const OnvifDevice &device, OnvifResult result);

// The ONVIF commands of the window and corvanectl, over one client that remembers each
// device's login method. No login leaves for a device whose service address may not have it:
// such a call fails at once, without a packet. Reads run a few at a time, so a search that
// reads a thousand devices does not open a thousand connections. Callbacks come on this
// object's thread, and never once it is being destroyed.
class OnvifCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnvifCommands)

public:
    static constexpr int kParallelReads = 16;

    using Done = std::function<void(OnvifResult)>;
    using SettingsDone = std::function<void(OnvifResult, const OnvifSettings &)>;
    // current: the settings read before the change; wanted: what Save asked of the device (both
    // empty when the settings could not be read).
    using SaveDone = std::function<void(OnvifResult, const OnvifSettings &current, const OnvifSettings &wanted)>;

    explicit OnvifCommands(OnvifClientOptions options = {}, QObject *parent = nullptr);
    ~OnvifCommands() override;

    void ReadSettings(const OnvifDevice &device, const OnvifLogin &login, SettingsDone done);
    // Reads the current settings with the login, then changes only what differs from them
    // (WantedOnvifSettings); when nothing does, nothing is sent. An address or mask that is no
    // address fails as "Invalid address" before anything is changed.
    void Save(const OnvifDevice &device, const OnvifLogin &login, const NetworkEdits &edits, bool fieldsRead,
              SaveDone done);
    void Reboot(const OnvifDevice &device, const OnvifLogin &login, Done done);
    // Soft keeps the addressing, so the device stays reachable on site; hard resets everything.
    void FactoryReset(const OnvifDevice &device, const OnvifLogin &login, bool hard, Done done);

    // Drops every call still running without calling back: for an owner that is going away.
    void Abandon();

private:
    struct Read
    {
        OnvifDevice device;
        OnvifLogin login;
        SettingsDone done;
    };
    void StartReads();
    // done, unless the commands have been abandoned in the meantime.
    template<typename F>
    F Guarded(F done);

    std::unique_ptr<OnvifClient> m_client;
    std::shared_ptr<bool> m_live = std::make_shared<bool>(true);
    QQueue<Read> m_reads;
    int m_readsRunning = 0;
};
