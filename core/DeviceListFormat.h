#pragma once

#include "DeviceFields.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// The machine-readable and human forms of a device list. JSON and CSV are UTF-8; every
// device text is valid in them whatever bytes the device sent (see DeviceText).

// One JSON object on one line, without its line feed, with the fields in their order.
QByteArray JsonObjectLine(const DeviceFieldList &fields);

// One CSV line (RFC 4180 quoting, ending in "\n"). A cell that a spreadsheet would take for
// a formula (=, +, -, @, a tab or a carriage return first) gets a leading apostrophe, which
// ReadCsv takes away again: a device's name must not run as a formula on the installer's PC.
QByteArray CsvLine(const QStringList &cells);
QByteArray CsvHeader(const DeviceFieldList &fields);
QByteArray CsvLine(const DeviceFieldList &fields);

// The list as CSV: a header line, then one line a device, in the order given; the same as
// `corvanectl search -o csv` prints for these devices.
QByteArray DevicesCsv(const QList<CameraInfo> &records);
QByteArray DevicesCsv(const QList<DeviceFieldList> &devices);

// The rows of a CSV text, cells unquoted; the inverse of CsvLine. A separator other than the
// comma is taken when the first line has no comma but semicolons or tabs (spreadsheets in
// some languages write those). A UTF-8 byte order mark at the start is skipped. Rows whose
// cells are all empty are left out; line numbers count from 1 at the header.
struct CsvRow
{
    int line = 0;
    QStringList cells;
};
QList<CsvRow> ReadCsv(QByteArrayView text);

// A device's text for a terminal: control characters show as U+FFFD, so a device cannot
// drive the terminal or break a line.
QString ForTerminal(QString text);

// A table for people: the named columns, upper-case headings, cells padded to the widest.
// Cells go through ForTerminal.
QByteArray DeviceTable(const QList<DeviceFieldList> &devices, const QList<QLatin1StringView> &columns);
