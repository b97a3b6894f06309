#pragma once

#include "history/HistoryReading.h"

#include <QString>
#include <QVector>

#include <optional>

// The history database: one connection, used by the thread that opened it (a Qt SQL connection
// belongs to one thread). Readings are kept per input in blocks of one UTC day at most, each
// reading packed as its change from the one before, so a year of 192 probes fits in some 100 MB
// and a commit only appends.
class THistoryStore
{
public:
    THistoryStore();
    ~THistoryStore();
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    // Opens or creates the database file (WAL). False with a Russian ErrorText() on failure.
    bool Open(const QString& path);
    // Before Open: every reading appended also goes to the publishing outbox, in the same
    // transaction.
    void KeepOutbox(bool on);
    void Close();
    bool IsOpen() const;

    // The readings of one input with from <= Time <= to, oldest first.
    QVector<THistoryReading> Query(int input, qint64 from, qint64 to) const;

    // Keeps the readings in one transaction: all of them or, on failure, none (false, ErrorText).
    bool Append(const QVector<THistoryReading>& readings);

    // Removes the readings older than before (ms since the epoch), whole days at a time: a day's
    // block goes once its last possible reading is older. False with ErrorText on failure.
    bool Prune(qint64 before);

    // The start of the newest block (ms since the epoch), on the newest day stored. Nothing for an
    // empty store or a failure (then ErrorText).
    std::optional<qint64> Newest() const;

    QString ErrorText() const;

private:
    struct TData;
    TData* Data_;
};

// The database of the program: DATA/history.sqlite in the program folder.
QString HistoryPath();
