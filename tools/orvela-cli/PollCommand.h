#pragma once

#include <QString>

#include <optional>

// "poll [--rounds N] [--port PATH]": polls N full rounds as the program does (until stopped
// without --rounds, publishing when INI/MQTT.ini enables it), then prints every input. The exit code: 0, or 1 when the port cannot be opened; 130 after SIGINT or SIGTERM, which
// stop the poll after the exchange in progress and print what has been read.
struct TPollOptions
{
    int Rounds = 0;  // 0: until stopped
    std::optional<QString> Port;  // used for this run only, not saved
};

int RunPoll(const TPollOptions& options);
