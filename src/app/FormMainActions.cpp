#include "app/FormMain.h"

#include "app/MainCommands.h"
#include "app/MenuAccelerators.h"
#include "app/ProtocolView.h"
#include "app/StatusPanels.h"
#include "device/Exchange.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "station/Station.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include "ui_FormMain.h"

#include <QCheckBox>

namespace {

// Service range of the controller: 1 closed, 2 open.
constexpr int kRangeClosed = 1;
constexpr int kRangeOpen = 2;

}  // namespace

void TFormMain::SetupActions()
{
    // The actions of the window are one list, shared by the menu, the tool bar and the buttons.
    auto* list = new QObject(this);
    list->setObjectName(QStringLiteral("ActionListMain"));
    for (QAction* action : findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly))
        if (action->objectName().startsWith(QStringLiteral("act")))
            action->setParent(list);

    auto on = [this](QAction* action, void (TFormMain::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    on(Ui_->actPortOpen, &TFormMain::actPortOpenExecute);
    on(Ui_->actPortClose, &TFormMain::actPortCloseExecute);
    on(Ui_->actOprosStart, &TFormMain::actOprosStartExecute);
    on(Ui_->actOprosStop, &TFormMain::actOprosStopExecute);
    on(Ui_->actOprosConfigs, &TFormMain::actOprosConfigsExecute);
    on(Ui_->act10, &TFormMain::act10Execute);
    on(Ui_->act16, &TFormMain::act16Execute);
    on(Ui_->actClearStatistics, &TFormMain::actClearStatisticsExecute);
    on(Ui_->actLog, &TFormMain::actLogExecute);
    on(Ui_->actInputPrev, &TFormMain::actInputPrevExecute);
    on(Ui_->actInputNext, &TFormMain::actInputNextExecute);
    connect(Ui_->actExit, &QAction::triggered, this, &QWidget::close);

    Commands_ = std::make_unique<TMainCommands>(*this, *Ui_);

    BindButton(Ui_->btSignRead, Ui_->actSignRead);
    BindButton(Ui_->btWr_Back, Ui_->actInputPrev);
    BindButton(Ui_->btWr_Forward, Ui_->actInputNext);
    BindButton(Ui_->btWrite, Ui_->actWriteInputParams);
    SetupHistoryMenu();
    SetupPublishing();
    SetupAlarms();
    SetupToolBar();
    // After the tool bar's check box took its caption: it has no letter of its own.
    AssignAccelerators(Ui_->MainMenu1);
}

void TFormMain::SetupToolBar()
{
    QToolBar* bar = Ui_->ToolBar1;
    cbOprosConfigs_ = new QCheckBox(Ui_->actOprosConfigs->text(), bar);
    cbOprosConfigs_->setObjectName(QStringLiteral("cbOprosConfigs"));
    cbOprosConfigs_->setToolTip(Ui_->actOprosConfigs->toolTip());
    QAction* configs = Ui_->actOprosConfigs;
    connect(cbOprosConfigs_, &QCheckBox::clicked, configs, [configs, this] {
        // The box shows the action's mark; the action decides.
        cbOprosConfigs_->setChecked(configs->isChecked());
        configs->trigger();
    });
    connect(configs, &QAction::changed, cbOprosConfigs_, [configs, this] {
        cbOprosConfigs_->setChecked(configs->isChecked());
        cbOprosConfigs_->setEnabled(configs->isEnabled());
    });
    bar->addWidget(cbOprosConfigs_);
    bar->addSeparator();
    bar->addAction(Ui_->actConfigComPort);
    bar->addAction(Ui_->actConfigSystemAddr);
    bar->addSeparator();
    bar->addAction(Ui_->actExit);
}

void TFormMain::BindButton(QAbstractButton* button, QAction* action)
{
    button->setToolTip(action->toolTip());
    button->setEnabled(action->isEnabled());
    connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::changed, button, [button, action] { button->setEnabled(action->isEnabled()); });
}

