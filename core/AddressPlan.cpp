#include "AddressPlan.h"

#include "DeviceListFormat.h"

#include <QSet>

namespace {
enum class Column { Mac, Endpoint, Ip, Mask, Gateway, Dns, WebPort, Dhcp, User };

struct ColumnName
{
    const char *name;
    Column column;
};

constexpr ColumnName kColumns[] = {
    {"mac", Column::Mac},          {"endpoint", Column::Endpoint}, {"ip", Column::Ip},
    {"mask", Column::Mask},        {"gateway", Column::Gateway},   {"dns", Column::Dns},
    {"web_port", Column::WebPort}, {"dhcp", Column::Dhcp},         {"user", Column::User},
};

std::optional<bool> parseDhcp(const QString &text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("yes")
        || t == QLatin1String("dhcp"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("0") || t == QLatin1String("no")
        || t == QLatin1String("static"))
        return false;
    return std::nullopt;
}

// Sets the row's setting from one cell; false, with the row's error, when the cell is malformed.
bool readCell(PlanRow &row, Column column, const QString &cell)
{
    const auto address = [&](std::optional<QString> &setting, const char *name) {
        if (!IsDottedQuadText(cell)) {
            row.error = QStringLiteral("%1 \"%2\" is not an IPv4 address").arg(QLatin1String(name), cell);
            return false;
        }
        setting = cell;
        return true;
    };
    switch (column) {
    case Column::Mac: row.mac = cell; return true;
    case Column::Endpoint: // an ONVIF device whose MAC is not known yet is named by its endpoint
        if (row.mac.isEmpty())
            row.mac = cell;
        return true;
    case Column::Ip: return address(row.ip, "ip");
    case Column::Mask: return address(row.mask, "mask");
    case Column::Gateway: return address(row.gateway, "gateway");
    case Column::Dns: return address(row.dns, "dns");
    case Column::WebPort: {
        bool ok = false;
        const int port = cell.toInt(&ok);
        if (!ok || port < 1 || port > 65535) {
            row.error = QStringLiteral("web_port \"%1\" is not a port from 1 to 65535").arg(cell);
            return false;
        }
        row.webPort = port;
        return true;
    }
    case Column::Dhcp:
        row.dhcp = parseDhcp(cell);
        if (!row.dhcp)
            row.error = QStringLiteral("dhcp \"%1\" is none of true, false, 1, 0, yes, no, dhcp, static").arg(cell);
        return row.dhcp.has_value();
    case Column::User: row.user = cell; return true;
    }
    return true;
}
} // namespace

bool SetPlanValue(PlanRow &row, QStringView column, const QString &text)
{
    for (const ColumnName &known : kColumns) {
        if (column == QLatin1String(known.name))
            return readCell(row, known.column, text);
    }
    row.error = QStringLiteral("no such setting: %1").arg(column);
    return false;
}

AddressPlan ReadAddressPlan(QByteArrayView csv)
{
    AddressPlan plan;
    const QList<CsvRow> rows = ReadCsv(csv);
    if (rows.isEmpty()) {
        plan.error = QStringLiteral("the plan is empty: it needs a header line with a mac column");
        return plan;
    }
    // Where each known column is, the mac first so that a failing row still names its device;
    // a column named twice is read from its first place.
    QList<std::pair<Column, qsizetype>> columns;
    const QStringList &header = rows.front().cells;
    for (const ColumnName &known : kColumns) {
        for (qsizetype i = 0; i < header.size(); ++i) {
            if (header[i].trimmed().toLower() == QLatin1String(known.name)) {
                columns.append({known.column, i});
                break;
            }
        }
    }
    if (columns.isEmpty() || columns.front().first != Column::Mac) {
        plan.error = QStringLiteral("the header line has no mac column");
        return plan;
    }

    QSet<QString> macs;
    for (qsizetype r = 1; r < rows.size(); ++r) {
        PlanRow row;
        row.line = rows[r].line;
        const QStringList &cells = rows[r].cells;
        for (const auto &[column, at] : std::as_const(columns)) {
            const QString cell = at < cells.size() ? cells[at].trimmed() : QString();
            if (!cell.isEmpty() && !readCell(row, column, cell))
                break;
        }
        if (row.error.isEmpty() && row.mac.isEmpty())
            row.error = QStringLiteral("no MAC address");
        else if (row.error.isEmpty() && macs.contains(row.mac.toUpper()))
            row.error = QStringLiteral("%1 is listed twice in the plan").arg(row.mac);
        macs.insert(row.mac.toUpper());
        plan.rows << row;
    }
    return plan;
}
