#pragma once

#include <QString>

// The controller's service commands, below every screen: the window, its dialogs and orvela-cli
// run them alike. Each fills the write parameters, makes the exchanges in the calling thread (the
// caller keeps polling stopped) and says whether the command went through; the caller reports a
// failure under the command's current name in the command table.

// One command; an answer that cannot be decoded counts as a failure.
bool RunCommand(int command);
// Waits ComPauseWrite ms: the controller needs it after a write before it answers again.
void PauseAfterWrite();

// Commands 11, 12, 13 in order: 0 when all three went through, else the first that failed.
int ReadSignature();
// Command 9 to address current (0: broadcast, never answered) with the new address and the
// controller's plant number. True when the controller took it: it confirmed the write, or, after
// a broadcast that nothing on the line may have drowned, the first signature read at the new
// address names that plant number. Then the program follows the new address, waits ComPauseWrite
// and stores it in INI/VANTOR.ini (when that fails, saveError, when given, says which file and
// why); otherwise it keeps its old address and stores nothing.
bool WriteSystemAddress(quint8 newAddress, quint8 current, quint16 plantNumber, QString* saveError = nullptr);
// Command 10; after it the ComPauseWrite wait.
bool WritePlantNumber(quint16 number);
// Command 4 with the controller's plant number.
bool EnterLoadingMode(quint16 plantNumber);
// Command 5 (open) or 6 (close).
bool SetServiceRange(bool open);
// Command 3.
bool ReadModbusParams();
// Command 8 with codes into BaudTexts() and ParityTexts().
bool WriteModbusParams(quint8 baud, quint8 parity);

// "Не выполнена команда" + separator + the command's current name, and the reason when the
// command was refused for want of a system address.
QString CommandFailure(int command, const QString& separator);
