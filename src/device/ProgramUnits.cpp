#include "device/ProgramUnits.h"

#include "device/Polling.h"
#include "device/VantorUnit.h"
#include "logs/LogsUnit.h"
#include "transport/TransmitterUnit.h"

void StartUnits()
{
    VantorStartup();
    LogsStartup();
    TransmitterStartup();
    PollingStartup();
}

void StopUnits()
{
    PollingShutdown();
    TransmitterShutdown();
    LogsShutdown();
    VantorShutdown();
}
