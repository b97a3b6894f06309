#pragma once

class TPortWatch;
class TTransmitter;

// The program's one transmitter, between start-up and shut-down; null otherwise.
TTransmitter* Transmitter();
// The watch over the transmitter's device, as long as the transmitter; null otherwise.
TPortWatch* PortWatch();

// Creates the transmitter and reads INI/ComPort.ini; a file that cannot be read leaves the
// defaults. Never throws.
void TransmitterStartup();
// Ends the watch, closes the port and frees the transmitter.
void TransmitterShutdown();
