#pragma once

#include "app/FormMain.h"
#include "common/Cp1251.h"
#include "device/CommandTable.h"
#include "device/Exchange.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "values/Switches.h"

#include "DialogsSupport.h"
#include "MessageRecorder.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"

#include <QAction>
#include <QDate>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

// The real main window on the real units, talking to the simulator over a pseudo-terminal. The
// fixture counts cycles and exchanges by wrapping the window's own handlers.
class Window : public ::testing::Test
{
protected:
    ~Window() override
    {
        Form.reset();
        StopUnits();
        FullMode = false;
        QuietErrors = true;
        PollSettings = true;
        LogRadix = 0;
    }

    // The controller at address 1 on the simulator's line, polled every interval ms. The file holds
    // the period to the operator's range; a shorter one is set on the timer once the units run.
    void WriteSettings(const std::string& port, int interval)
    {
        Interval = interval;
        Folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=5\r\n");
        Folder.Write("INI/ComPort.ini", QByteArray("[Transmitter]\r\nPort=") + port.c_str() + "\r\n");
        Folder.Write("INI/Timer.ini", "[ctReqDevices]\r\nInterval=" + QByteArray::number(interval) + "\r\n");
    }

    void OpenOnSimulator(const std::vector<std::string>& options = {}, int interval = 20000)
    {
        // Thrown, not returned: the test must not go on to use a window that was never made.
        if (const testing::AssertionResult started = Simulator.Start(options); !started)
            throw std::runtime_error(started.message());
        WriteSettings(Simulator.Path(), interval);
        Open();
    }

    void Open()
    {
        StartUnits();
        if (Interval > 0)
            PollTimer()->SetInterval(Interval);
        Form = std::make_unique<TFormMain>();
        Form->setObjectName(QStringLiteral("FormMain"));
        TRequestThread::TCycleEvent cycle = RequestThread()->OnCycle;
        RequestThread()->OnCycle = [this, cycle](TRequestThread* sender, const QString& title) {
            ++Cycles;
            cycle(sender, title);
        };
        TOnRequest request = Vantor()->OnRequest;
        Vantor()->OnRequest = [this, request](TVantor* sender, const QString& device, const QString& command,
                                              const QByteArray& req, const QByteArray& answer, bool result) {
            Commands << command;
            request(sender, device, command, req, answer, result);
        };
        Form->show();
    }

    // Cycles run back to back from here on.
    bool PollUntilCycle(int cycles)
    {
        PollTimer()->SetInterval(5);
        return QTest::qWaitFor([&] { return Cycles >= cycles; }, 60000);
    }

    int SelectedInputNumber() const { return Form->SelectedInput()->GetOutValue().ToInteger(); }
    QTableWidget* Grid() const { return Form->findChild<QTableWidget*>(QStringLiteral("asgInputs")); }
    QString Cell(int input, int column) const { return Grid()->item(input - 1, column)->text(); }
    QString Text(const char* label) const { return Form->findChild<QLabel*>(QString::fromLatin1(label))->text(); }
    QAction* Action(const QString& name) const { return Form->findChild<QAction*>(name); }
    template <class T>
    T* Control(const char* name) const
    {
        return Form->findChild<T*>(QString::fromLatin1(name));
    }

    // The lines of a log, without their time stamps.
    QStringList LogLines(const char* prefix) const
    {
        const QByteArray bytes =
            Folder.Read(QStringLiteral("LOG/%1_%2.txt").arg(prefix, QDate::currentDate().toString("yyyy_MM_dd")));
        QStringList lines;
        for (const QString& line : FromCp1251(bytes).split(QStringLiteral("\r\n"))) {
            const qsizetype at = line.indexOf(QStringLiteral("  "));
            lines << (at < 0 ? line : line.mid(at + 2));
        }
        return lines;
    }

    TestFolder Folder;
    SimulatorProcess Simulator;
    MessageRecorder Messages;
    std::unique_ptr<TFormMain> Form;
    int Cycles = 0;
    int Interval = 0;  // the poll period of WriteSettings, ms
    QStringList Commands;
};
