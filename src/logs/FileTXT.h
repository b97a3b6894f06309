#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// A dated text log: every write recomputes the file name from the date, so a program running past
// midnight continues in the next day's file, and opens, appends, flushes and closes the file, so
// a line is on disk at once. A line that cannot be written is lost; the caller never hears of it.
class TFileTXT
{
public:
    using TClock = std::function<QDateTime()>;

    // folder: the program folder, taken at start-up. clock: local time, replaceable in tests.
    explicit TFileTXT(const QString& folder, TClock clock = {});
    virtual ~TFileTXT() = default;

    TFileTXT(const TFileTXT&) = delete;
    TFileTXT& operator=(const TFileTXT&) = delete;

    // The file of the last write.
    const QString& FileName() const { return FileName_; }

    // Switched from the UI thread while the request thread writes.
    std::atomic<bool> Enabled{true};

    void WriteLine(const QString& text);
    void WriteStart();

protected:
    // Sets FileName_ from the day of the write under way.
    virtual void MakeFileName() = 0;

    // The frame of every write. Each entry of lines is a line; stamp marks those that start with
    // the time stamp and two blanks.
    void Write(const QStringList& lines, const QList<bool>& stamped);

    const QString& Folder() const { return Folder_; }
    const QDateTime& Now() const { return Now_; }

    QString FileName_;

private:
    QString Folder_;
    TClock Clock_;
    QDateTime Now_;
};
