#pragma once

#include "device/Exchange.h"

// The thread making an exchange holds the exchange lock from its request to its log line: while
// another thread holds it, an exchange is on the line.
inline bool ExchangeInFlight()
{
    if (!ExchangeLock.try_lock())
        return true;
    ExchangeLock.unlock();
    return false;
}
