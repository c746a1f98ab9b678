#include "CReportCtrl.h"

#include "CellSortKey.h"
#include "DateTextParser.h"
#include "ReportItemDelegate.h"
#include "ReportListModel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <numeric>
#include <utility>

namespace {
Qt::Alignment alignmentOf(int nFormat)
{
    switch (nFormat & LVCFMT_JUSTIFYMASK) {
    case LVCFMT_RIGHT: return Qt::AlignRight | Qt::AlignVCenter;
    case LVCFMT_CENTER: return Qt::AlignHCenter | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}
} // namespace

CReportCtrl::CReportCtrl(QWidget *parent)
    : QTreeView(parent)
    , m_pModel(new ReportListModel(this))
{
    setModel(m_pModel);
    setItemDelegate(new ReportItemDelegate(this));
    // A flat report: no branches, whole rows selected and focused, nothing edited in place.
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    // Sorting is ours: rows keep their insertion order until a heading is clicked, and the
    // heading shows no sort mark.
    setSortingEnabled(false);
    QHeaderView *headerView = header();
    headerView->setSectionsClickable(true);
    headerView->setSortIndicatorShown(false);
    headerView->setSectionsMovable(false);
    headerView->setStretchLastSection(false);
    connect(headerView, &QHeaderView::sectionClicked, this, &CReportCtrl::OnColumnClick);
    connect(headerView, &QHeaderView::sectionResized, this, &CReportCtrl::OnSectionResized);
}

CReportCtrl::~CReportCtrl() = default;

int CReportCtrl::InsertColumn(int nCol, const LVCOLUMN *pColumn)
{
    if (!pColumn)
        return -1;
    const int nFormat = (pColumn->mask & LVCF_FMT) ? pColumn->fmt : LVCFMT_LEFT;
    const QString strHeading = (pColumn->mask & LVCF_TEXT) ? pColumn->pszText : QString();
    // Existing rows take the colours in force now for their new cell.
    const QPalette &colors = palette();
    const bool bWasResizing = std::exchange(m_bResizingColumn, true);
    const int nIndex = m_pModel->addColumn(nCol, strHeading, alignmentOf(nFormat), colors.color(QPalette::Text).rgba(),
                                           colors.color(QPalette::Base).rgba());
    m_bResizingColumn = bWasResizing;
    if (nIndex < 0)
        return nIndex;
    m_columnSizedByUser.insert(std::min<qsizetype>(nIndex, m_columnSizedByUser.size()), false);
    if (pColumn->mask & LVCF_WIDTH)
        ResizeColumn(nIndex, pColumn->cx);
    return nIndex;
}

void CReportCtrl::ResizeColumn(int nCol, int nWidth)
{
    const bool bWasResizing = std::exchange(m_bResizingColumn, true);
    header()->resizeSection(nCol, nWidth);
    m_bResizingColumn = bWasResizing;
}

void CReportCtrl::OnSectionResized(int nCol)
{
    if (!m_bResizingColumn && nCol >= 0 && nCol < m_columnSizedByUser.size())
        m_columnSizedByUser[nCol] = true;
}

bool CReportCtrl::IsColumnSizedByUser(int nCol) const
{
    return nCol >= 0 && nCol < m_columnSizedByUser.size() && m_columnSizedByUser[nCol];
}

void CReportCtrl::FitColumnsToRow(int nItem)
{
    if (nItem < 0 || nItem >= GetItemCount())
        return;
    for (int nCol = 0; nCol < GetColumnCount(); ++nCol) {
        const QStringView strText = m_pModel->cellTextView(nItem, nCol);
        // An empty cell needs no room: the zero-width placeholder column stays hidden.
        if (IsColumnSizedByUser(nCol) || strText.isEmpty())
            continue;
        // Below the delegate's size hint (the text, its margins, the check box in column 0) a
        // cell elides its text. The hint lays the text out, which costs ten times the plain
        // text width: what the cell adds to its text is taken from it once per column.
        if (nCol >= m_cellExtraWidth.size())
            m_cellExtraWidth.resize(nCol + 1, -1);
        if (m_cellExtraWidth[nCol] < 0) {
            m_cellExtraWidth[nCol] = std::max(0, sizeHintForIndex(m_pModel->index(nItem, nCol)).width()
                                                     - fontMetrics().horizontalAdvance(strText.toString()));
        }
        const int nRoom = columnWidth(nCol) - m_cellExtraWidth[nCol];
        if (TextFitsSurely(strText, nRoom))
            continue;
        const int nNeeded = fontMetrics().horizontalAdvance(strText.toString()) + m_cellExtraWidth[nCol];
        if (nNeeded > columnWidth(nCol))
            ResizeColumn(nCol, nNeeded);
    }
}

// Most texts are far narrower than their column. Their characters' own advances, summed, are an
// upper bound of the laid-out width (kerning only tightens Latin text), from a table instead of
// a text layout; only a text that may not fit is laid out.
bool CReportCtrl::TextFitsSurely(QStringView strText, int nRoom)
{
    if (m_latin1Advance.isEmpty()) {
        const QFontMetricsF metrics(font());
        m_latin1Advance.resize(256);
        for (int c = 0; c < 256; ++c)
            m_latin1Advance[c] = metrics.horizontalAdvance(QChar(c));
    }
    qreal width = 1; // rounding of the laid-out width
    for (const QChar c : strText) {
        if (c.unicode() > 255)
            return false;
        width += m_latin1Advance[c.unicode()];
    }
    return width <= nRoom;
}

void CReportCtrl::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_cellExtraWidth.clear();
        m_latin1Advance.clear();
    }
    QTreeView::changeEvent(event);
}

