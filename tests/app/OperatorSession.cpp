#include "OperatorSession.h"

#include "SimulatorJournal.h"

#include "app/FormMain.h"
#include "device/CommandTable.h"
#include "device/Exchange.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"
#include "values/Switches.h"

#include "MessageRecorder.h"
#include "SessionChecks.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <numeric>
#include <random>
#include <thread>

namespace {

// Fault options the simulator is switched to while the session runs, one or two at a time.
const char* const kFaults[] = {
    "--late-ms 200",  "--late-ms 700",     "--late-ms 2000",  "--late-ms 3000", "--late-ms 5000",
    "--silent",       "--silent-rate 0.3", "--bad-crc 0.3",   "--bad-crc 1",    "--exception 2",
    "--exception 4",  "--exception 6",     "--echo",          "--echo --silent", "--wrong-address",
    "--wrong-function", "--echo --late-ms 250", "--echo --bad-crc 0.3",
};

// Line speeds a session may run at: unpaced (the simulator's answers at once) or paced slow lines,
// where an echo and a late answer take longest to tell from the next answer.
const int kBauds[] = {0, 0, 1200, 2400};

// A dialog a step expects, answered when it shows.
struct TScript
{
    const char* Class;
    std::function<void(QWidget*)> Answer;
};

void SetSpin(QWidget* dialog, const char* name, int value)
{
    dialog->findChild<QSpinBox*>(QString::fromLatin1(name))->setValue(value);
}

void Press(QWidget* dialog, bool ok)
{
    dialog->findChild<QPushButton*>(ok ? QStringLiteral("OKBtn") : QStringLiteral("CancelBtn"))->click();
}

class TOperatorSession
{
public:
    explicit TOperatorSession(const TSessionSettings& settings)
        : Settings_(settings), Random_(settings.Seed), Journal_(Folder_.Path(QStringLiteral("sim-journal.txt")))
    {
    }

    TSessionOutcome Run();

private:
    bool Start();
    void Finish();
    void Step(int k);
    void Pause();
    bool Chance(double p) { return std::bernoulli_distribution(p)(Random_); }
    int Between(int first, int last) { return std::uniform_int_distribution(first, last)(Random_); }

    QAction* Action(const char* name) const { return Form_->findChild<QAction*>(QString::fromLatin1(name)); }
    void Trigger(const char* name) { Action(name)->trigger(); }
    // The operator stops polling (not waiting for the cycle on the line) and opens the port.
    void Prepare();
    void RunCommand(const char* action, std::vector<TScript> scripts);
    void OnModalTick();
    void Beat();
    void Note(const QString& detail) { Detail_ += detail; }

    // Steps.
    struct TAction
    {
        int Weight;
        const char* Name;
        void (TOperatorSession::*Run)();
    };
    static const TAction kActions[];
    static const TAction kRepair;
    void StartPolling();
    void StopPolling();
    void Wait();
    void TogglePollSettings();
    void Port();
    void SwitchFaults();
    void ReadSignature();
    void WriteAddress();
    void WritePlantNumber();
    void LoadingMode();
    void ServiceRange();
    void ReadModbus();
    void WriteModbus();
    void WriteInput();
    void PollInterval();
    void ProgramAddress(bool repair);
    void RepairAddress() { ProgramAddress(true); }
    void SetProgramAddress() { ProgramAddress(false); }
    void ConfigWrite();

    const TSessionSettings Settings_;
    std::mt19937_64 Random_;
    TestFolder Folder_;
    SimulatorProcess Simulator_;
    MessageRecorder Messages_;
    TSimulatorJournal Journal_;
    std::unique_ptr<TFormMain> Form_;
    std::unique_ptr<TSessionChecks> Checks_;
    TSessionOutcome Outcome_;

    std::deque<TScript> Scripts_;
    bool InScript_ = false;
    QTimer ModalTimer_;
    QTimer HeartTimer_;
    QElapsedTimer SinceBeat_;
    qint64 LongestGap_ = 0;

