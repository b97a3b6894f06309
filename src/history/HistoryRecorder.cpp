#include "history/HistoryRecorder.h"

#include "common/OperatorMessage.h"
#include "common/PostedCalls.h"
#include "history/HistoryStore.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"

#include <QDateTime>
#include <QTextStream>

#include <algorithm>
#include <chrono>

namespace {

// Batches closer than this are joined: fewer transactions, same loss at a kill.
constexpr auto kBatchSpacing = std::chrono::seconds(1);
// Pruning runs at the start and then once a day.
constexpr auto kPruneSpacing = std::chrono::hours(24);
// While writes fail (a full disk, a database locked by another program), they are tried again so often.
constexpr auto kRetrySpacing = std::chrono::seconds(5);
constexpr qint64 kMsPerDay = 24LL * 60 * 60 * 1000;

}  // namespace

THistoryRecorder::THistoryRecorder(const QString& path, int retentionDays, bool outbox, TClock clock)
    : Path_(path),
      Clock_(clock ? std::move(clock) : TClock(&QDateTime::currentMSecsSinceEpoch)),
      Calls_(std::make_unique<TPostedCalls>())
{
    const qint64 retentionMs = qint64(qMax(1, retentionDays)) * kMsPerDay;
    Writer_ = std::thread([this, retentionMs, outbox] { Run(retentionMs, outbox); });
}

THistoryRecorder::~THistoryRecorder()
{
    Flush();
    {
        std::lock_guard lock(Mutex_);
        Stop_ = true;
    }
    Wake_.notify_all();
    Writer_.join();
    // A failure whose message did not reach the event loop is still told.
    QString failure;
    {
        std::lock_guard lock(Mutex_);
        failure = Failure_;
    }
    if (!failure.isEmpty())
        ReportAtExit(failure);
}

void THistoryRecorder::Record(const THistoryReading& reading, int intervalMinutes)
{
    auto last = LastKept_.find(reading.Input);
    if (last != LastKept_.end()) {
        const qint64 intervalMs =
            qint64(intervalMinutes > 0 ? intervalMinutes : kDefaultIntervalMinutes) * 60 * 1000;
        // A clock set back also keeps the reading: the old time no longer measures anything.
        const qint64 elapsed = reading.Time - last->Time;
        if (reading.SameValues(*last) && elapsed >= 0 && elapsed < intervalMs)
            return;
    }
    LastKept_.insert(reading.Input, reading);
    Queued_.append(reading);
}

void THistoryRecorder::Flush()
{
    if (Queued_.isEmpty())
        return;
    bool resting = false;
    {
        std::lock_guard lock(Mutex_);
        if (!Failed_)
            Pending_.push_back(std::move(Queued_));
        resting = Resting_;
    }
    Queued_ = {};
    // A writer resting between batches takes this one when the rest is over: waking it now would
    // only cost it a turn on the processor at every cycle.
    if (!resting)
        Wake_.notify_all();
}

void THistoryRecorder::WaitWritten()
{
    std::unique_lock lock(Mutex_);
    Written_.wait(lock, [this] { return Failed_ || Stop_ || (Pending_.empty() && !Writing_); });
}

void THistoryRecorder::WaitOpened()
{
    std::unique_lock lock(Mutex_);
    Written_.wait(lock, [this] { return Opened_; });
}

bool THistoryRecorder::Failed() const
{
    std::lock_guard lock(Mutex_);
    return Failed_ || Failing_;
}

qint64 THistoryRecorder::Dropped() const
{
    std::lock_guard lock(Mutex_);
    return Dropped_;
}

void THistoryRecorder::Report(const QString& text)
{
    {
        std::lock_guard lock(Mutex_);
        Failure_.clear();
    }
    if (Reported_)
        return;
    Reported_ = true;
    if (TAlarm* alarm = AlarmLog())
        alarm->WriteLine(QStringLiteral("История показаний не ведется. ") + text);
    ShowMessage(kCaptionWarning, QStringLiteral("История показаний не ведется.\r") + text, TMessageIcon::Warning);
}

void THistoryRecorder::ReportResumed(qint64 lost)
{
    // Told the next time writing stops again.
    Reported_ = false;
    QString line = QStringLiteral("История показаний снова ведется");
    if (lost > 0)
        line += QStringLiteral("; не записано показаний: %1").arg(lost);
    if (TAlarm* alarm = AlarmLog())
        alarm->WriteLine(line);
    QTextStream(stderr) << line << Qt::endl;
}

