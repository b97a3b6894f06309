#pragma once

#include <QStringList>

// "poll [--rounds N] [--interval MS] [--port PATH] [--json]": polls N full rounds as the program
// does (until stopped without --rounds, publishing when INI/MQTT.ini enables it), then prints
// every input. The exit code: 0, or 1 when the port cannot be opened; 130 after SIGINT, SIGTERM
// or SIGHUP, which stop the poll after the exchange in progress and print what has been read;
// 2 for a bad command line.
int RunPollCommand(const QStringList& args);
