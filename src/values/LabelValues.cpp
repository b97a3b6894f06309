#include "values/LabelValues.h"

#include "values/TimeTexts.h"

namespace {

// A hint's lines are joined by a bare carriage return, as the label shows them.
QString HintLines(const QString& title, const QString& hint, const QString& value, TDateTime time)
{
    return title + u'\r' + hint + u'\r' + value + u'\r' + DateTimeText(time);
}

}  // namespace

TIOThreeStatesVisual::TIOThreeStatesVisual()
{
    OnChange = [this](TIOData*) { Refresh(); };
}

TIOThreeStatesVisual::~TIOThreeStatesVisual()
{
    OnChange = nullptr;
}

TIOIntegerVisual::TIOIntegerVisual()
{
    OnChange = [this](TIOData*) { Refresh(); };
}

TIOIntegerVisual::~TIOIntegerVisual()
{
    OnChange = nullptr;
}

void TIOThreeStatesLabel::Refresh()
{
    const TDescriptionOfThreeStates& d = Description();
    if (TitleLabel)
        TitleLabel->SetCaption(d.Title);
    if (!ValueLabel)
        return;
    qint32 state = 0;
    GetOutValue().TryToInteger(state);
    const QString caption = d.GetCaption(state);
    ValueLabel->SetHintSource(
        [title = d.Title, hint = d.Hint, caption, time = TimeOut.Time] { return HintLines(title, hint, caption, time); });
    ValueLabel->SetCaption(caption);
    ValueLabel->SetFontColor(d.GetColor1(state));
}

void TIOIntegerLabel::Refresh()
{
    const TDescriptionOfInteger& d = Description();
    if (TitleLabel)
        TitleLabel->SetCaption(d.Title);
    if (DimensionLabel)
        DimensionLabel->SetCaption(d.Dimension);
    if (CaptionLabel)
        CaptionLabel->SetCaption(d.Title + QStringLiteral(", ") + d.Dimension);
    if (!ValueLabel)
        return;
    qint32 n = 0;
    GetOutValue().TryToInteger(n);
    const QString number = QString::number(n);
    ValueLabel->SetHintSource([title = d.Title, hint = d.Hint, value = number + u' ' + d.Dimension,
                               time = TimeOut.Time] { return HintLines(title, hint, value, time); });
    ValueLabel->SetCaption(number);
}
