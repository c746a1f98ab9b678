#pragma once

#include "CNetworkAdapterObj.h"
#include "OnvifDiscovery.h"
#include "OnvifListing.h"

#include <QObject>

#include <optional>

// Whether an ONVIF device that Save moved answers at its new address, as corvanectl's check
// tells it: its endpoint is looked for over up to kOnvifMoveCheckRounds discovery rounds of
// its own (a device that waits for its reboot first answers at its old address). The search
// that lists devices is left alone. Nothing waits: finished comes when it is found where
// wanted, or after the last round.
class OnvifMoveCheck final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnvifMoveCheck)

public:
    explicit OnvifMoveCheck(const OnvifDiscoveryOptions &options, QObject *parent = nullptr);
    ~OnvifMoveCheck() override;

    // Forgets a check still running, without its finished. False when no probe could be sent.
    bool Start(const CNetworkAdapterObj &adapter, const QString &endpoint, const OnvifSettings &wanted);
    void Stop();
    bool IsRunning() const { return m_rounds > 0; }

Q_SIGNALS:
    // text as OnvifMoveVerification says it; device is how the endpoint answered last, when it did.
    void finished(bool ok, const QString &text, const std::optional<OnvifDevice> &device);

private:
    void OnDevice(const OnvifDevice &device);
    void OnRoundEnded();
    void Finish(bool ok, const QString &text);

    OnvifDiscovery m_discovery;
    CNetworkAdapterObj m_adapter;
    QString m_endpoint;
    OnvifSettings m_wanted;
    std::optional<OnvifDevice> m_seen;
    int m_rounds = 0; // 0 when not running
};
