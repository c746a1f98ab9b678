#pragma once

#include <QList>
#include <QRgb>
#include <QtGlobal>

// The control's record behind every row: the application's own item data and a text and a
// background colour for every column of the row.
struct ReportItemData
{
    // Pointer-sized, so that item data that is an address survives a 64-bit build.
    quintptr dwData = 0;
    QList<QRgb> aTextColor;
    QList<QRgb> aBkColor;
};
