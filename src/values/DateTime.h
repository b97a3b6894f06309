#pragma once

#include <QDateTime>

// A local date-time as days since 30 December 1899, the fraction being the time of day: the form
// time stamps are kept and passed in.
using TDateTime = double;

// Days between 1899-12-30 and 1970-01-01.
inline constexpr TDateTime kUnixEpochDateTime = 25569.0;

// The current local date-time. Cheap enough to call on every update: the local UTC offset is
// looked up once a minute (offsets change on whole minutes).
TDateTime NowDateTime();

TDateTime QDateTimeToDateTime(const QDateTime& dateTime);
// The date and the time of day as they stand, with no time zone looked up (a QDateTime looks one
// up); both invalid for a number that is no date (NaN, infinite, out of range).
struct TLocalDateTime
{
    QDate Date;
    QTime Time;
};
TLocalDateTime SplitDateTime(TDateTime dateTime);
