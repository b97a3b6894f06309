#include "Broker.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <mosquitto.h>

#include <mutex>

#include <csignal>

#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
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

// Starts program from PATH with its standard output and error appended to errors (or dropped).
pid_t Spawn(const QString& program, const QStringList& arguments, const QString& errors = {})
{
    std::vector<QByteArray> words{program.toLocal8Bit()};
    for (const QString& a : arguments)
        words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const QByteArray out = errors.isEmpty() ? QByteArray("/dev/null") : errors.toLocal8Bit();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(out.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

bool Run(const QString& program, const QStringList& arguments)
{
    const pid_t pid = Spawn(program, arguments);
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The exit of pid within limit; false when it still runs.
bool Reaped(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QThread::msleep(10);
    }
    return true;
}

}  // namespace

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
                           "-CAcreateserial", "-days", Options_.Expired ? "-1" : "2", "-extfile", d + "ext.cnf", "-out",
                           d + "server.crt"});
    return ok ? testing::AssertionSuccess() : testing::AssertionFailure() << "openssl could not make the certificates";
}

testing::AssertionResult Broker::Start()
{
    if (!QFile::exists(Dir_.path() + "/mosquitto.conf")) {
        QByteArray conf = "listener " + QByteArray::number(Port_) + " 127.0.0.1\n"
                          // A killed broker keeps what it took: its store is written after every
                          // change, not once a second.
                          "persistence true\nautosave_on_changes true\nautosave_interval 1\n"
                          "persistence_location " + Dir_.path().toUtf8() + "/\n"
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
    Pid_ = Spawn("mosquitto", {"-c", Dir_.path() + "/mosquitto.conf"}, Dir_.path() + "/broker.err");
    if (Pid_ <= 0)
        return testing::AssertionFailure() << "mosquitto did not start";
    if (!WaitUntil([this] { return Accepts(Port_) || !Running(); }, 20s) || !Running())
        return testing::AssertionFailure() << "mosquitto does not listen on " << Port_;
    return testing::AssertionSuccess();
}

bool Broker::Running()
{
    if (Pid_ > 0 && Reaped(Pid_, 0ms))
        Pid_ = -1;
    return Pid_ > 0;
}

void Broker::Kill()
{
    if (!Running())
        return;
    kill(Pid_, SIGKILL);
    waitpid(Pid_, nullptr, 0);
    Pid_ = -1;
}

void Broker::Stop()
{
    if (!Running())
        return;
    kill(Pid_, SIGTERM);
    if (!Reaped(Pid_, 10s))
        Kill();
    Pid_ = -1;
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
    // The disconnect ends the library's loop thread; forcing it (a cancel) could leave its lock held.
    mosquitto_disconnect(Data_->Client);
    mosquitto_loop_stop(Data_->Client, false);
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
