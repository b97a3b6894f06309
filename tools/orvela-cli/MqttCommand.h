#pragma once

#include <QStringList>

// "mqtt test": connects with the settings of INI/MQTT.ini and says whether the broker accepts the
// station, or why not. Exit code 0 or 1.
int RunMqttCommand(const QStringList& args);

// "stations --broker HOST[:PORT] [--root ROOT] [--json]": every station the broker knows under
// ROOT (orvela), from its retained topics: status, last reading time, inputs not in exchange,
// active alarms. Exit code 3 when any alarm is active, 1 when the broker cannot be reached.
int RunStationsCommand(const QStringList& args);
