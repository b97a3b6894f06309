#include "common/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString WithSeparator(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// ~/.local/share/Orvela, or under XDG_DATA_HOME when that is set.
QString UserDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Orvela");
}

}  // namespace

QString ChooseProgramFolder(const TProgramFolderFacts& facts)
{
    if (!facts.Override.isEmpty())
        return WithSeparator(facts.Override);
    if (facts.ExecutableFolderWritable && !facts.Installed)
        return WithSeparator(facts.ExecutableFolder);
    return WithSeparator(facts.UserData);
}

QString ExecutableFolder()
{
    // Units may start before the application object exists.
    const QString folder = QCoreApplication::instance()
                               ? QCoreApplication::applicationDirPath()
                               : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
    return WithSeparator(folder);
}

QString InstalledDataFolder()
{
    const QDir executable(ExecutableFolder());
    if (executable.dirName() != QStringLiteral("bin"))
        return {};
    const QString shared = QDir::cleanPath(executable.absoluteFilePath(QStringLiteral("../share/orvela")));
    return QFileInfo(shared).isDir() ? WithSeparator(shared) : QString();
}

QString ProgramFolder()
{
    TProgramFolderFacts facts;
    facts.Override = qEnvironmentVariable("ORVELA_HOME");
    if (!facts.Override.isEmpty())
        return ChooseProgramFolder(facts);
    facts.ExecutableFolder = ExecutableFolder();
    facts.ExecutableFolderWritable = access(QFile::encodeName(facts.ExecutableFolder).constData(), W_OK) == 0;
    facts.Installed = !InstalledDataFolder().isEmpty();
    facts.UserData = UserDataFolder();
    const QString folder = ChooseProgramFolder(facts);
    if (folder != facts.ExecutableFolder)
        QDir().mkpath(folder);
    return folder;
}

bool EnsureFile(const QString& path)
{
    // It runs before every log line: a file already there is one look, its folder none.
    struct stat status {};
    if (stat(QFile::encodeName(path).constData(), &status) == 0)
        return S_ISREG(status.st_mode);
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    if (info.exists())
        return info.isFile();
    QFile file(path);
    // Append never truncates, should another writer create the file in between.
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}
