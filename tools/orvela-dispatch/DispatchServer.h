#pragma once

#include "DispatchSettings.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QSet>

class QHttpServerResponse;
class TFleet;
class TLivePages;

// The page and its files (from the program's resources), /api/stations and the WebSocket the page
// opens. With a user set, every request must name it and its password (HTTP basic
// authentication, over HTTPS when a certificate is set); without one, only requests addressed to
// this computer by a loopback name are answered, so that a site of the internet cannot reach the
// service through a name of its own that points here.
class TDispatchServer : public QAbstractHttpServer
{
public:
    TDispatchServer(const TDispatchSettings& settings, TFleet& fleet, TLivePages& pages);

    // False with the reason in Russian.
    bool Start(QString& reason);
    quint16 Port() const { return Port_; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    bool Authorized(const QHttpServerRequest& request);
    bool HostAllowed(const QHttpServerRequest& request) const;
    QHttpServerResponse Answer(const QHttpServerRequest& request);

    const TDispatchSettings Settings_;
    TFleet& Fleet_;
    TLivePages& Pages_;
    quint16 Port_ = 0;
    QSet<QByteArray> Verified_;  // digests of credentials found right: the hash is slow on purpose
};
