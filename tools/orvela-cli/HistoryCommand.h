#pragma once

#include <QStringList>

// orvela-cli history --input N [--from DATE] [--to DATE] [--csv FILE | --json]: the kept readings
// of one input as a table or one JSON document on standard output, or as a CSV file. Exit code 0; 1 when the history cannot be
// read or the file written; 2 for a bad command line.
int RunHistoryCommand(const QStringList& args);