int CReportCtrl::InsertColumn(int nCol, const QString &strHeading, int nFormat, int nWidth, int nSubItem)
{
    LVCOLUMN column;
    column.mask = LVCF_FMT | LVCF_TEXT | (nWidth != -1 ? LVCF_WIDTH : 0u) | (nSubItem != -1 ? LVCF_SUBITEM : 0u);
    column.fmt = nFormat;
    column.cx = nWidth;
    column.pszText = strHeading;
    column.iSubItem = nSubItem;
    return InsertColumn(nCol, &column);
}

bool CReportCtrl::SetColumnFormat(int nCol, int nFormat)
{
    return m_pModel->setColumnAlignment(nCol, alignmentOf(nFormat));
}

int CReportCtrl::GetColumnCount() const
{
    return header()->count();
}

int CReportCtrl::InsertItem(const LVITEM *pItem)
{
    ResetSortState();
    if (!pItem || pItem->iSubItem != 0)
        return -1;
    const QString strText = (pItem->mask & LVIF_TEXT) ? pItem->pszText : QString();
    const quintptr dwData = (pItem->mask & LVIF_PARAM) ? pItem->lParam : 0;
    const QPalette &colors = palette();
    return m_pModel->addRow(pItem->iItem, strText, dwData, colors.color(QPalette::Text).rgba(),
                            colors.color(QPalette::Base).rgba());
}

int CReportCtrl::InsertItem(int nItem, const QString &strText)
{
    LVITEM item;
    item.mask = LVIF_TEXT;
    item.iItem = nItem;
    item.pszText = strText;
    return InsertItem(&item);
}

bool CReportCtrl::SetItemText(int nItem, int nSubItem, const QString &strText)
{
    ResetSortState();
    return m_pModel->setCellText(nItem, nSubItem, strText);
}

QString CReportCtrl::GetItemText(int nItem, int nSubItem) const
{
    return m_pModel->cellText(nItem, nSubItem);
}

int CReportCtrl::GetItemCount() const
{
    return m_pModel->rowCount();
}

int CReportCtrl::DeleteAllItems()
{
    return m_pModel->removeAllRows();
}

bool CReportCtrl::DeleteItem(int nItem)
{
    if (!m_pModel->removeRow(nItem))
        return false;
    // A click in progress keeps to its row, or ends with it.
    if (m_pendingClick && m_pendingClick->nItem == nItem)
        m_pendingClick.reset();
    else if (m_pendingClick && m_pendingClick->nItem > nItem)
        --m_pendingClick->nItem;
    return true;
}

const ReportItemData *CReportCtrl::GetItemData(int nItem) const
{
    return m_pModel->rowRecord(nItem);
}

bool CReportCtrl::SetItemColors(int nItem, int nSubItem, QRgb textColor, QRgb bkColor)
{
    return m_pModel->setCellColors(nItem, nSubItem, textColor, bkColor);
}

