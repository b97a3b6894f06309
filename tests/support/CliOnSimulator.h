#pragma once

#include "CliRun.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

// orvela-cli as a process of the test's own, on the simulator's line: the controller at address 1,
// answers read 10 ms after the request. The test's end kills what is still running.
class CliOnSimulator : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Simulator.Start());
        Folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=10\r\n");
    }

    void TearDown() override
    {
        if (Cli.state() != QProcess::NotRunning) {
            Cli.kill();
            Cli.waitForFinished(10000);
        }
    }

    void StartCli(const QStringList& arguments)
    {
        Cli.setProgram(QString::fromStdString(CliExecutable()));
        Cli.setArguments(arguments);
        Cli.start();
        ASSERT_TRUE(Cli.waitForStarted(10000));
    }

    QString SimulatorPort() const { return QString::fromStdString(Simulator.Path()); }

    TestFolder Folder;
    SimulatorProcess Simulator;
    QProcess Cli;
};
