#pragma once

#include <QString>
#include <QStringList>


// Appends lines to a cp1251 text file, each ended by CR LF, as one record: open, append, close,
// so the lines are with the system once this returns. A record that cannot be written whole (a
// full disk) is cut off again, so the file never ends in half a line. False with the reason in
// error, when given.
bool AppendTextLines(const QString& path, const QStringList& lines, QString* error = nullptr);

// Replaces the file at path with bytes through a temporary file beside it, synced and renamed
// over the old one only once every byte is written, and then syncs the folder, so that after a
// power cut the name holds either the old or the new content. A failure leaves the old file whole.
// A path that exists and is not a regular file (a device, a folder, a pipe) is refused: a rename
// would put a regular file in its place. False with the reason in Russian in error, when given.
bool ReplaceFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Bytes available to this user on the disk that holds path; -1 when it cannot be told.
qint64 FreeBytes(const QString& path);

// "Файл <path> не сохранен: <reason>", the one wording of a failed save.
QString NotSavedText(const QString& path, const QString& reason);
