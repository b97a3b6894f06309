#pragma once

#include <QString>
#include <QStringList>

// Appends lines to a cp1251 text file, each ended by CR LF: open, append, flush, close, so a line
// is on disk once this returns. False when any of it failed (the caller decides whether to care).
bool AppendTextLines(const QString& path, const QStringList& lines);

// Replaces the file at path with bytes through a temporary file beside it, renamed over the old
// one only once every byte is written: a failure leaves the old file whole. False with the
// system's reason in error, when given.
bool ReplaceFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);
