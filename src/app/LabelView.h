#pragma once

#include "values/LabelValues.h"

#include "values/ColorNumber.h"

class QLabel;
class QWidget;

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
