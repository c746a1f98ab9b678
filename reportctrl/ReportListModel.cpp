#include "ReportListModel.h"

#include "CellSortKey.h"

#include <QColor>

namespace {
constexpr qsizetype kEndChars = 2; // a text's end takes two QChars

qsizetype textEnd(const QString &texts, int column)
{
    const qsizetype at = kEndChars * column;
    return qsizetype(texts[at].unicode()) | (qsizetype(texts[at + 1].unicode()) << 16);
}

// The texts of a row with columns columns, cell column's text replaced (or, with insert, a cell
// with that text put in front of it).
QString rebuiltTexts(const QString &texts, int columns, int column, QStringView text, bool insert)
{
    const int newColumns = insert ? columns + 1 : columns;
    QList<QStringView> cells;
    cells.reserve(newColumns);
    const qsizetype header = kEndChars * columns;
    for (int c = 0; c < columns; ++c) {
        const qsizetype begin = c == 0 ? 0 : textEnd(texts, c - 1);
        const QStringView cell = QStringView(texts).mid(header + begin, textEnd(texts, c) - begin);
        if (c == column)
            cells << text;
        if (c != column || insert)
            cells << cell;
    }
    if (column >= columns)
        cells << text;
    QString rebuilt(kEndChars * newColumns, Qt::Uninitialized);
    qsizetype end = 0;
    for (int c = 0; c < newColumns; ++c) {
        end += cells[c].size();
        rebuilt[kEndChars * c] = QChar(static_cast<char16_t>(end & 0xffff));
        rebuilt[kEndChars * c + 1] = QChar(static_cast<char16_t>((end >> 16) & 0xffff));
    }
    rebuilt.reserve(rebuilt.size() + end);
    for (const QStringView cell : std::as_const(cells))
        rebuilt.append(cell);
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

QList<QRgb> ReportListModel::sharedColors(QList<QRgb> &cache, QRgb color)
{
    const qsizetype columns = m_columns.size();
    if (cache.size() != columns || (columns > 0 && cache.first() != color))
        cache = QList<QRgb>(columns, color);
    return cache;
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
    for (Row &row : m_rows) {
        row.strTexts = rebuiltTexts(row.strTexts, static_cast<int>(m_columns.size()) - 1, column, {}, true);
        row.pData->aTextColor.insert(column, textColor);
        row.pData->aBkColor.insert(column, bkColor);
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
    newRow.pData = std::make_unique<ReportItemData>();
    newRow.pData->dwData = itemData;
    newRow.pData->aTextColor = sharedColors(m_sharedTextColors, textColor);
    newRow.pData->aBkColor = sharedColors(m_sharedBkColors, bkColor);

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
    return isCell(row, column) ? cellView(m_rows[static_cast<std::size_t>(row)], column).toString() : QString();
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
    ReportItemData &record = *m_rows[static_cast<std::size_t>(row)].pData;
    if (column >= record.aTextColor.size() || column >= record.aBkColor.size())
        return false;
    if (record.aTextColor[column] != textColor || record.aBkColor[column] != bkColor) {
        record.aTextColor[column] = textColor;
        record.aBkColor[column] = bkColor;
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
