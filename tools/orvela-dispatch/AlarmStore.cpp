#include "AlarmStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <cmath>

namespace {

QVariant Real(double value) { return std::isnan(value) ? QVariant() : QVariant(value); }

}  // namespace

TAlarmStore::~TAlarmStore()
{
    if (Connection_.isEmpty())
        return;
    QSqlDatabase::database(Connection_, false).close();
    QSqlDatabase::removeDatabase(Connection_);
}

bool TAlarmStore::Open(const QString& path, QString& reason)
{
    static std::atomic<int> count{0};
    Connection_ = QStringLiteral("dispatch-alarms-%1").arg(++count);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connection_);
    db.setDatabaseName(path);
    QSqlQuery q(db);
    if (!db.open() || !q.exec(QStringLiteral("PRAGMA journal_mode=WAL"))
        || !q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))
        || !q.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS alarms(key TEXT PRIMARY KEY, station TEXT NOT NULL, id TEXT, kind TEXT NOT NULL, "
            "input INTEGER, sensor INTEGER, text TEXT, start INTEGER, end_time INTEGER, severity TEXT, code INTEGER, "
            "rate REAL, threshold REAL, ack_name TEXT, ack_time INTEGER, alert_begin INTEGER, alert_end INTEGER)"))) {
        const QString error = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
        reason = QStringLiteral("не удалось открыть «%1»: %2").arg(QDir::toNativeSeparators(path), error);
        return false;
    }
    return true;
}

QVector<TAlarm> TAlarmStore::Load()
{
    QVector<TAlarm> alarms;
    QSqlQuery q(QSqlDatabase::database(Connection_, false));
    if (!q.exec(QStringLiteral("SELECT key, station, id, kind, input, sensor, text, start, end_time, severity, code, rate, "
                               "threshold, ack_name, ack_time, alert_begin, alert_end FROM alarms")))
        return alarms;
    while (q.next()) {
        TAlarm a;
        a.Key = q.value(0).toString();
        a.Station = q.value(1).toString();
        a.Id = q.value(2).toString();
        a.Kind = q.value(3).toString();
        a.Input = q.value(4).toInt();
        a.Sensor = q.value(5).toInt();
        a.Text = q.value(6).toString();
        a.Start = q.value(7).toLongLong();
        a.End = q.value(8).toLongLong();
        a.Severity = q.value(9).toString();
        a.Code = q.value(10).toInt();
        a.Rate = q.value(11).isNull() ? NAN : q.value(11).toDouble();
        a.Threshold = q.value(12).isNull() ? NAN : q.value(12).toDouble();
        a.AckName = q.value(13).toString();
        a.AckTime = q.value(14).toLongLong();
        a.AlertBegin = TAlertState(qBound(0, q.value(15).toInt(), 2));
        a.AlertEnd = TAlertState(qBound(0, q.value(16).toInt(), 2));
        alarms.append(a);
    }
    return alarms;
}

bool TAlarmStore::Save(const TAlarmBook& book, const QSet<QString>& keys, QString& reason)
{
    if (keys.isEmpty())
        return true;
    QSqlDatabase db = QSqlDatabase::database(Connection_, false);
    QSqlQuery put(db), remove(db);
    bool ok = db.transaction()
              && put.prepare(QStringLiteral("INSERT OR REPLACE INTO alarms VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
              && remove.prepare(QStringLiteral("DELETE FROM alarms WHERE key = ?"));
    for (auto it = keys.cbegin(); ok && it != keys.cend(); ++it) {
        const TAlarm* a = book.Find(*it);
        if (!a) {
            remove.addBindValue(*it);
            ok = remove.exec();
            continue;
        }
        for (const QVariant& v : {QVariant(a->Key), QVariant(a->Station), QVariant(a->Id), QVariant(a->Kind), QVariant(a->Input),
                                  QVariant(a->Sensor), QVariant(a->Text), QVariant(a->Start), QVariant(a->End),
                                  QVariant(a->Severity), QVariant(a->Code), Real(a->Rate), Real(a->Threshold),
                                  QVariant(a->AckName), QVariant(a->AckTime), QVariant(int(a->AlertBegin)),
                                  QVariant(int(a->AlertEnd))})
            put.addBindValue(v);
        ok = put.exec();
    }
    if (ok && db.commit())
        return true;
    const QSqlError error = put.lastError().isValid() ? put.lastError() : remove.lastError().isValid() ? remove.lastError() : db.lastError();
    db.rollback();
    reason = error.text();
    return false;
}
