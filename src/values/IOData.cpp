#include "values/IOData.h"

#include "common/OperatorMessage.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// A change only between two finite numbers: NaN or an infinity on either side is none.
bool IsChange(const TVariant& before, const TVariant& after)
{
    const double a = before.ToDouble();
    const double b = after.ToDouble();
    return std::isfinite(a) && std::isfinite(b) && a != b;
}

}  // namespace

// Enters a walk on construction and leaves it on destruction unless the value died meanwhile;
// the outermost walk squeezes out the observers removed during it.
class TIOData::TWalkScope
{
public:
    explicit TWalkScope(TIOData& value) : Value_(value), Walk_{value.Walk_, true}
    {
        value.Walk_ = &Walk_;
    }
    ~TWalkScope()
    {
        if (!Walk_.Alive)
            return;
        Value_.Walk_ = Walk_.Outer;
        if (!Value_.Walk_ && Value_.Holes_) {
            std::erase(*Value_.Observers_, nullptr);
            Value_.Holes_ = false;
        }
    }
    TWalkScope(const TWalkScope&) = delete;
    TWalkScope& operator=(const TWalkScope&) = delete;

    TWalk& Walk() { return Walk_; }

private:
    TIOData& Value_;
    TWalk Walk_;
};

TIOData::~TIOData()
{
    for (TWalk* walk = Walk_; walk; walk = walk->Outer)
        walk->Alive = false;
    if (Source_)
        Source_->RemoveObserver(this);
    if (Observers_)
        for (TIOData* observer : *Observers_)
            if (observer)
                observer->Source_ = nullptr;
}

void TIOData::Assign(const TPersistent& source)
{
    if (const auto* value = dynamic_cast<const TIOData*>(&source))
        Active = value->Active;
}

void TIOData::SetValue(const TVariant& value, TDateTime time)
{
    // A copy: value may belong to a source that a notification destroys.
    const TVariant newValue = value;
    TimeOut.SetTime(time == 0 ? NowDateTime() : time);
    const TVariant old = Value_;
    Value_ = newValue;
    if (!Active)
        return;
    TWalkScope scope(*this);
    try {
        Notify(old, newValue, scope.Walk());
    } catch (...) {
        // The operator's message box is bound outside this library; a failing one ends here too.
    }
}

void TIOData::Notify(const TVariant& old, const TVariant& value, TWalk& walk)
{
    TVariant out;
    try {
        OnSetValue(this);
        if (!walk.Alive)
            return;
        if (IsChange(old, value)) {
            OnValueChange(this);
            if (!walk.Alive)
                return;
        }
        out = Convert(Value_);
    } catch (...) {
        ShowMessage(kCaptionError, QStringLiteral("Облом"), TMessageIcon::Error);
        return;
    }
    try {
        Publish(out, walk);
    } catch (...) {
        // Errors after the conversion end the update silently.
    }
}

void TIOData::Publish(const TVariant& out, TWalk& walk)
{
    const bool changed = IsChange(OutValue_, out);
    OutValue_ = out;
    OnUpdate(this);
    if (!walk.Alive)
        return;
    if (changed) {
        OnChange(this);
        if (!walk.Alive)
            return;
    }
    NotifyObservers(walk);
}

void TIOData::NotifyObservers(TWalk& walk)
{
    // By index over the count at the start: observers linked meanwhile wait for the next update,
    // removed ones are nullptr until the walk ends.
    if (!Observers_)
        return;
    const std::vector<TIOData*>& observers = *Observers_;
    const std::size_t count = observers.size();
    for (std::size_t i = 0; i < count && i < observers.size(); ++i) {
        TIOData* observer = observers[i];
        if (!observer)
            continue;
        observer->SetValue(OutValue_, TimeOut.Time);
        if (!walk.Alive)
            return;
    }
}

void TIOData::Link(TIOData* source, bool immediately)
{
    if (Source_)
        Unlink(Source_);
    // A loop would pass every update round it for ever.
    if (!source || Observes(source))
        return;
    if (!source->Observers_)
        source->Observers_ = std::make_unique<std::vector<TIOData*>>();
    source->Observers_->push_back(this);
    Source_ = source;
    if (immediately)
        SetValue(source->OutValue_, source->TimeOut.Time);
}

void TIOData::Unlink(TIOData* source)
{
    // A value stands only in its own source's list, so that is the list it leaves, whatever the
    // argument: clearing Source while staying listed would leave the source a dangling observer.
    (void)source;
    if (Source_)
        Source_->RemoveObserver(this);
    Source_ = nullptr;
}

bool TIOData::Observes(const TIOData* value) const noexcept
{
    // True when this value is value itself or lies up its chain of sources.
    for (const TIOData* link = value; link; link = link->Source_)
        if (link == this)
            return true;
    return false;
}

void TIOData::RemoveObserver(TIOData* observer) noexcept
{
    if (!Observers_)
        return;
    const auto found = std::find(Observers_->begin(), Observers_->end(), observer);
    if (found == Observers_->end())
        return;
    if (Walk_) {
        *found = nullptr;
        Holes_ = true;
    } else {
        Observers_->erase(found);
    }
}

std::vector<TIOData*> TIOData::Observers() const
{
    std::vector<TIOData*> result;
    if (!Observers_)
        return result;
    std::copy_if(Observers_->begin(), Observers_->end(), std::back_inserter(result),
                 [](const TIOData* observer) { return observer != nullptr; });
    return result;
}

void TCustomIOData::SetValue(const TVariant& value, TDateTime time)
{
    try {
        TIOData::SetValue(value, time);
    } catch (...) {
    }
}

void TCustomIOData::Link(TIOData* source, bool immediately)
{
    try {
        TIOData::Link(source, immediately);
    } catch (...) {
    }
}

TVariant TiodIntegerToInteger::Convert(const TVariant& value) const
{
    return value.ToInteger();
}

TVariant TiodDoubleToDouble::Convert(const TVariant& value) const
{
    return value.ToDouble();
}

TVariant TiodThreeStatesToThreeStates::Convert(const TVariant& value) const
{
    return static_cast<quint8>(value.ToInteger() & 0xFF);
}
