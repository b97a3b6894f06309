#include "files/InputsConfigFile.h"
#include "common/Cp1251.h"
#include "device/CommandTable.h"
#include "device/Exchange.h"
#include "device/ProgramUnits.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "dialogs/FormViewConfig.h"
#include "dialogs/InputSettingsTable.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include "DialogsSupport.h"
#include "MessageRecorder.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Grid
{
    QStringList Rows;  // "n|pnum|bound|period|flag" of every row, empty cells empty
    bool WriteEnabled = false;
    QString Caption;
};

QString RowText(QTableWidget* grid, int row)
{
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c)
        cells << (grid->item(row, c) ? grid->item(row, c)->text() : QString());
    return cells.join(u'|');
}

// Opens the view on path; action runs inside it, then Esc closes it.
Grid OpenView(const QString& path, const std::function<void(QWidget*)>& action = {})
{
    Grid grid;
    OnModal("TFormViewConfig", [&grid, action](QWidget* w) {
        auto* table = w->findChild<QTableWidget*>("asgChannels");
        for (int r = 0; r < table->rowCount(); ++r)
            grid.Rows << RowText(table, r);
        grid.WriteEnabled = w->findChild<QPushButton*>("btWrite")->isEnabled();
        grid.Caption = w->windowTitle();
        if (action)
            action(w);
        if (w->isVisible())
            QTest::keyClick(w->findChild<QTableWidget*>("asgChannels"), Qt::Key_Escape);
    });
    EXPECT_EQ(ShowConfigView(path), 0);
    return grid;
}

void SetRange(QWidget* w, int start, int stop)
{
    w->findChild<QSpinBox*>("eiStart")->setValue(start);
    w->findChild<QSpinBox*>("eiStop")->setValue(stop);
}

void ClickWrite(QWidget* w)
{
    QTest::mouseClick(w->findChild<QPushButton*>("btWrite"), Qt::LeftButton);
}

QByteArray Line(int n, int plant, const char* bound, int period, int enabled)
{
    return QByteArray::number(n) + " PNum:" + QByteArray::number(plant) + " Bound:" + bound + " Period:" +
           QByteArray::number(period) + " Enabled:" + QByteArray::number(enabled) + "\r\n";
}

class ConfigView : public ::testing::Test
{
protected:
    void SetUp() override
    {
        InputSettingsTable() = {};
    }

    void TearDown() override
    {
        StopUnits();
        ComPauseWrite = 150;
    }

    // The units on the simulator, every write request counted.
    void StartLine()
    {
        ASSERT_TRUE(Simulator.Start());
        Folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseWrite=5\r\n");
        // The simulator writes each answer at once: 10 ms of silence end it as surely as 50.
        Folder.Write("INI/ComPort.ini",
                     QByteArray("[Transmitter]\r\nPort=") + Simulator.Path().c_str() + "\r\nReadInterval=10\r\n");
        StartUnits();
        ASSERT_TRUE(Transmitter()->ActivatePort());
        Vantor()->OnRequest = [this](TVantor*, const QString&, const QString& command, const QByteArray&,
                                     const QByteArray&, bool result) {
            if (command.startsWith("Записать настройки входа "))
                Writes << command.mid(25) + (result ? "" : "!");
        };
    }

    // Reads the settings of every input back from the simulator into a model wiped before.
    void ReadBack()
    {
        Vantor()->OnRequest = nullptr;
        for (int n = 1; n <= 192; ++n) {
            Vantor()->Input(n).PlantNumber = 0;
            Vantor()->Input(n).Interval = 0;
        }
        for (int first = 1; first <= 192; first += 4) {
            Vantor()->CurrentInput = static_cast<quint8>(first);
            ASSERT_TRUE(ExecuteCommand(cmdReadSettings)) << first;
        }
    }

    TestFolder Folder;
    SimulatorProcess Simulator;
    LocaleScope Russian;
    MessageRecorder Messages;
    QStringList Writes;
};

const QString kSuccess = "Внимание|Запись настроек входов прошла успешно|0";

}  // namespace

