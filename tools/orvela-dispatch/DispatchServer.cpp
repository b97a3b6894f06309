#include "DispatchServer.h"

#include "Fleet.h"
#include "LivePages.h"
#include "Password.h"
#include "Views.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QUrlQuery>
#include <QWebSocket>

namespace {

using TStatus = QHttpServerResponder::StatusCode;
constexpr qsizetype kMostVerified = 64;

QByteArray Header(const QHttpServerRequest& request, const QByteArray& name)
{
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QHttpServerResponse Resource(const QString& name, const QByteArray& mime)
{
    QFile file(QStringLiteral(":/web/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return QHttpServerResponse(TStatus::NotFound);
    return QHttpServerResponse(mime, file.readAll());
}

QHttpServerResponse Json(const QJsonDocument& document)
{
    return QHttpServerResponse(QByteArrayLiteral("application/json"), document.toJson(QJsonDocument::Compact));
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TDispatchServer::TDispatchServer(const TDispatchSettings& settings, TFleet& fleet, TLivePages& pages)
    : Settings_(settings), Fleet_(fleet), Pages_(pages)
{
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, [this] {
        while (hasPendingWebSocketConnections())
            Pages_.Accept(nextPendingWebSocketConnection(), QDateTime::currentMSecsSinceEpoch());
    });
}

bool TDispatchServer::Start(QString& reason)
{
    if (Settings_.Tls()) {
        const QList<QSslCertificate> certificates = QSslCertificate::fromData(ReadFile(Settings_.CertFile), QSsl::Pem);
        const QByteArray keyBytes = ReadFile(Settings_.KeyFile);
        QSslKey key(keyBytes, QSsl::Rsa, QSsl::Pem);
        if (key.isNull())
            key = QSslKey(keyBytes, QSsl::Ec, QSsl::Pem);
        if (certificates.isEmpty()) {
            reason = QStringLiteral("файл «%1» не содержит сертификата PEM").arg(QDir::toNativeSeparators(Settings_.CertFile));
            return false;
        }
        if (key.isNull()) {
            reason = QStringLiteral("файл «%1» не содержит ключа PEM без пароля").arg(QDir::toNativeSeparators(Settings_.KeyFile));
            return false;
        }
        sslSetup(certificates.first(), key);
    }
    Port_ = listen(Settings_.ListenAddress, quint16(Settings_.ListenPort));
    if (Port_ == 0) {
        reason = QStringLiteral("не удалось открыть порт %1 на адресе %2: порт занят или адрес не принадлежит этому "
                                "компьютеру")
                     .arg(Settings_.ListenPort)
                     .arg(Settings_.ListenAddress.toString());
        return false;
    }
    return true;
}

bool TDispatchServer::HostAllowed(const QHttpServerRequest& request) const
{
    if (!Settings_.User.isEmpty())
        return true;
    const QString host = QString::fromLatin1(Header(request, "host"));
    const QString name = host.startsWith(u'[') ? host.section(u']', 0, 0).mid(1) : host.section(u':', 0, 0);
    return name.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(name).isLoopback();
}

bool TDispatchServer::Authorized(const QHttpServerRequest& request)
{
    if (Settings_.User.isEmpty())
        return true;
    const QByteArray header = Header(request, "authorization");
    if (!header.startsWith("Basic "))
        return false;
    const QByteArray digest = QCryptographicHash::hash(header + Settings_.PasswordHash.toUtf8(), QCryptographicHash::Sha256);
    if (Verified_.contains(digest))
        return true;
    const QString pair = QString::fromUtf8(QByteArray::fromBase64(header.mid(6).trimmed()));
    const qsizetype colon = pair.indexOf(u':');
    if (colon < 0 || pair.left(colon) != Settings_.User || !CheckPassword(pair.mid(colon + 1), Settings_.PasswordHash))
        return false;
    if (Verified_.size() >= kMostVerified)
        Verified_.clear();
    Verified_.insert(digest);
    return true;
}

QHttpServerResponse TDispatchServer::Answer(const QHttpServerRequest& request)
{
    if (!HostAllowed(request))
        return QHttpServerResponse(QByteArrayLiteral("text/plain; charset=utf-8"),
                                   QStringLiteral("Страница открывается только по адресу 127.0.0.1 или localhost.\n").toUtf8(),
                                   TStatus::Forbidden);
    if (!Authorized(request)) {
        QHttpServerResponse refused(QByteArrayLiteral("text/plain; charset=utf-8"),
                                    QStringLiteral("Нужны имя пользователя и пароль диспетчера.\n").toUtf8(),
                                    TStatus::Unauthorized);
        refused.setHeader("WWW-Authenticate", "Basic realm=\"Orvela\", charset=\"UTF-8\"");
        return refused;
    }
    if (request.method() != QHttpServerRequest::Method::Get)
        return QHttpServerResponse(TStatus::MethodNotAllowed);
    const QString path = request.url().path();
    if (path == QStringLiteral("/") || path == QStringLiteral("/index.html"))
        return Resource(QStringLiteral("index.html"), "text/html; charset=utf-8");
    if (path == QStringLiteral("/dispatch.js"))
        return Resource(QStringLiteral("dispatch.js"), "text/javascript; charset=utf-8");
    if (path == QStringLiteral("/dispatch.css"))
        return Resource(QStringLiteral("dispatch.css"), "text/css; charset=utf-8");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (path == QStringLiteral("/api/stations"))
        return Json(QJsonDocument(TilesJson(Fleet_, now)));
    if (path == QStringLiteral("/api/token"))
        return Json(QJsonDocument(QJsonObject{{QStringLiteral("token"), QString::fromLatin1(Pages_.IssueToken(now))}}));
    return QHttpServerResponse(QByteArrayLiteral("text/plain; charset=utf-8"), QByteArrayLiteral("Not found\n"),
                               TStatus::NotFound);
}

bool TDispatchServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    // The toolkit asks here whether to take a WebSocket: taken (true, nothing written) only with a
    // token this service gave; refused through missingHandler.
    if (Header(request, "upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
        return Pages_.TokenValid(QUrlQuery(request.url()).queryItemValue(QStringLiteral("token")).toLatin1(),
                                 QDateTime::currentMSecsSinceEpoch());
    QHttpServerResponse response = Answer(request);
    // What the broker says is data: the page takes its code from here only, and nothing is kept.
    response.setHeader("Content-Security-Policy",
                       "default-src 'self'; connect-src 'self'; img-src 'self'; object-src 'none'; base-uri 'none'; "
                       "frame-ancestors 'none'");
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("Referrer-Policy", "no-referrer");
    response.setHeader("Cache-Control", "no-store");
    response.write(makeResponder(request, socket));
    return true;
}

void TDispatchServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    // Only a WebSocket without a valid token comes here.
    makeResponder(request, socket).write(TStatus::Forbidden);
}
