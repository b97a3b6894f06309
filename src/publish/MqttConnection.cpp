#include "publish/MqttConnection.h"

#include "publish/TlsDiagnosis.h"

#include <QDeadlineTimer>
#include <QFile>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

void InitLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QByteArray FilePath(const QString& path) { return QFile::encodeName(path); }

}  // namespace

QString ConnectFailureText(int result, int systemError, const QString& host)
{
    switch (result) {
    case MOSQ_ERR_EAI:
        return QStringLiteral("узел «%1» не найден").arg(host);
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        return QStringLiteral("не удалось установить соединение TLS с брокером");
    case MOSQ_ERR_CONN_REFUSED:
        return QStringLiteral("брокер отказал в соединении");
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("брокер перестал отвечать");
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_NO_CONN:
        return QStringLiteral("соединение с брокером разорвано");
    case MOSQ_ERR_ERRNO:
        switch (systemError) {
        case ECONNREFUSED:
            return QStringLiteral("соединение отвергнуто: брокер не запущен или порт закрыт");
        case ETIMEDOUT:
            return QStringLiteral("брокер не отвечает");
        case EHOSTUNREACH:
        case ENETUNREACH:
            return QStringLiteral("узел «%1» недоступен").arg(host);
        case ECONNRESET:
        case EPIPE:
            return QStringLiteral("соединение с брокером разорвано");
        default:
            return QStringLiteral("системная ошибка: %1").arg(QString::fromLocal8Bit(strerror(systemError)));
        }
    default:
        return QStringLiteral("ошибка библиотеки MQTT: %1").arg(QString::fromUtf8(mosquitto_strerror(result)));
    }
}

QString RefusalText(int connackCode)
{
    switch (connackCode) {
    case 1:
        return QStringLiteral("брокер не поддерживает версию протокола");
    case 2:
        return QStringLiteral("брокер отверг имя клиента");
    case 3:
        return QStringLiteral("брокер недоступен");
    case 4:
    case 5:
        return QStringLiteral("неверное имя пользователя или пароль");
    default:
        return QStringLiteral("брокер отказал в соединении (код %1)").arg(connackCode);
    }
}

