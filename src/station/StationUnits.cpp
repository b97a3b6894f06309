#include "station/StationUnits.h"

#include "device/ProgramUnits.h"
#include "history/HistoryUnit.h"
#include "publish/PublishUnit.h"

void StartStationUnits()
{
    StartUnits();
    StartRecording();
}

void StartRecording()
{
    HistoryStartup(PublishingEnabled());
    PublishStartup();
}

void StopStationUnits()
{
    HistoryShutdown();
    PublishShutdown();
    StopUnits();
}

void RestartRecording()
{
    HistoryShutdown();
    PublishShutdown();
    StartRecording();
}
