#include "history/HistoryOutbox.h"

#include "history/HistoryBlock.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <atomic>

namespace {

const char* TableOf(TOutboxStream stream)
{
    return stream == TOutboxStream::Readings ? "outbox_reading" : "outbox_alarm";
}

const char* NameOf(TOutboxStream stream)
{
    return stream == TOutboxStream::Readings ? "readings" : "alarms";
}

bool Run(QSqlQuery& query, QString& error)
{
    if (query.exec())
        return true;
    error = QStringLiteral("Не удалось записать очередь публикации: ") + query.lastError().text();
    return false;
}

bool Run(QSqlDatabase database, const QString& statement, QString& error)
{
    QSqlQuery query(database);
    query.prepare(statement);
    return Run(query, error);
}

bool CountDropped(QSqlDatabase database, qint64 count, QString& error)
{
    if (count <= 0)
        return true;
    QSqlQuery query(database);
    query.prepare(QStringLiteral("UPDATE outbox_meta SET value=value+? WHERE key='dropped'"));
    query.addBindValue(count);
    return Run(query, error);
}

}  // namespace

bool CreateOutboxTables(QSqlDatabase database, QString& error)
{
    return Run(database,
               QStringLiteral("CREATE TABLE IF NOT EXISTS outbox_reading(seq INTEGER PRIMARY KEY AUTOINCREMENT, "
                              "time INTEGER NOT NULL, input INTEGER NOT NULL, data BLOB NOT NULL)"),
               error)
           && Run(database,
                  QStringLiteral("CREATE TABLE IF NOT EXISTS outbox_alarm(seq INTEGER PRIMARY KEY AUTOINCREMENT, "
                                 "time INTEGER NOT NULL, event BLOB NOT NULL)"),
                  error)
           && Run(database,
                  QStringLiteral("CREATE TABLE IF NOT EXISTS outbox_ack(stream TEXT PRIMARY KEY, seq INTEGER NOT NULL)"),
                  error)
           && Run(database, QStringLiteral("CREATE TABLE IF NOT EXISTS outbox_meta(key TEXT PRIMARY KEY, value NOT NULL)"),
                  error)
           // Added to files made before it: a file without it had no alarm kept active.
           && Run(database,
                  QStringLiteral("CREATE TABLE IF NOT EXISTS alarm_active(id TEXT PRIMARY KEY, event BLOB NOT NULL)"),
                  error)
           // Whoever comes first makes them: the history's writer or the publisher.
           && Run(database,
                  QStringLiteral("INSERT OR IGNORE INTO outbox_meta(key, value) VALUES('epoch', '%1'), ('dropped', 0)")
                      .arg(QUuid::createUuid().toString(QUuid::WithoutBraces)),
                  error);
}

bool AppendOutboxReadings(QSqlDatabase database, const QVector<THistoryReading>& readings, QString& error)
{
    QSqlQuery query(database);
    query.prepare(QStringLiteral("INSERT INTO outbox_reading(time, input, data) VALUES(?, ?, ?)"));
    for (const THistoryReading& reading : readings) {
        // Whole seconds, as the history keeps it: the stream and the history tell the same time.
        THistoryReading kept = reading;
        kept.Time = Seconds(reading.Time) * 1000;
        query.bindValue(0, kept.Time);
        query.bindValue(1, kept.Input);
        query.bindValue(2, EncodeBlock({kept}));
        if (!Run(query, error))
            return false;
    }
    return true;
}

bool PruneOutbox(QSqlDatabase database, qint64 before, QString& error)
{
    for (const char* table : {"outbox_reading", "outbox_alarm"}) {
        QSqlQuery query(database);
        query.prepare(QStringLiteral("DELETE FROM %1 WHERE time<?").arg(QLatin1String(table)));
        query.addBindValue(before);
        if (!query.exec()) {
            error = QStringLiteral("Не удалось удалить старую очередь публикации: ") + query.lastError().text();
            return false;
        }
        if (!CountDropped(database, query.numRowsAffected(), error))
            return false;
    }
    return true;
}

THistoryOutbox::THistoryOutbox() = default;

THistoryOutbox::~THistoryOutbox() { Close(); }

void THistoryOutbox::Close()
{
    if (Connection_.isEmpty())
        return;
    {
        QSqlDatabase db = Database();
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(Connection_);
    Connection_.clear();
}

QSqlDatabase THistoryOutbox::Database() const { return QSqlDatabase::database(Connection_, false); }

bool THistoryOutbox::IsOpen() const { return !Connection_.isEmpty() && Database().isOpen(); }

bool THistoryOutbox::Open(const QString& path)
{
    Close();
    static std::atomic<int> counter{0};
    Connection_ = QStringLiteral("outbox-%1").arg(counter.fetch_add(1));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connection_);
    db.setDatabaseName(path);
    // The history's writer holds the file for one batch at a time.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        Error_ = QStringLiteral("Не удалось открыть очередь публикации: ") + db.lastError().text();
        return false;
    }
    // The history's recorder sets the journal mode (WAL); as it does, this connection syncs at
    // checkpoints only: a lost acknowledgement costs a message sent twice, nothing more.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    return CreateOutboxTables(db, Error_);
}

bool THistoryOutbox::SelectAfter(QSqlQuery& query, const char* columnsAndTable, qint64 after, int limit)
{
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 WHERE seq>? ORDER BY seq LIMIT ?").arg(QLatin1String(columnsAndTable)));
    query.addBindValue(after);
    query.addBindValue(limit);
    if (query.exec())
        return true;
    Error_ = query.lastError().text();
    return false;
}

