#pragma once

#include "logs/FileTXT.h"

#include <QDate>

// The event log: every exchange on the line. LOG/log_yyyy_mm_dd.txt. At some 190 MB a day it
// would fill any disk, so day files older than KeepDays go (at start and at the first write of
// each day), and below FreeFloor bytes free on the program folder's disk it stops until space
// returns, saying so through OnLowSpace.
class TLog : public TFileTXT
{
public:
    using TFileTXT::TFileTXT;

    static constexpr int kDefaultKeepDays = 30;
    static constexpr qint64 kDefaultFreeFloor = 500LL * 1024 * 1024;

    // Set before the first write.
    int KeepDays = kDefaultKeepDays;
    qint64 FreeFloor = 0;  // bytes; 0: no floor (the program's comes from its settings)
    // The stop and the resumption, in Russian; called with the log's lock held.
    TTrouble OnLowSpace;

    void WriteExchange(const QString& name, const QString& request, const QString& answer);
    // Removes the day files older than KeepDays before today; the alarm log's are kept.
    void PruneOldFiles();

    QString Title() const override { return QStringLiteral("Лог событий"); }

protected:
    void MakeFileName() override;
    bool MayWrite() override;

private:
    void Prune(const QDate& today);

    QDate PrunedOn_;
    bool Stopped_ = false;
};

// The alarm log: state changes the operator must notice. LOG/alarm_yyyy_mm_dd.txt. Kept for good:
// it is small and it is the operator's record.
class TAlarm : public TFileTXT
{
public:
    using TFileTXT::TFileTXT;

    QString Title() const override { return QStringLiteral("Лог аварий"); }

protected:
    void MakeFileName() override;
};
