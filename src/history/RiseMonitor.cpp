#include "history/RiseMonitor.h"

#include "history/HistoryStore.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <memory>

// Lives in the monitor's thread; its database connection is opened and closed there.
class TRiseMonitor::TWorker : public QObject
{
public:
    TWorker(const QString& path, const TRiseSettings& settings) : Path_(path), Settings_(settings) {}

    std::array<std::optional<double>, 6> Rates(int input)
    {
        std::array<std::optional<double>, 6> rates;
        // The recording creates the database; until then there is nothing to watch. A database that
        // cannot be opened is reported by the recording too; no rise is seen then, and the next
        // check tries again.
        if (!Store_ || !Store_->IsOpen()) {
            if (!QFileInfo::exists(Path_))
                return rates;
            Store_ = std::make_unique<THistoryStore>();
            if (!Store_->Open(Path_))
                return rates;
        }
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const QVector<THistoryReading> readings = Store_->Query(input, now - Settings_.WindowMs(), now);
        for (int i = 0; i < 6; ++i)
            rates[i] = RiseRate(readings, i + 1, Settings_, now);
        return rates;
    }

    void Close() { Store_.reset(); }

private:
    QString Path_;
    TRiseSettings Settings_;
    std::unique_ptr<THistoryStore> Store_;
};

TRiseMonitor::TRiseMonitor(const QString& databasePath, const TRiseSettings& settings, QObject* parent)
    : QObject(parent), CheckIntervalMs(std::clamp<qint64>(settings.WindowMs() / 10, 1000, 60'000)), Tracker_(settings)
{
    Thread_.setObjectName(QStringLiteral("RiseMonitor"));
    Worker_ = new TWorker(databasePath, settings);
    Worker_->moveToThread(&Thread_);
    Thread_.start(QThread::LowPriority);
}

TRiseMonitor::~TRiseMonitor()
{
    OnRise = nullptr;
    OnRiseEnd = nullptr;
    OnChecked = nullptr;
    TWorker* worker = Worker_;
    QMetaObject::invokeMethod(worker, [worker] { worker->Close(); }, Qt::BlockingQueuedConnection);
    Thread_.quit();
    Thread_.wait();
    delete worker;
}

void TRiseMonitor::Check(int input)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (Pending_.contains(input))
        return;
    if (auto last = LastCheck_.constFind(input); last != LastCheck_.cend() && now - *last < CheckIntervalMs)
        return;
    LastCheck_.insert(input, now);
    Pending_.insert(input);
    TWorker* worker = Worker_;
    // The monitor outlives every check: its destructor waits for the worker's queue to drain. An
    // answer still posted when it goes is dropped with it.
    TRiseMonitor* self = this;
    QMetaObject::invokeMethod(worker, [worker, self, input] {
        const std::array<std::optional<double>, 6> rates = worker->Rates(input);
        QMetaObject::invokeMethod(self, [self, input, rates] { self->Apply(input, rates); });
    });
}

void TRiseMonitor::Apply(int input, const std::array<std::optional<double>, 6>& rates)
{
    Pending_.remove(input);
    const unsigned before = Tracker_.RisingMask(input);
    for (const TRiseTracker::TRise& rise : Tracker_.Update(input, rates))
        if (OnRise)
            OnRise(input, rise.Sensor, rise.RatePerDay);
    const unsigned ended = before & ~Tracker_.RisingMask(input);
    for (int i = 0; i < 6; ++i)
        if ((ended >> i & 1u) && OnRiseEnd)
            OnRiseEnd(input, i + 1, rates[i]);
    if (OnChecked)
        OnChecked(input);
}
