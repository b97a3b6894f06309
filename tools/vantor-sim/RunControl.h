#pragma once

#include "Bytes.h"
#include "Options.h"

#include <optional>
#include <string>

// Faults switched while the simulator runs: the file holds fault options as on the command line
// ("--late-ms 300 --bad-crc 0.2"), and whatever it says replaces every fault in force from the
// next request on (an empty file: none). The line options stay as started. Re-read at each
// request, so a writer needs no signal; it should replace the file whole (rename), not rewrite it.
class RunControl
{
public:
    explicit RunControl(std::string path) : Path_(std::move(path)) {}

    // True when the file changed since the last call and live now holds its faults. A file that
    // does not parse leaves live as it was and sets Error.
    bool Refresh(SimOptions& live);
    const std::string& Words() const { return *Words_; }
    const std::string& Error() const { return Error_; }

private:
    std::string Path_;
    std::optional<std::string> Words_;  // the file's text as last read
    std::string Error_;
};

// What the controller was sent, did and answered, one line per request, appended before the
// answer goes out, so that a reader who has seen an answer on the line finds its line here:
//   ms since the epoch TAB request hex TAB answer hex or "-" TAB flags TAB note
// flags, blank-separated, or "-": lost (the request never reached the controller), carried (a
// write taken into its registers), the answer's faults (badcrc, short, long), late=N, gap=N.
// A change of the faults adds "ms TAB control TAB the new fault options".
class Journal
{
public:
    explicit Journal(const std::string& path);  // throws std::runtime_error
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    void Request(const Bytes& request, const Bytes* answer, const std::string& flags, const std::string& note);
    void Control(const std::string& words);

private:
    void Line(const std::string& text);

    int Fd_ = -1;
};
