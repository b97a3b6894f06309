#pragma once

#include <QObject>

namespace Ui {
class FormMain;
}

class TFormMain;

// The controller's commands and the settings of the main window's actions: each prompts, runs the
// operations unit's command and shows the outcome in the window; a failed command is told in a
// box and written to the alarm log by the station.
class TMainCommands : public QObject
{
public:
    TMainCommands(TFormMain& form, Ui::FormMain& ui);

    // A failed controller command: a warning box with its current name and an alarm-log line.
    void ShowCommandError(int command);
    void ShowCommandDone();
    // A settings file that could not be written: the box says which and why.
    void ShowNotSaved(bool saved, const QString& error);

private:
    void actConfigComPortExecute();
    void actConfigTimerIntervalExecute();
    void actConfigSystemAddrExecute();
    // True when all three parts of the signature were read.
    bool actSignReadExecute();
    void actWriteSignSysAddrExecute();
    void actWriteSignPlantNumExecute();
    void actCommUpdateProgrExecute();
    void RunServiceCommand(bool open);
    void actCommServiceOpenExecute();
    void actCommServiceCloseExecute();
    void actReadModbusParamsExecute();
    void actWriteModbusParamsExecute();
    void actWriteInputParamsExecute();

    TFormMain& Form_;
    Ui::FormMain& Ui_;
};
