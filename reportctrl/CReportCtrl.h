#pragma once

#include "ReportItemData.h"

#include <QRect>
#include <QString>
#include <QTreeView>

#include <functional>
#include <optional>
#include <vector>

class CellSortKey;
class ReportListModel;

// Column formats (alignment of heading and cells).
inline constexpr int LVCFMT_LEFT = 0x0000;
inline constexpr int LVCFMT_RIGHT = 0x0001;
inline constexpr int LVCFMT_CENTER = 0x0002;
inline constexpr int LVCFMT_JUSTIFYMASK = 0x0003;

// Fields of LVCOLUMN and LVITEM that carry a value.
inline constexpr unsigned LVCF_FMT = 0x0001;
inline constexpr unsigned LVCF_WIDTH = 0x0002;
inline constexpr unsigned LVCF_TEXT = 0x0004;
inline constexpr unsigned LVCF_SUBITEM = 0x0008;
inline constexpr unsigned LVIF_TEXT = 0x0001;
inline constexpr unsigned LVIF_PARAM = 0x0004;

// Extended styles. Of these only the check boxes change how the view behaves: it always
// selects whole rows, and no cell shows an image.
inline constexpr unsigned LVS_EX_SUBITEMIMAGES = 0x02;
inline constexpr unsigned LVS_EX_CHECKBOXES = 0x04;
inline constexpr unsigned LVS_EX_FULLROWSELECT = 0x20;

// Row state flags, one of each pair.
inline constexpr unsigned RS_SELECTED = 0x02;
inline constexpr unsigned RS_UNSELECTED = 0x04;
inline constexpr unsigned RS_CHECKED = 0x08;
inline constexpr unsigned RS_UNCHECKED = 0x10;
inline constexpr unsigned RS_FOCUSED = 0x20;
inline constexpr unsigned RS_UNFOCUSED = 0x40;

// The control's two notifications (WM_APP + 10000 and + 10001). They reach the parent as the
// signals reportItemChecked and reportSorted, which carry the same values.
inline constexpr unsigned WM_REPORT_ITEMCHECKED = 0xA710;
inline constexpr unsigned WM_REPORT_SORTED = 0xA711;

struct LVCOLUMN
{
    unsigned mask = 0;
    int fmt = LVCFMT_LEFT;
    int cx = 0;
    QString pszText;
    int iSubItem = 0;
};

struct LVITEM
{
    unsigned mask = 0;
    int iItem = 0;
    int iSubItem = 0;
    QString pszText;
    quintptr lParam = 0;
};

// The device list: a report view with a check box in front of every row, a text and a
// background colour per cell, and sorting by a click on a column heading that compares the
// cells as hexadecimal numbers, numbers, dates or text, whichever both cells allow.
class CReportCtrl final : public QTreeView
{
    Q_OBJECT

public:
    // Mouse message codes that reportItemChecked passes on.
    static constexpr unsigned WM_LBUTTONDOWN = 0x0201;
    static constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
    static constexpr unsigned WM_RBUTTONDOWN = 0x0204;
    static constexpr unsigned WM_RBUTTONDBLCLK = 0x0206;
    static constexpr unsigned WM_MBUTTONDOWN = 0x0207;
    static constexpr unsigned WM_MBUTTONDBLCLK = 0x0209;

    explicit CReportCtrl(QWidget *parent = nullptr);
    ~CReportCtrl() override;

    // Columns. Both forms return the new column's index, or -1.
    int InsertColumn(int nCol, const LVCOLUMN *pColumn);
    int InsertColumn(int nCol, const QString &strHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                     int nSubItem = -1);
    bool SetColumnFormat(int nCol, int nFormat);
    int GetColumnCount() const;
    // Widens every column whose cell in row nItem would not show its whole text. A column is
    // never narrowed, and one whose width was set from outside the control (the user dragging
    // or double-clicking the edge of its heading) keeps that width.
    void FitColumnsToRow(int nItem);
    bool IsColumnSizedByUser(int nCol) const;

