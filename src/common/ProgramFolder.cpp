#include "common/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

QString ProgramFolder()
{
    QString folder = qEnvironmentVariable("ORVELA_HOME");
    if (folder.isEmpty()) {
        if (QCoreApplication::instance())
            folder = QCoreApplication::applicationDirPath();
        else  // units may start before the application object exists
            folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
    }
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

bool EnsureFile(const QString& path)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    if (info.exists())
        return info.isFile();
    QFile file(path);
    // Append never truncates, should another writer create the file in between.
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}
