#pragma once

#include <QString>

// What the program folder is chosen from.
struct TProgramFolderFacts
{
    QString Override;                      // ORVELA_HOME
    QString ExecutableFolder;
    bool ExecutableFolderWritable = false;
    bool Installed = false;                // <prefix>/bin beside <prefix>/share/orvela
    QString UserData;                      // the per-user data folder
};

// ORVELA_HOME when set; else the executable's folder when it may hold the files (a build tree, a
// portable copy); else the per-user data folder. An installed program always takes the per-user
// folder: run by root, /usr/bin would be writable too. With a trailing separator.
QString ChooseProgramFolder(const TProgramFolderFacts& facts);

// The folder every file of the program lives under, with a trailing separator; the per-user
// folder is created when it is the one chosen.
QString ProgramFolder();

// The executable's own folder, with a trailing separator.
QString ExecutableFolder();

// The installed program's shared files, <prefix>/share/orvela/ beside <prefix>/bin; empty when
// the executable is not installed so.
QString InstalledDataFolder();

// Creates the missing folders of path and the file itself, empty, when it does not exist.
// Existing content is never touched. False when the file cannot be there afterwards.
bool EnsureFile(const QString& path);
