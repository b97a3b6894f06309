#include "Broker.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <mosquitto.h>

#include <mutex>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool Accepts(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

bool Run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

Broker::Broker(Options options) : Options_(std::move(options)), Port_(FreePort()) {}

Broker::~Broker() { Kill(); }

bool MakeSelfSignedCa(const QString& certificate, const QString& key)
{
    return Run("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Test CA",
                           "-keyout", key, "-out", certificate});
}

bool Broker::SessionsSaved() const { return QFile::exists(Dir_.path() + "/mosquitto.db"); }

testing::AssertionResult Broker::MakeCertificates()
{
    const QString d = Dir_.path() + u'/';
    const bool ok =
        MakeSelfSignedCa(d + "ca.crt", d + "ca.key")
        && Run("openssl", {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout",
                           d + "server.key", "-out", d + "server.csr"})
        && [&] {
               QFile ext(d + "ext.cnf");
               ext.open(QIODevice::WriteOnly);
               return ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n") > 0;
           }()
        && Run("openssl", {"x509", "-req", "-in", d + "server.csr", "-CA", d + "ca.crt", "-CAkey", d + "ca.key",
                           "-CAcreateserial", "-days", "2", "-extfile", d + "ext.cnf", "-out", d + "server.crt"});
    return ok ? testing::AssertionSuccess() : testing::AssertionFailure() << "openssl could not make the certificates";
}

testing::AssertionResult Broker::Start()
{
    if (!QFile::exists(Dir_.path() + "/mosquitto.conf")) {
        QByteArray conf = "listener " + QByteArray::number(Port_) + " 127.0.0.1\n"
                          "persistence true\nautosave_interval 1\npersistence_location " + Dir_.path().toUtf8() + "/\n"
                          "max_queued_messages 0\nmax_inflight_messages 0\n"
                          "log_dest file " + Dir_.path().toUtf8() + "/broker.log\n"
                          // Run as root, it would become the user "mosquitto", who may not write here.
                          "user " + QByteArray(getpwuid(getuid())->pw_name) + "\n";
        if (Options_.User.isEmpty()) {
            conf += "allow_anonymous true\n";
        } else {
            QFile(Dir_.path() + "/passwd").open(QIODevice::WriteOnly);
            if (!Run("mosquitto_passwd", {"-b", Dir_.path() + "/passwd", Options_.User, Options_.Password}))
                return testing::AssertionFailure() << "mosquitto_passwd failed";
            conf += "allow_anonymous false\npassword_file " + Dir_.path().toUtf8() + "/passwd\n";
        }
        if (Options_.Tls) {
            if (auto made = MakeCertificates(); !made)
                return made;
            conf += "cafile " + CaFile().toUtf8() + "\ncertfile " + Dir_.path().toUtf8() + "/server.crt\nkeyfile "
                    + Dir_.path().toUtf8() + "/server.key\n";
        }
        QFile file(Dir_.path() + "/mosquitto.conf");
        if (!file.open(QIODevice::WriteOnly) || file.write(conf) != conf.size())
            return testing::AssertionFailure() << "cannot write the configuration";
    }
    // Its warning about running as root would only clutter the test output.
    Process_.setStandardErrorFile(Dir_.path() + "/broker.err", QIODevice::Append);
    Process_.start("mosquitto", {"-c", Dir_.path() + "/mosquitto.conf"});
    if (!Process_.waitForStarted(10000))
        return testing::AssertionFailure() << "mosquitto did not start";
    if (!WaitUntil([this] { return Accepts(Port_) || !Running(); }, 20s) || !Running())
        return testing::AssertionFailure() << "mosquitto does not listen on " << Port_;
    return testing::AssertionSuccess();
}

void Broker::Kill()
{
    if (!Running())
        return;
    Process_.kill();
    Process_.waitForFinished(10000);
}

void Broker::Stop()
{
    if (!Running())
        return;
    Process_.terminate();
    if (!Process_.waitForFinished(10000))
        Kill();
}

struct Subscriber::TData {
    mutable std::mutex Mutex;
    std::vector<Message> Messages;
    bool Connected = false;
    QByteArray Topic;
    mosquitto* Client = nullptr;
};

Subscriber::Subscriber(int port, const QString& topic, const QString& clientId) : Data_(new TData)
{
    mosquitto_lib_init();
    Data_->Topic = topic.toUtf8();
    Data_->Client = mosquitto_new(clientId.toUtf8().constData(), false, Data_);
    mosquitto_connect_callback_set(Data_->Client, [](mosquitto* m, void* p, int rc) {
        auto* d = static_cast<TData*>(p);
        if (rc != 0)
            return;
        mosquitto_subscribe(m, nullptr, d->Topic.constData(), 1);
        std::lock_guard lock(d->Mutex);
        d->Connected = true;
    });
    mosquitto_disconnect_callback_set(Data_->Client, [](mosquitto*, void* p, int) {
        auto* d = static_cast<TData*>(p);
        std::lock_guard lock(d->Mutex);
        d->Connected = false;
    });
    mosquitto_message_callback_set(Data_->Client, [](mosquitto*, void* p, const mosquitto_message* m) {
        auto* d = static_cast<TData*>(p);
        std::lock_guard lock(d->Mutex);
        d->Messages.push_back({QString::fromUtf8(m->topic),
                               QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain});
    });
    mosquitto_reconnect_delay_set(Data_->Client, 1, 1, false);
    mosquitto_connect_async(Data_->Client, "127.0.0.1", port, 10);
    mosquitto_loop_start(Data_->Client);
}

Subscriber::~Subscriber()
{
    mosquitto_disconnect(Data_->Client);
    mosquitto_loop_stop(Data_->Client, true);
    mosquitto_destroy(Data_->Client);
    delete Data_;
}

std::vector<Subscriber::Message> Subscriber::Messages() const
{
    std::lock_guard lock(Data_->Mutex);
    return Data_->Messages;
}

QByteArray Subscriber::Last(const QString& topic) const
{
    std::lock_guard lock(Data_->Mutex);
    for (auto it = Data_->Messages.rbegin(); it != Data_->Messages.rend(); ++it)
        if (it->Topic == topic)
            return it->Payload;
    return {};
}

bool Subscriber::Connected() const
{
    std::lock_guard lock(Data_->Mutex);
    return Data_->Connected;
}

QByteArray MqttIni(int port, const QString& station, const QString& extra)
{
    return ("[MQTT]\r\nEnabled=1\r\nHost=127.0.0.1\r\nPort=" + QString::number(port) + "\r\nStation=" + station
            + "\r\nKeepAlive=5\r\n" + extra)
        .toUtf8();
}
