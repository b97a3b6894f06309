#include "common/TextFile.h"

#include "common/Cp1251.h"
#include "common/SystemReason.h"

#include <QFile>
#include <QSaveFile>

bool AppendTextLines(const QString& path, const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += ToCp1251(line) + "\r\n";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

bool ReplaceFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    // Unbuffered: a buffered flush reports success after a short write (a full disk, a file size
    // limit) and the truncated copy would be renamed over the old file.
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qsizetype done = 0; written && done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        written = n > 0;
        done += n;
    }
    if (written && file.commit())
        return true;
    if (error)
        *error = RussianReason(file.errorString());
    return false;
}
