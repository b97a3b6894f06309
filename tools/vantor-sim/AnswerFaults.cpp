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

namespace {

// Another code a master knows, so that only matching it to the request can tell: reads swapped,
// writes and identification as reads, exceptions likewise.
std::uint8_t OtherFunction(std::uint8_t function)
{
    const std::uint8_t exception = function & 0x80;
    switch (function & 0x7F) {
    case 0x03: return exception | 0x04;
    case 0x04: return exception | 0x03;
    case 0x10: return exception | 0x03;
    default: return exception | 0x04;
    }
}

}  // namespace

std::string AnswerFaults::Apply(Bytes& answer)
{
    if (answer.size() < 3)
        return {};
    std::string done;
    if (Faults_.WrongAddress || Faults_.WrongFunction) {
        if (Faults_.WrongAddress)
            answer[0] = static_cast<std::uint8_t>(answer[0] % 247 + 1);
        if (Faults_.WrongFunction)
            answer[1] = OtherFunction(answer[1]);
        RenewCrc(answer);
        done = Faults_.WrongAddress ? "wrong-address" : "wrong-function";
    }
    if (Faults_.Short) {
        answer.erase(answer.end() - 3);
        RenewCrc(answer);
        done += done.empty() ? "short" : " short";
    } else if (Faults_.Long) {
        answer.insert(answer.end() - 2, 0x00);
        RenewCrc(answer);
        done += done.empty() ? "long" : " long";
    }
    // Drawn for every answer, so the pattern depends only on the seed and the answer count.
    if (Random_.Unit() < Faults_.BadCrcRate) {
        answer[answer.size() - 2] ^= 0xFF;
        done += done.empty() ? "badcrc" : " badcrc";
    }
    return done;
}
