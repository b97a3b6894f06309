#include "WindowFixture.h"

#include "device/DisplayTables.h"
#include "dialogs/ComSetupDialog.h"
#include "files/Passport.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QSpinBox>

#include <csignal>

namespace {

// Answers the next prompt: sets each named spin box, then presses OK (or Cancel).
void AnswerPrompt(const char* form, std::vector<std::pair<const char*, int>> values, bool ok = true)
{
    OnModal(form, [values, ok](QWidget* dialog) {
        for (const auto& [name, value] : values)
            dialog->findChild<QSpinBox*>(QString::fromLatin1(name))->setValue(value);
        dialog->findChild<QPushButton*>(ok ? QStringLiteral("OKBtn") : QStringLiteral("CancelBtn"))->click();
    });
}

const QString kNotDone = QStringLiteral("Внимание|Не выполнена команда\r");

}  // namespace

// The window with its port open on the simulator and polling stopped after the first cycle.
class WindowCommands : public Window
{
protected:
    void StartStopped(const std::vector<std::string>& options = {})
    {
        OpenOnSimulator(options);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
        Action("actOprosStop")->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000));
        Messages.Messages.clear();
    }

    QString LastMessage() const { return Messages.Messages.value(Messages.Messages.size() - 1); }

    // Settings never read are written only as the operator gives them.
    void TypeWriteFields()
    {
        if (Control<QCheckBox>("cbWr_Enabled")->checkState() == Qt::PartiallyChecked)
            Control<QCheckBox>("cbWr_Enabled")->click();
        Control<QSpinBox>("eiWr_OprosInterval")->setValue(10);
        Control<QDoubleSpinBox>("enWr_Bound")->setValue(20);
        Control<QSpinBox>("eiWr_PlantNum")->setValue(31000);
    }

    QStringList FailureAlarms()
    {
        AlarmLog()->WriteLine(QString());  // nothing: only to be sure the file exists
        return LogLines("alarm").filter(QStringLiteral("Не выполнена команда"));
    }
};

