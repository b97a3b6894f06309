#include "publish/StationStatus.h"

#include "publish/Payloads.h"

#include <QJsonDocument>

namespace {

const QString kTime = QStringLiteral("time");

QJsonValue OrNull(const QString& text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); }

}  // namespace

TStationStatus::TStationStatus(const QString& station, int periodSeconds) : Station_(station), Period_(periodSeconds)
{
}

bool TStationStatus::Note(const QString& subtopic, const QByteArray& payload)
{
    const bool controller = subtopic == QStringLiteral("controller");
    if (!controller && !subtopic.startsWith(QStringLiteral("input/")))
        return true;
    QJsonObject o = QJsonDocument::fromJson(payload).object();
    const QString time = o.take(kTime).toString();
    if (!controller) {
        // ISO times of one form order as text.
        LastReading_ = qMax(LastReading_, time);
        return true;
    }
    Poll_ = {{kTime, time}, {QStringLiteral("state"), o.value(QStringLiteral("state"))},
             {QStringLiteral("stateText"), o.value(QStringLiteral("stateText"))}};
    // Polled twice a second, it changes seldom: its time then says since when it is so.
    if (o == SentController_)
        return false;
    SentController_ = o;
    return true;
}

QJsonObject TStationStatus::Alive(qint64 now, qint64 dropped, bool online) const
{
    QJsonObject o{{QStringLiteral("schema"), kPayloadSchema},
                  {QStringLiteral("station"), Station_},
                  {QStringLiteral("status"), online ? QStringLiteral("online") : QStringLiteral("offline")},
                  {kTime, IsoTime(now)},
                  {QStringLiteral("period"), Period_},
                  {QStringLiteral("poll"), Poll_.isEmpty() ? QJsonValue() : QJsonValue(Poll_)},
                  {QStringLiteral("lastReading"), OrNull(LastReading_)},
                  {QStringLiteral("dropped"), dropped}};
    if (!online)
        o[QStringLiteral("reason")] = QStringLiteral("stopped");
    return o;
}

QByteArray TStationStatus::Online(qint64 now, qint64 dropped) const { return Json(Alive(now, dropped, true)); }

QByteArray TStationStatus::Goodbye(qint64 now, qint64 dropped) const { return Json(Alive(now, dropped, false)); }

QByteArray TStationStatus::Will(qint64 connected) const
{
    return Json({{QStringLiteral("schema"), kPayloadSchema},
                 {QStringLiteral("station"), Station_},
                 {QStringLiteral("status"), QStringLiteral("offline")},
                 {QStringLiteral("reason"), QStringLiteral("lost")},
                 {kTime, QJsonValue()},
                 {QStringLiteral("connected"), IsoTime(connected)},
                 {QStringLiteral("period"), Period_}});
}
