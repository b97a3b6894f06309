#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>

// A dated text log: every write looks at the date and names the file anew when the day has changed,
// so a program running past midnight continues in the next day's file, and opens, appends and closes the file, so a record
// is on disk at once. A record is written whole or not at all. A log that cannot be written says
// so once (standard error and OnTrouble), tries again with every record, and says when it writes
// again.
class TFileTXT
{
public:
    using TClock = std::function<QDateTime()>;
    // The log's trouble in Russian; an empty text when it writes again. Called from the thread
    // that writes, with the log's lock held: it must not write to this log.
    using TTrouble = std::function<void(const QString& text)>;

    // folder: the program folder, taken at start-up. clock: local time, replaceable in tests.
    explicit TFileTXT(const QString& folder, TClock clock = {});
    virtual ~TFileTXT() = default;

    TFileTXT(const TFileTXT&) = delete;
    TFileTXT& operator=(const TFileTXT&) = delete;

    // The file of the last write.
    const QString& FileName() const { return FileName_; }

    // Switched from the UI thread while the request thread writes.
    std::atomic<bool> Enabled{true};
    // Set before the first write.
    TTrouble OnTrouble;

    void WriteLine(const QString& text);
    void WriteStart();

    // "Лог событий", "Лог аварий": how messages name the log.
    virtual QString Title() const = 0;

protected:
    // Sets FileName_ from the day of the write under way.
    virtual void MakeFileName() = 0;
    // Asked before each record, with the lock held: false skips the record.
    virtual bool MayWrite() { return true; }

    // The frame of every write. Each entry of lines is a line; stamp marks those that start with
    // the time stamp and two blanks.
    void Write(const QStringList& lines, const QList<bool>& stamped);
    // After each record: an empty trouble when it was written, else the reason it was not.
    void Tell(const QString& trouble);

    const QString& Folder() const { return Folder_; }
    const QDateTime& Now() const { return Now_; }
    std::mutex& Mutex() { return Mutex_; }
    QDateTime ReadClock() const { return Clock_(); }

    QString FileName_;

private:
    QString Folder_;
    TClock Clock_;
    QDateTime Now_;
    QDate NamedDay_;
    bool Failing_ = false;
    // Both threads write the event log, and any thread may write the alarm log.
    std::mutex Mutex_;
};
