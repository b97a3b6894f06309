#pragma once

#include <QStringList>

// "config save FILE [--port PATH]": polls one round with settings and writes the inputs
// configuration file, as the window's save does. "config write FILE [--start N] [--stop M]
// [--port PATH]": reads the file as the configuration view does and writes its inputs of the range
// into the controller with the view's loop. args are those after "config". Exit codes: 0 done,
// 1 the port, the controller or the disk failed (or an input was not written), 2 a bad command
// line or a file that does not parse, 130 stopped by SIGINT or SIGTERM.
int RunConfigCommand(const QStringList& args);
