#pragma once

#include "device/InputWrite.h"

#include <array>

// The settings of inputs 1..192 (index n - 1) as the configuration view last read them; all zero
// at program start. Each opening of the view overwrites the inputs its file lists.
using TInputSettingsTable = std::array<TInputSettings, vantor::kInputCount>;
TInputSettingsTable& InputSettingsTable();
