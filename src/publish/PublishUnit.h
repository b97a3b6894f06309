#pragma once

#include <QtGlobal>

class TPublisher;
class TVantor;

// Publishing as a unit of the program, beside the history: started when [MQTT] Enabled=1 in
// INI/MQTT.ini, stopped before the history. Without it, nothing is published and nothing waits.
bool PublishingEnabled();
// Tells the operator once why it does not start (bad settings) or what is unsafe (a password
// others may read).
void PublishStartup();
void PublishShutdown();
TPublisher* Publisher();

// The controller, and when the cycle's readings answer was accepted (groupRead) the group of
// inputs starting at first. The alarms come from the station that writes them.
void PublishPolledGroup(const TVantor& vantor, int first, bool groupRead, qint64 time);
