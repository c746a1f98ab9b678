#include "ReportListModel.h"

#include "CellSortKey.h"

#include <QColor>

#include <map>

namespace {
constexpr qsizetype kEndChars = 2; // a text's end takes two QChars

qsizetype textEnd(const QString &texts, int column)
{
    const qsizetype at = kEndChars * column;
    return qsizetype(texts[at].unicode()) | (qsizetype(texts[at + 1].unicode()) << 16);
}

void setTextEnd(QString &texts, int column, qsizetype end)
{
    const qsizetype at = kEndChars * column;
    texts[at] = QChar(static_cast<char16_t>(end & 0xffff));
    texts[at + 1] = QChar(static_cast<char16_t>((end >> 16) & 0xffff));
}

// The texts of a row with columns columns, cell column's text replaced (or, with insert, a cell
// with that text put in front of it, or after the last). One allocation: rows are built cell
// by cell.
QString rebuiltTexts(const QString &texts, int columns, int column, QStringView text, bool insert)
{
    const qsizetype header = kEndChars * columns;
    const QStringView body = QStringView(texts).mid(header);
    const qsizetype begin = column == 0 ? 0 : textEnd(texts, column - 1);
    const qsizetype end = insert ? begin : textEnd(texts, column);
    const qsizetype delta = text.size() - (end - begin);
    const int newColumns = insert ? columns + 1 : columns;

    QString rebuilt;
    rebuilt.reserve(kEndChars * newColumns + body.size() + delta);
    rebuilt.resize(kEndChars * newColumns);
    for (int c = 0; c < newColumns; ++c) {
        qsizetype newEnd = 0;
        if (c < column)
            newEnd = textEnd(texts, c);
        else if (c == column)
            newEnd = begin + text.size();
        else
            newEnd = textEnd(texts, insert ? c - 1 : c) + delta;
        setTextEnd(rebuilt, c, newEnd);
    }
    rebuilt.append(body.left(begin));
    rebuilt.append(text);
    rebuilt.append(body.mid(end));
    return rebuilt;
}
} // namespace

ReportListModel::ReportListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int ReportListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ReportListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

bool ReportListModel::isCell(int row, int column) const
{
    return row >= 0 && row < rowCount() && column >= 0 && column < columnCount();
}

QStringView ReportListModel::cellView(const Row &row, int column) const
{
    const qsizetype header = kEndChars * m_columns.size();
    const qsizetype begin = column == 0 ? 0 : textEnd(row.strTexts, column - 1);
    return QStringView(row.strTexts).mid(header + begin, textEnd(row.strTexts, column) - begin);
}

std::shared_ptr<ReportItemData> ReportListModel::sharedRecord(const QList<QRgb> &textColors,
                                                              const QList<QRgb> &bkColors)
{
    constexpr std::size_t kMostShared = 16; // a list colours its cells in a few ways
    for (const std::shared_ptr<ReportItemData> &shared : m_sharedRecords) {
        if (shared->aTextColor == textColors && shared->aBkColor == bkColors)
            return shared;
    }
    auto record = std::make_shared<ReportItemData>();
    record->aTextColor = textColors;
    record->aBkColor = bkColors;
    // A record no row uses any more makes room.
    std::erase_if(m_sharedRecords,
                  [](const std::shared_ptr<ReportItemData> &shared) { return shared.use_count() == 1; });
    if (m_sharedRecords.size() < kMostShared)
        m_sharedRecords.push_back(record);
    return record;
}

QVariant ReportListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !isCell(index.row(), index.column()))
        return {};
    const Row &row = m_rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    // Every row's arrays have one entry per column; the bounds checks only guard that rule.
    switch (role) {
    case Qt::DisplayRole: return cellView(row, column).toString();
    case Qt::CheckStateRole:
        if (column == 0 && m_bCheckBoxes)
            return row.bChecked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ForegroundRole:
        return column < row.pData->aTextColor.size() ? QColor::fromRgba(row.pData->aTextColor[column]) : QVariant();
    case Qt::BackgroundRole:
        return column < row.pData->aBkColor.size() ? QColor::fromRgba(row.pData->aBkColor[column]) : QVariant();
    case Qt::TextAlignmentRole: return static_cast<int>(m_columns[column].alignment.toInt());
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        if (m_cellNotes) {
            if (QString note = m_cellNotes(index.row(), column); !note.isEmpty())
                return note;
        }
        return {};
    default: return {};
    }
}

bool ReportListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 || !m_bCheckBoxes)
        return false;
    return setRowChecked(index.row(), value.toInt() == Qt::Checked);
}

QVariant ReportListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[section].strHeading;
    if (role == Qt::TextAlignmentRole)
        return static_cast<int>(m_columns[section].alignment.toInt());
    return {};
}

Qt::ItemFlags ReportListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0 && m_bCheckBoxes)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

int ReportListModel::addColumn(int column, const QString &heading, Qt::Alignment alignment, QRgb textColor,
                               QRgb bkColor)
{
    if (column < 0)
        return -1;
    column = std::min(column, columnCount());
    beginInsertColumns(QModelIndex(), column, column);
    m_columns.insert(column, Column{heading, alignment});
    m_sharedRecords.clear();
    // A record several rows share is widened once, and they share the wider one.
    std::map<const ReportItemData *, std::shared_ptr<ReportItemData>> widened;
    for (Row &row : m_rows) {
        row.strTexts = rebuiltTexts(row.strTexts, static_cast<int>(m_columns.size()) - 1, column, {}, true);
        std::shared_ptr<ReportItemData> &wider = widened[row.pData.get()];
        if (!wider) {
            wider = std::make_shared<ReportItemData>(*row.pData);
            wider->aTextColor.insert(column, textColor);
            wider->aBkColor.insert(column, bkColor);
        }
        row.pData = wider;
    }
    endInsertColumns();
    return column;
}

