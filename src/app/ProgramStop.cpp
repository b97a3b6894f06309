#include "app/ProgramStop.h"

#include "app/FormMain.h"
#include "common/StopSignals.h"
#include "station/StationUnits.h"

#include <QApplication>
#include <QDateTime>
#include <QLocale>

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
    StopStationUnits();
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
    static const bool registered = [] {
        // exit() frees the toolkit's lazily made objects in reverse order of their making: the
        // calendars and the locale that the logs' dated names and time stamps need are made now,
        // so that they outlive the shut-down below.
        const QDateTime now = QDateTime::currentDateTime();
        (void)now.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss,zzz"));
        (void)now.date().toString(QStringLiteral("yyyy_MM_dd"));
        (void)QLocale::system().toString(now, QLocale::LongFormat);
        return std::atexit(ShutDownAtExit) == 0;
    }();
    (void)registered;
    guardedForm = &form;
}

TPlatformExitGuard::~TPlatformExitGuard()
{
    guardedForm = nullptr;
}