TEST_F(WindowCommands, OnlyTheSafeActionsAreUsableWhilePollingAndTheServiceRangeRulesTheRest)
{
    // The full layout, where the service commands are visible.
    FullMode = true;
    OpenOnSimulator();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
    QStringList enabled;
    for (QAction* action : Form->findChild<QObject*>("ActionListMain")->findChildren<QAction*>())
        if (action->isEnabled())
            enabled << action->objectName();
    enabled.sort();
    QStringList expected{"actOprosStop", "act10", "act16", "actLog", "actSaveInputsConfig", "actFormAbout",
                         "actExit", "actInputNext", "actClearStatistics"};
    expected.sort();
    EXPECT_EQ(enabled, expected);

    Action("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000));
    // Unknown range: both service commands, none of those that need it open.
    EXPECT_TRUE(Action("actCommServiceOpen")->isEnabled());
    EXPECT_TRUE(Action("actCommServiceClose")->isEnabled());
    for (const char* name : {"actReadModbusParams", "actWriteModbusParams", "actWriteSignPlantNum"})
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    EXPECT_FALSE(Action("actConfigComPort")->isEnabled());

    Action("actCommServiceOpen")->trigger();
    EXPECT_EQ(Text("lbServiceOpened"), ServiceRangeTexts().value(2));
    EXPECT_FALSE(Action("actCommServiceOpen")->isEnabled());
    for (const char* name : {"actReadModbusParams", "actWriteModbusParams", "actWriteSignPlantNum", "actCommServiceClose"})
        EXPECT_TRUE(Action(name)->isEnabled()) << name;

    // Modbus: the defaults, then a write read back from the simulator.
    Action("actReadModbusParams")->trigger();
    EXPECT_EQ(Text("lbModbusSpeed"), "9600 бит/с");
    EXPECT_EQ(Text("lbModbusParity"), "Even parity");
    OnModal("TFormInputModbusParams", [](QWidget* dialog) {
        dialog->findChild<QComboBox*>("cbBaudRate")->setCurrentIndex(8);
        dialog->findChild<QComboBox*>("cbParity")->setCurrentIndex(1);
        dialog->findChild<QPushButton*>("OKBtn")->click();
    });
    Action("actWriteModbusParams")->trigger();
    Vantor()->ModbusBaud = 0;
    Vantor()->ModbusParity = 0;
    Action("actReadModbusParams")->trigger();
    EXPECT_EQ(Text("lbModbusSpeed"), BaudTexts().value(8));
    EXPECT_EQ(Text("lbModbusSpeed"), "19200 бит/с");
    EXPECT_EQ(Text("lbModbusParity"), ParityTexts().value(1));

    Action("actCommServiceClose")->trigger();
    EXPECT_EQ(Text("lbServiceOpened"), ServiceRangeTexts().value(1));
    EXPECT_FALSE(Action("actWriteSignPlantNum")->isEnabled());
    EXPECT_FALSE(Action("actCommServiceClose")->isEnabled());
    // Executing a disabled action from code does nothing.
    Action("actReadModbusParams")->trigger();
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
}

TEST_F(WindowCommands, SignatureReadShowsTheControllerAndAFailureKeepsTheLabels)
{
    ASSERT_NO_FATAL_FAILURE(StartStopped());
    // The window shows it is busy while the exchange runs.
    bool busy = true;
    TOnRequest request = Vantor()->OnRequest;
    Vantor()->OnRequest = [&busy, request](TVantor* sender, const QString& device, const QString& command,
                                           const QByteArray& req, const QByteArray& answer, bool result) {
        const QCursor* cursor = QApplication::overrideCursor();
        busy = busy && cursor && cursor->shape() == Qt::WaitCursor;
        request(sender, device, command, req, answer, result);
    };
    Form->findChild<QPushButton*>("btSignRead")->click();
    EXPECT_TRUE(busy);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Text("lbPlantNumber"), "3107");
    EXPECT_FALSE(Text("lbManufact").isEmpty());
    EXPECT_FALSE(Text("lbCRC").isEmpty());
    EXPECT_TRUE(Messages.Messages.isEmpty());
    // Each text whole, within its box.
    auto* box = Form->findChild<QWidget*>("gbSignature");
    for (const char* name : {"lbManufact", "lbSite", "lbDevice", "lbDeviceName", "lbCRC"}) {
        const auto* label = Form->findChild<QLabel*>(name);
        EXPECT_GE(label->width(), label->sizeHint().width()) << name << " " << label->text().toStdString();
        EXPECT_LE(label->geometry().right(), box->width()) << name;
    }

    // The controller stops answering: the first part fails, the labels stay.
    const QString manufacturer = Text("lbManufact");
    Vantor()->SetSystemAddress(9);
    Vantor()->PlantNumber = 1;
    Action("actSignRead")->trigger();
    EXPECT_EQ(LastMessage(), kNotDone + "Считать сигнатуру 1|1");
    EXPECT_EQ(Text("lbPlantNumber"), "3107");
    EXPECT_EQ(Text("lbManufact"), manufacturer);
    Form->close();
    EXPECT_EQ(LogLines("alarm").filter("Не выполнена команда"),
              QStringList{"Vantor Не выполнена команда: Считать сигнатуру 1"});
}

TEST_F(WindowCommands, ASignatureReadStopsAtTheFailingPartAndKeepsTheLabels)
{
    // The first cycle makes three requests, the signature's first part the fourth.
    ASSERT_NO_FATAL_FAILURE(StartStopped({"--exception", "4", "--exception-from", "5"}));
    ASSERT_EQ(Commands.size(), 3);
    Action("actSignRead")->trigger();
    EXPECT_EQ(Messages.Messages, QStringList{kNotDone + "Считать сигнатуру 2|1"});
    EXPECT_EQ(Commands.mid(3), (QStringList{"Считать сигнатуру 1", "Считать сигнатуру 2"}));
    // The first part reached the model, yet the labels show no half-read signature.
    EXPECT_FALSE(Vantor()->Manufacturer.isEmpty());
    for (const char* label : {"lbManufact", "lbPlantNumber", "lbCRC", "lbDeviceName"})
        EXPECT_EQ(Text(label), "_ _") << label;
}