TEST_F(ConfigView, ASavedConfigurationFillsEveryRowWithoutAMessage)
{
    TVantor vantor;
    for (int n = 1; n <= 192; ++n) {
        vantor.Input(n).PlantNumber = quint16(1000 + n);
        vantor.Input(n).TemperBound.SetValue(n % 2 ? 85.0 : 85.5);
        vantor.Input(n).Interval = 60;
        vantor.Input(n).ChannelEnabled.SetValue(n == 7 ? tsTrue : tsFalse);
    }
    Folder.Write("DATA/PN00042_06_12_2026.txt", InputsConfigText(vantor));
    const Grid grid = OpenView(Folder.Path("DATA/PN00042_06_12_2026.txt"));
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
    ASSERT_EQ(grid.Rows.size(), 192);
    EXPECT_EQ(grid.Caption, "PN00042_06_12_2026.txt");
    EXPECT_EQ(grid.Rows[0], "1|1001|85|60|Нет");
    EXPECT_EQ(grid.Rows[6], "7|1007|85|60|Да");
    EXPECT_EQ(grid.Rows[191], "192|1192|85,5|60|Нет");
    EXPECT_TRUE(grid.WriteEnabled);
    EXPECT_EQ(InputSettingsTable()[191].PNum, 1192);
    EXPECT_DOUBLE_EQ(InputSettingsTable()[191].Bound, 85.5);
}

TEST_F(ConfigView, AFormatErrorKeepsWhatWasReadAndTurnsWritingOff)
{
    InputSettingsTable()[8].PNum = 999;  // an earlier file's input 9 stays
    Folder.Write("DATA/bad.txt", Line(1, 11, "1,5", 5, 1) + "7 PNum:4321 Bound:abc Period:60 Enabled:1\r\n" +
                                     Line(9, 99, "1", 1, 1));
    const Grid grid = OpenView(Folder.Path("DATA/bad.txt"));
    EXPECT_EQ(Messages.Messages, QStringList{"Ошибка|Неверный формат данных|2"});
    EXPECT_EQ(grid.Rows[0], "1|11|1,5|5|Да");
    EXPECT_EQ(grid.Rows[6], "7|4321|||");
    EXPECT_EQ(grid.Rows[8], "||||");
    EXPECT_FALSE(grid.WriteEnabled);
    EXPECT_EQ(InputSettingsTable()[6].PNum, 4321);
    EXPECT_EQ(InputSettingsTable()[8].PNum, 999);

    // A file that cannot be read says why and writes nothing.
    Messages.Messages.clear();
    const Grid none = OpenView(Folder.Path("DATA/none.txt"));
    ASSERT_EQ(Messages.Messages.size(), 1);
    EXPECT_TRUE(Messages.Messages[0].startsWith("Ошибка|Не удалось открыть файл"));
    EXPECT_FALSE(none.WriteEnabled);
}

TEST_F(ConfigView, WritingAWholeFileSendsOneRequestPerInputAndTheControllerKeepsThem)
{
    StartLine();
    // The first four take rounding: near a sixteenth, and exact halves of one.
    const QByteArrayList rounded = {"85,03", "85,04", "20,03125", "20,09375"};
    QByteArray text;
    for (int n = 1; n <= 192; ++n) {
        const QByteArray bound = n <= 4 ? rounded[n - 1] : QByteArray::number(-20 + n * 0.25).replace('.', ',');
        text += Line(n, 30000 + n, bound.constData(), n % 60 + 1, n % 2);
    }
    Folder.Write("DATA/all.txt", text);
    int progressAfter = 0;
    bool writeEnabledAfter = false;
    OpenView(Folder.Path("DATA/all.txt"), [&](QWidget* w) {
        ClickWrite(w);
        progressAfter = w->findChild<QProgressBar*>("pbWrite")->value();
        writeEnabledAfter = w->findChild<QPushButton*>("btWrite")->isEnabled();
    });
    EXPECT_EQ(Messages.Messages, QStringList{kSuccess});
    ASSERT_EQ(Writes.size(), 192);
    EXPECT_EQ(Writes.first(), "1");
    EXPECT_EQ(Writes.last(), "192");
    EXPECT_EQ(progressAfter, 1);
    EXPECT_TRUE(writeEnabledAfter);
    EXPECT_EQ(Vantor()->CurrentInput, 192);

    ReadBack();
    for (int n = 1; n <= 192; ++n) {
        const TVantorInput& input = Vantor()->Input(n);
        EXPECT_EQ(input.PlantNumber, 30000 + n) << n;
        EXPECT_EQ(input.Interval, n % 60 + 1) << n;
        EXPECT_EQ(input.ChannelEnabled.GetOutValue().ToInteger(), n % 2 ? tsTrue : tsFalse) << n;
        if (n > 4) {
            EXPECT_DOUBLE_EQ(input.TemperBound.Value(), -20 + n * 0.25) << n;
        }
    }
    // 1360.48 sixteenths give 1360; 1360.64 give 1361.
    EXPECT_DOUBLE_EQ(Vantor()->Input(1).TemperBound.Value(), 85.0);
    EXPECT_DOUBLE_EQ(Vantor()->Input(2).TemperBound.Value(), 85.0625);
    // Exact halves go to the even sixteenth: 320.5 to register 320, 321.5 to 322.
    EXPECT_DOUBLE_EQ(Vantor()->Input(3).TemperBound.Value() * 16, 320);
    EXPECT_DOUBLE_EQ(Vantor()->Input(4).TemperBound.Value() * 16, 322);
}

