#include "app/CellColorDelegate.h"

#include "app/LabelView.h"

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
