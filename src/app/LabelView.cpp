#include "app/LabelView.h"

#include <QEvent>
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

TQLabelView::TQLabelView(QLabel* label) : Label_(label)
{
    Label_->installEventFilter(this);
}

void TQLabelView::SetCaption(const QString& caption)
{
    Label_->setText(caption);
}

void TQLabelView::SetHint(const QString& hint)
{
    HintSource_ = nullptr;
    Label_->setToolTip(QString(hint).replace(u'\r', u'\n'));
}

void TQLabelView::SetHintSource(std::function<QString()> hint)
{
    HintSource_ = std::move(hint);
    // Without a tool tip the label would not ask for one.
    if (Label_->toolTip().isEmpty())
        Label_->setToolTip(QStringLiteral(" "));
}

bool TQLabelView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label_ && event->type() == QEvent::ToolTip && HintSource_)
        Label_->setToolTip(HintSource_().replace(u'\r', u'\n'));
    return false;
}

void TQLabelView::SetFontColor(TColor color)
{
    ::SetFontColor(Label_, color);
}
