#include "DeviceListFormat.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {
// Qt's own writer escapes; the array around the value is taken off again.
QByteArray jsonValueText(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

bool looksLikeFormula(const QString &cell)
{
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    return !cell.isEmpty() && kFormulaStarts.contains(cell.front());
}
} // namespace

QString ForTerminal(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

QByteArray JsonObjectLine(const DeviceFieldList &fields)
{
    QByteArray line = "{";
    for (const DeviceField &field : fields) {
        if (line.size() > 1)
            line += ',';
        line += jsonValueText(QString(field.name)) + ':' + jsonValueText(field.value);
    }
    return line + '}';
}

QByteArray CsvLine(const QStringList &cells)
{
    QByteArray line;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            line += ',';
        QString cell = cells[i];
        if (looksLikeFormula(cell))
            cell.prepend(QLatin1Char('\''));
        if (cell.contains(QLatin1Char(',')) || cell.contains(QLatin1Char('"')) || cell.contains(QLatin1Char('\n'))
            || cell.contains(QLatin1Char('\r')) || cell.contains(QLatin1Char(';')) || cell.contains(QLatin1Char('\t')))
            cell = QLatin1Char('"') + cell.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        line += cell.toUtf8();
    }
    return line + '\n';
}

QByteArray CsvHeader(const DeviceFieldList &fields)
{
    QStringList names;
    for (const DeviceField &field : fields)
        names << QString(field.name);
    return CsvLine(names);
}

QByteArray CsvLine(const DeviceFieldList &fields)
{
    QStringList cells;
    for (const DeviceField &field : fields)
        cells << FieldText(field.value);
    return CsvLine(cells);
}

QByteArray DevicesCsv(const QList<CameraInfo> &records)
{
    QList<DeviceFieldList> devices;
    for (const CameraInfo &record : records)
        devices << DeviceFields(record);
    return DevicesCsv(devices);
}

QByteArray DevicesCsv(const QList<DeviceFieldList> &devices)
{
    QByteArray csv = CsvHeader(DeviceFields(CameraInfo{}));
    for (const DeviceFieldList &fields : devices)
        csv += CsvLine(fields);
    return csv;
}

QList<CsvRow> ReadCsv(QByteArrayView bytes)
{
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const qsizetype firstEnd = text.indexOf(QLatin1Char('\n'));
    const QStringView firstLine = QStringView(text).left(firstEnd < 0 ? text.size() : firstEnd);
    QChar separator = QLatin1Char(',');
    if (!firstLine.contains(QLatin1Char(','))) {
        if (firstLine.contains(QLatin1Char(';')))
            separator = QLatin1Char(';');
        else if (firstLine.contains(QLatin1Char('\t')))
            separator = QLatin1Char('\t');
    }

    QList<CsvRow> rows;
    CsvRow row{1, {}};
    QString cell;
    bool quoted = false;    // inside quotes
    bool wasQuoted = false; // the cell began with a quote
    int line = 1;
    const auto endCell = [&] {
        // The apostrophe that kept a formula from running is not part of the value.
        if (cell.size() > 1 && cell.front() == QLatin1Char('\'') && looksLikeFormula(cell.mid(1)))
            cell.remove(0, 1);
        row.cells << cell;
        cell.clear();
        wasQuoted = false;
    };
    const auto endRow = [&] {
        endCell();
        // Spreadsheets end a sheet with rows of empty cells.
        if (std::any_of(row.cells.cbegin(), row.cells.cend(), [](const QString &s) { return !s.isEmpty(); }))
            rows << row;
        row = CsvRow{line + 1, {}};
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    cell += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n'))
                    ++line;
                cell += c;
            }
        } else if (c == QLatin1Char('"') && cell.isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
        } else if (c == separator) {
            endCell();
        } else if (c == QLatin1Char('\n')) {
            endRow();
            ++line;
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
            // the line feed ends the row
        } else {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !row.cells.isEmpty() || wasQuoted)
        endRow();
    return rows;
}

QByteArray DeviceTable(const QList<DeviceFieldList> &devices, const QList<QLatin1StringView> &columns)
{
    QList<QStringList> cells;
    QStringList heading;
    for (QLatin1StringView column : columns)
        heading << QString(column).toUpper();
    cells << heading;
    for (const DeviceFieldList &device : devices) {
        QStringList line;
        for (QLatin1StringView column : columns)
            line << ForTerminal(FieldText(FieldValue(device, column)));
        cells << line;
    }
    QList<qsizetype> widths(columns.size(), 0);
    for (const QStringList &line : std::as_const(cells)) {
        for (qsizetype j = 0; j < line.size(); ++j)
            widths[j] = std::max(widths[j], line[j].size());
    }
    QByteArray table;
    for (const QStringList &line : std::as_const(cells)) {
        QString text;
        for (qsizetype j = 0; j < line.size(); ++j)
            text += j + 1 < line.size() ? line[j].leftJustified(widths[j] + 2) : line[j];
        while (text.endsWith(QLatin1Char(' '))) // an empty last cell leaves no trailing blanks
            text.chop(1);
        table += text.toUtf8() + '\n';
    }
    return table;
}
