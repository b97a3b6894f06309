#pragma once

// The process-wide objects in their order: the controller (INI/VANTOR.ini), the logs, the
// transmitter (INI/ComPort.ini), the exchange lock with the request thread and the poll timer
// (INI/Timer.ini). Failures inside are swallowed; what could be created is there.
void StartUnits();
// In reverse order: the timer and the request thread, the transmitter (closing the port), the
// logs, the controller.
void StopUnits();
