#include "publish/TlsDiagnosis.h"

#include <QDir>
#include <QFile>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <memory>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

struct TFreeContext {
    void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
};
struct TFreeSsl {
    void operator()(SSL* s) const { SSL_free(s); }
};

class TSocket
{
public:
    ~TSocket()
    {
        if (Fd >= 0)
            close(Fd);
    }
    int Fd = -1;
};

QString FileText(const QString& what, const QString& path)
{
    return QStringLiteral("файл %1 «%2» не удалось прочитать как PEM").arg(what, QDir::toNativeSeparators(path));
}

// Connects within the time limit and leaves the socket blocking, with the limit on each read and
// write.
bool Connect(const TMqttSettings& s, int timeoutMs, TSocket& socket)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(s.Host.toUtf8().constData(), QByteArray::number(s.Port).constData(), &hints, &found) != 0)
        return false;
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, &freeaddrinfo);
    for (addrinfo* a = found; a; a = a->ai_next) {
        TSocket candidate;
        candidate.Fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (candidate.Fd < 0)
            continue;
        if (::connect(candidate.Fd, a->ai_addr, a->ai_addrlen) != 0) {
            pollfd p{candidate.Fd, POLLOUT, 0};
            int error = 0;
            socklen_t length = sizeof error;
            if (poll(&p, 1, timeoutMs) != 1 || getsockopt(candidate.Fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0
                || error != 0)
                continue;
        }
        const int flags = fcntl(candidate.Fd, F_GETFL);
        fcntl(candidate.Fd, F_SETFL, flags & ~O_NONBLOCK);
        const timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        setsockopt(candidate.Fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(candidate.Fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        std::swap(socket.Fd, candidate.Fd);
        return true;
    }
    return false;
}

bool IsAddress(const QByteArray& host)
{
    in6_addr address{};
    return inet_pton(AF_INET, host.constData(), &address) == 1 || inet_pton(AF_INET6, host.constData(), &address) == 1;
}

QString VerifyText(long result, const QString& host)
{
    const QString untrusted = QStringLiteral("сертификат брокера не признан доверенным: ");
    switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return untrusted + QStringLiteral("срок его действия истек");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return untrusted + QStringLiteral("срок его действия еще не начался (проверьте часы этого компьютера)");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return untrusted + QStringLiteral("он выдан не на имя «%1»").arg(host);
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return untrusted + QStringLiteral("он подписан не тем центром сертификации, что задан в CAFile");
    case X509_V_ERR_CERT_REVOKED:
        return untrusted + QStringLiteral("он отозван");
    default:
        return untrusted + QStringLiteral("ошибка проверки %1 (%2)")
                               .arg(result)
                               .arg(QString::fromUtf8(X509_verify_cert_error_string(result)));
    }
}

}  // namespace

QString DiagnoseTls(const TMqttSettings& s, bool& settingsFault, int timeoutMs)
{
    settingsFault = false;
    std::unique_ptr<SSL_CTX, TFreeContext> context(SSL_CTX_new(TLS_client_method()));
    if (!context)
        return QString();
    const QByteArray ca = QFile::encodeName(s.CAFile);
    const QByteArray cert = QFile::encodeName(s.CertFile);
    const QByteArray key = QFile::encodeName(s.KeyFile);
    QString fault;
    // The key before its certificate: a key that does not fit is then told as such, not as
    // unreadable.
    if (SSL_CTX_load_verify_locations(context.get(), ca.constData(), nullptr) != 1)
        fault = FileText(QStringLiteral("сертификата центра"), s.CAFile);
    else if (!key.isEmpty() && SSL_CTX_use_PrivateKey_file(context.get(), key.constData(), SSL_FILETYPE_PEM) != 1)
        fault = FileText(QStringLiteral("ключа клиента"), s.KeyFile);
    else if (!cert.isEmpty() && SSL_CTX_use_certificate_chain_file(context.get(), cert.constData()) != 1)
        fault = FileText(QStringLiteral("сертификата клиента"), s.CertFile);
    else if (!cert.isEmpty() && SSL_CTX_check_private_key(context.get()) != 1)
        fault = QStringLiteral("ключ клиента «%1» не подходит к его сертификату").arg(QDir::toNativeSeparators(s.KeyFile));
    ERR_clear_error();
    if (!fault.isEmpty()) {
        settingsFault = true;
        return fault;
    }
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);

    TSocket socket;
    if (!Connect(s, timeoutMs, socket))
        return QString();
    std::unique_ptr<SSL, TFreeSsl> ssl(SSL_new(context.get()));
    if (!ssl)
        return QString();
    const QByteArray host = s.Host.toUtf8();
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl.get());
    if (!IsAddress(host)) {
        SSL_set_tlsext_host_name(ssl.get(), host.constData());
        X509_VERIFY_PARAM_set1_host(param, host.constData(), 0);
    } else {
        X509_VERIFY_PARAM_set1_ip_asc(param, host.constData());
    }
    SSL_set_fd(ssl.get(), socket.Fd);
    errno = 0;
    const int rc = SSL_connect(ssl.get());
    const int systemError = errno;
    if (rc == 1) {
        SSL_shutdown(ssl.get());
        return QString();
    }
    const long verify = SSL_get_verify_result(ssl.get());
    const int error = SSL_get_error(ssl.get(), rc);
    const unsigned long queued = ERR_peek_error();
    ERR_clear_error();
    if (verify != X509_V_OK)
        return VerifyText(verify, s.Host);
    const int reason = ERR_GET_REASON(queued);
    // Closed at the first look (not silent past the limit), or answered in anything but TLS: a
    // port that speaks plain MQTT.
    const bool closed = error == SSL_ERROR_SYSCALL && queued == 0 && systemError != EAGAIN && systemError != EWOULDBLOCK;
    if (closed || reason == SSL_R_UNEXPECTED_EOF_WHILE_READING
        || reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG
        || reason == SSL_R_RECORD_LENGTH_MISMATCH)
        return QStringLiteral("на порту %1 брокер не отвечает по TLS: вероятно, это порт без шифрования").arg(s.Port);
    if (reason == SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED)
        return QStringLiteral("брокер требует сертификат клиента (CertFile и KeyFile)");
    if (reason == SSL_R_TLSV1_ALERT_UNKNOWN_CA || reason == SSL_R_SSLV3_ALERT_BAD_CERTIFICATE
        || reason == SSL_R_SSLV3_ALERT_CERTIFICATE_EXPIRED)
        return QStringLiteral("брокер не признал сертификат клиента");
    return QString();
}
