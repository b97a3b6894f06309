#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The station's retained "status": "online" again every period while connected (a heartbeat, so
// that a consumer can tell a station that died unseen from one that lives), "offline" as the
// goodbye and as the broker's last will. It tells of the poll from the retained states the
// publisher makes, and keeps the controller's state to its changes. Used on the publisher's
// thread only.
class TStationStatus
{
public:
    TStationStatus(const QString& station, int periodSeconds);

    // A retained state about to be sent: notes the poll and the readings it tells of. False for a
    // controller state that says nothing new since the one last sent on this connection.
    bool Note(const QString& subtopic, const QByteArray& payload);
    // A new connection: every state goes again.
    void Reconnected() { SentController_ = {}; }

    int Period() const { return Period_; }
    // dropped: what the outbox dropped unsent, over its limit or the history's retention.
    QByteArray Online(qint64 now, qint64 dropped) const;
    QByteArray Goodbye(qint64 now, qint64 dropped) const;
    // The broker publishes it when the station is gone without a goodbye: when that will be is
    // not known here, so it bears the time of the connect instead.
    QByteArray Will(qint64 connected) const;

private:
    QJsonObject Alive(qint64 now, qint64 dropped, bool online) const;

    QString Station_;
    int Period_;
    QJsonObject Poll_;           // time and state of the last poll; empty before one
    QString LastReading_;        // ISO time of the newest input state
    QJsonObject SentController_; // without its time
};
