#include "app/WriteFields.h"

#include "device/VantorInput.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QSpinBox>

#include <algorithm>
#include <utility>

namespace {

const QString kUnread = QStringLiteral("_ _");

}  // namespace

// One number field: its own range from the form, widened only to show a loaded value.
template <class TSpin>
class TWriteFields::TNumber
{
public:
    using TValue = decltype(std::declval<TSpin&>().value());

    explicit TNumber(TSpin* spin) : Spin_(spin), Min_(spin->minimum()), Max_(spin->maximum())
    {
        QObject::connect(spin, &TSpin::valueChanged, spin, [this] {
            if (!Loading_)
                Typed_ = true;
        });
    }

    // An unknown value sits one below the range, where the special text stands for it.
    void Load(std::optional<TValue> value)
    {
        Loading_ = true;
        Typed_ = false;
        Known_ = value.has_value();
        Spin_->setSpecialValueText(Known_ ? QString() : kUnread);
        const TValue shown = Known_ ? *value : Min_ - 1;
        Spin_->setRange(std::min(Min_, shown), std::max(Max_, shown));
        Spin_->setValue(shown);
        Loading_ = false;
    }

    std::optional<TValue> Value() const
    {
        if (!Typed_)
            return Known_ ? std::optional<TValue>(Spin_->value()) : std::nullopt;
        return std::clamp(Spin_->value(), Min_, Max_);
    }

    // Shows what is written, without taking it for the operator's own.
    void Show(TValue value)
    {
        Loading_ = true;
        Spin_->setValue(value);
        Loading_ = false;
    }

private:
    TSpin* Spin_;
    const TValue Min_;
    const TValue Max_;
    bool Loading_ = false;
    bool Typed_ = false;
    bool Known_ = true;
};

TWriteFields::TWriteFields(QCheckBox* enabled, QSpinBox* interval, QDoubleSpinBox* bound, QSpinBox* plant)
    : Enabled_(enabled),
      Interval_(std::make_unique<TNumber<QSpinBox>>(interval)),
      Bound_(std::make_unique<TNumber<QDoubleSpinBox>>(bound)),
      Plant_(std::make_unique<TNumber<QSpinBox>>(plant))
{
    // A click on the unread box gives it a value; from then on it is set or clear.
    QObject::connect(enabled, &QCheckBox::clicked, enabled, [this] { Enabled_->setTristate(false); });
}

TWriteFields::~TWriteFields() = default;

void TWriteFields::Load(const TVantorInput& input)
{
    const bool known = input.SettingsKnown;
    Enabled_->setTristate(!known);
    Enabled_->setCheckState(!known ? Qt::PartiallyChecked
                            : input.ChannelEnabled.GetOutValue().ToInteger() == tsTrue ? Qt::Checked
                                                                                        : Qt::Unchecked);
    Interval_->Load(known ? std::optional<int>(input.Interval) : std::nullopt);
    Bound_->Load(known ? std::optional<double>(input.TemperBound.Value()) : std::nullopt);
    Plant_->Load(known ? std::optional<int>(input.SettingsPlantNumber) : std::nullopt);
}

std::optional<TInputSettings> TWriteFields::Settings()
{
    const std::optional<int> interval = Interval_->Value();
    const std::optional<double> bound = Bound_->Value();
    const std::optional<int> plant = Plant_->Value();
    if (Enabled_->checkState() == Qt::PartiallyChecked || !interval || !bound || !plant)
        return std::nullopt;
    TInputSettings settings;
    settings.Enabled = Enabled_->isChecked();
    settings.Period = static_cast<quint16>(*interval);
    settings.Bound = RoundToSixteenths(*bound);
    settings.PNum = static_cast<quint16>(*plant);
    Interval_->Show(*interval);
    Bound_->Show(settings.Bound);
    Plant_->Show(*plant);
    return settings;
}
