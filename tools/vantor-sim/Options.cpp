#include "Options.h"

#include <charconv>
#include <cstring>
#include <getopt.h>
#include <limits>

namespace {

enum Key {
    kDevice = 1000, kLink, kAddress, kBaud, kParity, kSeed, kVerbose, kHelp,
    kSilent, kBadCrc, kException, kExceptionFrom, kShort, kLong, kGapMs, kLateMs, kLoadingMs, kSilentRate, kDieAt,
    kControl, kJournal,
};

const option kLongOptions[] = {
    {"device", required_argument, nullptr, kDevice},
    {"link", required_argument, nullptr, kLink},
    {"address", required_argument, nullptr, kAddress},
    {"baud", required_argument, nullptr, kBaud},
    {"parity", required_argument, nullptr, kParity},
    {"seed", required_argument, nullptr, kSeed},
    {"verbose", no_argument, nullptr, kVerbose},
    {"help", no_argument, nullptr, kHelp},
    {"silent", no_argument, nullptr, kSilent},
    {"bad-crc", required_argument, nullptr, kBadCrc},
    {"exception", required_argument, nullptr, kException},
    {"exception-from", required_argument, nullptr, kExceptionFrom},
    {"short", no_argument, nullptr, kShort},
    {"long", no_argument, nullptr, kLong},
    {"gap-ms", required_argument, nullptr, kGapMs},
    {"late-ms", required_argument, nullptr, kLateMs},
    {"loading-ms", required_argument, nullptr, kLoadingMs},
    {"silent-rate", required_argument, nullptr, kSilentRate},
    {"die-mid-answer", required_argument, nullptr, kDieAt},
    {"control", required_argument, nullptr, kControl},
    {"journal", required_argument, nullptr, kJournal},
    {nullptr, 0, nullptr, 0},
};

// The whole text must be a fraction 0..1.
bool ParseRate(const char* text, double& rate)
{
    char* end = nullptr;
    rate = std::strtod(text, &end);
    return end != text && *end == '\0' && rate >= 0 && rate <= 1;
}

// The whole text must be a number within first..last.
template <typename T>
bool ParseNumber(const char* text, T first, T last, T& value)
{
    const char* end = text + std::strlen(text);
    T parsed{};
    const auto [rest, error] = std::from_chars(text, end, parsed);
    if (error != std::errc() || rest != end || text == end || parsed < first || parsed > last)
        return false;
    value = parsed;
    return true;
}

}  // namespace

const char* HelpText()
{
    return R"(Usage: vantor-sim [options]

Simulates a Vantor controller with 192 probe inputs on a Modbus RTU line. Opens a
pseudo-terminal, prints the path that a client opens as the first line of standard output
and answers until SIGINT or SIGTERM.

Line:
  --device PATH     serve this serial device instead of a new pseudo-terminal
                    (the first line printed is then PATH)
  --link PATH       also make PATH a symbolic link to the pseudo-terminal (removed at exit)
  --address N       slave address, 1..247 (default 1); requests to other addresses are
                    ignored, broadcast writes (address 0) are carried out without an answer
  --baud N          line speed; answers are paced at 11 bits a character (9600: 1.15 ms a
                    byte, 133 bytes in ~152 ms). 0 or absent: no pacing, line set to 9600
  --parity N|E|O    parity (default E); N uses two stop bits
  --seed N          seed of the temperatures, batteries and --bad-crc choices (default 1)
  --verbose         log every request and answer to standard error

Faults (they apply to every answer):
  --silent          never answer
  --bad-crc RATE    corrupt the CRC of this fraction of answers, 0..1
  --silent-rate RATE  lose this fraction of requests, 0..1: no answer, nothing done
  --exception CODE  answer every request with this exception code, 1..255
  --exception-from N  ..only from the N-th request to this address on (default 1)
  --short           drop the last byte before the CRC (the CRC stays valid)
  --long            add a zero byte before the CRC (the CRC stays valid)
  --gap-ms N        pause N ms in the middle of each answer
  --late-ms N       answer N ms after the request
  --die-mid-answer N  send the first half of the N-th answer, then after --gap-ms (default
                    20 ms) kill the process (SIGKILL: no clean-up, the link stays; the client
                    sees the line hang up)
  --loading-ms N    after the loading-mode command stay silent for N ms, then resume
                    (default: silent until exit, like a controller waiting for firmware)

Run-time control:
  --control PATH    before each request read PATH; when its text changed, the fault options
                    it holds (as above, blank-separated) replace every fault in force, and an
                    empty file clears them (--loading-ms stays as started)
  --journal PATH    append a line per request: time (ms since the epoch), request and answer
                    in hex, what befell it (lost, carried, badcrc, short, long, late=N, gap=N)
                    and why; written before the answer goes out

  --help            this text
)";
}