TEST_F(WindowCommands, AnExceptionOrABadChecksumFailsTheCommandWithItsName)
{
    FullMode = true;
    ASSERT_NO_FATAL_FAILURE(StartStopped({"--exception", "2"}));
    Action("actCommServiceOpen")->trigger();
    EXPECT_EQ(LastMessage(), kNotDone + "Открыть диапазон сервисных регистров|1");
    EXPECT_EQ(Vantor()->ServiceRange, 0);
    EXPECT_TRUE(Action("actCommServiceClose")->isEnabled());
    AnswerPrompt("TFormInputInteger", {{"eiValue", 3107}});
    Action("actCommUpdateProgr")->trigger();
    EXPECT_EQ(LastMessage(), kNotDone + "Переход в режим загрузки ПО|1");
}

TEST_F(WindowCommands, BadChecksumFailsAModbusRead)
{
    FullMode = true;
    ASSERT_NO_FATAL_FAILURE(StartStopped({"--bad-crc", "1"}));
    Action("actCommServiceClose")->trigger();
    EXPECT_EQ(LastMessage(), kNotDone + "Закрыть диапазон сервисных регистров|1");
}

TEST_F(WindowCommands, SystemAddressBroadcastSwitchesTheProgramAndAWrongAddressKeepsTheOld)
{
    ASSERT_NO_FATAL_FAILURE(StartStopped());
    Action("actSignRead")->trigger();
    // Broadcast: no answer, yet the controller takes it and answers the signature at 5.
    AnswerPrompt("TFormInputSystemAddress", {{"ieSysAddrNew", 5}, {"ieSysAddrCurr", 0}, {"eiPlantNumber", 3107}});
    Action("actWriteSignSysAddr")->trigger();
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
    EXPECT_EQ(Vantor()->SystemAddress(), 5);
    EXPECT_EQ(Text("lbSystemAddress"), "5");
    EXPECT_EQ(Commands.mid(Commands.size() - 3),
              (QStringList{"Считать сигнатуру 1", "Считать сигнатуру 2", "Считать сигнатуру 3"}));
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").contains("SystemAddress=5\r\n"));

    // Addressed to 7, where nobody listens: the error, address 5 kept and saved.
    AnswerPrompt("TFormInputSystemAddress", {{"ieSysAddrNew", 9}, {"ieSysAddrCurr", 7}});
    Action("actWriteSignSysAddr")->trigger();
    EXPECT_EQ(LastMessage(), kNotDone + "Записать системный адрес|1");
    EXPECT_EQ(Vantor()->SystemAddress(), 5);
    EXPECT_EQ(Vantor()->WrSystemAddress, 9);
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").contains("SystemAddress=5\r\n"));

    // Addressed properly: the answer moves the program.
    AnswerPrompt("TFormInputSystemAddress", {{"ieSysAddrNew", 1}, {"ieSysAddrCurr", 5}});
    Action("actWriteSignSysAddr")->trigger();
    EXPECT_EQ(Messages.Messages.size(), 1);
    EXPECT_EQ(Vantor()->SystemAddress(), 1);
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").contains("SystemAddress=1\r\n"));

    // Cancel sends nothing.
    const int exchanges = Commands.size();
    AnswerPrompt("TFormInputSystemAddress", {{"ieSysAddrNew", 4}}, false);
    Action("actWriteSignSysAddr")->trigger();
    EXPECT_EQ(Commands.size(), exchanges);
}

