#include "Options.h"

#include <QCommandLineParser>
#include <QStringList>

#include <charconv>
#include <cstring>
#include <limits>

namespace {

// Options that take a value, then switches; one a line.
const char* const kValueOptions[] = {
    "device",
    "link",
    "address",
    "plant",
    "baud",
    "parity",
    "chunk",
    "byte-gap",
    "seed",
    "plant-base",
    "bad-crc",
    "silent-rate",
    "exception",
    "exception-from",
    "gap-ms",
    "late-ms",
    "loading-ms",
    "die-mid-answer",
    "control",
    "journal",
    "rise",
    "sensor-fault",
    "probe-lost",
};
const char* const kSwitches[] = {
    "verbose",
    "help",
    "silent",
    "short",
    "long",
    "echo",
    "wrong-address",
    "wrong-function",
};

// The whole text must be a number 0..most, fractions allowed.
bool ParseReal(const std::string& text, double most, double& value)
{
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && value >= 0 && value <= most;
}

// The whole text must be a fraction 0..1.
bool ParseRate(const std::string& text, double& rate)
{
    return ParseReal(text, 1, rate);
}

// The whole text must be a number within first..last.
template <typename T>
bool ParseNumber(const std::string& text, T first, T last, T& value)
{
    const char* begin = text.c_str();
    const char* end = begin + text.size();
    T parsed{};
    const auto [rest, error] = std::from_chars(begin, end, parsed);
    if (error != std::errc() || rest != end || begin == end || parsed < first || parsed > last)
        return false;
    value = parsed;
    return true;
}

// "N.S" with the input 1..192 and the sensor 1..6, then the rest after a colon, if any.
bool ParseSensor(const std::string& text, int& input, int& sensor, std::string& rest)
{
    const std::size_t point = text.find('.');
    const std::size_t colon = text.find(':');
    if (point == std::string::npos || (colon != std::string::npos && colon < point))
        return false;
    rest = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    return ParseNumber(text.substr(0, point), 1, 192, input)
           && ParseNumber(text.substr(point + 1, colon == std::string::npos ? std::string::npos : colon - point - 1), 1, 6,
                          sensor);
}

// "N.S:RATE", RATE in °C a minute, -100..100.
bool ParseRise(const std::string& text, ProbeFaults::Rise& rise)
{
    std::string rate;
    if (!ParseSensor(text, rise.Input, rise.Sensor, rate) || rate.empty())
        return false;
    char* end = nullptr;
    rise.PerMinute = std::strtod(rate.c_str(), &end);
    return end != rate.c_str() && *end == '\0' && rise.PerMinute >= -100 && rise.PerMinute <= 100;
}

// "N.S" or "N.S:CODE", CODE in hexadecimal, AAA7..AAAF (default AAAA, a broken sensor).
bool ParseStatus(const std::string& text, ProbeFaults::Status& status)
{
    std::string code;
    if (!ParseSensor(text, status.Input, status.Sensor, code))
        return false;
    status.Code = 0xAAAA;
    if (code.empty())
        return true;
    const auto [rest, error] = std::from_chars(code.data(), code.data() + code.size(), status.Code, 16);
    return error == std::errc() && rest == code.data() + code.size() && status.Code >= 0xAAA7 && status.Code <= 0xAAAF;
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
  --plant N         the controller's plant number, 1..65535 (default 3107)
  --baud N          line speed, 0..4000000; requests are taken in and answers paced at 11
                    bits a character (9600: 1.15 ms a byte, 133 bytes in ~152 ms). 0 or
                    absent: no pacing, line set to 9600
  --chunk N         with --baud: answers reach the client N bytes at a time, 1..256
                    (default 1), each chunk when its last byte has crossed the line, as
                    a UART FIFO or a USB adapter hands them over
  --byte-gap C      with --baud: C characters of silence between two answer bytes, 0..10
                    (fractions allowed; Modbus allows up to 1.5 inside a frame)
  --parity N|E|O    parity (default E); N uses two stop bits
  --seed N          seed of the temperatures, batteries and --bad-crc choices (default 1)
  --plant-base N    input n's probe has plant number N + n, 0..65343 (default 20000);
                    another N is the same site with every probe replaced
  --verbose         log every request and answer to standard error

Faults (they apply to every answer):
  --silent          never answer
  --bad-crc RATE    corrupt the CRC of this fraction of answers, 0..1
  --silent-rate RATE  lose this fraction of requests, 0..1: no answer, nothing done
  --exception CODE  answer every request with this exception code, 1..255
  --exception-from N  ..only from the N-th request to this address on (default 1)
  --short           drop the last byte before the CRC (the CRC stays valid)
  --long            add a zero byte before the CRC (the CRC stays valid)
  --gap-ms N        pause N ms in the middle of each answer, 0..600000
  --late-ms N       answer N ms after the request, 0..600000
  --die-mid-answer N  send the first half of the N-th answer, then after --gap-ms (default
                    20 ms) kill the process (SIGKILL: no clean-up, the link stays; the client
                    sees the line hang up)
  --loading-ms N    after the loading-mode command stay silent for N ms, then resume
                    (default: silent until exit, like a controller waiting for firmware)
  --echo            send every request back before the answer, as a two-wire adapter
                    does; with --silent the echo is all the client gets
  --wrong-address   answers carry the next slave address (the CRC stays valid)
  --wrong-function  answers carry another function code of the same kind: 0x03 and 0x04
                    swapped, 0x10 and 0x2B as 0x03 and 0x04 (the CRC stays valid)

Probe faults (each may be given more than once):
  --rise N.S:RATE   sensor S (1..6) of input N (1..192) climbs RATE degrees a minute
                    (-100..100) from the moment the option is in force; once it is taken
                    away the sensor stays where it got to
  --sensor-fault N.S[:CODE]  sensor S of input N reports the status CODE (hex, AAA7..AAAF,
                    default AAAA: sensor broken) instead of a temperature
  --probe-lost N    the probe of input N is silent: exchange state 3, readings frozen

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

    QCommandLineParser parser;
    for (const char* name : kValueOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char* name : kSwitches)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty())
        args << QStringLiteral("vantor-sim");
    if (!parser.parse(args)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return fail(std::string("unknown option ") + (unknown.front().size() == 1 ? "-" : "--")
                        + unknown.front().toStdString());
        return fail(parser.errorText().toStdString());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parsed.Outcome = ParsedOptions::Help;
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail("unexpected argument " + parser.positionalArguments().front().toStdString());

    // Each option given, checked against its range; the last of a repeated option counts.
    bool ok = true;
    std::string bad;
    auto given = [&parser](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    auto value = [&parser, &bad](const char* name) {
        bad = name;
        return parser.value(QString::fromLatin1(name)).toStdString();
    };
    if (given("device"))
        o.Device = value("device");
    if (given("link"))
        o.Link = value("link");
    if (given("control"))
        o.ControlPath = value("control");
    if (given("journal"))
        o.JournalPath = value("journal");
    if (ok && given("address"))
        ok = ParseNumber<std::uint8_t>(value("address"), 1, 247, o.Address);
    if (ok && given("plant"))
        ok = ParseNumber<std::uint16_t>(value("plant"), 1, 65535, o.PlantNumber);
    if (ok && given("baud"))
        ok = ParseNumber<std::uint32_t>(value("baud"), 0, 4000000, o.Baud);
    if (ok && given("parity")) {
        const std::string parity = value("parity");
        ok = parity.size() == 1 && std::strchr("NEO", parity[0]) != nullptr;
        if (ok)
            o.Parity = parity[0];
    }
    if (ok && given("chunk"))
        ok = ParseNumber<std::uint32_t>(value("chunk"), 1, 256, o.Chunk);
    if (ok && given("byte-gap"))
        ok = ParseReal(value("byte-gap"), 10, o.ByteGap);
    if (ok && given("seed"))
        ok = ParseNumber<std::uint64_t>(value("seed"), 0, std::numeric_limits<std::uint64_t>::max(), o.Seed);
    if (ok && given("plant-base"))
        ok = ParseNumber<std::uint16_t>(value("plant-base"), 0, 65535 - 192, o.PlantBase);
    if (ok && given("bad-crc"))
        ok = ParseRate(value("bad-crc"), o.BadCrcRate);
    if (ok && given("silent-rate"))
        ok = ParseRate(value("silent-rate"), o.SilentRate);
    if (ok && given("die-mid-answer"))
        ok = ParseNumber(value("die-mid-answer"), 1, std::numeric_limits<int>::max(), o.DieAt);
    if (ok && given("exception"))
        ok = ParseNumber<std::uint8_t>(value("exception"), 1, 255, o.Exception);
    if (ok && given("exception-from"))
        ok = ParseNumber(value("exception-from"), 1, std::numeric_limits<int>::max(), o.ExceptionFrom);
    if (ok && given("gap-ms"))
        ok = ParseNumber(value("gap-ms"), 0, kMaxMs, o.GapMs);
    if (ok && given("late-ms"))
        ok = ParseNumber(value("late-ms"), 0, kMaxMs, o.LateMs);
    if (ok && given("loading-ms"))
        ok = ParseNumber(value("loading-ms"), 0, kMaxMs, o.LoadingMs);
    // The probe faults may repeat; each value is checked.
    const auto each = [&parser, &ok, &bad](const char* name, auto parse) {
        for (const QString& text : parser.values(QString::fromLatin1(name))) {
            if (!ok)
                return;
            bad = name;
            ok = parse(text.toStdString());
            if (!ok)
                bad += ": " + text.toStdString();
        }
    };
    each("rise", [&o](const std::string& text) {
        ProbeFaults::Rise rise;
        o.Probes.Rises.push_back(rise);
        return ParseRise(text, o.Probes.Rises.back());
    });
    each("sensor-fault", [&o](const std::string& text) {
        ProbeFaults::Status status;
        o.Probes.Statuses.push_back(status);
        return ParseStatus(text, o.Probes.Statuses.back());
    });
    each("probe-lost", [&o](const std::string& text) {
        o.Probes.Lost.push_back(0);
        return ParseNumber(text, 1, 192, o.Probes.Lost.back());
    });
    if (!ok && bad.find(": ") != std::string::npos)
        return fail("bad value for --" + bad);
    if (!ok)
        return fail("bad value for --" + bad + ": " + parser.value(QString::fromStdString(bad)).toStdString());
    o.Verbose = given("verbose");
    o.Silent = given("silent");
    o.Short = given("short");
    o.Long = given("long");
    o.Echo = given("echo");
    o.WrongAddress = given("wrong-address");
    o.WrongFunction = given("wrong-function");

    if (!o.Device.empty() && !o.Link.empty())
        return fail("--device and --link exclude each other");
    if (o.Short && o.Long)
        return fail("--short and --long exclude each other");
    if (given("chunk") && o.Baud == 0)
        return fail("--chunk needs --baud: unpaced answers go out whole");
    if (o.ByteGap > 0 && (o.Baud == 0 || o.Chunk > 1))
        return fail("--byte-gap needs --baud and bytes that go out one by one");
    return parsed;
}
