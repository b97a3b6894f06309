#pragma once

#include <cstdint>
#include <map>
#include <string>

// An operator at the real window against the simulator, at random: polling started and stopped,
// every controller command with random valid input through the window's own actions and dialogs,
// the port closed and opened, the configuration written, the simulator's faults switched while
// it runs, random pauses between, the window closed at the end. After every step the session
// checks what must hold whatever the order of events:
//   row        every grid row shows its own probe's plant number or nothing
//   history    no history reading comes from a failed read or from another group's answer
//   done       no command reports success unless the simulator carried it out and the answer
//              taken was its answer to that request; a read command shows what it holds
//   write-back a write sends what the operator typed, and otherwise a value the input held
//   broadcast  nothing but the set-address command goes to address 0
//   ini        INI files change only through a command that changes them
//   log        log files end in CR LF
//   hang       the window is never blocked longer than the limit (default 2 s), nor its close
struct TSessionSettings
{
    std::uint64_t Seed = 1;
    int Steps = 200;
    int HangMs = 2000;
    bool Trace = false;  // every step on standard error
};

struct TSessionOutcome
{
    // The first violation of each kind (the names above), with its step and the steps before it.
    std::map<std::string, std::string> Violations;
    std::map<std::string, int> Counts;  // violations of each kind
    int Cycles = 0;
    int Exchanges = 0;
    int Commands = 0;  // controller commands the operator ran
    int Readings = 0;  // history readings checked
    long long Ms = 0;
};

TSessionOutcome RunOperatorSession(const TSessionSettings& settings);