int ReportListModel::addRow(int row, const QString &text, quintptr itemData, QRgb textColor, QRgb bkColor)
{
    if (row < 0)
        return -1;
    row = std::min(row, rowCount());
    const auto columns = static_cast<int>(m_columns.size());
    Row newRow;
    if (columns > 0)
        newRow.strTexts = rebuiltTexts(QString(kEndChars * columns, QChar(u'\0')), columns, 0, CellTextBeforeNul(text),
                                       false);
    if (itemData == 0) {
        newRow.pData = sharedRecord(QList<QRgb>(columns, textColor), QList<QRgb>(columns, bkColor));
    } else {
        newRow.pData = std::make_shared<ReportItemData>();
        newRow.pData->dwData = itemData;
        newRow.pData->aTextColor.fill(textColor, columns);
        newRow.pData->aBkColor.fill(bkColor, columns);
    }

    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(m_rows.begin() + row, std::move(newRow));
    endInsertRows();
    return row;
}

int ReportListModel::removeAllRows()
{
    const int count = rowCount();
    beginResetModel();
    m_rows.clear();
    endResetModel();
    return count;
}

bool ReportListModel::removeRow(int row)
{
    if (row < 0 || row >= rowCount())
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    return true;
}

bool ReportListModel::setColumnAlignment(int column, Qt::Alignment alignment)
{
    if (column < 0 || column >= columnCount())
        return false;
    if (m_columns[column].alignment == alignment)
        return true;
    m_columns[column].alignment = alignment;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, column), index(rowCount() - 1, column), {Qt::TextAlignmentRole});
    return true;
}

bool ReportListModel::setCellText(int row, int column, const QString &text)
{
    if (!isCell(row, column))
        return false;
    Row &target = m_rows[static_cast<std::size_t>(row)];
    const QString newText = CellTextBeforeNul(text);
    if (cellView(target, column) != newText) {
        target.strTexts = rebuiltTexts(target.strTexts, columnCount(), column, newText, false);
        const QModelIndex changed = index(row, column);
        Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
    }
    return true;
}

QString ReportListModel::cellText(int row, int column) const
{
    return cellTextView(row, column).toString();
}

QStringView ReportListModel::cellTextView(int row, int column) const
{
    return isCell(row, column) ? cellView(m_rows[static_cast<std::size_t>(row)], column) : QStringView();
}

bool ReportListModel::isRowChecked(int row) const
{
    return row >= 0 && row < rowCount() && m_rows[static_cast<std::size_t>(row)].bChecked;
}

bool ReportListModel::setRowChecked(int row, bool checked)
{
    if (row < 0 || row >= rowCount())
        return false;
    bool &state = m_rows[static_cast<std::size_t>(row)].bChecked;
    if (state != checked) {
        state = checked;
        const QModelIndex changed = index(row, 0);
        Q_EMIT dataChanged(changed, changed, {Qt::CheckStateRole});
    }
    return true;
}

const ReportItemData *ReportListModel::rowRecord(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].pData.get() : nullptr;
}

bool ReportListModel::setCellColors(int row, int column, QRgb textColor, QRgb bkColor)
{
    if (!isCell(row, column))
        return false;
    std::shared_ptr<ReportItemData> &record = m_rows[static_cast<std::size_t>(row)].pData;
    if (column >= record->aTextColor.size() || column >= record->aBkColor.size())
        return false;
    if (record->aTextColor[column] != textColor || record->aBkColor[column] != bkColor) {
        if (record->dwData == 0) {
            QList<QRgb> textColors = record->aTextColor;
            QList<QRgb> bkColors = record->aBkColor;
            textColors[column] = textColor;
            bkColors[column] = bkColor;
            record = sharedRecord(textColors, bkColors);
        } else {
            record->aTextColor[column] = textColor;
            record->aBkColor[column] = bkColor;
        }
        const QModelIndex changed = index(row, column);
        Q_EMIT dataChanged(changed, changed, {Qt::ForegroundRole, Qt::BackgroundRole});
    }
    return true;
}

void ReportListModel::setCheckBoxesShown(bool shown)
{
    if (m_bCheckBoxes == shown)
        return;
    m_bCheckBoxes = shown;
    if (!m_rows.empty() && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

void ReportListModel::reorderRows(int first, const std::vector<int> &order)
{
    const auto count = static_cast<int>(order.size());
    std::vector<int> newRowOf(order.size());
    for (int k = 0; k < count; ++k)
        newRowOf[static_cast<std::size_t>(order[static_cast<std::size_t>(k)] - first)] = first + k;

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<Row> moved;
    moved.reserve(order.size());
    for (int oldRow : order)
        moved.push_back(std::move(m_rows[static_cast<std::size_t>(oldRow)]));
    std::move(moved.begin(), moved.end(), m_rows.begin() + first);

    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from) {
        const int row = index.row();
        to.append(row >= first && row < first + count
                      ? this->index(newRowOf[static_cast<std::size_t>(row - first)], index.column())
                      : index);
    }
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
