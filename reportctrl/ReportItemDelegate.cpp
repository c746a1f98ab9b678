#include "ReportItemDelegate.h"

#include <QPainter>

void ReportItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (!(option.state & QStyle::State_Selected))
        return;
    const QVariant background = index.data(Qt::BackgroundRole);
    if (!background.canConvert<QColor>())
        return;
    const QColor colour = background.value<QColor>();
    if (colour == option.palette.color(QPalette::Base))
        return;
    painter->save();
    QPen pen(colour, kFrameWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    const int inset = kFrameWidth / 2 + 1;
    painter->drawRect(option.rect.adjusted(inset, inset, -inset - 1, -inset - 1));
    painter->restore();
}
