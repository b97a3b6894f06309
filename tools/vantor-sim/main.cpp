#include "AnswerFaults.h"
#include "Controller.h"
#include "Options.h"
#include "RunControl.h"
#include "SerialLine.h"
#include "StopSignal.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>

#include <unistd.h>

namespace {

std::string Hex(const Bytes& bytes)
{
    std::string text;
    char byte[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, text.empty() ? "%02X" : " %02X", b);
        text += byte;
    }
    return text;
}

// The link is ours only while it points at our terminal.
class Link
{
public:
    Link(std::string path, std::string target) : Path_(std::move(path)), Target_(std::move(target))
    {
        if (!Target().empty())  // a stale link from an earlier run; never a plain file
            unlink(Path_.c_str());
        if (symlink(Target_.c_str(), Path_.c_str()) != 0)
            throw std::runtime_error("cannot create the link " + Path_);
    }
    ~Link()
    {
        if (Target() == Target_)
            unlink(Path_.c_str());
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

private:
    std::string Target() const
    {
        char target[4096];
        const ssize_t n = readlink(Path_.c_str(), target, sizeof target);
        return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
    }

    std::string Path_;
    std::string Target_;
};

// Like a controller that loses power while it talks: the front half of the answer goes out and
// the process is killed before the rest, leaving the client a line that hangs up.
[[noreturn]] void DieMidAnswer(SerialLine& line, const Bytes& answer, const SendTiming& timing)
{
    const Bytes front(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(answer.size() / 2));
    line.Send(front, {timing.LateMs, 0});
    // Long enough for the client to take the bytes in before the hang-up discards what it has
    // not read yet.
    stop_signal::SleepUntil(stop_signal::Clock::now() + std::chrono::milliseconds(timing.GapMs > 0 ? timing.GapMs : 20));
    std::fflush(nullptr);
    raise(SIGKILL);
    std::abort();
}

// The faults the control file may switch while running.
void ApplyFaults(const SimOptions& o, Controller& controller, AnswerFaults& faults)
{
    controller.SetForcedException(o.Exception, o.ExceptionFrom);
    controller.SetProbeFaults(o.Probes);
    faults.SetFaults({o.BadCrcRate, o.Short, o.Long, o.SilentRate, o.WrongAddress, o.WrongFunction});
}

int Serve(const SimOptions& started)
{
    stop_signal::Install();
    SimOptions o = started;  // the faults in force; the control file replaces them
    const LineSettings settings{o.Baud, o.Parity, o.Chunk, o.ByteGap};
    SerialLine line = o.Device.empty() ? SerialLine::OpenPseudoTerminal(settings) : SerialLine::OpenDevice(o.Device, settings);
    std::optional<Link> link;
    if (!o.Link.empty())
        link.emplace(o.Link, line.ClientPath());
    Controller controller({o.Address, o.Baud, o.Parity, o.Seed, o.Exception, o.ExceptionFrom, o.LoadingMs,
                           o.PlantBase, o.PlantNumber});
    AnswerFaults faults({o.BadCrcRate, o.Short, o.Long, o.SilentRate, o.WrongAddress, o.WrongFunction}, o.Seed);
    controller.SetProbeFaults(o.Probes);
    std::optional<RunControl> control;
    if (!o.ControlPath.empty())
        control.emplace(o.ControlPath);
    std::optional<Journal> journal;
    if (!o.JournalPath.empty())
        journal.emplace(o.JournalPath);
    int answers = 0;

    // Scripts read this line to find the port.
    std::printf("%s\n", line.ClientPath().c_str());
    std::fflush(stdout);

    while (!stop_signal::Requested()) {
        const std::optional<Bytes> frame = line.ReadFrame();
        if (!frame)
            continue;
        if (control && control->Refresh(o)) {
            if (!control->Error().empty())
                std::fprintf(stderr, "vantor-sim: control: %s\n", control->Error().c_str());
            else
                ApplyFaults(o, controller, faults);
            if (journal)
                journal->Control(control->Error().empty() ? control->Words() : "refused: " + control->Error());
        }
        const SendTiming timing{o.LateMs, o.GapMs};
        if (o.Verbose)
            std::fprintf(stderr, "<- %s\n", Hex(*frame).c_str());
        // The adapter echoes whatever the master sends, controller or not.
        if (o.Echo && !frame->empty() && !line.Send(*frame, {}))
            break;
        if (o.Silent || faults.Lose()) {
            if (o.Verbose)
                std::fprintf(stderr, "   silent\n");
            if (journal)
                journal->Request(*frame, nullptr, "lost", "silent");
            continue;
        }
        Controller::Reply reply = controller.Handle(*frame);
        std::string flags = reply.Carried ? "carried" : "";
        if (reply.Answer) {
            const std::string done = faults.Apply(*reply.Answer);
            for (const std::string& fault : {done, timing.LateMs > 0 ? "late=" + std::to_string(timing.LateMs) : "",
                                             timing.GapMs > 0 ? "gap=" + std::to_string(timing.GapMs) : ""})
                if (!fault.empty())
                    flags += (flags.empty() ? "" : " ") + fault;
        }
        if (journal)
            journal->Request(*frame, reply.Answer ? &*reply.Answer : nullptr, flags, reply.Note);
        if (o.Verbose)
            std::fprintf(stderr, "   %s\n", reply.Note.c_str());
        if (reply.Answer && ++answers == o.DieAt)
            DieMidAnswer(line, *reply.Answer, timing);
        // Logged once on the line, so that a reader knows a late answer has gone out.
        if (reply.Answer && line.Send(*reply.Answer, timing) && o.Verbose)
            std::fprintf(stderr, "-> %s\n", Hex(*reply.Answer).c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const ParsedOptions parsed = ParseOptions(argc, argv);
    if (parsed.Outcome == ParsedOptions::Help) {
        std::fputs(HelpText(), stdout);
        return 0;
    }
    if (parsed.Outcome == ParsedOptions::Error) {
        std::fprintf(stderr, "vantor-sim: %s\nTry vantor-sim --help\n", parsed.Message.c_str());
        return 2;
    }
    try {
        return Serve(parsed.Options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantor-sim: %s\n", e.what());
        return 1;
    }
}
