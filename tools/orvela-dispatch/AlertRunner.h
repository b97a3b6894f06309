#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <QVector>

#include <functional>
#include <memory>

// Tells alarms beyond the screen: runs the site's command through /bin/sh, one at a time, with the
// alarm as one line of JSON on its standard input; the changes of one alarm in their order. A command that fails (an exit code other than
// 0, a signal, more than a minute) is tried again after the first wait, then twice as long each
// time up to 10 minutes, and each failure is written to standard error. Nothing here waits on the command.
class TAlertRunner : public QObject
{
public:
    TAlertRunner(const QString& command, int firstRetryMs, QObject* parent = nullptr);
    ~TAlertRunner() override;

    // key and began say which change it tells; OnSent gets them once the command took it.
    void Add(const QString& key, bool began, const QByteArray& json, const QString& what);
    std::function<void(const QString& key, bool began)> OnSent;

private:
    struct TAlert {
        QString Key;
        bool Began = false;
        QByteArray Json;
        QString What;  // the alarm's text, for the log
        int Failures = 0;
        qint64 Due = 0;  // ms since the epoch
    };
    void Next();
    void Finished(bool ok, const QString& reason);

    QString Command_;
    QVector<TAlert> Queue_;  // in the order the changes came
    qsizetype Current_ = -1;  // the one whose command runs
    std::unique_ptr<QProcess> Process_;
    QTimer Wake_;
    QTimer Limit_;
    int FirstRetry_;
};
