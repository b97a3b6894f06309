#pragma once

#include "Probes.h"

#include <cstdint>
#include <string>

struct SimOptions
{
    std::string Device;  // serve this device instead of a new pseudo-terminal
    std::string Link;    // symbolic link to the pseudo-terminal, removed at exit
    std::uint8_t Address = 1;
    std::uint32_t Baud = 0;  // 0: answers go out as fast as possible
    char Parity = 'E';
    std::uint32_t Chunk = 1;  // bytes a paced answer goes out in at once
    double ByteGap = 0;       // characters of silence between two answer bytes on a paced line
    std::uint64_t Seed = 1;
    std::uint16_t PlantBase = 20000;  // the probes' plant numbers are PlantBase + input
    bool Verbose = false;

    // Faults.
    bool Silent = false;
    double BadCrcRate = 0;
    double SilentRate = 0;  // fraction of requests lost before the controller sees them
    std::uint8_t Exception = 0;  // 0: none
    int ExceptionFrom = 1;       // the first request answered with it
    bool Short = false;
    bool Long = false;
    int GapMs = 0;
    int LateMs = 0;
    int LoadingMs = 0;  // 0: the loading mode lasts until exit
    std::uint16_t PlantNumber = 3107;  // the controller's own, as its signature gives it
    int DieAt = 0;      // the answer half sent when the process kills itself; 0: never
    bool Echo = false;  // every request comes back before the answer, as a two-wire adapter echoes
    bool WrongAddress = false;   // answers carry another slave address
    bool WrongFunction = false;  // answers carry another function code
    ProbeFaults Probes;

    // Run-time control.
    std::string ControlPath;  // a file of fault options that replace the faults while running
    std::string JournalPath;  // a line per request: what was done and answered
};

struct ParsedOptions
{
    enum TOutcome { Run, Help, Error };
    TOutcome Outcome = Run;
    SimOptions Options;
    std::string Message;  // what was wrong, for Error
};

ParsedOptions ParseOptions(int argc, char** argv);
const char* HelpText();
