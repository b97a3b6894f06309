#include "transport/TransmitterUnit.h"

#include "transport/PortWatch.h"
#include "transport/Transmitter.h"

#include <memory>

namespace {

std::unique_ptr<TTransmitter> transmitter;
std::unique_ptr<TPortWatch> portWatch;

}  // namespace

TTransmitter* Transmitter()
{
    return transmitter.get();
}

TPortWatch* PortWatch()
{
    return portWatch.get();
}

void TransmitterStartup()
{
    try {
        transmitter = std::make_unique<TTransmitter>();
        portWatch = std::make_unique<TPortWatch>(*transmitter);
        transmitter->ReadSettings();
    } catch (...) {
        // The built-in defaults stay.
    }
}

void TransmitterShutdown()
{
    portWatch.reset();
    if (transmitter)
        transmitter->DeactivatePort();
    transmitter.reset();
}
