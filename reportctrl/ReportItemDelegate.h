#pragma once

#include <QStyledItemDelegate>

// Draws cells as the item view does; a selected cell whose background is its own colour (a flag)
// keeps a frame of that colour inside the selection highlight, which otherwise covers it.
class ReportItemDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kFrameWidth = 3;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
