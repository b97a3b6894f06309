#pragma once

#include <QString>

class QWidget;

// The small modal prompts of the main window's commands. Each builds its form, shows it, reads
// the result back and destroys the form; an error inside gives the result of Cancel.

// The value typed on OK, else value.
int InputInteger(const QString& caption, const QString& prompt, int value, int min, int max,
                 QWidget* parent = nullptr);
// The same, with ok true only when OK was pressed.
int InputIntegerEx(const QString& caption, const QString& prompt, int value, int min, int max, bool& ok,
                   QWidget* parent = nullptr);
// The new address on OK, else value. On OK plantNumber and currentAddress become what the
// operator typed; otherwise both stay untouched.
int InputSystemAddress(int value, int min, int max, quint16& plantNumber, bool& ok, quint8& currentAddress,
                       QWidget* parent = nullptr);
// Baud and parity codes are positions in the controller's lists. True on OK, with both codes
// those selected; otherwise they stay. A code outside its list selects nothing, and OK stays
// disabled until the operator picks an item.
bool InputModbusParams(quint8& baud, quint8& parity, QWidget* parent = nullptr);
// 0, or -1 when an error escaped.
int ShowAbout(QWidget* parent = nullptr);