TMqttConnection::TMqttConnection(const TMqttSettings& settings, const QString& clientId, bool cleanSession)
    : Settings_(settings)
{
    InitLibrary();
    Client_ = mosquitto_new(clientId.toUtf8().constData(), cleanSession, this);
    if (!Client_)
        return;
    mosquitto_int_option(Client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(Client_, &TMqttConnection::Connected);
    mosquitto_publish_callback_set(Client_, &TMqttConnection::Published);
    mosquitto_message_callback_set(Client_, &TMqttConnection::Message);
    mosquitto_subscribe_callback_set(Client_, &TMqttConnection::Subscribed);
}

TMqttConnection::~TMqttConnection()
{
    if (Client_)
        mosquitto_destroy(Client_);
}

void TMqttConnection::SetWill(const QString& topic, const QByteArray& payload)
{
    if (Client_)
        mosquitto_will_set(Client_, topic.toUtf8().constData(), int(payload.size()), payload.constData(), 1, true);
}

bool TMqttConnection::Start()
{
    if (!Client_) {
        Reason_ = QStringLiteral("не хватает памяти для соединения");
        return false;
    }
    const TMqttSettings& s = Settings_;
    if (!s.User.isEmpty())
        mosquitto_username_pw_set(Client_, s.User.toUtf8().constData(),
                                  s.Password.isEmpty() ? nullptr : s.Password.toUtf8().constData());
    if (s.Tls()) {
        const QByteArray ca = FilePath(s.CAFile), cert = FilePath(s.CertFile), key = FilePath(s.KeyFile);
        const int rc = mosquitto_tls_set(Client_, ca.constData(), nullptr, cert.isEmpty() ? nullptr : cert.constData(),
                                         key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            Reason_ = QStringLiteral("не удалось загрузить сертификаты TLS: ") + ConnectFailureText(rc, errno, s.Host);
            SettingsFault_ = true;
            return false;
        }
    }
    errno = 0;
    const int rc = mosquitto_connect(Client_, s.Host.toUtf8().constData(), s.Port, s.KeepAlive);
    if (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE) {
        TlsFailed();
        return false;
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        Reason_ = ConnectFailureText(rc, errno, s.Host);
        return false;
    }
    return true;
}

void TMqttConnection::TlsFailed()
{
    Reason_ = DiagnoseTls(Settings_, SettingsFault_);
    if (Reason_.isEmpty())
        Reason_ = ConnectFailureText(MOSQ_ERR_TLS, 0, Settings_.Host);
}

bool TMqttConnection::Loop(int timeoutMs)
{
    if (Lost_)
        return false;
    errno = 0;
    const int rc = mosquitto_loop(Client_, timeoutMs, 1);
    if (rc == MOSQ_ERR_SUCCESS && !Lost_)
        return true;
    if (!Lost_) {
        Lost_ = true;
        const int systemError = errno;
        const bool closed = rc == MOSQ_ERR_CONN_LOST || (rc == MOSQ_ERR_ERRNO && systemError == ECONNRESET);
        // Dropped before the broker answered the connection: over TLS that is the handshake.
        if (!Accepted_ && Settings_.Tls() && (closed || rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_PROTOCOL)) {
            TlsFailed();
        } else if (!Accepted_ && closed) {
            Reason_ = QStringLiteral("брокер закрыл соединение, не ответив на подключение: возможно, порт %1 "
                                     "ждет TLS (задайте сертификат центра)")
                          .arg(Settings_.Port);
        } else {
            Reason_ = ConnectFailureText(rc, systemError, Settings_.Host);
            DroppedByBroker_ = Accepted_ && closed;
        }
    }
    return false;
}

int TMqttConnection::Publish(const QString& topic, const QByteArray& payload, int qos, bool retain)
{
    int mid = 0;
    const int rc = mosquitto_publish(Client_, &mid, topic.toUtf8().constData(), int(payload.size()),
                                     payload.constData(), qos, retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : 0;
}

bool TMqttConnection::Subscribe(const QStringList& patterns, int qos)
{
    std::vector<QByteArray> bytes;
    std::vector<char*> list;
    for (const QString& p : patterns)
        bytes.push_back(p.toUtf8());
    for (QByteArray& b : bytes)
        list.push_back(b.data());
    return mosquitto_subscribe_multiple(Client_, &SubscribeMid_, int(list.size()), list.data(), qos, 0, nullptr)
           == MOSQ_ERR_SUCCESS;
}

void TMqttConnection::Subscribed(mosquitto*, void* self, int mid, int, const int*)
{
    auto* connection = static_cast<TMqttConnection*>(self);
    if (mid == connection->SubscribeMid_ && connection->OnSubscribed)
        connection->OnSubscribed();
}

void TMqttConnection::Message(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* connection = static_cast<TMqttConnection*>(self);
    if (connection->OnMessage)
        connection->OnMessage(QString::fromUtf8(message->topic),
                              QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
                              message->retain);
}

void TMqttConnection::Disconnect()
{
    if (!Accepted_ || Lost_)
        return;
    mosquitto_disconnect(Client_);
    // The goodbye goes out before the socket closes.
    mosquitto_loop(Client_, 100, 1);
}

void TMqttConnection::Connected(mosquitto*, void* self, int rc)
{
    auto* connection = static_cast<TMqttConnection*>(self);
    if (rc == 0) {
        connection->Accepted_ = true;
        return;
    }
    connection->Reason_ = RefusalText(rc);
    connection->Lost_ = true;
}

void TMqttConnection::Published(mosquitto*, void* self, int mid)
{
    auto* connection = static_cast<TMqttConnection*>(self);
    if (connection->OnPublished)
        connection->OnPublished(mid);
}

TMqttCheck CheckMqttConnection(const TMqttSettings& settings, int timeoutMs)
{
    // Checked as if enabled: a site tries the broker before it switches publishing on.
    TMqttSettings checked = settings;
    checked.Enabled = true;
    const QString invalid = ValidateMqttSettings(checked);
    if (!invalid.isEmpty())
        return {TMqttCheck::BadSettings, invalid};
    TMqttConnection connection(checked, QStringLiteral("orvela-check-") + settings.Station);
    const auto failed = [&connection] {
        return TMqttCheck{connection.SettingsFault() ? TMqttCheck::BadSettings : TMqttCheck::Failed,
                          connection.Reason()};
    };
    if (!connection.Start())
        return failed();
    const QDeadlineTimer deadline(timeoutMs);
    while (!connection.Accepted()) {
        if (!connection.Loop(100))
            return failed();
        if (deadline.hasExpired())
            return {TMqttCheck::Failed, QStringLiteral("брокер не ответил на соединение")};
    }
    connection.Disconnect();
    return {};
}
