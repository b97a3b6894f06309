#include "logs/Logs.h"

#include "common/TextFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

QString DatedName(const QString& folder, const char* prefix, const QDateTime& now)
{
    const QDate day = now.date();
    return folder + QStringLiteral("LOG/") + QLatin1String(prefix) +
           (day.isValid() ? QString::asprintf("%04d_%02d_%02d", day.year(), day.month(), day.day()) : QString())
           + QStringLiteral(".txt");
}

QString Megabytes(qint64 bytes)
{
    return QString::number(bytes / (1024 * 1024)) + QStringLiteral(" МБ");
}

}  // namespace

void TLog::WriteExchange(const QString& name, const QString& request, const QString& answer)
{
    Write({name, u'[' + request + QStringLiteral("] -> [") + answer + u']'}, {true, false});
}

void TLog::MakeFileName()
{
    FileName_ = DatedName(Folder(), "log_", Now());
}

void TLog::PruneOldFiles()
{
    const QDate today = ReadClock().date();
    std::lock_guard lock(Mutex());
    Prune(today);
}

void TLog::Prune(const QDate& today)
{
    PrunedOn_ = today;
    const QDate oldest = today.addDays(-qMax(1, KeepDays));
    static const QRegularExpression dayFile(QStringLiteral("^log_(\\d{4}_\\d{2}_\\d{2})\\.txt$"));
    const QDir folder(Folder() + QStringLiteral("LOG"));
    for (const QString& name : folder.entryList({QStringLiteral("log_*.txt")}, QDir::Files)) {
        const QRegularExpressionMatch match = dayFile.match(name);
        if (!match.hasMatch())
            continue;
        // Dated by its name, which does not change when the file is copied or touched.
        const QDate day = QDate::fromString(match.captured(1), QStringLiteral("yyyy_MM_dd"));
        if (day.isValid() && day < oldest)
            QFile::remove(folder.filePath(name));
    }
}

bool TLog::MayWrite()
{
    if (Now().date() != PrunedOn_)
        Prune(Now().date());
    if (FreeFloor <= 0)
        return true;
    const qint64 free = FreeBytes(Folder());
    if (free < 0)
        return true;
    // A tenth above the floor before it starts again, so that a disk near the floor does not
    // switch the log on and off with every cycle.
    const bool stop = Stopped_ ? free < FreeFloor + FreeFloor / 10 : free < FreeFloor;
    if (stop != Stopped_) {
        Stopped_ = stop;
        if (OnLowSpace)
            OnLowSpace(stop ? Title() + QStringLiteral(" остановлен: на диске программы осталось ") + Megabytes(free) +
                                  QStringLiteral(", меньше ") + Megabytes(FreeFloor)
                            : Title() + QStringLiteral(" снова ведется: на диске программы свободно ") + Megabytes(free));
    }
    return !Stopped_;
}

void TAlarm::MakeFileName()
{
    FileName_ = DatedName(Folder(), "alarm_", Now());
}
