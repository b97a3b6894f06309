#include "RunControl.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

bool RunControl::Refresh(SimOptions& live)
{
    std::ifstream in(Path_, std::ios::binary);
    if (!in)
        return false;  // not written yet: the faults of the command line stay
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (Words_ && text == *Words_)
        return false;
    Words_ = text;

    std::vector<std::string> words{"vantor-sim"};
    std::istringstream split(text);
    for (std::string word; split >> word;)
        words.push_back(word);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const ParsedOptions parsed = ParseOptions(static_cast<int>(words.size()), argv.data());
    if (parsed.Outcome != ParsedOptions::Run) {
        Error_ = parsed.Outcome == ParsedOptions::Help ? "--help is not a fault" : parsed.Message;
        return true;
    }
    SimOptions next = parsed.Options;
    next.Device = live.Device;
    next.Link = live.Link;
    next.Address = live.Address;
    next.PlantNumber = live.PlantNumber;
    next.Baud = live.Baud;
    next.Parity = live.Parity;
    next.Seed = live.Seed;
    next.Verbose = live.Verbose;
    next.ControlPath = live.ControlPath;
    next.JournalPath = live.JournalPath;
    next.LoadingMs = live.LoadingMs;
    live = next;
    Error_.clear();
    return true;
}

namespace {

std::string Hex(const Bytes& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t b : bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::string Now()
{
    using namespace std::chrono;
    return std::to_string(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace

Journal::Journal(const std::string& path)
    : Fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644))
{
    if (Fd_ < 0)
        throw std::runtime_error("cannot open the journal " + path + ": " + std::strerror(errno));
}

Journal::~Journal()
{
    close(Fd_);
}

void Journal::Request(const Bytes& request, const Bytes* answer, const std::string& flags, const std::string& note)
{
    Line(Now() + '\t' + Hex(request) + '\t' + (answer ? Hex(*answer) : "-") + '\t' + (flags.empty() ? "-" : flags) +
         '\t' + note);
}

void Journal::Control(const std::string& words)
{
    Line(Now() + "\tcontrol\t" + words);
}

void Journal::Line(const std::string& text)
{
    // One write per line: a reader never sees half of one, and nothing waits in a buffer.
    std::string line = text;
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    line += '\n';
    if (write(Fd_, line.data(), line.size()) < 0)
        std::fprintf(stderr, "vantor-sim: journal: %s\n", std::strerror(errno));
}
