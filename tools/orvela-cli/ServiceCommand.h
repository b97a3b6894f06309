#pragma once

#include <QString>
#include <QStringList>

// The controller's service commands from the command line, on the same operations as the window:
// sign, address, plant-number, service, modbus, write-input, loader. Exit codes: 0 done, 1 the port
// or the controller failed ("Не выполнена команда" and the command's name on standard error), 2 a
// bad command line.
bool IsServiceCommand(const QString& name);
int RunServiceCommand(const QString& name, const QStringList& args);
