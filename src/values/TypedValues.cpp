#include "values/TypedValues.h"

TIOThreeStates::TIOThreeStates()
{
    SetValue(tsUnknown);
}

void TIOThreeStates::Assign(const TPersistent& source)
{
    TiodThreeStatesToThreeStates::Assign(source);
    if (const auto* other = dynamic_cast<const TIOThreeStates*>(&source))
        Description_.Assign(other->Description_);
}

QString TIOThreeStates::StateCaption() const
{
    qint32 state = 0;
    return GetOutValue().TryToInteger(state) ? Description_.GetCaption(state) : QString();
}

TColor TIOThreeStates::StateColor() const
{
    qint32 state = 0;
    return GetOutValue().TryToInteger(state) ? Description_.GetColor1(state) : clBlack;
}

void TIOInteger::Assign(const TPersistent& source)
{
    TiodIntegerToInteger::Assign(source);
    if (const auto* other = dynamic_cast<const TIOInteger*>(&source))
        Description_.Assign(other->Description_);
}

void TIODouble::Assign(const TPersistent& source)
{
    TiodDoubleToDouble::Assign(source);
    if (const auto* other = dynamic_cast<const TIODouble*>(&source))
        Description_.Assign(other->Description_);
}

void TIOStates::Assign(const TPersistent& source)
{
    TIOInteger::Assign(source);
    if (const auto* other = dynamic_cast<const TIOStates*>(&source))
        StatesDescription_.Assign(other->StatesDescription_);
}

const TState* TIOStates::CurrentState() const
{
    const QList<TState>& states = StatesDescription_.States;
    qint32 index = 0;
    if (states.isEmpty() || !GetOutValue().TryToInteger(index))
        return nullptr;
    if (index < 0 || index >= states.size())
        index = 0;
    return &states[index];
}

QString TIOStates::StateCaption() const
{
    const TState* state = CurrentState();
    return state ? state->Caption : QString();
}

TColor TIOStates::StateColor() const
{
    const TState* state = CurrentState();
    return state ? state->Color1 : clBlack;
}

bool TIOStates::StateIsAlarm() const
{
    const TState* state = CurrentState();
    return state ? state->IsAlarm : true;
}
