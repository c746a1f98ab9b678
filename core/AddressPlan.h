#pragma once

#include "AddressText.h" // IsDottedQuadText, used with plans

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// One device of a plan: its MAC (or, for an ONVIF device, its endpoint address) and the
// settings to give it. A setting the row leaves empty
// (or whose column the plan lacks) stays as the device has it.
struct PlanRow
{
    int line = 0; // in the file; the header is line 1
    QString mac;
    std::optional<QString> ip;
    std::optional<QString> mask;
    std::optional<QString> gateway;
    std::optional<QString> dns;
    std::optional<int> webPort;
    std::optional<bool> dhcp;
    std::optional<QString> user;
    QString error; // why the row cannot be applied; empty when it can
};

struct AddressPlan
{
    QList<PlanRow> rows;
    QString error; // the whole file is unusable (no header, no mac column); rows is empty
};

// Reads a CSV plan: a header line naming the columns, then one device a row. Columns mac and
// any of endpoint (names a device whose mac cell is empty), ip, mask, gateway, dns, web_port,
// dhcp, user are read (names in any letter case);
// others are ignored, so a list written by `corvanectl search -o csv` is a plan. A row that
// is malformed (no MAC, an address that is no dotted quad, a port outside 1 to 65535, a dhcp
// value other than true/false/1/0/yes/no/dhcp/static, a MAC listed before) keeps its reason
// in error; the other rows are unaffected.
AddressPlan ReadAddressPlan(QByteArrayView csv);

// Sets the row's setting named column (one of the plan's column names but mac) from text, as
// a plan's cell would; false, with the row's error, when text is malformed or column unknown.
bool SetPlanValue(PlanRow &row, QStringView column, const QString &text);