    // For the guard thread: a step that never ends is reported and ends the process.
    std::mutex TrailMutex_;
    std::string Trail_;
    std::string Current_;
    std::atomic<qint64> StepStarted_{0};
    QString Detail_;
    std::vector<int> FileWritten_;  // inputs the configuration files listed
};

// How often the operator does what, out of the sum of the weights.
const TOperatorSession::TAction TOperatorSession::kActions[] = {
    {14, "start polling", &TOperatorSession::StartPolling},
    {8, "stop polling", &TOperatorSession::StopPolling},
    {10, "wait", &TOperatorSession::Wait},
    {7, "faults", &TOperatorSession::SwitchFaults},
    {2, "poll settings", &TOperatorSession::TogglePollSettings},
    {3, "port", &TOperatorSession::Port},
    {6, "signature", &TOperatorSession::ReadSignature},
    {3, "write address", &TOperatorSession::WriteAddress},
    {3, "write plant number", &TOperatorSession::WritePlantNumber},
    {1, "loading mode", &TOperatorSession::LoadingMode},
    {5, "service range", &TOperatorSession::ServiceRange},
    {3, "read modbus", &TOperatorSession::ReadModbus},
    {3, "write modbus", &TOperatorSession::WriteModbus},
    {16, "write input", &TOperatorSession::WriteInput},
    {3, "poll interval", &TOperatorSession::PollInterval},
    {3, "program address", &TOperatorSession::SetProgramAddress},
    {5, "configuration write", &TOperatorSession::ConfigWrite},
};
const TOperatorSession::TAction TOperatorSession::kRepair = {0, "program address", &TOperatorSession::RepairAddress};

void TOperatorSession::Beat()
{
    LongestGap_ = std::max(LongestGap_, SinceBeat_.restart());
}

void TOperatorSession::OnModalTick()
{
    QWidget* window = QApplication::activeModalWidget();
    if (InScript_ || !window || !window->isVisible())
        return;
    if (!Scripts_.empty() && (window->inherits(Scripts_.front().Class) ||
                              window->objectName() == QLatin1String(Scripts_.front().Class))) {
        const TScript script = std::move(Scripts_.front());
        Scripts_.pop_front();
        InScript_ = true;
        script.Answer(window);
        InScript_ = false;
        return;
    }
    // The passport's question before it replaces a file: yes.
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        ok ? ok->click() : box->reject();
    }
}

void TOperatorSession::Prepare()
{
    if (PollTimer()->Enabled()) {
        Trigger("actOprosStop");
        if (Chance(0.5))
            QTest::qWait(Between(0, 60));
    }
    if (!Transmitter()->Connected())
        Trigger("actPortOpen");
}

void TOperatorSession::RunCommand(const char* action, std::vector<TScript> scripts)
{
    if (!Action(action)->isEnabled()) {
        Note(QStringLiteral(" (disabled)"));
        return;
    }
    ++Outcome_.Commands;
    Scripts_.assign(scripts.begin(), scripts.end());
    Checks_->CommandRuns(QString::fromLatin1(action));
    Trigger(action);
    Scripts_.clear();  // a dialog that did not come is not answered later by mistake
}

