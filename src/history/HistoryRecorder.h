#pragma once

#include "history/HistoryReading.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TPostedCalls;

// Keeps polled readings in the history without holding up the thread that polls: Record only
// filters and queues; a writer thread of its own, with its own connection, commits the queue one
// transaction per batch and prunes what is older than the retention. A database that cannot be
// opened is reported once to the operator; recording then stops and polling goes on. A write that
// fails (a full disk, a lock held by another program) is reported once; the readings are kept in
// memory, at most kHeldLimit of them (the oldest dropped first and counted), and written when a
// later try succeeds, which is reported once too.
class THistoryRecorder
{
public:
    // Used when a probe's interval is not known (0).
    static constexpr int kDefaultIntervalMinutes = 5;
    // Readings kept while writes fail: an hour of 192 inputs polled every 24 s.
    static constexpr qsizetype kHeldLimit = 192 * 150;

    // Wall-clock time in ms since the epoch; replaceable in tests.
    using TClock = std::function<qint64()>;

    // outbox: the readings also go to the publishing outbox (see HistoryOutbox.h).
    THistoryRecorder(const QString& path, int retentionDays, bool outbox = false, TClock clock = {});
    // Finishes the batch being written and stops the writer.
    ~THistoryRecorder();
    THistoryRecorder(const THistoryRecorder&) = delete;
    THistoryRecorder& operator=(const THistoryRecorder&) = delete;

    // Queues the reading when it differs from the last one kept for its input or when the
    // probe's interval has passed since then. Thread of the creator only.
    void Record(const THistoryReading& reading, int intervalMinutes);
    // Ends a batch: the queued readings go to the writer (a polling cycle's end).
    void Flush();

    // Blocks until every reading flushed so far is committed or dropped after a failure.
    void WaitWritten();
    // Blocks until the writer has opened the database (or failed to): another connection that
    // comes meanwhile could keep it from setting the file up.
    void WaitOpened();
    // The database could not be opened, or writes fail now.
    bool Failed() const;
    // Readings dropped while writes failed, in all.
    qint64 Dropped() const;

private:
    void Run(qint64 retentionMs, bool outbox);
    void Report(const QString& text);
    void ReportResumed(qint64 lost);
    // After the window is gone nobody could close a message box: the alarm log and standard
    // error instead.
    void ReportAtExit(const QString& text);

    QString Path_;
    TClock Clock_;
    QHash<int, THistoryReading> LastKept_;
    QVector<THistoryReading> Queued_;  // creator's thread, until Flush

    mutable std::mutex Mutex_;
    std::condition_variable Wake_;
    std::condition_variable Written_;
    // Handed to the writer, batch by batch: handing over never copies readings under the lock.
    std::vector<QVector<THistoryReading>> Pending_;
    bool Writing_ = false;
    bool Resting_ = false;  // between two batches, woken only to stop
    bool Opened_ = false;  // opened or failed
    bool Stop_ = false;
    bool Failed_ = false;   // the database could not be opened
    bool Failing_ = false;  // writes fail; readings are held
    qint64 Dropped_ = 0;
    QString Failure_;     // text of the failure, until reported
    bool Reported_ = false;  // creator's thread

    std::unique_ptr<TPostedCalls> Calls_;
    std::thread Writer_;
};
