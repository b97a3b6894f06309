#pragma once

#include "device/InputWrite.h"

#include <memory>
#include <optional>

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;
class TVantorInput;

// The current input's write fields. What is loaded from the controller is shown as it is, even
// outside a field's range, and written back unchanged; only what the operator types is held to
// the field's range. A setting never read shows "_ _" and is written only once the operator
// gives it.
class TWriteFields
{
public:
    TWriteFields(QCheckBox* enabled, QSpinBox* interval, QDoubleSpinBox* bound, QSpinBox* plant);
    ~TWriteFields();

    void Load(const TVantorInput& input);
    // The settings "Записать" sends, typed values held to their ranges and the set-point rounded
    // to what the register holds; the fields then show them so. Empty while a field holds a
    // setting neither read nor typed.
    std::optional<TInputSettings> Settings();

private:
    template <class TSpin>
    class TNumber;

    QCheckBox* Enabled_;
    std::unique_ptr<TNumber<QSpinBox>> Interval_;
    std::unique_ptr<TNumber<QDoubleSpinBox>> Bound_;
    std::unique_ptr<TNumber<QSpinBox>> Plant_;
};