bool TOperatorSession::Start()
{
    const QString control = Folder_.Path(QStringLiteral("sim-control"));
    const int baud = kBauds[Between(0, int(std::size(kBauds)) - 1)];
    Note(QStringLiteral(" baud %1").arg(baud));
    const testing::AssertionResult started =
        Simulator_.Start({"--control", control.toStdString(), "--journal", Journal_.Path().toStdString(),
                          "--loading-ms", "800", "--seed", std::to_string(Settings_.Seed), "--baud", std::to_string(baud)});
    if (!started) {
        Checks_->Violation("start", QString::fromStdString(started.message()));
        return false;
    }
    // Now and then a first start: no address known yet, the broadcast address 0.
    const QByteArray address = Chance(0.25) ? "0" : "1";
    Folder_.Write("INI/VANTOR.ini",
                  "[VANTOR]\r\nSystemAddress=" + address + "\r\n[ComPause]\r\nComPauseRead=5\r\nComPauseWrite=5\r\n");
    Folder_.Write("INI/ComPort.ini", QByteArray("[Transmitter]\r\nPort=") + Simulator_.Path().c_str() + "\r\nBaudRate="
                                         + QByteArray::number(baud == 0 ? 9600 : baud) + "\r\n");
    Folder_.Write("INI/Timer.ini", "[ctReqDevices]\r\nInterval=" + QByteArray::number(Between(300, 400)) + "\r\n");
    FullMode = true;  // the service commands are offered too
    StartUnits();
    Form_ = std::make_unique<TFormMain>();
    Form_->setObjectName(QStringLiteral("FormMain"));
    Checks_->Attach(*Form_);
    Form_->show();
    HistoryStartup();
    QObject::connect(&ModalTimer_, &QTimer::timeout, [this] { OnModalTick(); });
    ModalTimer_.start(10);
    QObject::connect(&HeartTimer_, &QTimer::timeout, [this] { Beat(); });
    HeartTimer_.start(50);
    SinceBeat_.start();
    // The window opens the port and starts polling by itself.
    if (!QTest::qWaitFor([] { return Transmitter()->Connected(); }, 5000))
        Checks_->Violation("start", QStringLiteral("the port did not open"));
    Checks_->TakeSettings();
    return true;
}

TSessionOutcome TOperatorSession::Run()
{
    QElapsedTimer clock;
    clock.start();
    Checks_ = std::make_unique<TSessionChecks>(Folder_, Journal_, Messages_, Outcome_, Settings_.HangMs);
    std::atomic<bool> done = false;
    std::condition_variable wake;
    std::mutex mutex;
    std::thread guard([&] {
        std::unique_lock lock(mutex);
        while (!wake.wait_for(lock, 1s, [&] { return done.load(); })) {
            const qint64 started = StepStarted_.load();
            if (started == 0 || QDateTime::currentMSecsSinceEpoch() - started < 60000)
                continue;
            const std::lock_guard trail(TrailMutex_);
            std::fprintf(stderr, "operator session, seed %llu: step %s did not end within 60 s; before it:\n%s\n",
                         static_cast<unsigned long long>(Settings_.Seed), Current_.c_str(), Trail_.c_str());
            std::fflush(stderr);
            std::_Exit(1);
        }
    });
    if (Start()) {
        for (int k = 1; k <= Settings_.Steps; ++k)
            Step(k);
        Finish();
    }
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    wake.notify_all();
    guard.join();
    Outcome_.Ms = clock.elapsed();
    return Outcome_;
}

void TOperatorSession::Step(int k)
{
    Detail_.clear();
    LongestGap_ = 0;
    SinceBeat_.restart();
    Checks_->BeginStep(k);
    // The program's address lost: the operator sets it again, as the journal shows it.
    const bool lost = Journal_.Controller.Address != Vantor()->SystemAddress();
    const TAction* action = &kRepair;
    if (!lost || !Chance(0.3)) {
        int draw = Between(1, std::accumulate(std::begin(kActions), std::end(kActions), 0,
                                              [](int sum, const TAction& a) { return sum + a.Weight; }));
        for (action = std::begin(kActions); draw > action->Weight; ++action)
            draw -= action->Weight;
    }
    {
        const std::lock_guard lock(TrailMutex_);
        Current_ = QStringLiteral("%1: %2").arg(k).arg(QLatin1String(action->Name)).toStdString();
    }
    StepStarted_ = QDateTime::currentMSecsSinceEpoch();
    (this->*action->Run)();
    Pause();
    Beat();  // a block at the very end of the step counts too
    const QString line = QStringLiteral("%1: %2%3").arg(k).arg(QLatin1String(action->Name), Detail_);
    {
        const std::lock_guard lock(TrailMutex_);
        Trail_ = Checks_->Remember(line).toStdString();
    }
    if (Settings_.Trace)
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    Checks_->EndStep(LongestGap_);
    StepStarted_ = 0;
}

