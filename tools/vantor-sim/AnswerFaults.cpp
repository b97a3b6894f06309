#include "AnswerFaults.h"

#include "Crc16.h"

AnswerFaults::AnswerFaults(const ByteFaults& faults, std::uint64_t seed)
    // Its own stream, so that the faults chosen do not shift the probes' temperatures.
    : Faults_(faults), Random_(seed ^ 0xFA17FA17FA17FA17ULL), Losses_(seed ^ 0x10571057105710FFULL)
{
}

bool AnswerFaults::Lose()
{
    // A stream of its own, so that losses do not shift the pattern of bad CRCs.
    return Losses_.Unit() < Faults_.SilentRate;
}

std::string AnswerFaults::Apply(Bytes& answer)
{
    if (answer.size() < 3)
        return {};
    std::string done;
    if (Faults_.Short) {
        answer.erase(answer.end() - 3);
        RenewCrc(answer);
        done = "short";
    } else if (Faults_.Long) {
        answer.insert(answer.end() - 2, 0x00);
        RenewCrc(answer);
        done = "long";
    }
    // Drawn for every answer, so the pattern depends only on the seed and the answer count.
    if (Random_.Unit() < Faults_.BadCrcRate) {
        answer[answer.size() - 2] ^= 0xFF;
        done += done.empty() ? "badcrc" : " badcrc";
    }
    return done;
}
