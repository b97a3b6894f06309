#pragma once

#include "history/HistoryReading.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVector>

// What a publishing station still owes its broker, kept in the history database itself: the
// readings the history keeps (written in the same transaction, so the two never disagree after a
// kill), the alarm events, and the last sequence number of each stream that the broker
// acknowledged. A row's sequence is its AUTOINCREMENT key: never reused, in the order written.
// The outbox is made with a random stream epoch: a history file made anew starts its sequences
// at 1 again under another epoch, so that consumers keep (epoch, seq) apart.

enum class TOutboxStream { Readings, Alarms };

struct TOutboxReading {
    qint64 Seq = 0;
    THistoryReading Reading;
};

struct TOutboxAlarm {
    qint64 Seq = 0;
    qint64 Time = 0;     // ms since the epoch, UTC
    QByteArray Event;    // the event as a JSON object, without its sequence number
};

// An alarm event to keep, and what it does to the alarms kept active beside the outbox (so that
// a restart knows which alarms it left running): with an Id, an active event keeps the alarm
// there as this event, an inactive one drops it; without one, the list stays as it is.
struct TOutboxAlarmChange {
    qint64 Time = 0;
    QByteArray Event;
    QString Id;
    bool Active = false;
};

// For THistoryStore: the tables, and the readings of one Append inside its transaction.
bool CreateOutboxTables(QSqlDatabase database, QString& error);
bool AppendOutboxReadings(QSqlDatabase database, const QVector<THistoryReading>& readings, QString& error);
// What is older than the history's retention goes with it, counted as dropped.
bool PruneOutbox(QSqlDatabase database, qint64 before, QString& error);

// The publisher's side: a connection of its own, used by the thread that opened it.
class THistoryOutbox
{
public:
    THistoryOutbox();
    ~THistoryOutbox();
    THistoryOutbox(const THistoryOutbox&) = delete;
    THistoryOutbox& operator=(const THistoryOutbox&) = delete;

    // Closes what was open; false with ErrorText() when the file cannot be opened.
    bool Open(const QString& path);
    void Close();
    bool IsOpen() const;
    QString ErrorText() const { return Error_; }

    // The rows after seq, oldest first, at most limit of them.
    QVector<TOutboxReading> Readings(qint64 after, int limit);
    QVector<TOutboxAlarm> Alarms(qint64 after, int limit);
    // Keeps an alarm event until it is acknowledged, and changes the active alarms with it, in
    // one transaction; its sequence number, 0 on failure (then neither changed).
    qint64 AddAlarm(const TOutboxAlarmChange& change);
    // The events of the alarms kept active, in the order they were kept.
    QVector<QByteArray> ActiveAlarms();

    qint64 Acknowledged(TOutboxStream stream);
    // Stores the acknowledged sequence and drops the rows up to it, in one transaction.
    bool Acknowledge(TOutboxStream stream, qint64 seq);

    // The stream epoch made with the outbox, "" when it cannot be read.
    QString Epoch();
    // Drops the oldest rows of each stream beyond limit, unsent, and counts them: how many went
    // now, -1 on failure.
    qint64 Trim(qint64 limit);
    // Rows dropped unsent since the outbox was made (over the limit or the history's retention).
    qint64 Dropped();

private:
    QSqlDatabase Database() const;
    // Runs "SELECT <columnsAndTable> WHERE seq>after ORDER BY seq LIMIT limit"; false keeps the error.
    bool SelectAfter(QSqlQuery& query, const char* columnsAndTable, qint64 after, int limit);
    QVariant Meta(const char* key);

    QString Connection_;
    QString Error_;
};
