#include "app/FormMain.h"

#include "app/LabelView.h"
#include "app/LogTroubleView.h"
#include "app/VantorVisual.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "history/HistoryUnit.h"
#include "history/RiseMonitor.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "publish/PublishUnit.h"
#include "transport/PortWatch.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"
#include "values/Switches.h"

#include "ui_FormMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QScreen>

namespace {

constexpr int kStartConnectionDelay = 200;  // ms after creation: the window is on screen first

}  // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent), Ui_(std::make_unique<Ui::FormMain>())
{
    Ui_->setupUi(this);
    // The form's 8-point sans serif at 96 dots per inch.
    QFont formFont = font();
    formFont.setPixelSize(11);
    setFont(formFont);
    SetupGrids();
    SetupActions();
    // Labels show what the controller and the files say: data, never markup.
    for (QLabel* label : findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    // Placed in the middle of the desktop at every start; nothing of it is stored.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    qApp->installEventFilter(this);
    TimerStartConnection_.setSingleShot(true);
    TimerStartConnection_.setInterval(kStartConnectionDelay);
    connect(&TimerStartConnection_, &QTimer::timeout, this, [this] { TimerStartConnectionTimer(); });
    FormCreate();
    TimerStartConnection_.start();
}

TFormMain::~TFormMain()
{
    qApp->removeEventFilter(this);
    FormClose();
}

void TFormMain::FormCreate()
{
    try {
        TTransmitter* transmitter = Transmitter();
        TVantor* vantor = Vantor();
        if (!transmitter || !vantor)
            return;
        transmitter->OnBeforeOpen = [this](TCustomComPort* sender) { PortBeforeOpen(sender); };
        transmitter->OnBeforeClose = [this](TCustomComPort* sender) { PortBeforeClose(sender); };
        transmitter->OnAfterOpen = [this](TCustomComPort* sender) { PortAfterOpen(sender); };
        transmitter->OnAfterClose = [this](TCustomComPort* sender) { PortAfterClose(sender); };
        if (TPortWatch* watch = PortWatch()) {
            watch->OnVanish = [this](TCustomComPort* sender) { PortVanished(sender); };
            watch->OnReturn = [this](TCustomComPort* sender) { PortReturned(sender); };
            watch->OnWait = [this](TCustomComPort*, const QString& why) { PortWaiting(why); };
        }
        vantor->OnRequest = [this](TVantor*, const QString&, const QString& command, const QByteArray& request,
                                   const QByteArray& answer, bool) { DeviceRequest(command, request, answer); };
        vantor->ModuleError.OnChange = [this](TIOData*) { ModuleErrorChange(); };
        vantor->Error.OnChange = [this](TIOData*) { ErrorCodeChange(); };
        vantor->OnInputsStale = [this](TVantor*) { InputsStaleChange(); };
        for (int n = 1; n <= vantor::kInputCount; ++n) {
            TVantorInput& input = vantor->Input(n);
            input.OprosState.OnChange = [this, n](TIOData*) { InputStateChange(n); };
            for (int i = 1; i <= kSensorCount; ++i)
                input.TemperState[i - 1].OnChange = [this, n, i](TIOData*) { SensorStateChange(n, i); };
        }
        if (TRequestThread* thread = RequestThread())
            thread->OnCycle = [this](TRequestThread* sender, const QString&) { RequestCycleDone(*sender); };
        if (TCustomTimer* timer = PollTimer()) {
            timer->OnTimer = [this](TCustomTimer* sender) { PollTimerTick(sender); };
            timer->OnChange = [this](TCustomTimer* sender) { ShowPollState(sender); };
        }
        CreateVisual();
        BindVisualLabels();
        Visual_->AssignAll();
        SelectedInput_ = std::make_unique<TiodIntegerToInteger>();
        SelectedInput_->SetValue(0);
        SelectedInput_->OnChange = [this](TIOData*) { RefreshCurrentInput(); };
        CreateRiseMonitor();
        LogTrouble_ = std::make_unique<TLogTroubleView>(Ui_->StatusBarMain);
    } catch (...) {
        // The window opens with what could be set up.
    }
}

void TFormMain::CreateVisual()
{
    Visual_ = std::make_unique<TVantorVisual>();
}

void TFormMain::BindVisualLabels()
{
    auto view = [this](QLabel* label) {
        LabelViews_.push_back(std::make_unique<TQLabelView>(label));
        return LabelViews_.back().get();
    };
    Visual_->iolblModuleError.ValueLabel = view(Ui_->lbModuleError);
    Visual_->iolblError.ValueLabel = view(Ui_->lbErrorCode);
    Visual_->lbChannel = view(Ui_->lbFreqChannel);
}

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (Shown_)
        return;
    Shown_ = true;
    FormShow();
}

