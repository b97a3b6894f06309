#include "app/FormMain.h"

#include "app/CurrentInputPanel.h"
#include "app/InputsGrid.h"
#include "app/MainCommands.h"
#include "app/ProtocolView.h"
#include "app/StatusPanels.h"
#include "device/DisplayTables.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "history/RiseMonitor.h"
#include "station/Station.h"
#include "station/VantorVisual.h"
#include "values/Switches.h"

#include "ui_FormMain.h"

#include <QScrollArea>
#include <QScrollBar>

void TFormMain::SetupParts()
{
    const auto rising = [this](int n) { return RiseMonitor() ? RiseMonitor()->RisingMask(n) : 0u; };
    InputsGrid_ = std::make_unique<TInputsGrid>(Ui_->asgInputs, rising);
    CurrentInput_ = std::make_unique<TCurrentInputPanel>(*Ui_, this, rising);
    InputsGrid_->OnSelect = [this](int n) { CurrentInput_->Select(n); };
    Protocol_ = std::make_unique<TProtocolView>(*Ui_);
    StatusPanels_ = std::make_unique<TStatusPanels>(Ui_->StatusBarMain);
    ScrollTopPanel();
    FitTextWidths();
}

void TFormMain::ScrollTopPanel()
{
    // The boxes are placed by hand: a window narrower than they need scrolls them, so that the
    // write panel at the right stays within reach.
    QWidget* panel = Ui_->Panel1;
    auto* scroll = new QScrollArea(Ui_->centralWidget);
    scroll->setObjectName(QStringLiteral("sbPanel1"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setBackgroundRole(QPalette::Window);
    scroll->viewport()->setBackgroundRole(QPalette::Window);
    // The layout's item of the panel is handed back to be deleted.
    delete Ui_->mainLayout->replaceWidget(panel, scroll);
    scroll->setWidget(panel);
    const int height = panel->minimumHeight();
    scroll->setFixedHeight(height);
    // The scroll bar, while there is one, below the boxes rather than over them.
    connect(scroll->horizontalScrollBar(), &QScrollBar::rangeChanged, scroll, [scroll, height](int, int max) {
        scroll->setFixedHeight(height + (max > 0 ? scroll->horizontalScrollBar()->sizeHint().height() : 0));
    });
}

TiodIntegerToInteger* TFormMain::SelectedInput() const
{
    return CurrentInput_ ? CurrentInput_->SelectedInput() : nullptr;
}

qint32 TFormMain::RequestCount() const
{
    return Protocol_->RequestCount();
}

qint32 TFormMain::AnswerCount() const
{
    return Protocol_->AnswerCount();
}

QString TFormMain::StatusText(int panel) const
{
    return StatusPanels_->Text(panel);
}

void TFormMain::RefreshPolledGroup()
{
    const TVantor* vantor = Vantor();
    RefreshGroup(vantor ? vantor->CurrentInput.load() : 0);
}

void TFormMain::RefreshGroup(int g)
{
    try {
        if (Visual_)
            Visual_->RefreshAll();
        if (g < 1 || g >= vantor::kInputCount)
            return;
        for (int n = g; n < g + vantor::kGroupSize && n <= vantor::kInputCount; ++n)
            InputsGrid_->FillRow(n);
        const int selected = CurrentInput_->Selected();
        if (selected >= g && selected < g + vantor::kGroupSize)
            CurrentInput_->Refresh();
        ShowAlarms();
    } catch (...) {
        // The rest of the screen stays as it was.
    }
}

void TFormMain::RefreshCurrentInput()
{
    CurrentInput_->Refresh();
}

void TFormMain::InputsStaleChange()
{
    try {
        if (Visual_)
            Visual_->RefreshAll();
        InputsGrid_->ShowStale();
        CurrentInput_->Refresh();
        ShowAlarms();
    } catch (...) {
        // The rest of the screen stays as it was.
    }
}

void TFormMain::SensorRiseChange(int n)
{
    try {
        InputsGrid_->ShowRowColors(n);
        CurrentInput_->RiseChanged(n);
        ShowAlarms();
    } catch (...) {
    }
}

void TFormMain::ShowCommandError(int command)
{
    Commands_->ShowCommandError(command);
}

void TFormMain::ShowCommandDone()
{
    Commands_->ShowCommandDone();
}

void TFormMain::ShowSystemAddress()
{
    try {
        const TVantor* vantor = Vantor();
        if (!vantor)
            return;
        Ui_->lbSystemAddress->setText(QString::number(vantor->SystemAddress()));
        Ui_->lbServiceOpened->setText(ServiceRangeTexts().value(vantor->ServiceRange));
    } catch (...) {
    }
}

void TFormMain::ShowSignature()
{
    try {
        const TVantor* vantor = Vantor();
        if (!vantor)
            return;
        Ui_->lbManufact->setText(vantor->Manufacturer);
        Ui_->lbPlantNumber->setText(QString::number(vantor->PlantNumber));
        Ui_->lbVerSoft->setText(QString::number(vantor->VerSoft));
        Ui_->lbVerHard->setText(QString::number(vantor->VerHard));
        Ui_->lbSite->setText(vantor->Site);
        Ui_->lbDevice->setText(vantor->Device);
        Ui_->lbDeviceName->setText(vantor->DeviceName);
        Ui_->lbDeviceType->setText(QString::number(vantor->DeviceType));
        Ui_->lbCRC->setText(vantor->CRC);
        FitSignature();
    } catch (...) {
    }
}

void TFormMain::ShowModbusParams()
{
    try {
        const TVantor* vantor = Vantor();
        if (!vantor)
            return;
        Ui_->lbModbusSpeed->setText(BaudTexts().value(vantor->ModbusBaud));
        Ui_->lbModbusParity->setText(ParityTexts().value(vantor->ModbusParity));
    } catch (...) {
    }
}

void TFormMain::ApplyViewMode()
{
    const bool full = FullMode;
    QRect module = Ui_->gbModule->geometry();
    module.setHeight(full ? 69 : 109);
    Ui_->gbModule->setGeometry(module);
    // gbTransmission fills what the statistics box leaves free.
    for (QWidget* widget : {static_cast<QWidget*>(Ui_->gbStatistics), static_cast<QWidget*>(Ui_->gbModbus),
                            static_cast<QWidget*>(Ui_->lbServiceOpenedTxt), static_cast<QWidget*>(Ui_->lbServiceOpened)})
        widget->setVisible(full);
    Ui_->mmCommands->menuAction()->setVisible(full);
    Ui_->mmModbus->menuAction()->setVisible(full);
    for (QAction* action : {Ui_->actClearStatistics, Ui_->actCommServiceOpen, Ui_->actCommServiceClose,
                            Ui_->actCommUpdateProgr, Ui_->actReadModbusParams, Ui_->actWriteModbusParams,
                            Ui_->actWriteSignPlantNum})
        action->setVisible(full);
}
