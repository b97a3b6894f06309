#pragma once

#include "AlarmBook.h"

#include <QString>
#include <QVector>

// The alarm list kept in an SQLite file (DATA/dispatch.sqlite), so that acknowledgements and the
// alerts already sent outlive the service: the book's changes are written in one transaction.
class TAlarmStore
{
public:
    TAlarmStore() = default;
    ~TAlarmStore();
    TAlarmStore(const TAlarmStore&) = delete;
    TAlarmStore& operator=(const TAlarmStore&) = delete;

    // False with the reason in Russian.
    bool Open(const QString& path, QString& reason);
    QVector<TAlarm> Load();
    // The alarms of the keys as the book holds them; a key the book no longer knows is removed.
    bool Save(const TAlarmBook& book, const QSet<QString>& keys, QString& reason);

private:
    QString Connection_;
};
