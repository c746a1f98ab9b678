#include "OnvifMoveCheck.h"

OnvifMoveCheck::OnvifMoveCheck(const OnvifDiscoveryOptions &options, QObject *parent)
    : QObject(parent)
    , m_discovery(options)
{
    connect(&m_discovery, &OnvifDiscovery::deviceFound, this, &OnvifMoveCheck::OnDevice);
    connect(&m_discovery, &OnvifDiscovery::deviceChanged, this, &OnvifMoveCheck::OnDevice);
    connect(&m_discovery, &OnvifDiscovery::finished, this, &OnvifMoveCheck::OnRoundEnded);
}

OnvifMoveCheck::~OnvifMoveCheck() = default;

bool OnvifMoveCheck::Start(const CNetworkAdapterObj &adapter, const QString &endpoint, const OnvifSettings &wanted)
{
    m_adapter = adapter;
    m_endpoint = endpoint;
    m_wanted = wanted;
    m_seen.reset();
    m_rounds = 1;
    if (m_discovery.Start(m_adapter))
        return true;
    Stop();
    return false;
}

void OnvifMoveCheck::Stop()
{
    m_rounds = 0;
    m_discovery.Stop();
}

void OnvifMoveCheck::OnDevice(const OnvifDevice &device)
{
    if (m_rounds == 0 || !NamesOnvifDevice(OnvifListing{device, std::nullopt, QString()}, m_endpoint))
        return;
    m_seen = device;
    const auto [text, ok] = OnvifMoveVerification(m_wanted, &device);
    if (ok)
        Finish(true, text);
}

void OnvifMoveCheck::OnRoundEnded()
{
    if (m_rounds == 0)
        return;
    // Answers at the old address, or none yet: another round, until the last.
    if (m_rounds < kOnvifMoveCheckRounds) {
        ++m_rounds;
        m_seen.reset();
        if (m_discovery.Start(m_adapter))
            return;
    }
    const auto [text, ok] = OnvifMoveVerification(m_wanted, m_seen ? &*m_seen : nullptr);
    Finish(ok, text);
}

void OnvifMoveCheck::Finish(bool ok, const QString &text)
{
    const std::optional<OnvifDevice> seen = m_seen;
    Stop();
    Q_EMIT finished(ok, text, seen);
}
