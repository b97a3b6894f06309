#include "common/OperatorMessage.h"
#include "transport/PortFailure.h"
#include "transport/SerialPorts.h"
#include "transport/Transmitter.h"

#include "PtyPeer.h"
#include "TestFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <utility>

namespace {

const QString kFirstLine = QStringLiteral("Ошибка активации порта :");

// The operator's box after a failed activation of port: its text, the caption checked.
QString ActivationMessage(const QString& port)
{
    QStringList shown;
    const TShowMessage previous = SetShowMessage([&](const QString& caption, const QString& text, TMessageIcon icon) {
        EXPECT_EQ(caption, QStringLiteral("Внимание"));
        EXPECT_EQ(icon, TMessageIcon::Error);
        shown << text;
    });
    TTransmitter transmitter;
    transmitter.SetPort(port);
    EXPECT_FALSE(transmitter.ActivatePort());
    EXPECT_FALSE(transmitter.Connected());
    SetShowMessage(previous);
    EXPECT_EQ(shown.size(), 1);
    return shown.value(0);
}

// A port list of the test's own: two ports with a device behind them, one tty without.
class FakePortList
{
public:
    FakePortList()
        : Old_(SetSerialPortRoots({Dir_.path() + QStringLiteral("/class"), Dir_.path() + QStringLiteral("/dev")}))
    {
        QDir().mkpath(Dir_.path() + QStringLiteral("/dev"));
    }
    ~FakePortList() { SetSerialPortRoots(Old_); }

    void AddTty(const QString& name, bool device) const
    {
        QDir().mkpath(Dir_.path() + QStringLiteral("/class/") + name + (device ? QStringLiteral("/device") : QString()));
    }

private:
    QTemporaryDir Dir_;
    TSerialPortRoots Old_;
};

QString UserName()
{
    const passwd* user = getpwuid(geteuid());
    return user ? QString::fromLocal8Bit(user->pw_name) : QString();
}

QString GroupOf(const QString& path)
{
    struct stat info{};
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const group* found = getgrgid(info.st_gid);
    return found ? QString::fromLocal8Bit(found->gr_name) : QString::number(info.st_gid);
}

}  // namespace

TEST(PortFailure, AMissingPortListsThePortsThereAre)
{
    const FakePortList ports;
    const QString missing = QStringLiteral("/nonexistent/ttyUSB7");
    EXPECT_EQ(ActivationMessage(missing),
              kFirstLine + missing + QStringLiteral("\nПорта /nonexistent/ttyUSB7 нет в системе. "
                                                    "Последовательных портов в системе нет."));
    ports.AddTty(QStringLiteral("ttyUSB0"), true);
    ports.AddTty(QStringLiteral("ttyS0"), true);
    ports.AddTty(QStringLiteral("tty1"), false);
    EXPECT_EQ(ActivationMessage(missing), kFirstLine + missing
                                              + QStringLiteral("\nПорта /nonexistent/ttyUSB7 нет в системе. "
                                                               "Есть порты: COM1, ttyUSB0"));
    // A Windows name shows the device it stands for.
    EXPECT_EQ(PortFailureReason(QStringLiteral("COM40"), ENOENT),
              QStringLiteral("Порта COM40 (/dev/ttyS39) нет в системе. Есть порты: COM1, ttyUSB0"));
}

TEST(PortFailure, AFileThatIsNoTerminalAndAnEmptyNameAreToldApart)
{
    TestFolder folder;
    folder.Write(QStringLiteral("notes.txt"), "not a port");
    const QString file = folder.Path(QStringLiteral("notes.txt"));
    EXPECT_EQ(ActivationMessage(file), kFirstLine + file + u'\n' + file + QStringLiteral(" — не последовательный порт."));
    EXPECT_EQ(folder.Read(QStringLiteral("notes.txt")), "not a port");
    const QString folderPath = folder.Path(QStringLiteral("LOG"));
    QDir().mkpath(folderPath);
    EXPECT_EQ(ActivationMessage(folderPath),
              kFirstLine + folderPath + u'\n' + folderPath + QStringLiteral(" — не последовательный порт."));
    EXPECT_EQ(ActivationMessage(QString()), kFirstLine + QStringLiteral("\nПорт не задан."));
}