QVector<TOutboxReading> THistoryOutbox::Readings(qint64 after, int limit)
{
    QVector<TOutboxReading> rows;
    QSqlQuery query(Database());
    if (!SelectAfter(query, "seq, input, data FROM outbox_reading", after, limit))
        return rows;
    QVector<THistoryReading> decoded;
    while (query.next()) {
        TOutboxReading row;
        row.Seq = query.value(0).toLongLong();
        // A damaged row cannot be sent; its sequence number is skipped.
        if (DecodeBlock(query.value(2).toByteArray(), 1, query.value(1).toInt(), decoded) && decoded.size() == 1)
            row.Reading = decoded.first();
        else
            row.Reading.Input = 0;
        rows.append(row);
    }
    return rows;
}

QVector<TOutboxAlarm> THistoryOutbox::Alarms(qint64 after, int limit)
{
    QVector<TOutboxAlarm> rows;
    QSqlQuery query(Database());
    if (!SelectAfter(query, "seq, time, event FROM outbox_alarm", after, limit))
        return rows;
    while (query.next())
        rows.append({query.value(0).toLongLong(), query.value(1).toLongLong(), query.value(2).toByteArray()});
    return rows;
}

qint64 THistoryOutbox::AddAlarm(const TOutboxAlarmChange& change)
{
    QSqlDatabase db = Database();
    if (!Run(db, QStringLiteral("BEGIN IMMEDIATE"), Error_))
        return 0;
    QSqlQuery add(db);
    add.prepare(QStringLiteral("INSERT INTO outbox_alarm(time, event) VALUES(?, ?)"));
    add.addBindValue(change.Time);
    add.addBindValue(change.Event);
    QSqlQuery keep(db);
    if (change.Active) {
        keep.prepare(QStringLiteral("INSERT OR REPLACE INTO alarm_active(id, event) VALUES(?, ?)"));
        keep.addBindValue(change.Id);
        keep.addBindValue(change.Event);
    } else {
        keep.prepare(QStringLiteral("DELETE FROM alarm_active WHERE id=?"));
        keep.addBindValue(change.Id);
    }
    // The connection's last row: taken before the list's statement moves it.
    qint64 seq = 0;
    if (Run(add, Error_) && (seq = add.lastInsertId().toLongLong()) > 0
        && (change.Id.isEmpty() || Run(keep, Error_)) && Run(db, QStringLiteral("COMMIT"), Error_))
        return seq;
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return 0;
}

QVector<QByteArray> THistoryOutbox::ActiveAlarms()
{
    QVector<QByteArray> events;
    QSqlQuery query(Database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT event FROM alarm_active ORDER BY rowid"))) {
        Error_ = query.lastError().text();
        return events;
    }
    while (query.next())
        events.append(query.value(0).toByteArray());
    return events;
}

qint64 THistoryOutbox::Acknowledged(TOutboxStream stream)
{
    QSqlQuery query(Database());
    query.prepare(QStringLiteral("SELECT seq FROM outbox_ack WHERE stream=?"));
    query.addBindValue(QLatin1String(NameOf(stream)));
    if (query.exec() && query.next())
        return query.value(0).toLongLong();
    return 0;
}

bool THistoryOutbox::Acknowledge(TOutboxStream stream, qint64 seq)
{
    QSqlDatabase db = Database();
    if (!Run(db, QStringLiteral("BEGIN IMMEDIATE"), Error_))
        return false;
    QSqlQuery ack(db);
    ack.prepare(QStringLiteral("INSERT OR REPLACE INTO outbox_ack(stream, seq) VALUES(?, ?)"));
    ack.addBindValue(QLatin1String(NameOf(stream)));
    ack.addBindValue(seq);
    QSqlQuery drop(db);
    drop.prepare(QStringLiteral("DELETE FROM %1 WHERE seq<=?").arg(QLatin1String(TableOf(stream))));
    drop.addBindValue(seq);
    if (Run(ack, Error_) && Run(drop, Error_) && Run(db, QStringLiteral("COMMIT"), Error_))
        return true;
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return false;
}

QVariant THistoryOutbox::Meta(const char* key)
{
    QSqlQuery query(Database());
    query.prepare(QStringLiteral("SELECT value FROM outbox_meta WHERE key=?"));
    query.addBindValue(QLatin1String(key));
    if (query.exec() && query.next())
        return query.value(0);
    return {};
}

QString THistoryOutbox::Epoch() { return Meta("epoch").toString(); }

qint64 THistoryOutbox::Dropped() { return Meta("dropped").toLongLong(); }

qint64 THistoryOutbox::Trim(qint64 limit)
{
    QSqlDatabase db = Database();
    if (!Run(db, QStringLiteral("BEGIN IMMEDIATE"), Error_))
        return -1;
    qint64 dropped = 0;
    bool ok = true;
    for (TOutboxStream stream : {TOutboxStream::Readings, TOutboxStream::Alarms}) {
        // The newest rows are the highest sequences: the ones past the limit go.
        QSqlQuery drop(db);
        drop.prepare(QStringLiteral("DELETE FROM %1 WHERE seq<=(SELECT max(seq) FROM %1)-?")
                         .arg(QLatin1String(TableOf(stream))));
        drop.addBindValue(limit);
        ok = ok && Run(drop, Error_);
        if (ok)
            dropped += qMax(0, drop.numRowsAffected());
    }
    if (ok && CountDropped(db, dropped, Error_) && Run(db, QStringLiteral("COMMIT"), Error_))
        return dropped;
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return -1;
}
