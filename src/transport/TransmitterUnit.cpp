#include "transport/TransmitterUnit.h"

#include "transport/Transmitter.h"

#include <memory>

namespace {

std::unique_ptr<TTransmitter> transmitter;

}  // namespace

TTransmitter* Transmitter()
{
    return transmitter.get();
}

void TransmitterStartup()
{
    try {
        transmitter = std::make_unique<TTransmitter>();
        transmitter->ReadSettings();
    } catch (...) {
        // The built-in defaults stay.
    }
}

void TransmitterShutdown()
{
    if (transmitter)
        transmitter->DeactivatePort();
    transmitter.reset();
}