TEST_F(ConfigView, OnlyListedInputsOfTheRangeAreWrittenAndFailuresAreListed)
{
    StartLine();
    // Stale entries of an earlier file must not reach the controller.
    InputSettingsTable()[3] = TInputSettings{111, true, 1, 1.0};
    Folder.Write("DATA/some.txt", Line(3, 33, "3", 3, 1) + Line(5, 55, "5", 5, 0) + Line(17, 77, "7", 7, 1));

    OpenView(Folder.Path("DATA/some.txt"), [](QWidget* w) {
        SetRange(w, 10, 5);
        ClickWrite(w);
    });
    EXPECT_TRUE(Writes.isEmpty());
    EXPECT_EQ(Messages.Messages, QStringList{kSuccess});

    Messages.Messages.clear();
    OpenView(Folder.Path("DATA/some.txt"), [](QWidget* w) {
        SetRange(w, 1, 16);
        ClickWrite(w);
    });
    EXPECT_EQ(Writes, (QStringList{"3", "5"}));
    EXPECT_EQ(Messages.Messages, QStringList{kSuccess});

    // A silent controller: every input fails and is listed. Short read limits and a range just
    // wider than the file keep a write of unlisted inputs to seconds.
    Writes.clear();
    Messages.Messages.clear();
    ASSERT_EQ(Simulator.Stop(SIGTERM), 0);
    ASSERT_TRUE(Simulator.Start({"--silent"}));
    Transmitter()->SetPort(QString::fromStdString(Simulator.Path()));
    Transmitter()->Timeouts().SetReadTotalConstant(40);
    Transmitter()->Timeouts().SetReadTotalMultiplier(0);
    ASSERT_TRUE(Transmitter()->ActivatePort());
    OpenView(Folder.Path("DATA/some.txt"), [](QWidget* w) {
        SetRange(w, 1, 24);
        ClickWrite(w);
    });
    EXPECT_EQ(Writes, (QStringList{"3!", "5!", "17!"}));
    EXPECT_EQ(Messages.Messages, QStringList{"Ошибка|Не удалось записать настройки входов:\r3,5,17|2"});
}

TEST_F(ConfigView, ClosingWhileWritingStopsAfterTheInputInProgress)
{
    StartLine();
    ComPauseWrite = 50;
    QByteArray text;
    for (int n = 1; n <= 192; ++n)
        text += Line(n, n, "20", 5, 1);
    Folder.Write("DATA/all.txt", text);
    QWidget* form = nullptr;
    Vantor()->OnRequest = [&](TVantor*, const QString&, const QString& command, const QByteArray&, const QByteArray&,
                              bool) {
        Writes << command.mid(25);
        if (Writes.size() == 3)
            QTimer::singleShot(0, form, [&form] { form->close(); });
    };
    OpenView(Folder.Path("DATA/all.txt"), [&](QWidget* w) {
        form = w;
        ClickWrite(w);
    });
    EXPECT_EQ(Writes, (QStringList{"1", "2", "3"}));
    EXPECT_EQ(Messages.Messages, QStringList{"Внимание|Запись настроек входов прервана после входа 3|1"});

    // Closed after the last input of the range: nothing was left undone.
    Writes.clear();
    Messages.Messages.clear();
    OpenView(Folder.Path("DATA/all.txt"), [&](QWidget* w) {
        form = w;
        SetRange(w, 1, 3);
        ClickWrite(w);
    });
    EXPECT_EQ(Writes, (QStringList{"1", "2", "3"}));
    EXPECT_EQ(Messages.Messages, QStringList{kSuccess});
}
