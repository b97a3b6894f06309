#pragma once

#include "Fleet.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

// What the page and /api/stations show, as JSON: every text made here, in the service's locale,
// so that the page only puts it in place.

// The overview of a station: its state, alarms by kind (rise first), hottest temperature, inputs
// out of exchange, newest reading.
QJsonObject TileJson(const TFleet& fleet, const TStation& s, qint64 now);
// Every station's, those with active alarms first, then by name.
QJsonArray TilesJson(const TFleet& fleet, qint64 now);

QJsonObject AlarmJson(const TAlarm& a);
// Every alarm, newest first.
QJsonArray AlarmsJson(const TAlarmBook& book);
// One line on an alert command's standard input: the alarm and "event": "begin" or "end".
QByteArray AlertJson(const TAlarm& a, bool began);

// Input n's grid row as [text, colour] pairs; null before the input was published.
QJsonValue RowJson(const TFleet& fleet, const TStation& s, int n);
// The station page: the controller and its signature, the grid's captions and rows, the active alarms.
QJsonObject StationJson(const TFleet& fleet, const TStation& s, qint64 now);
QJsonArray ControllerJson(const TStation& s);
QJsonArray StationAlarmsJson(const TFleet& fleet, const QString& station);
// The last readings of input n, newest first.
QJsonArray ReadingsJson(const TStation& s, int n);
