#pragma once

#include "Bytes.h"

#include <string_view>

// The controller's texts are cp1251. Sources are UTF-8, so texts are converted once, at start.
// Covers ASCII, the Russian alphabet and the sign "№"; anything else becomes '?'.
Bytes Cp1251(std::string_view utf8);
