#pragma once

#include "Fleet.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QWebSocket;

// The open pages, each on a WebSocket: every page gets the overview and the alarm list at once
// and then their changes; the station it shows (and the input chosen there) as well. A page
// acknowledges alarms through it. Only a page that holds a token given to an authorised request
// is taken: a page of another site cannot open one to this service.
class TLivePages : public QObject
{
public:
    explicit TLivePages(TFleet& fleet, QObject* parent = nullptr);
    ~TLivePages() override;

    QByteArray IssueToken(qint64 now);
    bool TokenValid(const QByteArray& token, qint64 now) const;
    void Accept(std::unique_ptr<QWebSocket> socket, qint64 now);
    // Sends what changed since the last call.
    void Push(qint64 now);
    void SetBroker(bool connected, const QString& reason);
    int Count() const { return int(Pages_.size()); }

private:
    struct TPage;
    void Received(TPage& page, const QString& text, qint64 now);
    void Remove(TPage* page);
    static void Send(TPage& page, const QByteArray& message);
    QJsonObject Service() const;
    QJsonObject StationMessage(const QString& station, int input, qint64 now) const;

    TFleet& Fleet_;
    std::vector<std::unique_ptr<TPage>> Pages_;
    QHash<QByteArray, qint64> Tokens_;  // token, when it runs out
    QHash<QString, QByteArray> SentTiles_;
    bool BrokerConnected_ = false;
    QString BrokerReason_ = QStringLiteral("соединение с брокером устанавливается");
    QJsonObject SentService_;
};