void THistoryRecorder::ReportAtExit(const QString& text)
{
    if (Reported_)
        return;
    Reported_ = true;
    const QString line = QStringLiteral("История показаний не ведется. ") + text;
    if (TAlarm* alarm = AlarmLog())
        alarm->WriteLine(line);
    QTextStream(stderr) << line << Qt::endl;
}

void THistoryRecorder::Run(qint64 retentionMs, bool outbox)
{
    using TSteady = std::chrono::steady_clock;
    THistoryStore store;
    store.KeepOutbox(outbox);
    bool ok = store.Open(Path_);
    // The retention is measured from the stored readings, never from a clock alone: a clock set
    // years ahead would otherwise empty the store. The newest stored day, moved on by the time
    // this run has really lasted, is the latest the clock is believed; a clock behind it is taken
    // as it is, which only keeps more.
    const auto started = TSteady::now();
    const std::optional<qint64> newest = ok ? store.Newest() : std::nullopt;
    const qint64 anchor = newest ? *newest : Clock_();
    auto prune = [&] {
        const qint64 ran = std::chrono::duration_cast<std::chrono::milliseconds>(TSteady::now() - started).count();
        return store.Prune(std::min(Clock_(), anchor + ran) - retentionMs);
    };
    // Before any batch, so that a reading flushed and waited for has seen the first pruning.
    ok = ok && prune();
    std::unique_lock lock(Mutex_);
    Opened_ = true;
    Written_.notify_all();
    if (!ok) {
        // A database that cannot be opened stays so for the run.
        Failed_ = true;
        Pending_.clear();
        Failure_ = store.ErrorText();
        Written_.notify_all();
        const QString text = Failure_;
        lock.unlock();
        Calls_->Post([this, text] { Report(text); });
        return;
    }
    auto nextPrune = TSteady::now() + kPruneSpacing;
    auto nextTry = TSteady::time_point::max();
    // Readings not committed yet, oldest first: more than one batch only while writes fail.
    QVector<THistoryReading> held;
    qint64 droppedSinceFailure = 0;
    for (;;) {
        Wake_.wait_until(lock, std::min(nextPrune, nextTry), [this] { return Stop_ || !Pending_.empty(); });
        std::vector<QVector<THistoryReading>> batches;
        batches.swap(Pending_);
        const bool stop = Stop_;
        const bool failing = Failing_;
        const auto now = TSteady::now();
        // While writes fail the readings wait for the next try; the last one is at the stop.
        const bool write = failing ? now >= nextTry || stop : !batches.empty();
        Writing_ = true;
        lock.unlock();
        for (QVector<THistoryReading>& b : batches)
            held += std::move(b);
        const qsizetype excess = std::max<qsizetype>(0, held.size() - kHeldLimit);
        held.remove(0, excess);
        droppedSinceFailure += excess;
        const bool written = write && !held.isEmpty() && store.Append(held);
        if (written)
            held.clear();
        const QString failure = write && !written && !held.isEmpty() ? store.ErrorText() : QString();
        if (!stop && now >= nextPrune && (written || !failing)) {
            // A prune that fails is tried again with the next write.
            nextPrune = prune() ? TSteady::now() + kPruneSpacing : now + kRetrySpacing;
        }
        lock.lock();
        Writing_ = false;
        Dropped_ += excess;
        if (!failure.isEmpty() && !failing) {
            Failing_ = true;
            Failure_ = failure;
            Calls_->Post([this, failure] { Report(failure); });
        }
        if (!failure.isEmpty())
            nextTry = now + kRetrySpacing;
        if (written && failing) {
            Failing_ = false;
            nextTry = TSteady::time_point::max();
            const qint64 lost = droppedSinceFailure;
            droppedSinceFailure = 0;
            Calls_->Post([this, lost] { ReportResumed(lost); });
        }
        Written_.notify_all();
        if (stop)
            break;
        if (written) {
            // Readings of the next cycles gather meanwhile and go in one transaction.
            Resting_ = true;
            Wake_.wait_for(lock, kBatchSpacing, [this] { return Stop_; });
            Resting_ = false;
        }
    }
}
