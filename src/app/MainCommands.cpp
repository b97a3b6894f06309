#include "app/MainCommands.h"

#include "app/CurrentInputPanel.h"
#include "app/FormMain.h"
#include "app/StatusPanels.h"
#include "common/OperatorMessage.h"
#include "device/CommandTable.h"
#include "device/InputWrite.h"
#include "device/Operations.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "dialogs/ConfigFileCommands.h"
#include "dialogs/InputDialogs.h"
#include "station/Station.h"
#include "transport/EComPort.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include "ui_FormMain.h"

#include <QApplication>

#include <optional>

namespace {

const QString kEnter = QStringLiteral("Введите");

// The window stays blocked while a command is on the line; the cursor says so.
class TBusyCursor
{
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// Asks for the controller's plant number, keeps it as the number to write (cancelled or not), and
// runs the command with it under the busy cursor. Empty when the operator cancelled.
std::optional<bool> RunWithPlantNumber(TVantor& vantor, const QString& prompt, bool (*command)(quint16),
                                       QWidget* parent)
{
    bool ok = false;
    const int number = InputIntegerEx(kEnter, prompt, vantor.PlantNumber, 1, 65535, ok, parent);
    vantor.WrDevicePlantNumber = static_cast<quint16>(number);
    if (!ok)
        return std::nullopt;
    const TBusyCursor busy;
    return command(vantor.WrDevicePlantNumber);
}

}  // namespace

TMainCommands::TMainCommands(TFormMain& form, Ui::FormMain& ui) : Form_(form), Ui_(ui)
{
    auto on = [this](QAction* action, void (TMainCommands::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    on(Ui_.actConfigComPort, &TMainCommands::actConfigComPortExecute);
    on(Ui_.actConfigTimerInterval, &TMainCommands::actConfigTimerIntervalExecute);
    on(Ui_.actConfigSystemAddr, &TMainCommands::actConfigSystemAddrExecute);
    connect(Ui_.actSignRead, &QAction::triggered, this, [this] { actSignReadExecute(); });
    on(Ui_.actWriteSignSysAddr, &TMainCommands::actWriteSignSysAddrExecute);
    on(Ui_.actWriteSignPlantNum, &TMainCommands::actWriteSignPlantNumExecute);
    on(Ui_.actCommUpdateProgr, &TMainCommands::actCommUpdateProgrExecute);
    on(Ui_.actCommServiceOpen, &TMainCommands::actCommServiceOpenExecute);
    on(Ui_.actCommServiceClose, &TMainCommands::actCommServiceCloseExecute);
    on(Ui_.actReadModbusParams, &TMainCommands::actReadModbusParamsExecute);
    on(Ui_.actWriteModbusParams, &TMainCommands::actWriteModbusParamsExecute);
    on(Ui_.actWriteInputParams, &TMainCommands::actWriteInputParamsExecute);
    connect(Ui_.actSaveInputsConfig, &QAction::triggered, this, [this] { SaveInputsConfig(&Form_); });
    connect(Ui_.actOpenInputsConfig, &QAction::triggered, this, [this] { OpenInputsConfig(&Form_); });
    connect(Ui_.actFormAbout, &QAction::triggered, this, [this] { ShowAbout(&Form_); });
}

void TMainCommands::ShowCommandError(int command)
{
    ShowMessage(kCaptionWarning, CommandFailure(command, QStringLiteral("\r")), TMessageIcon::Warning);
    if (TStation* station = Form_.Station())
        station->CommandFailed(command);
}

void TMainCommands::ShowNotSaved(bool saved, const QString& error)
{
    if (!saved)
        ShowMessage(kCaptionError, error, TMessageIcon::Error);
}

void TMainCommands::ShowCommandDone()
{
    ShowMessage(kCaptionWarning, QStringLiteral("Команда выполнена успешно"), TMessageIcon::Information);
}

void TMainCommands::actConfigComPortExecute()
{
    TTransmitter* transmitter = Transmitter();
    if (!transmitter || transmitter->Connected())
        return;
    try {
        transmitter->ReadSettings();
        transmitter->ShowSetup();
    } catch (const EComPort& e) {
        // Nothing was edited: the stored settings stay as they are.
        ShowMessage(kCaptionError, e.Message(), TMessageIcon::Error);
        return;
    }
    QString error;
    ShowNotSaved(transmitter->WriteSettings(&error), error);
    Form_.StatusPanels().Set(0, transmitter->Port());
}

void TMainCommands::actConfigTimerIntervalExecute()
{
    TCustomTimer* timer = PollTimer();
    if (!timer)
        return;
    try {
        // The reload takes the stored interval, but must not start polling behind the operator's
        // back: the stored start-up state is kept in the file and the timer stays as it was.
        const bool running = timer->Enabled();
        timer->LoadFromIni();
        const bool stored = timer->Enabled();
        timer->SetSuspended(!running);
        const int interval = InputInteger(kEnter, QStringLiteral("Период опроса, мс [300, 20000]"), timer->Interval(),
                                          300, 20000, &Form_);
        timer->SetInterval(interval);
        // No events run in between, so the timer cannot tick while its stored state is written.
        timer->SetSuspended(!stored);
        QString error;
        const bool saved = timer->SaveToIni(&error);
        timer->SetSuspended(!running);
        ShowNotSaved(saved, error);
    } catch (...) {
    }
}

void TMainCommands::actConfigSystemAddrExecute()
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return;
    try {
        const int address = InputInteger(kEnter, QStringLiteral("Системный адрес Vantor"), vantor->SystemAddress(), 1,
                                         247, &Form_);
        vantor->SetSystemAddress(static_cast<quint8>(address));
        Form_.ShowSystemAddress();
        QString error;
        ShowNotSaved(SaveControllerSettings(&error), error);
    } catch (...) {
    }
}

bool TMainCommands::actSignReadExecute()
{
    if (!Ui_.actSignRead->isEnabled())
        return false;
    int failed = 0;
    {
        TBusyCursor busy;
        failed = ReadSignature();
    }
    if (failed != 0) {
        ShowCommandError(failed);
        return false;
    }
    Form_.ShowSignature();
    return true;
}

void TMainCommands::actWriteSignSysAddrExecute()
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return;
    vantor->WrDevicePlantNumber = vantor->PlantNumber;
    bool ok = false;
    quint8 current = 0;
    const int address =
        InputSystemAddress(vantor->SystemAddress(), 1, 247, vantor->WrDevicePlantNumber, ok, current, &Form_);
    vantor->WrSystemAddress = static_cast<quint8>(address);
    if (!ok)
        return;

    bool done = false;
    QString saveError;
    {
        TBusyCursor busy;
        done = WriteSystemAddress(vantor->WrSystemAddress, current, vantor->WrDevicePlantNumber, &saveError);
    }
    // A controller that took the address answers at it now: the operator must know the program
    // will not find it there after a restart.
    if (!saveError.isEmpty())
        ShowMessage(kCaptionError,
                    done ? QStringLiteral("Прибор принял системный адрес %1, но программа не сохранила его: ")
                                   .arg(vantor->WrSystemAddress) + saveError
                         : saveError,
                    TMessageIcon::Error);
    // After a broadcast the signature read tells whether the controller is there.
    if (done)
        actSignReadExecute();
    else
        ShowCommandError(cmdWriteAddress);
    Form_.ShowSystemAddress();
}

void TMainCommands::actWriteSignPlantNumExecute()
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return;
    const std::optional<bool> done =
        RunWithPlantNumber(*vantor, QStringLiteral("Новый заводской номер прибора"), &WritePlantNumber, &Form_);
    if (!done)
        return;
    if (!*done) {
        ShowCommandError(cmdWritePlantNumber);
        return;
    }
    actSignReadExecute();
    SavePassportAsking(*vantor, &Form_);
}

