#pragma once

#include <QString>

#include <optional>

// The shell's code for a program ended by SIGINT.
constexpr int kInterruptedExit = 130;

// Starts the units as the program does, writes the start markers of both logs before any exchange,
// and opens the port: the given one for this run only, else the stored one. False after saying why
// on standard error; the caller stops the units.
bool OpenSession(const std::optional<QString>& port);

// For the commands that poll or write inputs: false after saying on standard error that the
// controller's system address must be set first.
bool AddressSet();

// A line on standard error.
void PrintError(const QString& text);
