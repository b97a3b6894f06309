#include "AnswerFaults.h"
#include "Controller.h"
#include "Crc16.h"

#include <cstddef>
#include <cstdint>

// Any bytes as a request to the simulated controller. The first byte chooses whether the rest
// gets a valid CRC, so that the fuzzer reaches past the CRC check. One controller serves every
// input, so writes that open the service range or move the address carry over.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Controller controller({1, 9600, 'E', 1, 0, 1});
    static AnswerFaults faults({0.5, false, true}, 1);
    if (size == 0)
        return 0;
    Bytes frame(data + 1, data + size);
    if (data[0] & 1)
        AppendCrc(frame);
    Controller::Reply reply = controller.Handle(frame);
    if (reply.Answer) {
        if (reply.Answer->size() < 5 || reply.Answer->size() > 256)
            __builtin_trap();  // not a Modbus RTU answer
        faults.Apply(*reply.Answer);
    }
    return 0;
}
