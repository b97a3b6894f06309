#include "SimulatorTest.h"

#include "device/VantorCodes.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

namespace {

const QByteArray kControllerBlock = BuildReadFrame(1, 0x04, 0, 2);  // 9-byte answer

// The faults switched and the journal read while the simulator runs.
class VantorSimControl : public SimulatorTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartWith({"--control", ControlPath().toStdString(), "--journal",
                                           JournalPath().toStdString(), "--exception", "2"}));
    }

    QString ControlPath() const { return Dir.filePath("control"); }
    QString JournalPath() const { return Dir.filePath("journal"); }

    void Switch(const QByteArray& faults)
    {
        QSaveFile file(ControlPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(faults);
        ASSERT_TRUE(file.commit());
    }

    // The journal's lines, each split at its tabs.
    QList<QList<QByteArray>> Journal() const
    {
        QFile file(JournalPath());
        QList<QList<QByteArray>> lines;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    lines << line.split('\t');
        return lines;
    }

    static QByteArray Hex(const QByteArray& bytes) { return bytes.toHex(' ').toUpper(); }

    QTemporaryDir Dir;
};

}  // namespace

TEST_F(VantorSimControl, TheControlFileReplacesTheFaultsFromTheNextRequestOn)
{
    // No file yet: the command line's fault.
    EXPECT_EQ(Port->Exchange(kControllerBlock, 5), ExceptionAnswer(1, 0x04, 2));
    Switch("--bad-crc 1");
    const QByteArray spoiled = Port->Exchange(kControllerBlock, 9);
    EXPECT_EQ(spoiled.size(), 9);
    EXPECT_FALSE(CheckCrc(spoiled));
    // An empty file: no faults at all, the exception of the command line included.
    Switch("");
    EXPECT_TRUE(CheckCrc(Port->Exchange(kControllerBlock, 9)));
    // A file that does not parse changes nothing.
    Switch("--silent");
    EXPECT_TRUE(Port->Exchange(kControllerBlock, 9, 600ms).isEmpty());
    Switch("--silent --no-such-fault");
    EXPECT_TRUE(Port->Exchange(kControllerBlock, 9, 600ms).isEmpty());
    Switch("--late-ms 300");
    EXPECT_EQ(Port->Exchange(kControllerBlock, 9).size(), 9);
    EXPECT_GE(Port->FirstByteAfter(), 300ms);
    EXPECT_TRUE(Sim.Running());
}

TEST_F(VantorSimControl, TheJournalTellsWhatWasSentDoneAndAnswered)
{
    Switch("");
    const QByteArray read = Port->Exchange(kControllerBlock, 9);
    const QByteArray write = BuildWriteFrame(1, vantor::SettingsBlockFirst(5), {1, 31000, 12, 400});
    const QByteArray echo = Port->Exchange(write, 8);
    ASSERT_EQ(echo.size(), 8);
    // Refused by the controller: not carried.
    const QByteArray refused = BuildWriteFrame(1, vantor::kServiceRangeRegister, {1});
    EXPECT_EQ(Port->Exchange(refused, 5), ExceptionAnswer(1, 0x10, 3));
    Switch("--silent");
    EXPECT_TRUE(Port->Exchange(write, 8, 600ms).isEmpty());
    Switch("--bad-crc 1 --late-ms 10");
    EXPECT_FALSE(CheckCrc(Port->Exchange(kControllerBlock, 9)));

    QList<QList<QByteArray>> lines = Journal();
    // The changes of the faults have lines of their own.
    QList<QByteArray> changes;
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        if (lines[i].value(1) == "control")
            changes.prepend(lines.takeAt(i).value(2));
    EXPECT_EQ(changes, (QList<QByteArray>{"", "--silent", "--bad-crc 1 --late-ms 10"}));
    ASSERT_EQ(lines.size(), 5);
    for (const QList<QByteArray>& line : lines)
        ASSERT_EQ(line.size(), 5) << line.join('|').constData();
    EXPECT_EQ(lines[0][1], Hex(kControllerBlock));
    EXPECT_EQ(lines[0][2], Hex(read));
    EXPECT_EQ(lines[0][3], "-");
    EXPECT_EQ(lines[1][1], Hex(write));
    EXPECT_EQ(lines[1][2], Hex(echo));
    EXPECT_EQ(lines[1][3], "carried");
    EXPECT_EQ(lines[2][3], "-");
    EXPECT_EQ(lines[3][2], "-");
    EXPECT_EQ(lines[3][3], "lost");
    EXPECT_EQ(lines[4][3], "badcrc late=10");
    // Read back: the write of input 5 was carried out, the lost one changed nothing after it.
    Switch("");
    EXPECT_EQ(RegistersOf(Read(0x03, vantor::SettingsBlockFirst(5), 4)), (QList<std::uint16_t>{1, 31000, 12, 400}));
}

TEST_F(VantorSimControl, ProbeFaultsComeAndGoWithTheControlFileAndARisingSensorClimbsMeanwhile)
{
    const auto block = [&](int input) { return RegistersOf(Read(0x04, vantor::InputBlockFirst(input), 16)); };
    Switch("--rise 7.2:60 --sensor-fault 7.3 --sensor-fault 8.1:AAAD --probe-lost 9");
    const QList<std::uint16_t> first = block(7);
    ASSERT_EQ(first.size(), 16);
    EXPECT_EQ(first[5], 0xAAAA);
    EXPECT_EQ(block(8)[3], 0xAAAD);
    EXPECT_EQ(block(9)[0], 3);
    // A degree a second: half a degree comes within moments.
    const auto temperature = [&] { return std::int16_t(block(7)[4]); };
    const std::int16_t from = std::int16_t(first[4]);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (temperature() < from + 8 && std::chrono::steady_clock::now() < deadline) {
    }
    const std::int16_t reached = temperature();
    EXPECT_GE(reached, from + 8);

    // Taken away: the sensor stays where it got to (give or take its wandering), the rest is back.
    Switch("");
    const QList<std::uint16_t> after = block(7);
    EXPECT_NEAR(std::int16_t(after[4]), reached, 16);
    EXPECT_NE(after[5], 0xAAAA);
    EXPECT_EQ(block(9)[0], 0);
    // Bad probe faults are refused by name.
    EXPECT_EQ(RunToEnd({"--rise", "7.7:1"}).ExitCode, 2);
    EXPECT_EQ(RunToEnd({"--sensor-fault", "7.2:1234"}).ExitCode, 2);
    EXPECT_EQ(RunToEnd({"--probe-lost", "193"}).ExitCode, 2);
}
