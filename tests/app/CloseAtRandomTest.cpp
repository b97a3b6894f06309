// The window closed at random moments: while the port opens, while cycles run, while an operator
// command shows its message box, while a command's dialog is open. Every close must end (window
// gone, units down) within a second, leave both logs on whole lines and the settings files as
// they were. The suite closes a few dozen times, enough to meet every kind of moment; the long
// run is bench/app's bench_close_at_random.
#include "WindowFixture.h"

#include "device/UiThreadWait.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QTimer>

#include <condition_variable>
#include <iostream>
#include <mutex>
#include <random>
#include <thread>

namespace {

// Ends the process when a close hangs, rather than leaving the suite to its time-out.
class HangGuard
{
public:
    explicit HangGuard(std::chrono::seconds limit)
        : Thread_([this, limit] {
              std::unique_lock lock(Mutex_);
              if (!Done_.wait_for(lock, limit, [this] { return Finished_; })) {
                  std::cerr << "a close hung for " << limit.count() << " s\n";
                  std::_Exit(1);
              }
          })
    {
    }
    ~HangGuard()
    {
        {
            const std::lock_guard lock(Mutex_);
            Finished_ = true;
        }
        Done_.notify_all();
        Thread_.join();
    }

private:
    std::mutex Mutex_;
    std::condition_variable Done_;
    bool Finished_ = false;
    std::thread Thread_;
};

class CloseAtRandom : public Window
{
protected:
    QMap<QString, QByteArray> Settings() const
    {
        QMap<QString, QByteArray> files;
        for (const QString& name : QDir(Folder.Path("INI")).entryList(QDir::Files))
            files[name] = Folder.Read("INI/" + name);
        return files;
    }

    // Names of the log files that do not end on CR LF.
    QStringList TornLogs() const
    {
        QStringList torn;
        for (const QString& name : QDir(Folder.Path("LOG")).entryList(QDir::Files)) {
            const QByteArray bytes = Folder.Read("LOG/" + name);
            if (!bytes.isEmpty() && !bytes.endsWith("\r\n"))
                torn << name;
        }
        return torn;
    }

    // Closes the window as the operator's close box does, then shuts the units down as the
    // program does after its event loop; the time it took, in ms.
    qint64 CloseAndStop()
    {
        QElapsedTimer clock;
        clock.start();
        if (Form->isVisible())
            Form->close();
        Form.reset();
        StopUnits();
        return clock.elapsed();
    }

    void Reopen()
    {
        Cycles = 0;
        Commands.clear();
        Open();
    }

