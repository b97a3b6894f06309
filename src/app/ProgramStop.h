#pragma once

class TFormMain;

// The ways out of the program besides the operator's exit.

// SIGTERM, SIGINT and SIGHUP end the program as the exit command does: the window closes and the
// message loop ends, leaving any dialog or box open at the time.
void EndOnStopSignals(TFormMain& form);

// While it lives, an exit() from inside the toolkit (its display connection broke) first lets the
// window go of every unit, then shuts the units down in order; without it the units' static
// destructors would close the port into a window that no longer works, and end the request thread
// in whatever order the linker chose.
class TPlatformExitGuard
{
public:
    explicit TPlatformExitGuard(TFormMain& form);
    ~TPlatformExitGuard();
    TPlatformExitGuard(const TPlatformExitGuard&) = delete;
    TPlatformExitGuard& operator=(const TPlatformExitGuard&) = delete;
};
