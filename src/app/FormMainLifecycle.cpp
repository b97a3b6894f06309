#include "app/FormMain.h"

#include "app/CurrentInputPanel.h"
#include "app/InputsGrid.h"
#include "app/LabelView.h"
#include "app/MainCommands.h"
#include "app/ProtocolView.h"
#include "app/StatusPanels.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "station/Station.h"
#include "station/VantorVisual.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"
#include "values/Switches.h"

#include "ui_FormMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>

#include <algorithm>

namespace {

constexpr int kStartConnectionDelay = 200;  // ms after creation: the window is on screen first
constexpr int kTitleBarAllowance = 32;      // px

}  // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent), Ui_(std::make_unique<Ui::FormMain>())
{
    Ui_->setupUi(this);
    // The form's 8-point sans serif at 96 dots per inch.
    QFont formFont = font();
    formFont.setPixelSize(11);
    setFont(formFont);
    SetupParts();
    SetupActions();
    // Labels show what the controller and the files say: data, never markup.
    for (QLabel* label : findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    // Placed in the middle of the desktop at every start, no taller than the desktop; nothing of
    // it is stored. The window manager's title bar is told only once the window is on screen:
    // room is left for one.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->availableGeometry();
        resize(width(), std::max(minimumHeight(), std::min(height(), desktop.height() - kTitleBarAllowance)));
        move(desktop.center() - rect().center());
        if (y() < desktop.top())
            move(x(), desktop.top());
    }
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
        TStatusPanels* panels = StatusPanels_.get();
        transmitter->OnBeforeOpen = [panels](TCustomComPort*) { panels->Set(1, QStringLiteral("Открытие порта...")); };
        transmitter->OnBeforeClose = [panels](TCustomComPort*) { panels->Set(1, QStringLiteral("Закрытие порта...")); };
        transmitter->OnAfterOpen = [panels](TCustomComPort*) { panels->ShowPortState(); };
        transmitter->OnAfterClose = [panels](TCustomComPort*) { panels->ShowPortState(); };
        vantor->OnRequest = [this](TVantor*, const QString&, const QString& command, const QByteArray& request,
                                   const QByteArray& answer, bool) {
            const TRequestThread* thread = RequestThread();
            Protocol_->Exchange(command, request, answer, thread && thread->Busy());
        };
        vantor->OnInputsStale = [this](TVantor*) { InputsStaleChange(); };
        // The station writes the alarm log, records and publishes; the window draws.
        Station_ = std::make_unique<TStation>();
        BindStation();
        if (TCustomTimer* timer = PollTimer())
            timer->OnChange = [panels](TCustomTimer* sender) { panels->ShowPollState(sender); };
        CreateVisual();
        BindVisualLabels();
        Visual_->AssignAll();
        StatusPanels_->WatchLogs();
    } catch (...) {
        // The window opens with what could be set up.
    }
}

void TFormMain::BindStation()
{
    TStatusPanels* panels = StatusPanels_.get();
    Station_->OnCycle = [this](const TRequestThread& thread) { RequestCycleDone(thread); };
    Station_->OnPortChange = [panels] { panels->ShowPortState(); };
    Station_->OnPortWait = [panels](const QString& why) { panels->Set(1, why); };
    Station_->OnOtherController = [this] { UpdateActions(); };
    Station_->OnPollHeld = [panels](const QString& reason) { panels->Set(2, reason); };
    Station_->OnBrokerState = [panels](TBrokerState state, const QString& reason) {
        panels->ShowBrokerState(state, reason);
    };
    Station_->OnRise = [this](int n, int, bool) { SensorRiseChange(n); };
}

TRiseMonitor* TFormMain::RiseMonitor() const
{
    return Station_ ? Station_->RiseMonitor() : nullptr;
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
        Protocol_->Reset();
        TTransmitter* transmitter = Transmitter();
        StatusPanels_->Set(0, transmitter ? transmitter->Port() : QString());
        StatusPanels_->ShowPortState();
        StatusPanels_->ShowPollState(PollTimer());
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
        InputsGrid_->NumberRows();
        CurrentInput_->NumberRows();
        Ui_->asgCurChannel->clearSelection();
        Ui_->asgCurChannel->setCurrentCell(-1, -1);
        Ui_->asgInputs->setCurrentCell(0, Ui_->asgInputs->currentColumn() < 0 ? 0 : Ui_->asgInputs->currentColumn());
        CurrentInput_->Select(1);
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

void TFormMain::RequestCycleDone(const TRequestThread& thread)
{
    Protocol_->CycleDone();
    // The cycle's own group: a command may have set CurrentInput since the cycle began.
    RefreshGroup(thread.Group);
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
        Station_.reset();
        if (TCustomTimer* timer = PollTimer()) {
            timer->OnChange = nullptr;
            timer->Stop();
        }
        if (TVantor* vantor = Vantor()) {
            vantor->OnRequest = nullptr;
            vantor->OnInputsStale = nullptr;
        }
        if (TTransmitter* transmitter = Transmitter()) {
            transmitter->OnTransact = nullptr;
            transmitter->OnBeforeOpen = nullptr;
            transmitter->OnBeforeClose = nullptr;
            transmitter->OnAfterOpen = nullptr;
            transmitter->OnAfterClose = nullptr;
        }
        Visual_.reset();
        CurrentInput_->Close();
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

void TFormMain::OpenMenus()
{
    for (QAction* menu : Ui_->MainMenu1->actions())
        if (menu->isVisible() && menu->menu()) {
            Ui_->MainMenu1->setActiveAction(menu);
            return;
        }
}

bool TFormMain::FormKeyPress(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::NoModifier) {
        OpenMenus();
        return true;
    }
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