// Settings files that cannot be written (a folder in their place stops even root): each save
// says which file and why, and the address the controller took is told as taken.
TEST_F(WindowCommands, SettingsThatCannotBeStoredAreToldWithTheFileAndTheReason)
{
    ASSERT_NO_FATAL_FAILURE(StartStopped());
    for (const char* name : {"INI/VANTOR.ini", "INI/Timer.ini"}) {
        QFile::remove(Folder.Path(name));
        ASSERT_TRUE(QDir().mkpath(Folder.Path(name)));
    }
    const QString notSaved = QStringLiteral(" не сохранен: это не обычный файл|2");
    const QString vantor = QStringLiteral("Файл ") + Folder.Path("INI/VANTOR.ini") + notSaved;

    AnswerPrompt("TFormInputSystemAddress", {{"ieSysAddrNew", 5}, {"ieSysAddrCurr", 0}, {"eiPlantNumber", 3107}});
    Action("actWriteSignSysAddr")->trigger();
    EXPECT_EQ(Messages.Messages,
              QStringList{QStringLiteral("Ошибка|Прибор принял системный адрес 5, но программа не сохранила его: ") + vantor});
    EXPECT_EQ(Vantor()->SystemAddress(), 5);

    AnswerPrompt("TFormInputInteger", {{"eiValue", 3}});
    Action("actConfigSystemAddr")->trigger();
    EXPECT_EQ(LastMessage(), QStringLiteral("Ошибка|") + vantor);

    AnswerPrompt("TFormInputInteger", {{"eiValue", 700}});
    Action("actConfigTimerInterval")->trigger();
    EXPECT_EQ(LastMessage(), QStringLiteral("Ошибка|Файл ") + Folder.Path("INI/Timer.ini") + notSaved);
    EXPECT_EQ(Messages.Messages.size(), 3);
}

TEST_F(WindowCommands, PlantNumberWriteReachesTheControllerAndWritesThePassport)
{
    FullMode = true;
    ASSERT_NO_FATAL_FAILURE(StartStopped());
    Action("actCommServiceOpen")->trigger();
    AnswerPrompt("TFormInputInteger", {{"eiValue", 4242}});
    Action("actWriteSignPlantNum")->trigger();
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
    EXPECT_EQ(Text("lbPlantNumber"), "4242");
    ASSERT_EQ(Commands.last(), "Считать сигнатуру 3");
    const QString passport = PassportPath(*Vantor());
    EXPECT_TRUE(passport.startsWith(Folder.Path("ORVELA/PN04242_"))) << passport.toStdString();
    const QString text = FromCp1251(Folder.Read(QDir(Folder.Path()).relativeFilePath(passport)));
    // The signature as the simulator gave it, under the new number.
    const QString expected = "[VANTOR_4242]\r\nManufact=" + Text("lbManufact") + "\r\nPlantNumber=4242\r\nSoftVersion=" +
                             Text("lbVerSoft") + "\r\nHardVersion=" + Text("lbVerHard") + "\r\nWebSite=" + Text("lbSite") +
                             "\r\nDevice=" + Text("lbDevice") + "\r\nDeviceName=" + Text("lbDeviceName") +
                             "\r\nDeviceTypeSign=" + Text("lbDeviceType") + "\r\nDeviceCRC=" + Text("lbCRC") + "\r\n";
    EXPECT_EQ(text, expected);

    // The loading mode then needs the new number: the old one is refused.
    AnswerPrompt("TFormInputInteger", {{"eiValue", 3107}});
    Action("actCommUpdateProgr")->trigger();
    EXPECT_EQ(LastMessage(), kNotDone + "Переход в режим загрузки ПО|1");
    AnswerPrompt("TFormInputInteger", {{"eiValue", 4242}});
    Action("actCommUpdateProgr")->trigger();
    EXPECT_EQ(LastMessage(), "Внимание|Команда выполнена успешно|0");
    // In the loading mode the controller answers nothing else.
    Action("actSignRead")->trigger();
    EXPECT_EQ(LastMessage(), kNotDone + "Считать сигнатуру 1|1");
}

