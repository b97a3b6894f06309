#include "device/CommandTable.h"
#include "device/SignatureFields.h"
#include "device/Vantor.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// First byte: the command (mod 14) and the group; the rest: the answer, in a buffer of its exact
// size so that any read outside it is caught. A conversion error is a legal outcome.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::unique_ptr<TVantor> vantor = [] {
        auto made = std::make_unique<TVantor>();
        made->SetSystemAddress(1);
        return made;
    }();
    if (size == 0)
        return 0;
    const int command = data[0] % kCommandCount;
    vantor->CurrentInput = static_cast<quint8>(1 + 4 * ((data[0] / kCommandCount) % 49));  // 1..193
    const QByteArray answer(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    try {
        vantor->ParseAnswer(command, vantor->BuildRequest(command), answer);
    } catch (const EConvertError&) {
    }
    return 0;
}
