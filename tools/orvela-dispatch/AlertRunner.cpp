#include "AlertRunner.h"

#include <QDateTime>
#include <QSet>
#include <QTextStream>

namespace {

constexpr int kLongestRetryMs = 10 * 60 * 1000;
constexpr int kRunLimitMs = 60 * 1000;

}  // namespace

TAlertRunner::TAlertRunner(const QString& command, int firstRetryMs, QObject* parent)
    : QObject(parent), Command_(command), FirstRetry_(firstRetryMs)
{
    Wake_.setSingleShot(true);
    connect(&Wake_, &QTimer::timeout, this, [this] { Next(); });
    Limit_.setSingleShot(true);
    connect(&Limit_, &QTimer::timeout, this, [this] {
        if (Process_)
            Process_->kill();
    });
}

TAlertRunner::~TAlertRunner()
{
    if (Process_) {
        Process_->disconnect();
        Process_->kill();
        Process_->waitForFinished(2000);
    }
}

void TAlertRunner::Add(const QString& key, bool began, const QByteArray& json, const QString& what)
{
    Queue_.append({key, began, json, what, 0, 0});
    Next();
}

void TAlertRunner::Next()
{
    if (Process_ || Queue_.isEmpty())
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    // The first one due whose alarm has no change waiting before it: an end never goes before its
    // begin, and one alarm that keeps failing holds no other back.
    QSet<QString> waiting;
    qint64 soonest = 0;
    Current_ = -1;
    for (qsizetype i = 0; i < Queue_.size() && Current_ < 0; ++i) {
        const TAlert& alert = Queue_[i];
        if (waiting.contains(alert.Key))
            continue;
        waiting.insert(alert.Key);
        if (alert.Due <= now)
            Current_ = i;
        else if (soonest == 0 || alert.Due < soonest)
            soonest = alert.Due;
    }
    if (Current_ < 0) {
        Wake_.start(int(qBound<qint64>(1, soonest - now, qint64(kLongestRetryMs))));
        return;
    }
    Process_ = std::make_unique<QProcess>();
    Process_->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(Process_.get(), &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit)
            Finished(false, QStringLiteral("команда прервана"));
        else
            Finished(code == 0, QStringLiteral("команда завершилась с кодом %1").arg(code));
    });
    connect(Process_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Finished(false, QStringLiteral("команда не запустилась"));
    });
    Process_->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), Command_});
    Process_->write(Queue_[Current_].Json + '\n');
    Process_->closeWriteChannel();
    Limit_.start(kRunLimitMs);
}

void TAlertRunner::Finished(bool ok, const QString& reason)
{
    if (!Process_ || Current_ < 0)
        return;
    Limit_.stop();
    Process_.release()->deleteLater();
    // Only appended to while the command ran: the alert is where it was.
    TAlert& alert = Queue_[Current_];
    if (ok) {
        const TAlert sent = Queue_.takeAt(Current_);
        if (OnSent)
            OnSent(sent.Key, sent.Began);
    } else {
        const int wait = int(qMin<qint64>(qint64(FirstRetry_) << qMin(alert.Failures, 20), kLongestRetryMs));
        ++alert.Failures;
        alert.Due = QDateTime::currentMSecsSinceEpoch() + wait;
        QTextStream(stderr) << QStringLiteral("Оповещение о тревоге «%1» не отправлено: %2; повтор через %3 с\n")
                                   .arg(alert.What, reason)
                                   .arg((wait + 999) / 1000);
    }
    Current_ = -1;
    Next();
}
