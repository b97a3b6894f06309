#include "transport/PortFailure.h"

#include "transport/EComPort.h"
#include "transport/SerialLine.h"
#include "transport/SerialPorts.h"

#include <QFile>

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

// Both name the same device: one node may sit under several names (by-id links, a copy of the
// node), so character devices compare by device number.
bool SameDevice(const struct stat& a, const struct stat& b)
{
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

QString ProcessName(const QByteArray& process)
{
    QFile comm(QString::fromLatin1(process + "/comm"));
    if (!comm.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

bool HoldsDevice(const QByteArray& process, const struct stat& device)
{
    const QByteArray folder = process + "/fd";
    DIR* fds = opendir(folder.constData());
    if (!fds)
        return false;  // another user's process, or one that has just ended
    bool holds = false;
    while (const dirent* entry = readdir(fds)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat target{};
        if (stat((folder + '/' + entry->d_name).constData(), &target) == 0 && SameDevice(target, device)) {
            holds = true;
            break;
        }
    }
    closedir(fds);
    return holds;
}

// The login name, or empty when the user database does not know uid.
QString LoginName(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return {};
}

QString UserName()
{
    if (const QString name = LoginName(geteuid()); !name.isEmpty())
        return name;
    const QString fromEnvironment = qEnvironmentVariable("USER");
    return fromEnvironment.isEmpty() ? QStringLiteral("$USER") : fromEnvironment;
}

QString GroupName(gid_t gid)
{
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

bool SystemProcessHasGroup(gid_t gid)
{
    if (getegid() == gid)
        return true;
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    if (count <= 0 || getgroups(count, groups.data()) < 0)
        return false;
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The group database lists the user in gid: a change that takes effect at the next login.
bool SystemUserListedInGroup(const QString& user, gid_t gid)
{
    const QByteArray name = user.toLocal8Bit();
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (getgrouplist(name.constData(), getegid(), groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (getgrouplist(name.constData(), getegid(), groups.data(), &count) < 0)
            return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

QString AccessReason(const QString& path, const QString& shown)
{
    struct stat info{};
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("Нет доступа к %1.").arg(shown);
    const QString user = UserName();
    const QString group = GroupName(info.st_gid);
    const bool groupReadsAndWrites = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    // Membership in root's group is no advice to give; nor is a group without the rights.
    if (!groupReadsAndWrites || info.st_gid == 0) {
        const QString owner = LoginName(info.st_uid);
        return QStringLiteral("Нет доступа к %1: устройство принадлежит %2:%3 с правами %4. "
                              "Обратитесь к администратору.")
            .arg(shown, owner.isEmpty() ? QString::number(info.st_uid) : owner, group,
                 QString::number(info.st_mode & 07777, 8));
    }
    const TGroupLookups& lookups = GroupLookups();
    if (!lookups.ProcessHasGroup(info.st_gid) && lookups.UserListedInGroup(user, info.st_gid))
        return QStringLiteral("Нет доступа к %1: пользователь %2 уже включен в группу %3, "
                              "но это действует только после нового входа в систему. Войдите в систему заново.")
            .arg(shown, user, group);
    return QStringLiteral("Нет доступа к %1: пользователь %2 должен входить в группу %3, которой принадлежит "
                          "устройство, и войти в систему заново.\nКоманда: sudo usermod -aG %3 %2")
        .arg(shown, user, group);
}

QString MissingReason(const QString& shown)
{
    QStringList ports;
    try {
        ListSerialPorts(ports);
    } catch (const EComPort&) {
        // The reason stands without the list.
    }
    const QString missing = QStringLiteral("Порта %1 нет в системе. ").arg(shown);
    if (ports.isEmpty())
        return missing + QStringLiteral("Последовательных портов в системе нет.");
    return missing + QStringLiteral("Есть порты: ") + ports.join(QStringLiteral(", "));
}

QString BusyReason(const QString& path)
{
    const QList<TPortHolder> holders = PortHolders(path);
    if (holders.isEmpty())
        return QStringLiteral("Порт занят другой программой.");
    QStringList named;
    for (const TPortHolder& holder : holders)
        named << QStringLiteral("%1 (PID %2)").arg(holder.Name).arg(holder.Pid);
    return QStringLiteral("Порт занят другой программой: ") + named.join(QStringLiteral(", ")) + u'.';
}

}  // namespace

TGroupLookups& GroupLookups()
{
    static TGroupLookups lookups{SystemProcessHasGroup, SystemUserListedInGroup};
    return lookups;
}

QList<TPortHolder> PortHolders(const QString& path)
{
    QList<TPortHolder> holders;
    struct stat device{};
    if (stat(QFile::encodeName(path).constData(), &device) != 0)
        return holders;
    DIR* proc = opendir("/proc");
    if (!proc)
        return holders;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const QByteArray process = QByteArrayLiteral("/proc/") + entry->d_name;
        if (HoldsDevice(process, device))
            holders.append({static_cast<pid_t>(pid), ProcessName(process)});
    }
    closedir(proc);
    std::sort(holders.begin(), holders.end(), [](const TPortHolder& a, const TPortHolder& b) { return a.Pid < b.Pid; });
    return holders;
}

QString PortFailureReason(const QString& port, int error)
{
    if (port.isEmpty())
        return QStringLiteral("Порт не задан.");
    const QString path = PortDevicePath(port);
    const QString shown = path == port ? path : QStringLiteral("%1 (%2)").arg(port, path);
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return MissingReason(shown);
    case EACCES:
    case EPERM:
        return AccessReason(path, shown);
    case EBUSY:
        return BusyReason(path);
    case ENOTTY:
    case EISDIR:
        return QStringLiteral("%1 — не последовательный порт.").arg(shown);
    case EIO:
    case ENXIO:
    case ENODEV:
        return QStringLiteral("Устройство %1 не отвечает: за портом нет оборудования или адаптер отключен.").arg(shown);
    default:
        return QStringLiteral("Системная ошибка %1: %2.").arg(error).arg(qt_error_string(error));
    }
}
