#include "app/FormMain.h"

#include "app/AlarmLines.h"
#include "common/ProgramFolder.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "history/HistoryStore.h"
#include "history/RiseMonitor.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "trends/FormTrends.h"

#include "ui_FormMain.h"

#include <QAction>

#include <algorithm>

void TFormMain::CreateRiseMonitor()
{
    RiseMonitor_ = std::make_unique<TRiseMonitor>(
        HistoryPath(), ReadRiseSettings(ProgramFolder() + QStringLiteral("INI/VANTOR.ini")));
    RiseMonitor_->OnRise = [this](int n, int sensor, double rate) { SensorRiseStart(n, sensor, rate); };
}

void TFormMain::CheckRises(int first)
{
    if (!RiseMonitor_)
        return;
    // The monitor keeps each input to one check a minute: a round of 48 cycles is far shorter.
    for (int n = std::max(first, 1); n < first + vantor::kGroupSize && n <= vantor::kInputCount; ++n)
        RiseMonitor_->Check(n);
}

void TFormMain::SensorRiseStart(int n, int sensor, double ratePerDay)
{
    try {
        const TVantor* vantor = Vantor();
        if (!vantor || n < 1 || n > vantor::kInputCount)
            return;
        if (TAlarm* alarm = AlarmLog())
            alarm->WriteLine(SensorRiseLine(vantor->Input(n), sensor, ratePerDay));
        ShowInputRowColors(n);
        if (SelectedInput_ && SelectedInput_->GetOutValue().ToInteger() == n)
            Ui_->asgCurChannel->viewport()->update();
    } catch (...) {
    }
}

void TFormMain::SetupHistoryMenu()
{
    // Not one of the window's act* actions: those are the controller's commands and settings,
    // enabled by the port and the polling; the history can be looked at at any time.
    auto* trends = new QAction(QStringLiteral("Графики"), Ui_->mmHistory);
    trends->setObjectName(QStringLiteral("miTrends"));
    trends->setToolTip(QStringLiteral("Графики температур входа"));
    trends->setStatusTip(trends->toolTip());
    Ui_->mmHistory->addAction(trends);
    connect(trends, &QAction::triggered, this, [this] { OpenTrends(); });
    BindButton(Ui_->btCh_Trends, trends);
}

void TFormMain::OpenTrends()
{
    const int n = SelectedInput_ ? SelectedInput_->GetOutValue().ToInteger() : 1;
    // A window of its own, beside the main window and closed with it.
    auto* form = new TFormTrends(n > 0 ? n : 1, this);
    form->setObjectName(QStringLiteral("FormTrends"));
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->show();
}
