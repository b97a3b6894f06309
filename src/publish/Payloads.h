#pragma once

#include "history/HistoryReading.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class TVantor;
class TVantorInput;

// The published messages: compact JSON in UTF-8, numbers as numbers, times in ISO 8601 UTC, and
// "schema" in each, raised when a field changes meaning or goes away.
constexpr int kPayloadSchema = 1;

QString IsoTime(qint64 ms);
QByteArray Json(const QJsonObject& object);

// "online" while connected, "offline" as the last will and as the goodbye.
QByteArray StatusPayload(const QString& station, bool online, qint64 time);
QByteArray ControllerPayload(const TVantor& vantor, qint64 time);
// The input as the grid shows it.
QByteArray InputPayload(const TVantorInput& input, int number, qint64 time);
QByteArray ReadingPayload(const QString& station, qint64 seq, const THistoryReading& reading);
// An alarm event kept in the outbox (without "seq"), and the same with its sequence number.
QByteArray AlarmEventPayload(const QString& station, qint64 seq, const QByteArray& event);
