#include "AssignAddressesDlg.h"

#include "AddressPlan.h"
#include "DeviceFields.h"
#include "DeviceSearch.h"
#include "PlanApply.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
std::optional<quint32> addressOf(const QString &text)
{
    if (!IsDottedQuadText(text))
        return std::nullopt;
    return QHostAddress(text).toIPv4Address();
}

QLineEdit *addField(QFormLayout *form, const QString &label, const QString &name)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(name);
    form->addRow(label, edit);
    return edit;
}
} // namespace

QList<std::optional<QString>> AssignAddressesDlg::PlanAddresses(const QString &first, const QString &mask,
                                                                const QList<CameraInfo> &ticked,
                                                                const QList<CameraInfo> &listed)
{
    const std::optional<quint32> start = addressOf(first);
    const auto [network, prefix] = QHostAddress::parseSubnet(first + QLatin1Char('/') + mask);
    if (!start || !IsDottedQuadText(mask) || prefix < 0 || *start == 0)
        return {};
    const quint32 netmask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
    const quint32 networkAddress = *start & netmask;
    const quint32 broadcast = networkAddress | ~netmask;
    const bool ends = prefix < 31; // a /31 or /32 has no network or broadcast address of its own

    QHash<quint32, int> users; // address -> listed devices that have it
    for (const CameraInfo &record : listed) {
        if (const std::optional<quint32> used = addressOf(DeviceText(record.ip_addr)))
            ++users[*used];
    }
    QList<std::optional<QString>> plan;
    quint64 next = *start;
    for (const CameraInfo &record : ticked) {
        const std::optional<quint32> own = addressOf(DeviceText(record.ip_addr));
        std::optional<QString> address;
        for (; next <= broadcast; ++next) {
            const auto candidate = static_cast<quint32>(next);
            if (ends && (candidate == networkAddress || candidate == broadcast))
                continue;
            const int usedBy = users.value(candidate) - (own && *own == candidate ? 1 : 0);
            if (usedBy > 0)
                continue;
            address = QHostAddress(candidate).toString();
            ++next;
            break;
        }
        plan << address;
    }
    return plan;
}

AssignAddressesDlg::AssignAddressesDlg(QList<std::pair<int, CameraInfo>> ticked, QList<CameraInfo> listed,
                                       DeviceSearch &search, CHalvetranoDlg *vendor, const CNetworkAdapterObj &adapter,
                                       QWidget *parent)
    : QDialog(parent)
    , m_ticked(std::move(ticked))
    , m_listed(std::move(listed))
    , m_search(search)
    , m_vendor(vendor)
    , m_adapter(adapter)
{
    setWindowTitle(tr("Assign addresses to ticked devices"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);
    m_editFirstIp = addField(form, tr("&First IP address:"), QStringLiteral("firstIp"));
    m_editMask = addField(form, tr("Subnet &mask:"), QStringLiteral("mask"));
    m_editGateway = addField(form, tr("&Gateway:"), QStringLiteral("gateway"));
    m_editDns = addField(form, tr("&DNS:"), QStringLiteral("dns"));
    m_editUserId = addField(form, tr("&User ID:"), QStringLiteral("userId"));
    m_editPassword = addField(form, tr("&Password:"), QStringLiteral("password"));
    m_editPassword->setEchoMode(QLineEdit::Password);
    m_editUserId->setPlaceholderText(tr("as each device reports it"));
    // The adapter's network is where the devices are reachable: offer its mask.
    if (const int prefix = adapter.m_nPrefixLength; prefix > 0 && prefix <= 32)
        m_editMask->setText(QHostAddress(~quint32(0) << (32 - prefix)).toString());

    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    m_planView = new QTreeWidget;
    m_planView->setObjectName(QStringLiteral("plan"));
    m_planView->setRootIsDecorated(false);
    m_planView->setHeaderLabels(
        {tr("No."), tr("MAC ADDRESS"), tr("IP ADDRESS"), tr("NEW IP ADDRESS"), tr("RESULT"), tr("CHECK")});
    for (const auto &[number, record] : std::as_const(m_ticked)) {
        auto *item = new QTreeWidgetItem(m_planView);
        item->setText(ColumnNumber, QString::number(number));
        item->setText(ColumnMac, DeviceText(record.mac_addr));
        item->setText(ColumnIp, DeviceText(record.ip_addr));
    }
    m_planView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_planView, 1);

    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, static_cast<int>(m_ticked.size()));
    m_progress->setValue(0);
    layout->addWidget(m_progress);

    // Plain buttons in tab order; neither is the default, so Enter in a field sends nothing.
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    m_btnApply = new QPushButton(tr("&Apply"));
    m_btnApply->setObjectName(QStringLiteral("apply"));
    m_btnCancel = new QPushButton(tr("Cancel"));
    m_btnCancel->setObjectName(QStringLiteral("cancel"));
    for (QPushButton *button : {m_btnApply, m_btnCancel}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    connect(m_btnApply, &QPushButton::clicked, this, &AssignAddressesDlg::Apply);
    connect(m_btnCancel, &QPushButton::clicked, this, &AssignAddressesDlg::reject);

    for (QLineEdit *edit : {m_editFirstIp, m_editMask, m_editGateway, m_editDns})
        connect(edit, &QLineEdit::textChanged, this, &AssignAddressesDlg::UpdatePlan);
    UpdatePlan();
    resize(640, 480);
}

AssignAddressesDlg::~AssignAddressesDlg() = default;

bool AssignAddressesDlg::IsRunning() const
{
    return m_apply && m_apply->IsRunning();
}

