#pragma once

#include "values/TypedValues.h"

#include <QString>

#include <functional>

// Anything that shows a caption with a hint in a font colour: a screen label, or a recorder in
// tests. The values below draw on it without knowing the toolkit.
class TLabelView
{
public:
    virtual ~TLabelView() = default;
    virtual void SetCaption(const QString& caption) = 0;
    virtual void SetHint(const QString& hint) = 0;
    // A hint changes with every value's time, and is read far less often: a view may build it
    // only when it is shown.
    virtual void SetHintSource(std::function<QString()> hint) { SetHint(hint()); }
    virtual void SetFontColor(TColor color) = 0;
};

// Values that redraw their labels whenever their out value changes. They own their OnChange.
class TIOThreeStatesVisual : public TIOThreeStates
{
public:
    TIOThreeStatesVisual();
    ~TIOThreeStatesVisual() override;

    virtual void Refresh() = 0;
};

class TIOIntegerVisual : public TIOInteger
{
public:
    TIOIntegerVisual();
    ~TIOIntegerVisual() override;

    virtual void Refresh() = 0;
};

// The labels are not owned and must outlive the value or be cleared from it first.
class TIOThreeStatesLabel : public TIOThreeStatesVisual
{
public:
    TLabelView* TitleLabel = nullptr;
    // The state's caption in the state's Color1, with a hint.
    TLabelView* ValueLabel = nullptr;

    void Refresh() override;
};

class TIOIntegerLabel : public TIOIntegerVisual
{
public:
    TLabelView* TitleLabel = nullptr;
    // The number in decimal, with a hint; its colour is left alone.
    TLabelView* ValueLabel = nullptr;
    TLabelView* DimensionLabel = nullptr;
    // "Title, Dimension".
    TLabelView* CaptionLabel = nullptr;

    void Refresh() override;
};