TEST(PortFailure, AHeldPortNamesTheProcessThatHoldsIt)
{
    TPtyPeer peer;
    const QByteArray slave = QFile::encodeName(peer.SlavePath());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    // Another program with the port open and locked, as a second copy of this one would have it.
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = open(slave.constData(), O_RDWR | O_NOCTTY);
        const char state = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
        [[maybe_unused]] const auto written = write(ready[1], &state, 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char state = 0;
    ASSERT_EQ(read(ready[0], &state, 1), 1);
    close(ready[0]);
    ASSERT_EQ(state, '1');

    const QList<TPortHolder> holders = PortHolders(peer.SlavePath());
    ASSERT_EQ(holders.size(), 1);
    EXPECT_EQ(holders[0].Pid, holder);
    EXPECT_EQ(holders[0].Name, QStringLiteral("transport_tests"));
    EXPECT_EQ(ActivationMessage(peer.SlavePath()),
              kFirstLine + peer.SlavePath()
                  + QStringLiteral("\nПорт занят другой программой: transport_tests (PID %1).").arg(holder));

    kill(holder, SIGTERM);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(PortHolders(peer.SlavePath()).isEmpty());
    // Held without anyone to name: the reason alone.
    EXPECT_EQ(PortFailureReason(peer.SlavePath(), EBUSY), QStringLiteral("Порт занят другой программой."));
}

TEST(PortFailure, AccessDeniedNamesTheDevicesGroupAndTheCommandForThisUser)
{
    TestFolder folder;
    folder.Write(QStringLiteral("ttyUSB0"), {});
    const QString device = folder.Path(QStringLiteral("ttyUSB0"));
    const QByteArray path = QFile::encodeName(device);
    // The usual owner of an adapter; a user who may not change groups keeps their own.
    if (const group* dialout = getgrnam("dialout"))
        [[maybe_unused]] const int changed = chown(path.constData(), static_cast<uid_t>(-1), dialout->gr_gid);
    ASSERT_EQ(chmod(path.constData(), 0660), 0);
    const QString user = UserName();
    const QString group = GroupOf(device);
    ASSERT_FALSE(user.isEmpty());
    const QString reason = PortFailureReason(device, EACCES);
    if (group == QStringLiteral("root")) {
        EXPECT_TRUE(reason.endsWith(QStringLiteral("Обратитесь к администратору."))) << reason.toStdString();
    } else {
        EXPECT_EQ(reason, QStringLiteral("Нет доступа к %1: пользователь %2 должен входить в группу %3, которой "
                                         "принадлежит устройство, и войти в систему заново.\n"
                                         "Команда: sudo usermod -aG %3 %2")
                              .arg(device, user, group));
    }
    // Only the owner may use it: joining a group would not help.
    ASSERT_EQ(chmod(path.constData(), 0600), 0);
    EXPECT_EQ(PortFailureReason(device, EACCES),
              QStringLiteral("Нет доступа к %1: устройство принадлежит %2:%3 с правами 600. Обратитесь к администратору.")
                  .arg(device, user, group));
}

namespace {

// Group membership as the lookups tell it, restored afterwards.
class GroupLookupsScope
{
public:
    explicit GroupLookupsScope(TGroupLookups lookups) : Old_(std::exchange(GroupLookups(), std::move(lookups))) {}
    ~GroupLookupsScope() { GroupLookups() = Old_; }

private:
    TGroupLookups Old_;
};

}  // namespace

TEST(PortFailure, AUserAddedToTheGroupSinceLoggingInIsToldToLogInAgain)
{
    TestFolder folder;
    folder.Write(QStringLiteral("ttyUSB0"), {});
    const QString device = folder.Path(QStringLiteral("ttyUSB0"));
    const QByteArray path = QFile::encodeName(device);
    if (const group* dialout = getgrnam("dialout"))
        [[maybe_unused]] const int changed = chown(path.constData(), static_cast<uid_t>(-1), dialout->gr_gid);
    ASSERT_EQ(chmod(path.constData(), 0660), 0);
    struct stat info{};
    ASSERT_EQ(stat(path.constData(), &info), 0);
    const QString user = UserName();
    const QString group = GroupOf(device);
    if (info.st_gid == 0 || group == user)
        GTEST_SKIP() << "the device file needs a group other than root's and the user's own";

    // In the user database since the last login, not yet in this process.
    const GroupLookupsScope scope({[](gid_t) { return false; },
                                   [&](const QString& name, gid_t gid) { return name == user && gid == info.st_gid; }});
    EXPECT_EQ(PortFailureReason(device, EACCES),
              QStringLiteral("Нет доступа к %1: пользователь %2 уже включен в группу %3, но это действует только после "
                             "нового входа в систему. Войдите в систему заново.")
                  .arg(device, user, group));
    // Already in the group in this process: the group is not what is missing, so the advice is the
    // command, not a new login.
    GroupLookups().ProcessHasGroup = [&](gid_t gid) { return gid == info.st_gid; };
    EXPECT_TRUE(PortFailureReason(device, EACCES).endsWith(QStringLiteral("sudo usermod -aG %1 %2").arg(group, user)));
}

TEST(PortFailure, OtherSystemErrorsAreNamedWithTheirNumber)
{
    EXPECT_TRUE(PortFailureReason(QStringLiteral("/dev/ttyS0"), EINVAL).startsWith(QStringLiteral("Системная ошибка 22: ")));
    EXPECT_EQ(PortFailureReason(QStringLiteral("ttyUSB0"), ENXIO),
              QStringLiteral("Устройство ttyUSB0 (/dev/ttyUSB0) не отвечает: за портом нет оборудования или адаптер отключен."));
}