void TOperatorSession::StartPolling()
{
    if (!Transmitter()->Connected())
        Trigger("actPortOpen");
    Trigger("actOprosStart");
    // Polling a while: a few cycles, so that the groups beyond the first are reached too.
    const int cycles = Outcome_.Cycles + Between(0, 8);
    Note(QStringLiteral(" for %1 cycles").arg(cycles - Outcome_.Cycles));
    static_cast<void>(QTest::qWaitFor([&] { return Outcome_.Cycles >= cycles; }, 6000));
}

void TOperatorSession::StopPolling()
{
    Trigger("actOprosStop");
}

void TOperatorSession::Wait()
{
    QTest::qWait(Between(100, 1000));
}

void TOperatorSession::TogglePollSettings()
{
    Prepare();
    Trigger("actOprosConfigs");
}

void TOperatorSession::Port()
{
    if (Transmitter()->Connected()) {
        Prepare();
        Trigger("actPortClose");
        Note(QStringLiteral(" closed"));
    } else {
        Trigger("actPortOpen");
        Note(QStringLiteral(" opened"));
    }
}

// The operator's pace: at once, in a moment, or after a look at the screen.
void TOperatorSession::Pause()
{
    const int kind = Between(0, 9);
    if (kind >= 3)
        QTest::qWait(kind < 7 ? Between(1, 100) : Between(100, 600));
}

void TOperatorSession::SwitchFaults()
{
    QStringList words;
    if (Chance(0.6)) {
        const int count = Chance(0.7) ? 1 : 2;
        for (int i = 0; i < count; ++i)
            words << QString::fromLatin1(kFaults[Between(0, int(std::size(kFaults)) - 1)]);
    }
    QSaveFile file(Folder_.Path(QStringLiteral("sim-control")));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(words.join(u' ').toLatin1());
        file.commit();
    }
    Note(u' ' + (words.isEmpty() ? QStringLiteral("none") : words.join(u' ')));
}

void TOperatorSession::ReadSignature()
{
    Prepare();
    RunCommand("actSignRead", {});
}

void TOperatorSession::WriteAddress()
{
    Prepare();
    const int program = Vantor()->SystemAddress();
    const int fresh = Chance(0.5) ? Journal_.Controller.Address : Between(1, 247);
    const int current = Chance(0.75) ? program : Chance(0.6) ? 0 : Between(1, 247);
    const int plant = Chance(0.85) ? Journal_.Controller.PlantNumber : Between(1, 65535);
    const bool ok = Chance(0.9);
    Note(QStringLiteral(" %1 to %2 at %3%4").arg(fresh).arg(current).arg(plant).arg(ok ? "" : " cancelled"));
    Checks_->ExpectDone(cmdWriteAddress, ok && current != 0);
    RunCommand("actWriteSignSysAddr", {{"TFormInputSystemAddress", [=](QWidget* dialog) {
                                     SetSpin(dialog, "ieSysAddrNew", fresh);
                                     SetSpin(dialog, "ieSysAddrCurr", current);
                                     SetSpin(dialog, "eiPlantNumber", plant);
                                     Press(dialog, ok);
                                 }}});
}

void TOperatorSession::WritePlantNumber()
{
    Prepare();
    const int plant = Between(3100, 3199);
    Note(QStringLiteral(" %1").arg(plant));
    Checks_->ExpectDone(cmdWritePlantNumber, true);
    RunCommand("actWriteSignPlantNum", {{"TFormInputInteger", [=](QWidget* dialog) {
                                      SetSpin(dialog, "eiValue", plant);
                                      Press(dialog, true);
                                  }}});
}