TEST_F(WindowCommands, InputWriteRoundsTheSetPointAndThePollShowsIt)
{
    ASSERT_NO_FATAL_FAILURE(StartStopped());
    Grid()->setCurrentCell(6, 1);
    ASSERT_EQ(SelectedInputNumber(), 7);
    Control<QCheckBox>("cbWr_Enabled")->setChecked(false);
    Control<QSpinBox>("eiWr_OprosInterval")->setValue(12);
    Control<QDoubleSpinBox>("enWr_Bound")->setValue(25.03);
    Control<QSpinBox>("eiWr_PlantNum")->setValue(31000);
    Form->findChild<QPushButton*>("btWrite")->click();
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
    EXPECT_EQ(Commands.last(), "Записать свойства входа 7");
    EXPECT_EQ(Control<QDoubleSpinBox>("enWr_Bound")->value(), 25.0);
    EXPECT_EQ(Vantor()->WrBound, 25.0);

    // The field's limits go through; past them it holds the limit.
    for (const auto& [typed, written] : {std::pair{-50.0, -50.0}, {100.0, 100.0}, {100.5, 100.0}, {-50.01, -50.0}}) {
        Control<QDoubleSpinBox>("enWr_Bound")->setValue(typed);
        Form->findChild<QPushButton*>("btWrite")->click();
        EXPECT_EQ(Vantor()->WrBound, written) << typed;
    }
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
    Control<QDoubleSpinBox>("enWr_Bound")->setValue(25.09375);
    Form->findChild<QPushButton*>("btWrite")->click();
    EXPECT_EQ(Control<QDoubleSpinBox>("enWr_Bound")->value(), 25.125);

    // Polling starts again at inputs 1..4 and reads input 7 back from the simulator.
    const int before = Commands.size();
    Vantor()->Input(7).PlantNumber = 0;
    Action("actOprosStart")->trigger();
    ASSERT_TRUE(PollUntilCycle(Cycles + 3));
    EXPECT_EQ(Commands.value(before), CommandTable().Name(cmdGeneralInfo));
    EXPECT_TRUE(Commands.value(before + 1).endsWith(" 1 - 4")) << Commands.value(before + 1).toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Vantor()->Input(7).PlantNumber == 31000; }, 10000));
    EXPECT_EQ(Vantor()->Input(7).Interval, 12);
    EXPECT_EQ(Vantor()->Input(7).TemperBound.Value(), 25.125);
    EXPECT_EQ(Vantor()->Input(7).ChannelEnabled.GetOutValue().ToInteger(), tsFalse);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(7, 4) == "31000"; }, 10000));
    EXPECT_EQ(Cell(7, 20), "12");

    // Silent controller: the error box with the input's name.
    Action("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000));
    Vantor()->SetSystemAddress(9);
    Form->findChild<QPushButton*>("btWrite")->click();
    EXPECT_EQ(LastMessage(), kNotDone + "Записать свойства входа 7|1");
}

