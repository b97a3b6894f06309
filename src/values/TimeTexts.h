#pragma once

#include "values/DateTime.h"

#include <QString>

// Time stamps as the operator reads them, in the system locale: the long time format without a
// time zone, and the short date followed by that time. Empty for a number that is no date.
QString TimeText(TDateTime time);
QString DateTimeText(TDateTime time);
