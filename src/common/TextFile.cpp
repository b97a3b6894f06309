#include "common/TextFile.h"

#include "common/Cp1251.h"
#include "common/SystemReason.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

bool Fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

bool FailErrno(QString* error)
{
    return Fail(error, RussianReason(errno));
}

// Every byte or false with errno set; a short write is retried for the rest.
bool WriteAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// Keeps errno of the failure that is being reported.
void CloseKeepingErrno(int fd)
{
    const int saved = errno;
    close(fd);
    errno = saved;
}

}  // namespace

bool AppendTextLines(const QString& path, const QStringList& lines, QString* error)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += ToCp1251(line) + "\r\n";
    const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return FailErrno(error);
    struct stat before {};
    if (fstat(fd, &before) != 0) {
        CloseKeepingErrno(fd);
        return FailErrno(error);
    }
    if (!WriteAll(fd, bytes.constData(), bytes.size())) {
        // Whatever part of the record went in comes out again: the next record must not be glued
        // to half of this one.
        const int saved = errno;
        [[maybe_unused]] const int cut = ftruncate(fd, before.st_size);
        close(fd);
        return Fail(error, RussianReason(saved));
    }
    if (close(fd) != 0)
        return FailErrno(error);
    return true;
}

bool ReplaceFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Fail(error, QStringLiteral("это не обычный файл"));
    // A link is followed: its target gets the new content and the link stays.
    const QString target = info.isSymLink() ? info.canonicalFilePath() : info.absoluteFilePath();
    const QString folder = QFileInfo(target).absolutePath();

    QByteArray temporary = QFile::encodeName(target) + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return FailErrno(error);
    auto failAndRemove = [&](int code) {
        close(fd);
        unlink(temporary.constData());
        return Fail(error, RussianReason(code));
    };
    // The file keeps its permissions; a new one gets those of any other new file.
    struct stat old {};
    mode_t mode = 0;
    if (stat(QFile::encodeName(target).constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0 || !WriteAll(fd, bytes.constData(), bytes.size()) || fsync(fd) != 0)
        return failAndRemove(errno);
    if (close(fd) != 0) {
        const int saved = errno;
        unlink(temporary.constData());
        return Fail(error, RussianReason(saved));
    }
    if (rename(temporary.constData(), QFile::encodeName(target).constData()) != 0) {
        const int saved = errno;
        unlink(temporary.constData());
        return Fail(error, RussianReason(saved));
    }
    // The rename is only durable once the folder's entry is on disk.
    const int dir = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return FailErrno(error);
    // A file system that cannot sync folders (EINVAL) keeps its entries by its own rules.
    const bool synced = fsync(dir) == 0 || errno == EINVAL;
    CloseKeepingErrno(dir);
    return synced || FailErrno(error);
}

qint64 FreeBytes(const QString& path)
{
    struct statvfs fs {};
    if (statvfs(QFile::encodeName(path).constData(), &fs) != 0)
        return -1;
    return static_cast<qint64>(fs.f_bavail) * static_cast<qint64>(fs.f_frsize);
}

QString NotSavedText(const QString& path, const QString& reason)
{
    return QStringLiteral("Файл ") + QDir::toNativeSeparators(path) + QStringLiteral(" не сохранен: ") + reason;
}
