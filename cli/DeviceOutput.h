#pragma once

#include "CommandLine.h"
#include "DeviceFields.h"

#include <QList>

#include <cstdio>

// Writes a list of devices (or adapters) in the chosen format as it grows: jsonl and csv a
// line at a time, as devices arrive; json and table once the list is complete.
class DeviceOutput final
{
public:
    // header: a list with the fields' names, for a CSV header when nothing is found.
    DeviceOutput(OutputFormat format, std::FILE *out, DeviceFieldList header, QList<QLatin1StringView> tableColumns);

    void Add(const DeviceFieldList &fields);
    void End();

private:
    void Write(const QByteArray &bytes);

    OutputFormat m_format;
    std::FILE *m_out;
    DeviceFieldList m_header;
    QList<QLatin1StringView> m_tableColumns;
    QList<DeviceFieldList> m_kept;
    bool m_headerWritten = false;
};
