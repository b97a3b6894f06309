#include "common/Cp1251.h"

#include "SimulatorProcess.h"
#include "TestFolder.h"

#include <QDate>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Writes of the configuration on the line so far, from the event log.
qsizetype WritesLogged(const TestFolder& folder)
{
    const QByteArray log = folder.Read("LOG/log_" + QDate::currentDate().toString("yyyy_MM_dd") + ".txt");
    return FromCp1251(log).count("Записать настройки входа ");
}

}  // namespace

// A service manager's stop during "Записать в прибор" ends the loop after the input in progress:
// no write follows without its pause, and the rest of the range is left as it was.
TEST(ConfigViewStop, ATerminateSignalEndsTheWriteAfterTheInputInProgress)
{
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.Start());
    TestFolder folder;
    folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseWrite=100\r\n");
    folder.Write("INI/ComPort.ini", QByteArray("[Transmitter]\r\nPort=") + simulator.Path().c_str() + "\r\n");
    QByteArray lines;
    for (int n = 1; n <= 192; ++n)
        lines += QByteArray::number(n) + " PNum:" + QByteArray::number(40000 + n) + " Bound:20 Period:10 Enabled:1\r\n";
    folder.Write("DATA/site.txt", lines);

    QProcess view;
    view.start(QStringLiteral(ORVELA_CONFIG_WRITE_HELPER), {folder.Path("DATA/site.txt")});
    ASSERT_TRUE(view.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return WritesLogged(folder) >= 3; }, 30000)) << view.readAll().toStdString();
    const qsizetype before = WritesLogged(folder);
    view.terminate();
    ASSERT_TRUE(view.waitForFinished(10000));
    EXPECT_EQ(view.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(view.exitCode(), 0);
    // One more may have been logged between the count and the signal, and one was in progress.
    EXPECT_LE(WritesLogged(folder), before + 2);
    EXPECT_TRUE(QString::fromUtf8(view.readAllStandardOutput()).contains("Запись настроек входов прервана после входа"));
}