    // Rows. Both forms of InsertItem return the new row's index, or -1.
    int InsertItem(const LVITEM *pItem);
    int InsertItem(int nItem, const QString &strText);
    bool SetItemText(int nItem, int nSubItem, const QString &strText);
    QString GetItemText(int nItem, int nSubItem) const;
    int GetItemCount() const;
    int DeleteAllItems();
    // Removes one row; the rows after it move up by one.
    bool DeleteItem(int nItem);
    // The row's record (its dwData is the application's item data); null for no such row.
    const ReportItemData *GetItemData(int nItem) const;
    // Changes one cell's colours in the row's record; they move with the row.
    bool SetItemColors(int nItem, int nSubItem, QRgb textColor, QRgb bkColor);
    // Where cells get their notes: asked with row and column when a note is to be shown, as
    // the cell's tooltip and as its accessible description; an empty text is no note.
    void SetCellNotes(std::function<QString(int nItem, int nSubItem)> notes);

    // Check boxes. GetCheck: 1 checked, 0 not, -1 no such row.
    void EnableCheckboxes();
    unsigned GetExtendedStyle() const { return m_dwExStyle; }
    void SetExtendedStyle(unsigned dwExStyle);
    int GetCheck(int nItem) const;
    bool SetCheck(int nItem, bool bCheck = true);
    // Where the row's check box is drawn, in viewport coordinates; empty when there is none.
    QRect GetCheckBoxRect(int nItem) const;

    // Sorting.
    void OnColumnClick(int nColumn);
    void SortByColumn(int nColumn, bool bAscending);
    bool CanSortByHeader() const;
    bool SortRowRange(int nFirst, int nLast);
    void QuickSortIndices(std::vector<int> &arrIndices, int nLow, int nHigh) const;
    int CompareCells(int nItem1, int nItem2) const;
    int GetSortColumn() const { return m_nSortColumn; }
    bool IsSortAscending() const { return m_bSortAscending; }

    // Row state (RS_ flags).
    unsigned GetRowState(int nItem) const;
    bool ApplyRowState(int nItem, unsigned dwFlags);
    bool HandleCheckChange(int nItem, bool bWasChecked, bool bIsChecked, unsigned nMsg);

Q_SIGNALS:
    // WM_REPORT_ITEMCHECKED: a mouse click changed the row's check box; code is the mouse
    // message of the click.
    void reportItemChecked(int row, unsigned code);
    // WM_REPORT_SORTED: sent after every sort by column.
    void reportSorted(int column, bool ascending);
    // A left click and a left double-click on a row (-1: on no row), after the control's own
    // handling of the click.
    void itemClicked(int row);
    void itemDoubleClicked(int row);
    // The context menu is asked for, by a right-click, the menu key or Shift+F10: row is the row
    // it is for (-1: none), globalPos where it opens.
    void contextMenuRequested(const QPoint &globalPos, int row);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct PendingClick
    {
        int nItem = -1;
        bool bWasChecked = false;
        unsigned nMsg = 0;
        Qt::MouseButton button = Qt::NoButton;
    };

    void OnLButtonDown(QMouseEvent *event);
    void OnLButtonDblClk(QMouseEvent *event);
    void OnRButtonDown(QMouseEvent *event);
    void OnRButtonDblClk(QMouseEvent *event);
    void OnMButtonDown(QMouseEvent *event);
    void OnMButtonDblClk(QMouseEvent *event);
    bool PreTranslateMessage(const QKeyEvent *event) const;
    void RequestContextMenuFromKeyboard();

    void BeginClick(QMouseEvent *event, unsigned nMsg);
    void FinishClick();
    void ResetSortState();
    void ResizeColumn(int nCol, int nWidth);
    void OnSectionResized(int nCol);
    bool TextFitsSurely(QStringView strText, int nRoom);
    bool SetRowSelected(int nItem, bool bSelected);
    bool SetRowFocused(int nItem, bool bFocused);

    ReportListModel *m_pModel = nullptr;
    int m_nSortColumn = -1;
    bool m_bSortAscending = true;
    unsigned m_dwExStyle = LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES;
    // The keys of the rows being sorted, from m_nSortKeysFirst on; set only during a sort.
    const std::vector<CellSortKey> *m_pSortKeys = nullptr;
    int m_nSortKeysFirst = 0;
    std::optional<PendingClick> m_pendingClick;
    QList<bool> m_columnSizedByUser; // one per column
    bool m_bResizingColumn = false;  // the control itself is sizing a column
    QList<int> m_cellExtraWidth;     // per column: what a cell needs beside its text; -1 unknown
    QList<qreal> m_latin1Advance;    // the font's advance of each Latin-1 character, once needed
};
