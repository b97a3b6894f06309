#include "device/PollTimer.h"

#include "common/IniFile.h"
#include "common/ProgramFolder.h"

#include <QFile>

TCustomTimer::TCustomTimer(QObject* parent) : QObject(parent)
{
    // A coarse timer may tick up to 5 % early: the operator's period is a lower bound.
    Timer_.setTimerType(Qt::PreciseTimer);
    Timer_.setInterval(500);
    QObject::connect(&Timer_, &QTimer::timeout, this, [this] {
        if (OnTimer)
            OnTimer(this);
    });
}

QString TCustomTimer::IniPath() const
{
    return ProgramFolder() + QStringLiteral("INI/") + IniFileName;
}

void TCustomTimer::LoadFromIni()
{
    const QString path = IniPath();
    if (!QFile::exists(path)) {
        QFile file(path);
        (void)file.open(QIODevice::WriteOnly);  // fails quietly when INI does not exist
    }
    const TIniFile ini(path);
    // As the operator's prompt allows: a shorter period would keep the request thread spinning.
    Timer_.setInterval(ini.ReadInteger(Name, QStringLiteral("Interval"), 500, kMinPollInterval, kMaxPollInterval));
    SetEnabled(ini.ReadBool(Name, QStringLiteral("Enabled"), false));
}

bool TCustomTimer::SaveToIni(QString* error) const
{
    TIniFile ini(IniPath());
    ini.WriteBool(Name, QStringLiteral("Enabled"), Enabled());
    ini.WriteInteger(Name, QStringLiteral("Interval"), Interval());
    return ini.SaveTelling(error);
}

void TCustomTimer::SetInterval(int interval)
{
    if (interval < 0 || interval == Interval())
        return;
    Timer_.setInterval(interval);
    if (OnChange)
        OnChange(this);
}

void TCustomTimer::SetSuspended(bool suspended)
{
    SetEnabled(!suspended);
}

void TCustomTimer::Start()
{
    SetEnabled(true);
    if (OnChange)
        OnChange(this);
}

void TCustomTimer::Stop()
{
    SetEnabled(false);
    if (OnChange)
        OnChange(this);
}

void TCustomTimer::SetEnabled(bool enabled)
{
    if (enabled)
        Timer_.start();  // restarts the period when already running
    else
        Timer_.stop();
}
