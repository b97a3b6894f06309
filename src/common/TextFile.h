#pragma once

#include <QString>
#include <QStringList>

// Appends lines to a cp1251 text file, each ended by CR LF: open, append, flush, close, so a line
// is on disk once this returns. False when any of it failed (the caller decides whether to care).
bool AppendTextLines(const QString& path, const QStringList& lines);