void AssignAddressesDlg::UpdatePlan()
{
    if (m_apply)
        return; // the plan has been applied as shown
    QList<CameraInfo> devices;
    for (const auto &ticked : std::as_const(m_ticked))
        devices << ticked.second;
    m_plan = PlanAddresses(m_editFirstIp->text().trimmed(), m_editMask->text().trimmed(), devices, m_listed);

    QString problem;
    if (m_ticked.isEmpty())
        problem = tr("No device is ticked.");
    else if (!IsDottedQuadText(m_editFirstIp->text().trimmed()))
        problem = tr("Give the first IP address as four numbers, such as 10.77.1.40.");
    else if (m_plan.isEmpty())
        problem = tr("The subnet mask is no network mask, such as 255.255.255.0.");
    for (QLineEdit *edit : {m_editGateway, m_editDns}) {
        const QString text = edit->text().trimmed();
        if (problem.isEmpty() && !text.isEmpty() && !IsDottedQuadText(text))
            problem = tr("%1 must be four numbers, or empty to keep each device's own.")
                          .arg(edit == m_editGateway ? tr("The gateway") : tr("The DNS server"));
    }
    int unplaced = 0;
    for (int row = 0; row < m_ticked.size(); ++row) {
        const std::optional<QString> address = row < m_plan.size() ? m_plan[row] : std::nullopt;
        unplaced += row < m_plan.size() && !address ? 1 : 0;
        SetRowText(row, ColumnNewIp, address.value_or(QString()));
    }
    // A device without an address is left as it is; the others can still have theirs.
    m_btnApply->setEnabled(problem.isEmpty() && unplaced < m_plan.size());
    if (problem.isEmpty() && unplaced > 0)
        problem =
            tr("No free address is left in the network for %1 of the devices: they are not changed.").arg(unplaced);
    m_status->setText(problem.isEmpty() ? tr("Nothing is sent before you press Apply.") : problem);
}

void AssignAddressesDlg::SetRowText(int row, int column, const QString &text, std::optional<bool> ok)
{
    QTreeWidgetItem *item = m_planView->topLevelItem(row);
    if (!item)
        return;
    item->setText(column, text);
    if (ok) {
        QFont font = item->font(column);
        font.setBold(!*ok); // what went wrong stands out without relying on colour
        item->setFont(column, font);
    }
}

void AssignAddressesDlg::Apply()
{
    UpdatePlan();
    if (!m_btnApply->isEnabled() || m_apply)
        return;
    QList<PlanRow> rows;
    const QString mask = m_editMask->text().trimmed();
    const QString gateway = m_editGateway->text().trimmed();
    const QString dns = m_editDns->text().trimmed();
    const QString user = m_editUserId->text();
    for (int i = 0; i < m_ticked.size(); ++i) {
        PlanRow row;
        row.line = i + 1;
        row.mac = DeviceText(m_ticked[i].second.mac_addr);
        if (m_plan[i])
            row.ip = *m_plan[i];
        else
            row.error = tr("no free address left in the network");
        row.mask = mask;
        if (!gateway.isEmpty())
            row.gateway = gateway;
        if (!dns.isEmpty())
            row.dns = dns;
        if (!user.isEmpty())
            row.user = user;
        rows << row;
    }

    for (QLineEdit *edit : {m_editFirstIp, m_editMask, m_editGateway, m_editDns, m_editUserId, m_editPassword})
        edit->setReadOnly(true);
    m_btnApply->setEnabled(false);
    m_status->setText(tr("Applying, one device after another..."));

    m_apply = std::make_unique<PlanApply>(m_search, m_vendor, m_adapter);
    connect(m_apply.get(), &PlanApply::rowStarted, this,
            [this](int row) { SetRowText(row, ColumnResult, tr("sending...")); });
    connect(m_apply.get(), &PlanApply::rowResult, this, [this](int row, const QString &result, bool ok) {
        SetRowText(row, ColumnResult, result, ok);
        m_progress->setValue(++m_nDone);
    });
    connect(m_apply.get(), &PlanApply::verifying, this, [this] {
        // The check asks the families of the devices that said "Apply".
        const QList<PlanApply::Outcome> &outcomes = m_apply->Outcomes();
        for (int i = 0; i < outcomes.size(); ++i) {
            if (outcomes[i].ok)
                (IsVendorFamily(m_ticked[i].second) ? m_bVendorSearched : m_bOwnSearched) = true;
        }
        m_status->setText(tr("Searching again to check the devices answer at their new addresses..."));
        Q_EMIT verifying();
    });
    connect(m_apply.get(), &PlanApply::rowVerified, this,
            [this](int row, const QString &text, bool ok) { SetRowText(row, ColumnCheck, text, ok); });
    connect(m_apply.get(), &PlanApply::finished, this, &AssignAddressesDlg::OnFinished);

    PlanApply::Settings settings;
    settings.password = m_editPassword->text();
    m_apply->Start(rows, m_listed, settings);
}

void AssignAddressesDlg::OnFinished()
{
    m_status->setText(m_apply->AllSucceeded() ? tr("Every device took its address.")
                                              : tr("Done; the rows in bold did not go as planned."));
    m_btnCancel->setText(tr("Close"));
    m_btnCancel->setEnabled(true);
    Q_EMIT applyFinished(m_bOwnSearched, m_bVendorSearched);
}

void AssignAddressesDlg::reject()
{
    if (IsRunning()) {
        m_apply->Cancel();
        m_btnCancel->setEnabled(false);
        m_status->setText(tr("Stopping after this device..."));
        return;
    }
    QDialog::reject();
}
