#pragma once

#include <QString>

// The folder every file of the program lives under, with a trailing separator: the executable's
// folder, or ORVELA_HOME when it is set (tests, packaged installs).
QString ProgramFolder();

// Creates the missing folders of path and the file itself, empty, when it does not exist.
// Existing content is never touched. False when the file cannot be there afterwards.
bool EnsureFile(const QString& path);
