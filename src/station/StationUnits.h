#pragma once

// The units of a station in their order: the program's own (the controller, the logs, the
// transmitter, the polling), then the readings history (with the outbox while publishing) and
// the publication. Failures inside are swallowed; what could be started runs.
void StartStationUnits();
// The history and the publication, for a face that has started the program's units itself.
void StartRecording();
// In reverse order: the history writes its last batch before the publisher's final pass sends it.
void StopStationUnits();
// The history keeps its outbox only while publishing: after the publishing settings changed, both
// start again with them.
void RestartRecording();
