#include "app/ProgramStop.h"

#include "app/FormMain.h"
#include "common/StopSignals.h"
#include "device/ProgramUnits.h"
#include "history/HistoryUnit.h"

#include <QApplication>

#include <cstdlib>
#include <utility>

namespace {

TFormMain* guardedForm = nullptr;

// Registered after the units' objects were made, so it runs before their destructors.
void ShutDownAtExit()
{
    TFormMain* form = std::exchange(guardedForm, nullptr);
    if (!form)
        return;
    form->FormClose();
    HistoryShutdown();
    StopUnits();
}

}  // namespace

void EndOnStopSignals(TFormMain& form)
{
    WatchStopSignals(&form, [&form] {
        form.close();
        QApplication::exit(0);
    });
}

TPlatformExitGuard::TPlatformExitGuard(TFormMain& form)
{
    static const bool registered = std::atexit(ShutDownAtExit) == 0;
    (void)registered;
    guardedForm = &form;
}

TPlatformExitGuard::~TPlatformExitGuard()
{
    guardedForm = nullptr;
}
