#pragma once

// The poll period the operator may choose, ms; INI/Timer.ini is held to it.
constexpr int kMinPollInterval = 300;
constexpr int kMaxPollInterval = 20000;

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// The poll timer: ticks every Interval ms while enabled; its state is kept in INI/Timer.ini in
// the section named after the timer.
class TCustomTimer : public QObject
{
public:
    using TNotify = std::function<void(TCustomTimer* sender)>;

    explicit TCustomTimer(QObject* parent = nullptr);

    QString Name = QStringLiteral("CustomTimer");
    QString IniFileName = QStringLiteral("Timer.ini");
    // The tick, installed by whoever polls.
    TNotify OnTimer;
    // After Start, Stop and an interval change.
    TNotify OnChange;

    bool Enabled() const { return Timer_.isActive(); }
    int Interval() const { return Timer_.interval(); }

    // Enabled and Interval from the file, without notification. A missing file is created empty
    // (not its folder); an interval that is not a number of ms keeps 500.
    void LoadFromIni();
    // False when the file could not be written; error, when given, then says which file and why,
    // in Russian.
    bool SaveToIni(QString* error = nullptr) const;
    // Ignores a negative interval and the current one.
    void SetInterval(int interval);
    // Disables (or enables) without notification; enabling restarts the period.
    void SetSuspended(bool suspended);
    void Start();
    void Stop();

private:
    QString IniPath() const;
    void SetEnabled(bool enabled);

    QTimer Timer_;
};