TEST_F(WindowCommands, SettingsPromptsStoreTheIntervalAndTheAddressWithoutSending)
{
    ASSERT_NO_FATAL_FAILURE(StartStopped());
    // Cancel keeps the interval and stores it again; the limits are accepted.
    AnswerPrompt("TFormInputInteger", {{"eiValue", 300}}, false);
    Action("actConfigTimerInterval")->trigger();
    EXPECT_EQ(PollTimer()->Interval(), 20000);
    EXPECT_EQ(Folder.Read("INI/Timer.ini"), "[ctReqDevices]\r\nInterval=20000\r\nEnabled=0\r\n");
    for (int value : {300, 20000}) {
        AnswerPrompt("TFormInputInteger", {{"eiValue", value}});
        Action("actConfigTimerInterval")->trigger();
        EXPECT_EQ(PollTimer()->Interval(), value);
    }
    // The spin box refuses what lies outside.
    OnModal("TFormInputInteger", [](QWidget* dialog) {
        auto* box = dialog->findChild<QSpinBox*>("eiValue");
        EXPECT_EQ(box->minimum(), 300);
        EXPECT_EQ(box->maximum(), 20000);
        box->setValue(20001);
        dialog->findChild<QPushButton*>("OKBtn")->click();
    });
    Action("actConfigTimerInterval")->trigger();
    EXPECT_EQ(PollTimer()->Interval(), 20000);
    EXPECT_FALSE(PollTimer()->Enabled());

    // A stored start-up state of polling does not start it behind the operator's back.
    Folder.Write("INI/Timer.ini", "[ctReqDevices]\r\nInterval=700\r\nEnabled=1\r\n");
    AnswerPrompt("TFormInputInteger", {}, false);
    Action("actConfigTimerInterval")->trigger();
    EXPECT_FALSE(PollTimer()->Enabled());
    EXPECT_EQ(PollTimer()->Interval(), 700);
    EXPECT_EQ(Folder.Read("INI/Timer.ini"), "[ctReqDevices]\r\nInterval=700\r\nEnabled=1\r\n");

    const int exchanges = Commands.size();
    AnswerPrompt("TFormInputInteger", {{"eiValue", 247}});
    Action("actConfigSystemAddr")->trigger();
    EXPECT_EQ(Vantor()->SystemAddress(), 247);
    EXPECT_EQ(Text("lbSystemAddress"), "247");
    EXPECT_EQ(Commands.size(), exchanges);
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").contains("SystemAddress=247\r\n"));
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
}

TEST_F(WindowCommands, PortSettingsOnlyWithThePortClosedAndAboutOnF1)
{
    InstallPortSetupDialog();
    ASSERT_NO_FATAL_FAILURE(StartStopped());
    Action("actPortClose")->trigger();
    ASSERT_TRUE(Action("actConfigComPort")->isEnabled());
    bool shown = false;
    OnModal("TComSetupFrm", [&](QWidget* dialog) {
        shown = true;
        dialog->close();
    });
    Action("actConfigComPort")->trigger();
    EXPECT_TRUE(shown);
    EXPECT_EQ(Form->StatusText(0), Transmitter()->Port());
    EXPECT_TRUE(Folder.Read("INI/ComPort.ini").contains(Transmitter()->Port().toUtf8()));

    bool about = false;
    OnModal("TFormAbout", [&](QWidget* dialog) {
        about = true;
        dialog->close();
    });
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    QTest::keyClick(Grid(), Qt::Key_F1);
    EXPECT_TRUE(about);

    // The file commands ask for a file in DATA.
    for (const char* name : {"actSaveInputsConfig", "actOpenInputsConfig"}) {
        QString folder;
        OnModal("QFileDialog", [&](QWidget* dialog) {
            folder = static_cast<QFileDialog*>(dialog)->directory().dirName();
            dialog->close();
        });
        Action("actPortOpen")->trigger();
        Action(name)->trigger();
        EXPECT_EQ(folder, "DATA") << name;
    }
}

TEST_F(WindowCommands, AControllerThatVanishesFailsTheCommandAndPollingGoesOnWithTheNextOne)
{
    FullMode = true;
    const std::string link = Folder.Path("tty").toStdString();
    ASSERT_TRUE(Simulator.Start({"--link", link}));
    WriteSettings(link, 20000);
    Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
    Action("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000));

    // Gone between two commands: each fails within the read limits, with its own name.
    ASSERT_EQ(Simulator.Stop(SIGKILL), -1);
    Action("actCommServiceOpen")->trigger();
    Action("actReadModbusParams")->trigger();  // still disabled: the range never opened
    AnswerPrompt("TFormInputInteger", {{"eiValue", 3107}});
    Action("actCommUpdateProgr")->trigger();
    EXPECT_EQ(Messages.Messages, (QStringList{kNotDone + "Открыть диапазон сервисных регистров|1",
                                              kNotDone + "Переход в режим загрузки ПО|1"}));

    // A controller on the line again: the port reopened, polling starts at inputs 1..4.
    Action("actPortClose")->trigger();
    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", link}));
    Action("actPortOpen")->trigger();
    const int cycles = Cycles;
    const int exchanges = Commands.size();
    Action("actOprosStart")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles > cycles; }, 10000));
    EXPECT_EQ(Commands.value(exchanges), CommandTable().Name(cmdGeneralInfo));
    EXPECT_EQ(Text("lbModuleError"), "Норма");
    Form->close();
    EXPECT_EQ(LogLines("alarm").filter("Не выполнена команда"),
              (QStringList{"Vantor Не выполнена команда: Открыть диапазон сервисных регистров",
                           "Vantor Не выполнена команда: Переход в режим загрузки ПО"}));
}