void TOperatorSession::LoadingMode()
{
    Prepare();
    const int plant = Chance(0.8) ? Journal_.Controller.PlantNumber : Between(1, 65535);
    Note(QStringLiteral(" %1").arg(plant));
    Checks_->ExpectDone(cmdLoadingMode, true);
    RunCommand("actCommUpdateProgr", {{"TFormInputInteger", [=](QWidget* dialog) {
                                    SetSpin(dialog, "eiValue", plant);
                                    Press(dialog, true);
                                }}});
}

void TOperatorSession::ServiceRange()
{
    Prepare();
    const bool open = Chance(0.6);
    Note(open ? QStringLiteral(" open") : QStringLiteral(" close"));
    Checks_->ExpectDone(open ? cmdOpenService : cmdCloseService, true);
    RunCommand(open ? "actCommServiceOpen" : "actCommServiceClose", {});
}

void TOperatorSession::ReadModbus()
{
    Prepare();
    RunCommand("actReadModbusParams", {});
}

void TOperatorSession::WriteModbus()
{
    Prepare();
    const int baud = Between(0, 12);
    const int parity = Between(0, 2);
    Note(QStringLiteral(" %1 %2").arg(baud).arg(parity));
    Checks_->ExpectDone(cmdWriteModbus, true);
    RunCommand("actWriteModbusParams", {{"TFormInputModbusParams", [=](QWidget* dialog) {
                                      dialog->findChild<QComboBox*>(QStringLiteral("cbBaudRate"))->setCurrentIndex(baud);
                                      dialog->findChild<QComboBox*>(QStringLiteral("cbParity"))->setCurrentIndex(parity);
                                      Press(dialog, true);
                                  }}});
}

void TOperatorSession::WriteInput()
{
    Prepare();
    // Often an input the configuration just wrote, with values beyond what the fields take.
    const int n = !FileWritten_.empty() && Chance(0.5) ? FileWritten_[Between(0, int(FileWritten_.size()) - 1)]
                                                       : Between(1, vantor::kInputCount);
    auto* grid = Form_->findChild<QTableWidget*>(QStringLiteral("asgInputs"));
    grid->setCurrentCell(n - 1, 1);
    Form_->findChild<QCheckBox*>(QStringLiteral("cbWr_Fix"))->setChecked(false);
    // Each field typed or left as loaded; the typed ones within the field's range.
    TTypedSettings typed;
    if (Chance(0.5)) {
        typed.Enabled = Chance(0.7) ? 1 : 0;
        Form_->findChild<QCheckBox*>(QStringLiteral("cbWr_Enabled"))->setChecked(*typed.Enabled != 0);
    }
    if (Chance(0.5)) {
        typed.Period = static_cast<quint16>(Between(0, 4320));
        Form_->findChild<QSpinBox*>(QStringLiteral("eiWr_OprosInterval"))->setValue(*typed.Period);
    }
    if (Chance(0.5)) {
        typed.SetPoint = static_cast<qint16>(Between(-50 * 16, 100 * 16));
        Form_->findChild<QDoubleSpinBox*>(QStringLiteral("enWr_Bound"))->setValue(*typed.SetPoint / 16.0);
    }
    if (Chance(0.5)) {
        // Numbers of input n only, so that a row can tell its own probe from another's.
        typed.PlantNumber = static_cast<quint16>(20000 + n + 200 * Between(0, 226));
        Form_->findChild<QSpinBox*>(QStringLiteral("eiWr_PlantNum"))->setValue(*typed.PlantNumber);
    }
    Note(QStringLiteral(" %1%2").arg(n).arg(typed.Text()));
    Checks_->ExpectInputWrite(n, QStringLiteral("Записать свойства входа %1").arg(n), typed);
    if (!Action("actWriteInputParams")->isEnabled()) {
        Note(QStringLiteral(" (disabled)"));
        return;
    }
    ++Outcome_.Commands;
    Checks_->CommandRuns(QStringLiteral("actWriteInputParams"));
    Form_->findChild<QPushButton*>(QStringLiteral("btWrite"))->click();
}

