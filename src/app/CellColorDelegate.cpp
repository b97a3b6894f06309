#include "app/CellColorDelegate.h"

#include "app/LabelView.h"
#include "station/InputAlarms.h"

#include <QPainter>

void TCellColorDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const std::optional<TColor> color = Rule_(index);
    if (!(option.state & QStyle::State_Selected) || !color || !IsAlarmColor(*color)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_Selected;
    // The view has filled the selected row already.
    painter->fillRect(option.rect, option.palette.brush(QPalette::Base));
    QStyledItemDelegate::paint(painter, plain, index);
    painter->save();
    QPen pen(option.palette.color(QPalette::Active, QPalette::Highlight), 2);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
    painter->restore();
}

void TCellColorDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const std::optional<TColor> color = Rule_(index);
    if (!color)
        return;
    const QColor c = ToQColor(*color, option->palette);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        option->palette.setColor(group, QPalette::Text, c);
        option->palette.setColor(group, QPalette::HighlightedText, c);
    }
}