void TFormMain::UpdateActions()
{
    const TTransmitter* transmitter = Transmitter();
    const TCustomTimer* timer = PollTimer();
    const TVantor* vantor = Vantor();
    const bool connected = transmitter && transmitter->Connected();
    const bool polling = timer && timer->Enabled();
    const int range = vantor ? vantor->ServiceRange : 0;
    // Controller commands: never while polling.
    const bool command = connected && !polling;

    Ui_->actPortOpen->setEnabled(!connected);
    Ui_->actPortClose->setEnabled(command);
    Ui_->actOprosStart->setEnabled(command);
    Ui_->actOprosStop->setEnabled(polling);
    Ui_->actOprosConfigs->setEnabled(!polling);
    Ui_->actOprosConfigs->setChecked(PollSettings);
    Ui_->actConfigComPort->setEnabled(!connected && !polling);
    Ui_->actConfigTimerInterval->setEnabled(!polling);
    Ui_->actConfigSystemAddr->setEnabled(!polling);
    Ui_->actSignRead->setEnabled(command);
    Ui_->actWriteSignSysAddr->setEnabled(command);
    Ui_->actWriteSignPlantNum->setEnabled(command && range == kRangeOpen);
    Ui_->actCommUpdateProgr->setEnabled(command);
    Ui_->actCommServiceOpen->setEnabled(command && range != kRangeOpen);
    Ui_->actCommServiceClose->setEnabled(command && range != kRangeClosed);
    Ui_->actReadModbusParams->setEnabled(command && range == kRangeOpen);
    Ui_->actWriteModbusParams->setEnabled(command && range == kRangeOpen);
    Ui_->actWriteInputParams->setEnabled(command);
    Ui_->actOpenInputsConfig->setEnabled(command);
}

void TFormMain::actPortOpenExecute()
{
    TTransmitter* transmitter = Transmitter();
    if (transmitter && !transmitter->ActivatePort())
        StatusPanels_->Set(1, QStringLiteral("Не удалось открыть порт"));
    UpdateActions();
}

void TFormMain::actPortCloseExecute()
{
    if (TTransmitter* transmitter = Transmitter())
        transmitter->DeactivatePort();
    UpdateActions();
}

void TFormMain::actOprosStartExecute()
{
    // From group 1 with the general information, the first cycle at once.
    if (Station_)
        Station_->ResumePolling();
    UpdateActions();
}

void TFormMain::actOprosStopExecute()
{
    if (TCustomTimer* timer = PollTimer())
        timer->Stop();
    UpdateActions();
}

void TFormMain::actOprosConfigsExecute()
{
    PollSettings = !PollSettings;
    UpdateActions();
}

void TFormMain::act10Execute()
{
    LogRadix = 10;
    Ui_->act10->setChecked(true);
    Ui_->act16->setChecked(false);
}

void TFormMain::act16Execute()
{
    LogRadix = 16;
    Ui_->act16->setChecked(true);
    Ui_->act10->setChecked(false);
}

void TFormMain::actClearStatisticsExecute()
{
    Protocol_->Reset();
    Protocol_->ShowStatistics();
    Ui_->lbSht->update();
    Ui_->lbProc->update();
}

void TFormMain::actLogExecute()
{
    // The action has already turned its mark over.
    const bool on = Ui_->actLog->isChecked();
    SetTextKeepingAccelerator(Ui_->actLog,
                              on ? QStringLiteral("Лог событий ведется") : QStringLiteral("Лог событий отключен"));
    const QString hint = on ? QStringLiteral("Лог событий опроса ведется") : QStringLiteral("Лог событий опроса отключен");
    Ui_->actLog->setToolTip(hint);
    Ui_->actLog->setStatusTip(hint);
    if (TLog* log = EventLog())
        log->Enabled = on;
    if (TAlarm* alarm = AlarmLog())
        alarm->Enabled = on;
}

void TFormMain::actInputPrevExecute()
{
    QTableWidget* grid = Ui_->asgInputs;
    if (grid->currentRow() > 0)
        grid->setCurrentCell(grid->currentRow() - 1, std::max(grid->currentColumn(), 0));
}

void TFormMain::actInputNextExecute()
{
    QTableWidget* grid = Ui_->asgInputs;
    if (grid->currentRow() + 1 < grid->rowCount())
        grid->setCurrentCell(grid->currentRow() + 1, std::max(grid->currentColumn(), 0));
}
