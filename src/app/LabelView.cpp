#include "app/LabelView.h"

#include <QLabel>

void SetFontColor(QWidget* widget, TColor color)
{
    QPalette palette = widget->palette();
    const QColor c = ToQColor(color, palette);
    // A palette change restyles and repaints the widget: only for a new colour.
    if (palette.color(QPalette::Active, QPalette::WindowText) == c && palette.color(QPalette::Disabled, QPalette::Text) == c)
        return;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::WindowText, c);
        palette.setColor(group, QPalette::Text, c);
    }
    widget->setPalette(palette);
}

void TQLabelView::SetCaption(const QString& caption)
{
    Label_->setText(caption);
}

void TQLabelView::SetHint(const QString& hint)
{
    Label_->setToolTip(QString(hint).replace(u'\r', u'\n'));
}

void TQLabelView::SetFontColor(TColor color)
{
    ::SetFontColor(Label_, color);
}
