#pragma once

#include "values/Descriptions.h"

#include <QColor>
#include <QPalette>

// A colour number as the toolkit's colour; the button-face system colour is the palette's Button.
QColor ToQColor(TColor color, const QPalette& palette = QPalette());