void TFormMain::FormShow()
{
    try {
        ResetStatistics();
        TTransmitter* transmitter = Transmitter();
        SetStatus(0, transmitter ? transmitter->Port() : QString());
        ShowPortState();
        ShowPollState(PollTimer());
        RefreshPolledGroup();
        ShowSystemAddress();
        UpdateActions();
        ApplyViewMode();
        Ui_->act10->trigger();
        if (TLog* log = EventLog())
            log->WriteStart();
        if (TAlarm* alarm = AlarmLog())
            alarm->WriteStart();
        Ui_->actLog->trigger();
        Ui_->asgInputs->setFocus();
        NumberRows();
        Ui_->asgCurChannel->clearSelection();
        Ui_->asgCurChannel->setCurrentCell(-1, -1);
        Ui_->asgInputs->setCurrentCell(0, Ui_->asgInputs->currentColumn() < 0 ? 0 : Ui_->asgInputs->currentColumn());
        if (SelectedInput_)
            SelectedInput_->SetValue(1);
    } catch (...) {
        // The window stays as far as it got.
    }
}

void TFormMain::TimerStartConnectionTimer()
{
    TimerStartConnection_.stop();
    Ui_->actPortOpen->trigger();
    Ui_->actOprosStart->trigger();
}

void TFormMain::PollTimerTick(TCustomTimer* timer)
{
    if (PollTick(timer))
        ShowPollHeld();
}

void TFormMain::RequestCycleDone(const TRequestThread& thread)
{
    if (ExchangePending_)
        ShowLastExchange();
    // The cycle's own group: a command may have set CurrentInput since the cycle began.
    RefreshGroup(thread.Group);
    TVantor* vantor = Vantor();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (vantor)
        PublishPolledGroup(*vantor, thread.Group, thread.GroupRead, now);
    // Readings of a failed cycle are the last ones again, not new ones.
    if (!thread.GroupRead)
        return;
    if (vantor)
        RecordPolledGroup(*vantor, thread.Group, now);
    CheckRises(thread.Group);
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TFormMain::FormClose()
{
    if (Closed_)
        return;
    Closed_ = true;
    TimerStartConnection_.stop();
    try {
        // The cycle in flight ends without reaching the window.
        if (TRequestThread* thread = RequestThread())
            thread->OnCycle = nullptr;
        RiseMonitor_.reset();
        if (TCustomTimer* timer = PollTimer()) {
            timer->OnTimer = nullptr;
            timer->OnChange = nullptr;
            timer->Stop();
        }
        if (TVantor* vantor = Vantor()) {
            vantor->OnRequest = nullptr;
            vantor->ModuleError.OnChange = nullptr;
            vantor->Error.OnChange = nullptr;
            vantor->OnInputsStale = nullptr;
            for (int n = 1; n <= vantor::kInputCount; ++n) {
                TVantorInput& input = vantor->Input(n);
                input.OprosState.OnChange = nullptr;
                for (TIOStates& state : input.TemperState)
                    state.OnChange = nullptr;
            }
        }
        if (TTransmitter* transmitter = Transmitter()) {
            transmitter->OnTransact = nullptr;
            transmitter->OnBeforeOpen = nullptr;
            transmitter->OnBeforeClose = nullptr;
            transmitter->OnAfterOpen = nullptr;
            transmitter->OnAfterClose = nullptr;
        }
        if (TPortWatch* watch = PortWatch()) {
            watch->OnVanish = nullptr;
            watch->OnReturn = nullptr;
            watch->OnWait = nullptr;
        }
        Visual_.reset();
        if (SelectedInput_) {
            SelectedInput_->OnChange = nullptr;
            SelectedInput_.reset();
        }
    } catch (...) {
        // Closing goes on whatever failed here.
    }
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this)
        return FormKeyPress(static_cast<QKeyEvent*>(event));
    return QMainWindow::eventFilter(watched, event);
}

bool TFormMain::FormKeyPress(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    // Only Ctrl is tested: Ctrl+Shift+F and Ctrl+Alt+F toggle as well.
    if (event->key() == Qt::Key_F && (event->modifiers() & Qt::ControlModifier)) {
        FullMode = !FullMode;
        ApplyViewMode();
        return true;
    }
    return false;
}