void TMainCommands::actCommUpdateProgrExecute()
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return;
    const std::optional<bool> done =
        RunWithPlantNumber(*vantor, QStringLiteral("Заводской номер прибора"), &EnterLoadingMode, &Form_);
    if (!done)
        return;
    if (*done)
        ShowCommandDone();
    else
        ShowCommandError(cmdLoadingMode);
}

void TMainCommands::RunServiceCommand(bool open)
{
    bool done = false;
    {
        TBusyCursor busy;
        done = SetServiceRange(open);
    }
    if (!done) {
        ShowCommandError(open ? cmdOpenService : cmdCloseService);
        return;
    }
    Form_.ShowSystemAddress();
    Form_.UpdateActions();
}

void TMainCommands::actCommServiceOpenExecute()
{
    RunServiceCommand(true);
}

void TMainCommands::actCommServiceCloseExecute()
{
    RunServiceCommand(false);
}

void TMainCommands::actReadModbusParamsExecute()
{
    bool done = false;
    {
        TBusyCursor busy;
        done = ReadModbusParams();
    }
    if (done)
        Form_.ShowModbusParams();
    else
        ShowCommandError(cmdReadModbus);
}

void TMainCommands::actWriteModbusParamsExecute()
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return;
    quint8 baud = vantor->ModbusBaud;
    quint8 parity = vantor->ModbusParity;
    if (!InputModbusParams(baud, parity, &Form_))
        return;
    bool done = false;
    {
        TBusyCursor busy;
        done = WriteModbusParams(baud, parity);
    }
    if (done)
        Form_.ShowModbusParams();
    else
        ShowCommandError(cmdWriteModbus);
}

void TMainCommands::actWriteInputParamsExecute()
{
    const int n = Form_.CurrentInput().Selected();
    // The operator sees the settings as they are written; one never read is not written as 0.
    const std::optional<TInputSettings> settings = Form_.CurrentInput().Settings();
    if (!settings) {
        ShowMessage(kCaptionWarning,
                    QStringLiteral("Настройки входа ") + QString::number(n) +
                        QStringLiteral(" не считаны с прибора.\rВведите значения полей, отмеченных _ _."),
                    TMessageIcon::Warning);
        return;
    }
    bool done = false;
    {
        TBusyCursor busy;
        try {
            done = WriteInputSettings(n, *settings, QStringLiteral("Записать свойства входа ") + QString::number(n));
        } catch (const std::exception&) {
        }
    }
    if (!done)
        ShowCommandError(cmdWriteInput);
}