void CReportCtrl::SetCellNotes(std::function<QString(int nItem, int nSubItem)> notes)
{
    m_pModel->setCellNotes(std::move(notes));
}

void CReportCtrl::EnableCheckboxes()
{
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES);
}

void CReportCtrl::SetExtendedStyle(unsigned dwExStyle)
{
    m_dwExStyle = dwExStyle;
    m_pModel->setCheckBoxesShown((dwExStyle & LVS_EX_CHECKBOXES) != 0);
}

int CReportCtrl::GetCheck(int nItem) const
{
    if (nItem < 0 || nItem >= GetItemCount())
        return -1;
    return m_pModel->isRowChecked(nItem) ? 1 : 0;
}

bool CReportCtrl::SetCheck(int nItem, bool bCheck)
{
    return m_pModel->setRowChecked(nItem, bCheck);
}

QRect CReportCtrl::GetCheckBoxRect(int nItem) const
{
    const QModelIndex index = m_pModel->index(nItem, 0);
    if (!index.isValid() || !m_pModel->checkBoxesShown())
        return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.index = index;
    option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.checkState = GetCheck(nItem) > 0 ? Qt::Checked : Qt::Unchecked;
    option.text = GetItemText(nItem, 0);
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

void CReportCtrl::OnColumnClick(int nColumn)
{
    SortByColumn(nColumn, nColumn == m_nSortColumn ? !m_bSortAscending : true);
}

void CReportCtrl::SortByColumn(int nColumn, bool bAscending)
{
    if (nColumn < 0 || nColumn >= GetColumnCount() || !CanSortByHeader())
        return;
    m_nSortColumn = nColumn;
    m_bSortAscending = bAscending;
    SortRowRange(0, GetItemCount() - 1);
    Q_EMIT reportSorted(m_nSortColumn, m_bSortAscending);
}

bool CReportCtrl::CanSortByHeader() const
{
    return !isHeaderHidden() && header()->sectionsClickable();
}

bool CReportCtrl::SortRowRange(int nFirst, int nLast)
{
    if (nFirst < 0 || nFirst >= nLast || nLast >= GetItemCount())
        return false;

    // Each cell is read once per sort instead of at every comparison; the keys order exactly
    // as the texts would.
    const DateTextParser dates(locale());
    std::vector<CellSortKey> keys;
    keys.reserve(static_cast<std::size_t>(nLast - nFirst + 1));
    for (int nItem = nFirst; nItem <= nLast; ++nItem)
        keys.emplace_back(m_pModel->cellText(nItem, m_nSortColumn), dates);
    m_pSortKeys = &keys;
    m_nSortKeysFirst = nFirst;
    const auto forgetKeys = qScopeGuard([this] { m_pSortKeys = nullptr; });

    std::vector<int> arrIndices(keys.size());
    std::iota(arrIndices.begin(), arrIndices.end(), nFirst);
    QuickSortIndices(arrIndices, 0, static_cast<int>(arrIndices.size()) - 1);
    // Each row's texts, check box and record move as one; selection and focus follow them.
    m_pModel->reorderRows(nFirst, arrIndices);
    return true;
}

// Partitions around one pivot value that stays fixed for the pass. The typed comparison is not
// transitive across mixed texts (each pair is decided by the first rule both texts pass), so no
// standard sort may be given it; these scans only need every comparison with the pivot to come
// out the same each time, and then stay within the range. The smaller part is sorted by
// recursion and the larger by the loop: the parts are independent, so the order in which they
// are sorted changes nothing, and the depth stays logarithmic.
void CReportCtrl::QuickSortIndices(std::vector<int> &arrIndices, int nLow, int nHigh) const
{
    if (nLow < 0 || nHigh >= static_cast<int>(arrIndices.size()))
        return;
    const auto at = [&arrIndices](int k) -> int & { return arrIndices[static_cast<std::size_t>(k)]; };
    while (nLow < nHigh) {
        const int nPivot = at((nLow + nHigh) / 2);
        int i = nLow;
        int j = nHigh;
        do {
            if (m_bSortAscending) {
                while (CompareCells(at(i), nPivot) < 0)
                    ++i;
                while (CompareCells(at(j), nPivot) > 0)
                    --j;
            } else {
                while (CompareCells(at(i), nPivot) > 0)
                    ++i;
                while (CompareCells(at(j), nPivot) < 0)
                    --j;
            }
            if (j < i)
                break;
            if (i != j)
                std::swap(at(i), at(j));
            ++i;
            --j;
        } while (i <= j);

        if (j - nLow < nHigh - i) {
            QuickSortIndices(arrIndices, nLow, j);
            nLow = i;
        } else {
            QuickSortIndices(arrIndices, i, nHigh);
            nHigh = j;
        }
    }
}

int CReportCtrl::CompareCells(int nItem1, int nItem2) const
{
    if (m_pSortKeys) {
        const auto count = static_cast<int>(m_pSortKeys->size());
        const int k1 = nItem1 - m_nSortKeysFirst;
        const int k2 = nItem2 - m_nSortKeysFirst;
        if (k1 >= 0 && k1 < count && k2 >= 0 && k2 < count)
            return CellSortKey::Compare((*m_pSortKeys)[static_cast<std::size_t>(k1)],
                                        (*m_pSortKeys)[static_cast<std::size_t>(k2)]);
    }
    const DateTextParser dates(locale());
    return CellSortKey::Compare(CellSortKey(GetItemText(nItem1, m_nSortColumn), dates),
                                CellSortKey(GetItemText(nItem2, m_nSortColumn), dates));
}

unsigned CReportCtrl::GetRowState(int nItem) const
{
    const QModelIndex index = m_pModel->index(nItem, 0);
    const bool bSelected = index.isValid() && selectionModel()->isSelected(index);
    const bool bFocused = index.isValid() && currentIndex().row() == nItem;
    return (bSelected ? RS_SELECTED : RS_UNSELECTED) | (GetCheck(nItem) > 0 ? RS_CHECKED : RS_UNCHECKED)
           | (bFocused ? RS_FOCUSED : RS_UNFOCUSED);
}

bool CReportCtrl::ApplyRowState(int nItem, unsigned dwFlags)
{
    if (dwFlags == 0)
        return false;
    bool bResult = true;
    if (dwFlags & RS_SELECTED)
        bResult = SetRowSelected(nItem, true) && bResult;
    if (dwFlags & RS_UNSELECTED)
        bResult = SetRowSelected(nItem, false) && bResult;
    if (dwFlags & RS_CHECKED)
        bResult = SetCheck(nItem, true) && bResult;
    if (dwFlags & RS_UNCHECKED)
        bResult = SetCheck(nItem, false) && bResult;
    if (dwFlags & RS_FOCUSED)
        bResult = SetRowFocused(nItem, true) && bResult;
    if (dwFlags & RS_UNFOCUSED)
        bResult = SetRowFocused(nItem, false) && bResult;
    return bResult;
}

bool CReportCtrl::SetRowSelected(int nItem, bool bSelected)
{
    const QModelIndex index = m_pModel->index(nItem, 0);
    if (!index.isValid())
        return false;
    selectionModel()->select(index, (bSelected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect)
                                        | QItemSelectionModel::Rows);
    return true;
}

bool CReportCtrl::SetRowFocused(int nItem, bool bFocused)
{
    const QModelIndex index = m_pModel->index(nItem, 0);
    if (!index.isValid())
        return false;
    if (bFocused)
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    else if (currentIndex().row() == nItem)
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    return true;
}

bool CReportCtrl::HandleCheckChange(int nItem, bool bWasChecked, bool bIsChecked, unsigned nMsg)
{
    if (nItem < 0 || nItem >= GetItemCount() || bWasChecked == bIsChecked)
        return false;
    selectionModel()->clearSelection();
    ApplyRowState(nItem, RS_SELECTED | RS_FOCUSED);
    Q_EMIT reportItemChecked(nItem, nMsg);
    return true;
}

// Qt's item delegate toggles a check box when the button is released, not when it is pressed:
// a click therefore runs from its press (or double-click) to the release, and the check box
// is compared around the whole of it.
void CReportCtrl::mousePressEvent(QMouseEvent *event)
{
    // QTreeView hands on a double-click that lands on another row than the press as a press;
    // it is part of the click under way.
    if (event->type() != QEvent::MouseButtonPress) {
        QTreeView::mousePressEvent(event);
        return;
    }
    switch (event->button()) {
    case Qt::LeftButton: OnLButtonDown(event); break;
    case Qt::RightButton: OnRButtonDown(event); break;
    case Qt::MiddleButton: OnMButtonDown(event); break;
    default: QTreeView::mousePressEvent(event); break;
    }
}

void CReportCtrl::mouseDoubleClickEvent(QMouseEvent *event)
{
    switch (event->button()) {
    case Qt::LeftButton: OnLButtonDblClk(event); break;
    case Qt::RightButton: OnRButtonDblClk(event); break;
    case Qt::MiddleButton: OnMButtonDblClk(event); break;
    default: QTreeView::mouseDoubleClickEvent(event); break;
    }
}

void CReportCtrl::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeView::mouseReleaseEvent(event);
    if (m_pendingClick && m_pendingClick->button == event->button())
        FinishClick();
}

