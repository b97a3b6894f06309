#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <functional>

// A process that has the device open.
struct TPortHolder
{
    pid_t Pid = 0;
    QString Name;
};

// The processes with a descriptor on the device at path, by pid, as far as /proc shows them (an
// ordinary user sees only their own processes).
QList<TPortHolder> PortHolders(const QString& path);

// Why the port could not be opened, in Russian, from the errno of the step that failed: the port
// is missing (with the ports there are), access is denied (with the command that grants it), the
// port is held by another program (named when /proc tells), or the file is no serial port.
QString PortFailureReason(const QString& port, int error);

// Where the access reason learns group membership: this process's groups, and the groups the user
// database gives the user (in effect from the next login). Tests replace them, since no test can
// change its own login.
struct TGroupLookups
{
    std::function<bool(gid_t)> ProcessHasGroup;
    std::function<bool(const QString& user, gid_t)> UserListedInGroup;
};
TGroupLookups& GroupLookups();
