#include "device/Frames.h"

#include <cstddef>
#include <cstdint>

// First byte: the expected answer length; second: the request's length k; then k bytes of
// request and the answer, each in a buffer of its exact size so that any read outside them is
// caught.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || data[1] > size - 2)
        return 0;
    const std::size_t k = data[1];
    const QByteArray request(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(k));
    const QByteArray answer(reinterpret_cast<const char*>(data + 2 + k), static_cast<qsizetype>(size - 2 - k));
    const TAnswerValidation result = ValidateAnswer(answer, request, data[0]);
    if (result.Verdict == TAnswerValidation::Accepted && (!CheckCrc(answer) || answer[0] != request[0]))
        __builtin_trap();
    return 0;
}
