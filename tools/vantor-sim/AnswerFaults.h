#pragma once

#include "Bytes.h"
#include "Random.h"

#include <cstdint>
#include <string>

// Faults that change an answer's bytes. The timing faults belong to the line.
struct ByteFaults
{
    double BadCrcRate = 0;  // fraction of answers whose CRC is corrupted
    bool Short = false;     // one byte less before the CRC; the CRC stays valid
    bool Long = false;      // one zero byte more before the CRC; the CRC stays valid
    double SilentRate = 0;  // fraction of requests lost on the way to the controller
    bool WrongAddress = false;   // the next slave address; the CRC stays valid
    bool WrongFunction = false;  // another function code of the same kind; the CRC stays valid
};

class AnswerFaults
{
public:
    AnswerFaults(const ByteFaults& faults, std::uint64_t seed);

    // answer: a complete frame with its CRC. What was done to it ("short badcrc"), or empty.
    std::string Apply(Bytes& answer);
    // New faults while running; the random streams go on.
    void SetFaults(const ByteFaults& faults) { Faults_ = faults; }
    // Whether the next request is lost; drawn for every request.
    bool Lose();

private:
    ByteFaults Faults_;
    Random Random_;
    Random Losses_;
};