void CReportCtrl::OnLButtonDown(QMouseEvent *event)
{
    BeginClick(event, WM_LBUTTONDOWN);
}

void CReportCtrl::OnLButtonDblClk(QMouseEvent *event)
{
    BeginClick(event, WM_LBUTTONDBLCLK);
}

void CReportCtrl::OnRButtonDown(QMouseEvent *event)
{
    BeginClick(event, WM_RBUTTONDOWN);
}

void CReportCtrl::OnRButtonDblClk(QMouseEvent *event)
{
    BeginClick(event, WM_RBUTTONDBLCLK);
}

void CReportCtrl::OnMButtonDown(QMouseEvent *event)
{
    BeginClick(event, WM_MBUTTONDOWN);
}

void CReportCtrl::OnMButtonDblClk(QMouseEvent *event)
{
    BeginClick(event, WM_MBUTTONDBLCLK);
}

void CReportCtrl::BeginClick(QMouseEvent *event, unsigned nMsg)
{
    // A click whose release never came (a grab taken away) ends here.
    FinishClick();
    const int nItem = indexAt(event->position().toPoint()).row();
    m_pendingClick = PendingClick{nItem, GetCheck(nItem) > 0, nMsg, event->button()};
    if (event->type() == QEvent::MouseButtonDblClick)
        QTreeView::mouseDoubleClickEvent(event);
    else
        QTreeView::mousePressEvent(event);
}

