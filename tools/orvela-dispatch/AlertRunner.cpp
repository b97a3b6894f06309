#include "AlertRunner.h"

#include <QDateTime>
#include <QTextStream>

namespace {

constexpr int kLongestRetryMs = 10 * 60 * 1000;
constexpr int kRunLimitMs = 60 * 1000;

}  // namespace

TAlertRunner::TAlertRunner(const QString& command, QObject* parent) : QObject(parent), Command_(command)
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
    qsizetype due = -1;
    qint64 soonest = 0;
    for (qsizetype i = 0; i < Queue_.size(); ++i) {
        if (Queue_[i].Due <= now) {
            due = i;
            break;
        }
        if (soonest == 0 || Queue_[i].Due < soonest)
            soonest = Queue_[i].Due;
    }
    if (due < 0) {
        Wake_.start(int(qMax<qint64>(soonest - now, 1)));
        return;
    }
    // The one due goes first; the order of the rest is kept.
    Queue_.move(due, 0);
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
    Process_->write(Queue_.first().Json + '\n');
    Process_->closeWriteChannel();
    Limit_.start(kRunLimitMs);
}

void TAlertRunner::Finished(bool ok, const QString& reason)
{
    if (!Process_ || Queue_.isEmpty())
        return;
    Limit_.stop();
    Process_.release()->deleteLater();
    TAlert alert = Queue_.takeFirst();
    if (ok) {
        if (OnSent)
            OnSent(alert.Key, alert.Began);
    } else {
        const int wait = int(qMin<qint64>(qint64(FirstRetry_) << qMin(alert.Failures, 20), kLongestRetryMs));
        ++alert.Failures;
        alert.Due = QDateTime::currentMSecsSinceEpoch() + wait;
        QTextStream(stderr) << QStringLiteral("Оповещение о тревоге «%1» не отправлено: %2; повтор через %3 с\n")
                                   .arg(alert.What, reason)
                                   .arg((wait + 999) / 1000);
        Queue_.append(alert);
    }
    Next();
}
