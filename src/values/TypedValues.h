#pragma once

#include "values/Descriptions.h"
#include "values/IOData.h"

// Values that own a description of how they are shown. Assign copies the Active flag and, from a
// value of the same class, the description; never the value itself.

class TIOThreeStates : public TiodThreeStatesToThreeStates
{
public:
    // Starts at tsUnknown stamped now.
    TIOThreeStates();

    TDescriptionOfThreeStates& Description() { return Description_; }
    const TDescriptionOfThreeStates& Description() const { return Description_; }

    void Assign(const TPersistent& source) override;

    // Of the state OutValue holds; empty text and black for a value outside the three states.
    QString StateCaption() const;
    TColor StateColor() const;

private:
    TDescriptionOfThreeStates Description_;
};

class TIOInteger : public TiodIntegerToInteger
{
public:
    TDescriptionOfInteger& Description() { return Description_; }
    const TDescriptionOfInteger& Description() const { return Description_; }

    void Assign(const TPersistent& source) override;

private:
    TDescriptionOfInteger Description_;
};

class TIODouble : public TiodDoubleToDouble
{
public:
    TDescriptionOfDouble& Description() { return Description_; }
    const TDescriptionOfDouble& Description() const { return Description_; }

    void Assign(const TPersistent& source) override;

private:
    TDescriptionOfDouble Description_;
};

// An enumerated value: OutValue indexes the states of StatesDescription.
class TIOStates : public TIOInteger
{
public:
    TDescriptionOfStates& StatesDescription() { return StatesDescription_; }
    const TDescriptionOfStates& StatesDescription() const { return StatesDescription_; }

    void Assign(const TPersistent& source) override;

    // Of the state OutValue selects; a number beyond the states (or below 0) selects state 0.
    // With no states: empty text, black and an alarm.
    QString StateCaption() const;
    TColor StateColor() const;
    bool StateIsAlarm() const;

private:
    // The state shown, or nullptr when there is none.
    const TState* CurrentState() const;

    TDescriptionOfStates StatesDescription_;
};