    std::mt19937 Random{20261208};
    int Between(int first, int last) { return std::uniform_int_distribution(first, last)(Random); }
};

// Commands the window offers while polling is stopped; each exchanges with the controller and
// shows a message box when it fails.
const char* const kCommands[] = {"actSignRead", "actCommServiceOpen", "actCommServiceClose", "actReadModbusParams",
                                 "actWriteInputParams", "actCommServiceOpen"};

#ifndef ORVELA_CLOSES_DEFAULT
#define ORVELA_CLOSES_DEFAULT 32
#endif

TEST_F(CloseAtRandom, ClosesEachEndPromptlyOnWholeLogLinesWithSettingsIntact)
{
    // Some answers spoiled, so that commands fail now and then and show their box.
    ASSERT_TRUE(Simulator.Start({"--bad-crc", "0.15"}));
    WriteSettings(Simulator.Path(), 20);
    // As the period dialog stores it, cancelled or not: its save must leave the same bytes. The
    // stored period is one the dialog allows; the fixture polls faster through the timer itself.
    Folder.Write("INI/Timer.ini", "[ctReqDevices]\r\nInterval=300\r\nEnabled=0\r\n");
    const QMap<QString, QByteArray> settings = Settings();
    // The sanitizer pass closes fewer times (ORVELA_CLOSES) to keep the suite's time.
    const int asked = qEnvironmentVariableIntValue("ORVELA_CLOSES");
    const int kCloses = asked > 0 ? asked : ORVELA_CLOSES_DEFAULT;
    qint64 longest = 0;
    int duringCycle = 0;
    int inBox = 0;
    int inDialog = 0;
    for (int i = 0; i < kCloses; ++i) {
        SCOPED_TRACE(i);
        const HangGuard guard(20s);
        Reopen();
        const int kind = Between(0, 3);
        if (kind <= 1) {
            // Anywhere from before the port opens to some cycles in.
            QTest::qWait(Between(0, 500));
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
            Action("actOprosStop")->trigger();
            if (kind == 2) {
                // The close comes while the command's message box waits for the operator.
                bool closed = false;
                const TShowMessage previous = SetShowMessage([&](const QString&, const QString&, TMessageIcon) {
                    if (!std::exchange(closed, true))
                        Form->close();
                });
                for (int c = 0; c < 8 && !closed; ++c)
                    Action(kCommands[Between(0, std::size(kCommands) - 1)])->trigger();
                SetShowMessage(previous);
                inBox += closed;
            } else {
                // The close comes while a command's dialog is open; the operator then cancels it.
                QTimer::singleShot(Between(0, 50), Form.get(), [this, &inDialog] {
                    QWidget* dialog = QApplication::activeModalWidget();
                    Form->close();
                    if (auto* modal = qobject_cast<QDialog*>(dialog)) {
                        ++inDialog;
                        modal->reject();
                    }
                });
                Action(Between(0, 1) ? "actWriteSignSysAddr" : "actConfigTimerInterval")->trigger();
            }
        }
        duringCycle += RequestThread() && RequestThread()->Busy();
        longest = std::max(longest, CloseAndStop());
        ASSERT_LT(longest, 1000) << "the close took " << longest << " ms";
        ASSERT_EQ(TornLogs(), QStringList());
        ASSERT_EQ(Settings(), settings);
    }
    std::cout << "[ measured ] " << kCloses << " closes, " << duringCycle << " with a cycle in flight, " << inBox
              << " in a command's message box, " << inDialog << " in a command's dialog; longest close " << longest
              << " ms\n";
    // Each kind of moment was met (each is drawn for roughly a sixth to a quarter of the closes).
    EXPECT_GT(duringCycle, 0);
    EXPECT_GT(inBox, 0);
    EXPECT_GT(inDialog, 0);
}


// A command waiting for a late answer serves the window's events meanwhile: a close that comes
// then ends the window under the running command, which must finish on whatever is left.
TEST_F(CloseAtRandom, ACloseWhileACommandWaitsForALateAnswerEndsCleanly)
{
    ASSERT_TRUE(Simulator.Start({"--late-ms", "2000"}));
    WriteSettings(Simulator.Path(), 20);
    Folder.Write("INI/Timer.ini", "[ctReqDevices]\r\nInterval=300\r\nEnabled=0\r\n");
    const QMap<QString, QByteArray> settings = Settings();
    const TShowMessage previous = SetShowMessage([](const QString&, const QString&, TMessageIcon) {});
    // Those that go on the line as soon as they are chosen.
    for (const char* command : {"actSignRead", "actCommServiceOpen", "actCommServiceClose"}) {
        SCOPED_TRACE(command);
        const HangGuard guard(30s);
        Reopen();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 20000));
        Action("actOprosStop")->trigger();
        bool closedWhileWaiting = false;
        QTimer::singleShot(300, Form.get(), [&] {
            closedWhileWaiting = UiThreadWaiting();
            Form->close();
        });
        Action(command)->trigger();
        EXPECT_TRUE(closedWhileWaiting);
        EXPECT_LT(CloseAndStop(), 1000);
        ASSERT_EQ(TornLogs(), QStringList());
        ASSERT_EQ(Settings(), settings);
    }
    SetShowMessage(previous);
}

}  // namespace
