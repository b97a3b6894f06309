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
    return Failed_;
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
    ShowMessage(kCaptionWarning, QStringLiteral("История показаний не ведется.\r") + text, TMessageIcon::Warning);
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
    THistoryStore store;
    store.KeepOutbox(outbox);
    bool ok = store.Open(Path_);
    // The retention is measured from the stored readings, never from a clock alone: a clock set
    // years ahead would otherwise empty the store. The newest stored day, moved on by the time
    // this run has really lasted, is the latest the clock is believed; a clock behind it is taken
    // as it is, which only keeps more.
    const auto started = std::chrono::steady_clock::now();
    const std::optional<qint64> newest = ok ? store.Newest() : std::nullopt;
    const qint64 anchor = newest ? *newest : Clock_();
    auto prune = [&] {
        const qint64 ran = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - started).count();
        return store.Prune(std::min(Clock_(), anchor + ran) - retentionMs);
    };
    // Before any batch, so that a reading flushed and waited for has seen the first pruning.
    ok = ok && prune();
    auto nextPrune = std::chrono::steady_clock::now() + kPruneSpacing;
    std::unique_lock lock(Mutex_);
    Opened_ = true;
    Written_.notify_all();
    while (ok) {
        Wake_.wait_until(lock, nextPrune, [this] { return Stop_ || !Pending_.empty(); });
        if (!Pending_.empty()) {
            std::vector<QVector<THistoryReading>> batches;
            batches.swap(Pending_);
            Writing_ = true;
            lock.unlock();
            QVector<THistoryReading> batch;
            for (QVector<THistoryReading>& b : batches)
                batch += std::move(b);
            ok = store.Append(batch);
            lock.lock();
            Writing_ = false;
            Written_.notify_all();
            if (ok && !Stop_) {
                // Readings of the next cycles gather meanwhile and go in one transaction.
                Resting_ = true;
                Wake_.wait_for(lock, kBatchSpacing, [this] { return Stop_; });
                Resting_ = false;
            }
            continue;
        }
        if (Stop_)
            break;
        if (std::chrono::steady_clock::now() >= nextPrune) {
            lock.unlock();
            ok = prune();
            lock.lock();
            nextPrune = std::chrono::steady_clock::now() + kPruneSpacing;
        }
    }
    if (ok)
        return;
    Failed_ = true;
    Pending_.clear();
    Failure_ = store.ErrorText();
    Written_.notify_all();
    const QString text = Failure_;
    lock.unlock();
    Calls_->Post([this, text] { Report(text); });
}
