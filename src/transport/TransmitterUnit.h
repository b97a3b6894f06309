#pragma once

class TTransmitter;

// The program's one transmitter, between start-up and shut-down; null otherwise.
TTransmitter* Transmitter();

// Creates the transmitter and reads INI/ComPort.ini; a file that cannot be read leaves the
// defaults. Never throws.
void TransmitterStartup();
// Closes the port and frees the transmitter.
void TransmitterShutdown();
