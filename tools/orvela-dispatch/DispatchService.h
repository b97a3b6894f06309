#pragma once

#include "DispatchSettings.h"

// The service: the broker's messages into the fleet, the fleet to the pages a few times a second,
// the alarm list into DATA/dispatch.sqlite, the alerts to their command. Runs until SIGINT,
// SIGTERM or SIGHUP; the exit code (0, or 1 when it cannot start, with the reason on standard error).
int RunDispatchService(const TDispatchSettings& settings);
