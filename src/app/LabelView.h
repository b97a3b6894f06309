#pragma once

#include "values/LabelValues.h"

#include <QColor>
#include <QPalette>

class QLabel;
class QWidget;

// A colour number as the toolkit's colour; the button-face system colour is the palette's Button.
QColor ToQColor(TColor color, const QPalette& palette);
// Sets the widget's text colour (active, inactive and disabled alike).
void SetFontColor(QWidget* widget, TColor color);

// A screen label seen through the caption, hint and colour view of the label values. A CR in a
// hint is shown as a line break.
class TQLabelView : public TLabelView
{
public:
    explicit TQLabelView(QLabel* label) : Label_(label) {}

    void SetCaption(const QString& caption) override;
    void SetHint(const QString& hint) override;
    void SetFontColor(TColor color) override;

private:
    QLabel* Label_;
};
