#include "device/Frames.h"

#include <cstddef>
#include <cstdint>

// First byte: the expected answer length; the rest: the answer, in a buffer of its exact size so
// that any read outside it is caught.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray answer(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const TAnswerValidation result = ValidateAnswer(answer, data[0]);
    if (result.Verdict == TAnswerValidation::Accepted && !CheckCrc(answer))
        __builtin_trap();
    return 0;
}
