#pragma once

#include "values/LabelValues.h"

#include "values/ColorNumber.h"

#include <QObject>

class QLabel;
class QWidget;

// Sets the widget's text colour (active, inactive and disabled alike).
void SetFontColor(QWidget* widget, TColor color);

// A screen label seen through the caption, hint and colour view of the label values. A CR in a
// hint is shown as a line break. A hint given by its source is built when the label's tool tip
// is about to show.
class TQLabelView : public QObject, public TLabelView
{
public:
    explicit TQLabelView(QLabel* label);

    void SetCaption(const QString& caption) override;
    void SetHint(const QString& hint) override;
    void SetHintSource(std::function<QString()> hint) override;
    void SetFontColor(TColor color) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* Label_;
    std::function<QString()> HintSource_;
};
