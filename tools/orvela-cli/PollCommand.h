#pragma once

#include <QString>

#include <optional>

// "poll --rounds N [--port PATH]": polls N full rounds as the program does, then prints every
// input. The exit code: 0, or 1 when the port cannot be opened; 130 after SIGINT or SIGTERM, which
// stop the poll after the exchange in progress and print what has been read.
struct TPollOptions
{
    int Rounds = 1;
    std::optional<QString> Port;  // used for this run only, not saved
};

int RunPoll(const TPollOptions& options);
