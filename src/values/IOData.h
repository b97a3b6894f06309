#pragma once

#include "values/DateTime.h"
#include "values/NotifyEvent.h"
#include "values/Persistent.h"
#include "values/ThreeStates.h"
#include "values/Variant.h"

#include <QtGlobal>

#include <memory>
#include <vector>

// The time stamp of a value's last update.
class TTimeOut
{
public:
    TTimeOut() : Time(NowDateTime()) {}

    void SetTime(TDateTime time) { Time = time; }
    TDateTime GetTime() const { return Time; }

    TDateTime Time;
};

// An observable value: keeps the last number it was given (Value), the time of that update and
// a converted copy (OutValue) that it hands to the values linked to it (its observers) and
// announces through four notifications. Values are used on the main thread only.
//
// Links never own: destroying either end removes the link. A value, its source or any observer
// may be destroyed, linked or unlinked from inside a notification: a destroyed value's update
// stops there (a destroyed source serves no further observers), and the updates of the other
// values in progress go on.
class TIOData : public TPersistent
{
public:
    TIOData() = default;
    ~TIOData() override;
    TIOData(const TIOData&) = delete;
    TIOData& operator=(const TIOData&) = delete;

    // Called on every accepted SetValue, before anything is converted.
    TNotifyEvent OnSetValue;
    // Called when the new Value differs from the previous one.
    TNotifyEvent OnValueChange;
    // Called on every new OutValue, changed or not.
    TNotifyEvent OnUpdate;
    // Called when the new OutValue differs from the previous one.
    TNotifyEvent OnChange;

    // Free for the owner (the device model keeps the input number here).
    qint32 Tag = 0;
    // When false, SetValue stores the value and the time stamp and does nothing more.
    bool Active = true;
    TTimeOut TimeOut;

    // Copies the Active flag from another value; nothing else.
    void Assign(const TPersistent& source) override;

    // Stores the value stamped with time (0 = now), then notifies: OnSetValue, OnValueChange,
    // OnUpdate, OnChange, then the observers in link order, depth first, each given OutValue and
    // this value's time stamp. NaN or an infinity on either side never counts as a change. Never
    // throws: a failure before the conversion is reported to the operator ("Облом") and leaves
    // OutValue as it was; a failure after it ends the update silently.
    virtual void SetValue(const TVariant& value, TDateTime time = 0);
    virtual TVariant GetValue() const { return Value_; }
    // Detaches from the current source, then observes source (none only detaches); immediately
    // takes the source's OutValue and time stamp at once. A link that would close a loop of
    // values is refused: the value stays detached.
    virtual void Link(TIOData* source, bool immediately = true);
    virtual TVariant GetOutValue() const { return OutValue_; }

    // Leaves the observers of the current source and clears Source; a value is only ever listed
    // by its own source, so the argument names no other list.
    void Unlink(TIOData* source);

    TIOData* Source() const { return Source_; }
    // The observers, in link order.
    std::vector<TIOData*> Observers() const;

protected:
    // The out value for a value.
    virtual TVariant Convert(const TVariant& value) const = 0;

private:
    // One SetValue in progress on this value; the destructor marks every one of them dead so that
    // the frames still on the stack stop touching the value.
    struct TWalk
    {
        TWalk* Outer;
        bool Alive;
    };
    class TWalkScope;

    void Notify(const TVariant& old, const TVariant& value, TWalk& walk);
    void Publish(const TVariant& out, TWalk& walk);
    void NotifyObservers(TWalk& walk);
    void RemoveObserver(TIOData* observer) noexcept;
    bool Observes(const TIOData* value) const noexcept;

    // Allocated with the first observer: most values never have one.
    std::unique_ptr<std::vector<TIOData*>> Observers_;
    TVariant Value_;
    TVariant OutValue_;
    TIOData* Source_ = nullptr;
    TWalk* Walk_ = nullptr;
    // Observers removed during a walk are left as nullptr and squeezed out after it.
    bool Holes_ = false;
};

// The base of every concrete value: OutValue is Value unchanged, and nothing escapes SetValue or
// Link.
class TCustomIOData : public TIOData
{
public:
    void SetValue(const TVariant& value, TDateTime time = 0) override;
    void Link(TIOData* source, bool immediately = true) override;

protected:
    TVariant Convert(const TVariant& value) const override { return value; }
};

// OutValue: Value read as an integer, a signed 32-bit one.
class TiodIntegerToInteger : public TCustomIOData
{
protected:
    TVariant Convert(const TVariant& value) const override;
};

// OutValue: Value read as a 64-bit floating number.
class TiodDoubleToDouble : public TCustomIOData
{
protected:
    TVariant Convert(const TVariant& value) const override;
};

// OutValue: the low 8 bits of Value read as an integer (258 gives tsTrue).
class TiodThreeStatesToThreeStates : public TCustomIOData
{
protected:
    TVariant Convert(const TVariant& value) const override;
};
