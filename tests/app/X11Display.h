#pragma once

#include "VirtualDisplay.h"

#include <gtest/gtest.h>

// The X server the test binary started; its name is empty, and its error says why, when it could
// not start one.
const VirtualDisplay& TestDisplay();

// Skips the test, saying why, where no X server runs.
#define SKIP_WITHOUT_X11()                                                                          \
    do {                                                                                            \
        if (TestDisplay().Name().empty())                                                           \
            GTEST_SKIP() << "no X server for the X11 platform: " << TestDisplay().Error();          \
    } while (false)
