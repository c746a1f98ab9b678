#pragma once

#include "ReportItemData.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// The rows and columns behind CReportCtrl: each row's cell texts, its check box and its
// ReportItemData, which the model serves as foreground and background roles.
class ReportListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ReportListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Both return the new index, or -1. A position past the end appends.
    int addColumn(int column, const QString &heading, Qt::Alignment alignment, QRgb textColor, QRgb bkColor);
    int addRow(int row, const QString &text, quintptr itemData, QRgb textColor, QRgb bkColor);
    int removeAllRows();
    bool removeRow(int row);

    bool setColumnAlignment(int column, Qt::Alignment alignment);
    bool setCellText(int row, int column, const QString &text);
    QString cellText(int row, int column) const;
    // The same without a copy; valid until the row changes.
    QStringView cellTextView(int row, int column) const;
    bool isRowChecked(int row) const;
    bool setRowChecked(int row, bool checked);
    const ReportItemData *rowRecord(int row) const;
    bool setCellColors(int row, int column, QRgb textColor, QRgb bkColor);
    void setCellNotes(std::function<QString(int row, int column)> notes) { m_cellNotes = std::move(notes); }
    void setCheckBoxesShown(bool shown);
    bool checkBoxesShown() const { return m_bCheckBoxes; }

    // Row first + k takes the contents of row order[k]; persistent indexes (selection, current
    // index) follow their rows.
    void reorderRows(int first, const std::vector<int> &order);

private:
    // A row's cell texts are one string: per column the end of its text (two QChars, low half
    // first), then the texts one after another. At tens of thousands of rows, one allocation a
    // row instead of one a cell and one for their list halves the list's memory.
    struct Row
    {
        QString strTexts;
        bool bChecked = false;
        // Rows without item data whose cells are coloured alike share one record.
        std::shared_ptr<ReportItemData> pData;
    };

    struct Column
    {
        QString strHeading;
        Qt::Alignment alignment;
    };

    bool isCell(int row, int column) const;
    QStringView cellView(const Row &row, int column) const;
    // The record of a row without item data whose cells have these colours: one that rows
    // coloured alike share, while there are few ways the rows are coloured.
    std::shared_ptr<ReportItemData> sharedRecord(const QList<QRgb> &textColors, const QList<QRgb> &bkColors);

    std::vector<Row> m_rows;
    QList<Column> m_columns;
    bool m_bCheckBoxes = false;
    std::function<QString(int row, int column)> m_cellNotes;
    // Never changed: a row whose colours change takes another.
    std::vector<std::shared_ptr<ReportItemData>> m_sharedRecords;
};