void CReportCtrl::FinishClick()
{
    if (!m_pendingClick)
        return;
    const PendingClick click = *std::exchange(m_pendingClick, std::nullopt);
    HandleCheckChange(click.nItem, click.bWasChecked, GetCheck(click.nItem) > 0, click.nMsg);
    if (click.nMsg == WM_LBUTTONDOWN)
        Q_EMIT itemClicked(click.nItem);
    else if (click.nMsg == WM_LBUTTONDBLCLK)
        Q_EMIT itemDoubleClicked(click.nItem);
}

void CReportCtrl::keyPressEvent(QKeyEvent *event)
{
    if (PreTranslateMessage(event)) {
        event->accept();
        return;
    }
    // The desktop's two keys for a context menu; Qt turns neither into one on every platform.
    if (event->key() == Qt::Key_Menu
        || (event->key() == Qt::Key_F10 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier)) {
        event->accept();
        RequestContextMenuFromKeyboard();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CReportCtrl::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        RequestContextMenuFromKeyboard();
        return;
    }
    // Over the viewport; the right button's press has already selected the row.
    Q_EMIT contextMenuRequested(event->globalPos(), indexAt(event->pos()).row());
}

// From the keyboard the menu opens below the current row, or at the list's corner.
void CReportCtrl::RequestContextMenuFromKeyboard()
{
    const QModelIndex current = currentIndex();
    const QRect rect = current.isValid() ? visualRect(m_pModel->index(current.row(), 0)) : QRect();
    const QPoint at = rect.isValid() && viewport()->rect().intersects(rect) ? rect.bottomLeft() : QPoint(0, 0);
    Q_EMIT contextMenuRequested(viewport()->mapToGlobal(at), current.isValid() ? current.row() : -1);
}

// The space bar, with any modifier, would toggle the current row's check box and change the
// selection; the list takes neither from the keyboard.
bool CReportCtrl::PreTranslateMessage(const QKeyEvent *event) const
{
    return event->key() == Qt::Key_Space;
}

void CReportCtrl::ResetSortState()
{
    m_nSortColumn = -1;
    m_bSortAscending = true;
}
