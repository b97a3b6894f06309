#pragma once

#include <QtGlobal>

// Enable flags, set-point states and exchange states.
enum TThreeStates : quint8 { tsUnknown = 0, tsFalse = 1, tsTrue = 2 };

// Never tsUnknown.
inline constexpr TThreeStates BoolToThreeStates(bool value)
{
    return value ? tsTrue : tsFalse;
}

// True only for tsTrue.
inline constexpr bool ThreeStatesToBool(int state)
{
    return state == tsTrue;
}