ParsedOptions ParseOptions(int argc, char** argv)
{
    ParsedOptions parsed;
    SimOptions& o = parsed.Options;
    auto fail = [&parsed](std::string message) {
        parsed.Outcome = ParsedOptions::Error;
        parsed.Message = std::move(message);
        return parsed;
    };
    constexpr int kMaxMs = 600000;

    optind = 1;
    opterr = 0;
    for (;;) {
        const int previous = optind;
        const int key = getopt_long(argc, argv, ":", kLongOptions, nullptr);
        if (key == -1)
            break;
        const std::string name = previous < argc ? argv[previous] : "";
        bool ok = true;
        switch (key) {
        case kDevice: o.Device = optarg; break;
        case kLink: o.Link = optarg; break;
        case kAddress: ok = ParseNumber<std::uint8_t>(optarg, 1, 247, o.Address); break;
        case kBaud: ok = ParseNumber<std::uint32_t>(optarg, 0, 4000000, o.Baud); break;
        case kParity:
            ok = std::strlen(optarg) == 1 && std::strchr("NEO", optarg[0]) != nullptr;
            if (ok)
                o.Parity = optarg[0];
            break;
        case kSeed:
            ok = ParseNumber<std::uint64_t>(optarg, 0, std::numeric_limits<std::uint64_t>::max(), o.Seed);
            break;
        case kVerbose: o.Verbose = true; break;
        case kHelp: parsed.Outcome = ParsedOptions::Help; return parsed;
        case kSilent: o.Silent = true; break;
        case kBadCrc: ok = ParseRate(optarg, o.BadCrcRate); break;
        case kSilentRate: ok = ParseRate(optarg, o.SilentRate); break;
        case kDieAt: ok = ParseNumber(optarg, 1, std::numeric_limits<int>::max(), o.DieAt); break;
        case kException: ok = ParseNumber<std::uint8_t>(optarg, 1, 255, o.Exception); break;
        case kExceptionFrom: ok = ParseNumber(optarg, 1, std::numeric_limits<int>::max(), o.ExceptionFrom); break;
        case kShort: o.Short = true; break;
        case kLong: o.Long = true; break;
        case kGapMs: ok = ParseNumber(optarg, 0, kMaxMs, o.GapMs); break;
        case kLateMs: ok = ParseNumber(optarg, 0, kMaxMs, o.LateMs); break;
        case kLoadingMs: ok = ParseNumber(optarg, 0, kMaxMs, o.LoadingMs); break;
        case kControl: o.ControlPath = optarg; break;
        case kJournal: o.JournalPath = optarg; break;
        case ':': return fail("option " + name + " needs a value");
        default: return fail("unknown option " + name);
        }
        if (!ok)
            return fail("bad value for " + name + ": " + optarg);
    }
    if (optind < argc)
        return fail(std::string("unexpected argument ") + argv[optind]);
    if (!o.Device.empty() && !o.Link.empty())
        return fail("--device and --link exclude each other");
    if (o.Short && o.Long)
        return fail("--short and --long exclude each other");
    return parsed;
}