// A two-wire adapter that echoes the request, with no controller behind it: the echo is not an
// answer, so nothing is reported done.
TEST_F(WindowCommands, AnEchoOfTheRequestIsNoAnswer)
{
    FullMode = true;
    ASSERT_NO_FATAL_FAILURE(StartStopped({"--echo", "--silent"}));
    Action("actCommServiceOpen")->trigger();
    EXPECT_EQ(LastMessage(), kNotDone + "Открыть диапазон сервисных регистров|1");
    EXPECT_EQ(Vantor()->ServiceRange, 0);
    Grid()->setCurrentCell(4, 1);
    TypeWriteFields();
    Form->findChild<QPushButton*>("btWrite")->click();
    EXPECT_EQ(LastMessage(), kNotDone + "Записать свойства входа 5|1");
    Action("actSignRead")->trigger();
    EXPECT_EQ(LastMessage(), kNotDone + "Считать сигнатуру 1|1");
}

// Address 0 is Modbus broadcast: nothing but the address write may go there.
TEST_F(WindowCommands, WithoutASystemAddressOnlyTheBroadcastAddressWriteGoesOnTheLine)
{
    ASSERT_TRUE(Simulator.Start());
    WriteSettings(Simulator.Path(), 20);
    Folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=0\r\n");
    Open();
    int ticks = 0;
    PollTimer()->OnTimer = [&ticks, tick = PollTimer()->OnTimer](TCustomTimer* timer) {
        ++ticks;
        tick(timer);
    };
    // Ticks go on without a cycle; the reason is told once.
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 5; }, 10000));
    const QString reason = AddressUnsetText();
    EXPECT_EQ(Form->StatusText(2), reason);
    Action("actOprosStop")->trigger();
    EXPECT_EQ(Cycles, 0);
    EXPECT_TRUE(Commands.isEmpty()) << Commands.join('\n').toStdString();
    EXPECT_EQ(LogLines("alarm").count(QStringLiteral("Vantor ") + reason), 1);
    EXPECT_TRUE(LogLines("log").filter(QStringLiteral("] -> [")).isEmpty());

    Action("actSignRead")->trigger();
    EXPECT_EQ(LastMessage(), kNotDone + "Считать сигнатуру 1\r" + reason + "|1");
    TypeWriteFields();
    Form->findChild<QPushButton*>("btWrite")->click();
    EXPECT_EQ(LastMessage(), kNotDone + "Записать свойства входа 1\r" + reason + "|1");
    EXPECT_TRUE(Commands.isEmpty()) << Commands.join('\n').toStdString();

    // The broadcast address write goes, and then everything else.
    AnswerPrompt("TFormInputSystemAddress", {{"ieSysAddrNew", 1}, {"ieSysAddrCurr", 0}, {"eiPlantNumber", 3107}});
    Action("actWriteSignSysAddr")->trigger();
    EXPECT_EQ(Vantor()->SystemAddress(), 1);
    EXPECT_EQ(Commands.mid(Commands.size() - 3),
              (QStringList{"Считать сигнатуру 1", "Считать сигнатуру 2", "Считать сигнатуру 3"}));
    Action("actOprosStart")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
    EXPECT_EQ(Form->StatusText(2), "Опрос возобновлен");
}