void TOperatorSession::PollInterval()
{
    Prepare();
    const int interval = Between(300, 800);
    const bool ok = Chance(0.8);
    Note(QStringLiteral(" %1%2").arg(interval).arg(ok ? "" : " cancelled"));
    RunCommand("actConfigTimerInterval", {{"TFormInputInteger", [=](QWidget* dialog) {
                                        SetSpin(dialog, "eiValue", interval);
                                        Press(dialog, ok);
                                    }}});
}

void TOperatorSession::ProgramAddress(bool repair)
{
    Prepare();
    const int address = repair || Chance(0.8) ? Journal_.Controller.Address : Between(1, 247);
    Note(QStringLiteral(" %1").arg(address));
    RunCommand("actConfigSystemAddr", {{"TFormInputInteger", [=](QWidget* dialog) {
                                     SetSpin(dialog, "eiValue", address);
                                     Press(dialog, true);
                                 }}});
}

void TOperatorSession::ConfigWrite()
{
    Prepare();
    // A file of some inputs around the range written, with values a file may hold beyond what
    // the window's fields take.
    const int first = Between(1, vantor::kInputCount - 4);
    const int last = first + Between(0, 4);
    std::map<int, TTypedSettings> file;
    QByteArray text;
    for (int n = std::max(1, first - 2); n <= std::min(vantor::kInputCount, last + 2); ++n) {
        if (!Chance(0.8))
            continue;
        FileWritten_.push_back(n);
        TTypedSettings& s = file[n];
        s.PlantNumber = static_cast<quint16>(20000 + n + 200 * Between(0, 226));
        s.SetPoint = static_cast<qint16>(Between(-100 * 16, 200 * 16));
        s.Period = static_cast<quint16>(Between(0, 6000));
        s.Enabled = Chance(0.7) ? 1 : 0;
        text += QByteArray::number(n) + "    PNum:" + QByteArray::number(*s.PlantNumber) + "  Bound:" +
                QByteArray::number(*s.SetPoint / 16.0, 'f', 4).replace('.', ',') + "  Period:" +
                QByteArray::number(*s.Period) + "  Enabled:" + QByteArray::number(*s.Enabled) + "\r\n";
    }
    Folder_.Write("DATA/session.txt", text);
    const bool interrupt = Chance(0.2);
    const int after = Between(0, 300);
    Note(QStringLiteral(" %1..%2 of %3 inputs%4").arg(first).arg(last).arg(file.size()).arg(interrupt ? " closed" : ""));
    Checks_->ExpectConfigWrite(first, last, file);
    RunCommand("actOpenInputsConfig",
        {{"QFileDialog",
          [](QWidget* dialog) {
              dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("session.txt"));
              QMetaObject::invokeMethod(dialog, "accept");
          }},
         {"TFormViewConfig", [=](QWidget* view) {
              SetSpin(view, "eiStart", first);
              SetSpin(view, "eiStop", last);
              if (interrupt)
                  QTimer::singleShot(after, view, [view] { view->close(); });
              QTest::mouseClick(view->findChild<QPushButton*>(QStringLiteral("btWrite")), Qt::LeftButton);
              if (view->isVisible())
                  view->close();
          }}});
}

void TOperatorSession::Finish()
{
    Checks_->BeginStep(Settings_.Steps + 1);
    QElapsedTimer clock;
    clock.start();
    Form_->close();
    Form_.reset();
    if (THistoryRecorder* recorder = HistoryRecorder())
        recorder->WaitWritten();
    const qint64 closing = clock.elapsed();
    Checks_->CheckHistory();
    clock.restart();
    HistoryShutdown();
    StopUnits();
    ModalTimer_.stop();
    HeartTimer_.stop();
    Checks_->Remember(QStringLiteral("%1: close the window").arg(Settings_.Steps + 1));
    Checks_->EndStep(closing + clock.elapsed());
    FullMode = false;
    QuietErrors = true;
    PollSettings = true;
    LogRadix = 0;
}

}  // namespace

TSessionOutcome RunOperatorSession(const TSessionSettings& settings)
{
    TOperatorSession session(settings);
    return session.Run();
}
