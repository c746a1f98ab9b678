#include "DeviceOutput.h"

#include "DeviceListFormat.h"

DeviceOutput::DeviceOutput(OutputFormat format, std::FILE *out, DeviceFieldList header,
                           QList<QLatin1StringView> tableColumns)
    : m_format(format)
    , m_out(out)
    , m_header(std::move(header))
    , m_tableColumns(std::move(tableColumns))
{
}

void DeviceOutput::Write(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_out);
    std::fflush(m_out); // a script reading a pipe sees each device as it comes
}

void DeviceOutput::Add(const DeviceFieldList &fields)
{
    switch (m_format) {
    case OutputFormat::Jsonl: Write(JsonObjectLine(fields) + '\n'); break;
    case OutputFormat::Csv:
        if (!m_headerWritten)
            Write(CsvHeader(fields));
        m_headerWritten = true;
        Write(CsvLine(fields));
        break;
    case OutputFormat::Json:
    case OutputFormat::Table: m_kept.append(fields); break;
    }
}

void DeviceOutput::End()
{
    if (m_format == OutputFormat::Csv && !m_headerWritten)
        Write(CsvHeader(m_header));
    if (m_format == OutputFormat::Table)
        Write(DeviceTable(m_kept, m_tableColumns));
    if (m_format == OutputFormat::Json) {
        QByteArray array = "[";
        for (qsizetype i = 0; i < m_kept.size(); ++i)
            array += (i == 0 ? "\n  " : ",\n  ") + JsonObjectLine(m_kept[i]);
        Write(array + (m_kept.isEmpty() ? "]\n" : "\n]\n"));
    }
}
