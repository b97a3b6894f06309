#include "dialogs/ComCombo.h"
#include "dialogs/ComSetupDialog.h"
#include "transport/ComPort.h"
#include "transport/EComPort.h"
#include "transport/MessageCatalogue.h"
#include "transport/SerialPorts.h"

#include "PtyPeer.h"
#include "TestFolder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <clocale>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace {

// Everything the dialog may touch, and what it must leave alone.
struct TPortSettings {
    QString Port;
    TBaudRate BaudRate;
    int CustomBaudRate;
    TDataBits DataBits;
    TStopBits StopBits;
    TParityBits Parity;
    bool OutCTSFlow, OutDSRFlow, XonXoffOut, XonXoffIn, DSRSensitivity, TxContinueOnXoff;
    TDTRFlowControl ControlDTR;
    TRTSFlowControl ControlRTS;
    bool operator==(const TPortSettings&) const = default;
};

TPortSettings SettingsOf(const TCustomComPort& port)
{
    const TComFlowControl& flow = port.FlowControl();
    return {port.Port(), port.BaudRate(), port.CustomBaudRate(), port.DataBits(), port.StopBits(),
            port.Parity().Bits(), flow.OutCTSFlow(), flow.OutDSRFlow(), flow.XonXoffOut(), flow.XonXoffIn(),
            flow.DSRSensitivity(), flow.TxContinueOnXoff(), flow.ControlDTR(), flow.ControlRTS()};
}

// Counts the pushes of every setting at once; without them each choice would reach the line alone.
class TCountingPort : public TComPort
{
public:
    void ApplyAllSettings() override
    {
        ++AllApplied;
        TComPort::ApplyAllSettings();
    }
    int AllApplied = 0;
};

// The operator picks an item with the keys, as on a closed list.
void Choose(QComboBox* combo, const QString& text)
{
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int step = 0; step < combo->count() && combo->currentText() != text; ++step)
        QTest::keyClick(combo, Qt::Key_Down);
    ASSERT_EQ(combo->currentText(), text);
}

TComComboBox* Combo(TComSetupFrm& form, int number)
{
    return form.Combos().at(number - 1);
}

// Runs ShowSetup on the port and lets act drive the dialog once it is up; act must close it. False
// when no dialog came up.
bool RunSetup(TCustomComPort& port, const std::function<void(TComSetupFrm&)>& act)
{
    bool shown = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* form = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
        if (!form || !form->isVisible()) {
            if (clock.hasExpired(5000))
                poll.stop();
            return;
        }
        poll.stop();
        shown = true;
        act(*form);
        if (form->isVisible()) {
            ADD_FAILURE() << "the dialog is still open";
            form->reject();
        }
    });
    poll.start(1);
    port.ShowSetup();
    return shown;
}

// The port list of these tests: COM1, COM2 and COM10.
class PortSetup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tty : {"ttyS0", "ttyS1", "ttyS9"})
            QDir().mkpath(Tree_.path() + QStringLiteral("/class/") + QString::fromLatin1(tty) + QStringLiteral("/device"));
        OldRoots_ = SetSerialPortRoots({Tree_.path() + QStringLiteral("/class"), Tree_.path() + QStringLiteral("/dev")});
        OldRun_ = SetRunPortSetupDialog(nullptr);
        InstallPortSetupDialog();
    }
    void TearDown() override
    {
        SetRunPortSetupDialog(OldRun_);
        SetSerialPortRoots(OldRoots_);
    }

    QTemporaryDir Tree_;
    TestFolder Folder_;
    TComPort Port_;

private:
    TSerialPortRoots OldRoots_;
    TRunPortSetupDialog OldRun_;
};

QStringList Items(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

}  // namespace

TEST_F(PortSetup, FormHoldsItsCaptionsListsAndTabOrder)
{
    TComSetupFrm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Setup"));
    EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("GroupBox1"))->title(), QStringLiteral(" Settings "));
    QStringList captions;
    for (int n = 1; n <= 6; ++n)
        captions << form.findChild<QLabel*>(QStringLiteral("Label%1").arg(n))->text();
    EXPECT_EQ(captions, QStringList({"Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"}));
    EXPECT_EQ(form.size(), QSize(231, 216));

    EXPECT_EQ(Items(Combo(form, 1)), QStringList({"COM1", "COM10", "COM2"}));
    const QStringList rates = Items(Combo(form, 2));
    ASSERT_EQ(rates.size(), 16);
    EXPECT_EQ(rates.front(), QStringLiteral("Custom"));
    EXPECT_EQ(rates.back(), QStringLiteral("256000"));
    EXPECT_EQ(Items(Combo(form, 3)), QStringList({"5", "6", "7", "8"}));
    EXPECT_EQ(Items(Combo(form, 4)), QStringList({"1", "1.5", "2"}));
    EXPECT_EQ(Items(Combo(form, 5)), QStringList({"None", "Odd", "Even", "Mark", "Space"}));
    EXPECT_EQ(Items(Combo(form, 6)), QStringList({"Hardware", "Software", "None", "Custom"}));
    for (TComComboBox* combo : form.Combos()) {
        EXPECT_FALSE(combo->isEditable());
        EXPECT_EQ(combo->currentIndex(), 0) << "without a port the first item is selected";
    }

    auto* ok = form.findChild<QPushButton*>(QStringLiteral("Button1"));
    auto* cancel = form.findChild<QPushButton*>(QStringLiteral("Button2"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    QStringList chain;
    for (QWidget* widget = Combo(form, 1); chain.size() < 8; widget = widget->nextInFocusChain())
        if (widget->focusPolicy() & Qt::TabFocus)
            chain << widget->objectName();
    EXPECT_EQ(chain, QStringList({"Combo1", "Combo2", "Combo3", "Combo4", "Combo5", "Combo6", "Button1", "Button2"}));
}

TEST_F(PortSetup, OkWritesTheChoicesAndNothingElse)
{
    Port_.FlowControl().SetControlDTR(dtrEnable);
    Port_.SetCustomBaudRate(250000);
    TPortSettings expected = SettingsOf(Port_);
    ASSERT_TRUE(RunSetup(Port_, [](TComSetupFrm& form) {
        EXPECT_EQ(Combo(form, 1)->Text(), QStringLiteral("COM1"));
        EXPECT_EQ(Combo(form, 2)->Text(), QStringLiteral("9600"));
        Choose(Combo(form, 1), QStringLiteral("COM10"));
        Choose(Combo(form, 2), QStringLiteral("19200"));
        Choose(Combo(form, 3), QStringLiteral("7"));
        Choose(Combo(form, 4), QStringLiteral("2"));
        Choose(Combo(form, 5), QStringLiteral("Even"));
        Choose(Combo(form, 6), QStringLiteral("Hardware"));
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
    }));
    expected.Port = QStringLiteral("COM10");
    expected.BaudRate = br19200;
    expected.DataBits = dbSeven;
    expected.StopBits = sbTwoStopBits;
    expected.Parity = prEven;
    expected.ControlRTS = rtsHandshake;
    expected.OutCTSFlow = true;
    EXPECT_EQ(SettingsOf(Port_), expected);
}

TEST_F(PortSetup, CancelEscOrClosingTheWindowChangesNothing)
{
    Port_.SetPort(QStringLiteral("COM2"));
    Port_.SetBaudRate(br115200);
    Port_.Parity().SetBits(prOdd);
    Port_.FlowControl().SetFlowControl(fcSoftware);
    const TPortSettings before = SettingsOf(Port_);
    const std::vector<std::function<void(TComSetupFrm&)>> closes = {
        [](TComSetupFrm& form) {
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
        },
        [](TComSetupFrm& form) { QTest::keyClick(&form, Qt::Key_Escape); },
        [](TComSetupFrm& form) { form.close(); },
    };
    for (const auto& close : closes) {
        ASSERT_TRUE(RunSetup(Port_, [&](TComSetupFrm& form) {
            Choose(Combo(form, 1), QStringLiteral("COM1"));
            Choose(Combo(form, 2), QStringLiteral("300"));
            Choose(Combo(form, 3), QStringLiteral("5"));
            Choose(Combo(form, 4), QStringLiteral("1.5"));
            Choose(Combo(form, 5), QStringLiteral("Space"));
            Choose(Combo(form, 6), QStringLiteral("None"));
            close(form);
        }));
        EXPECT_EQ(SettingsOf(Port_), before);
    }
}

TEST_F(PortSetup, OkOnAnOpenPortPushesTheSettingsToTheLineAtOnce)
{
    TPtyPeer peer;
    TCountingPort port;
    port.SetPort(peer.SlavePath());
    port.SetEvents({});
    port.SetConnected(true);
    port.AllApplied = 0;
    ASSERT_TRUE(RunSetup(port, [](TComSetupFrm& form) {
        Choose(Combo(form, 2), QStringLiteral("19200"));
        Choose(Combo(form, 4), QStringLiteral("2"));
        Choose(Combo(form, 5), QStringLiteral("Odd"));
        Choose(Combo(form, 6), QStringLiteral("Software"));
        QTest::keyClick(&form, Qt::Key_Return);  // OK is the default button
    }));
    EXPECT_EQ(port.AllApplied, 1);
    EXPECT_EQ(port.Port(), peer.SlavePath());
    ASSERT_TRUE(port.Connected());
    EXPECT_EQ(port.BaudRate(), br19200);
    EXPECT_EQ(port.StopBits(), sbTwoStopBits);
    EXPECT_EQ(port.Parity().Bits(), prOdd);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcSoftware);
}

TEST_F(PortSetup, AConfiguredPortTheSystemDoesNotListIsKeptByOk)
{
    Port_.SetPort(QStringLiteral("ttyUSB3"));
    ASSERT_TRUE(RunSetup(Port_, [](TComSetupFrm& form) {
        EXPECT_EQ(Items(Combo(form, 1)), QStringList({"COM1", "COM10", "COM2", "ttyUSB3"}));
        EXPECT_EQ(Combo(form, 1)->Text(), QStringLiteral("ttyUSB3"));
        form.accept();
    }));
    EXPECT_EQ(Port_.Port(), QStringLiteral("ttyUSB3"));
}

TEST_F(PortSetup, APortNameInAnotherLetterCaseIsFound)
{
    Port_.SetPort(QStringLiteral("com10"));
    ASSERT_TRUE(RunSetup(Port_, [](TComSetupFrm& form) {
        EXPECT_EQ(Items(Combo(form, 1)), QStringList({"COM1", "COM10", "COM2"}));
        EXPECT_EQ(Combo(form, 1)->Text(), QStringLiteral("COM10"));
        form.accept();
    }));
    EXPECT_EQ(Port_.Port(), QStringLiteral("COM10"));  // as the list shows it
}

TEST_F(PortSetup, MixesNoPresetNamesShowCustomAndOkKeepsThem)
{
    Port_.FlowControl().SetControlRTS(rtsToggle);
    Port_.FlowControl().SetXonXoffIn(true);
    Port_.FlowControl().SetOutDSRFlow(true);
    Port_.SetBaudRate(brCustom);
    Port_.SetCustomBaudRate(250000);
    const TPortSettings before = SettingsOf(Port_);
    ASSERT_TRUE(RunSetup(Port_, [](TComSetupFrm& form) {
        EXPECT_EQ(Combo(form, 2)->Text(), QStringLiteral("Custom"));
        EXPECT_EQ(Combo(form, 6)->Text(), QStringLiteral("Custom"));
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
    }));
    EXPECT_EQ(SettingsOf(Port_), before);
}

TEST_F(PortSetup, AnUnreadablePortListShowsNoDialogAndChangesNothing)
{
    SetSerialPortRoots({Tree_.path() + QStringLiteral("/missing"), Tree_.path() + QStringLiteral("/dev")});
    const TPortSettings before = SettingsOf(Port_);
    std::optional<EComPort> raised;
    try {
        EXPECT_FALSE(RunSetup(Port_, [](TComSetupFrm& form) { form.reject(); }));
    } catch (const EComPort& error) {
        raised = error;
    }
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->ErrorNumber(), ecRegistry);
    EXPECT_EQ(SettingsOf(Port_), before);
}

TEST(ComComboBox, TextRulesChoicesAndTheLinkToAPortThatGoes)
{
    TComComboBox empty;
    EXPECT_EQ(empty.ComProperty(), cpNone);
    EXPECT_EQ(empty.Text(), QString());

    auto port = std::make_unique<TComPort>();
    port->Parity().SetBits(prEven);
    TComComboBox parity;
    parity.SetComProperty(cpParity);
    EXPECT_EQ(parity.Text(), QStringLiteral("None"));
    parity.SetComPort(port.get());
    EXPECT_EQ(parity.Text(), QStringLiteral("Even"));
    parity.SetText(QStringLiteral("mark"));
    EXPECT_EQ(parity.Text(), QStringLiteral("Mark"));
    parity.SetText(QStringLiteral("Sometimes"));
    EXPECT_EQ(parity.Text(), QStringLiteral("Mark"));

    // A pick stays pending until applied, or goes through at once with AutoApply.
    Choose(&parity, QStringLiteral("Odd"));
    EXPECT_EQ(port->Parity().Bits(), prEven);
    parity.ComSelect().ApplyToPort();
    EXPECT_EQ(port->Parity().Bits(), prOdd);
    parity.SetAutoApply(true);
    Choose(&parity, QStringLiteral("Space"));
    EXPECT_EQ(port->Parity().Bits(), prSpace);

    port.reset();
    EXPECT_EQ(parity.ComPort(), nullptr);
    EXPECT_EQ(parity.Text(), QStringLiteral("None"));
    Choose(&parity, QStringLiteral("Odd"));  // nothing left to apply to
    parity.ComSelect().LoadFromPort();
    EXPECT_EQ(parity.Text(), QStringLiteral("Odd"));
}

TEST_F(PortSetup, ARussianEnvironmentTranslatesTheCaptionsButNotTheItems)
{
    const QString catalogue = QStringLiteral(ORVELA_PORT_SETUP_CATALOGUE);
    if (!QFile::exists(catalogue))
        GTEST_SKIP() << "no compiled catalogue";
    Folder_.Write(QStringLiteral("locale/ru/LC_MESSAGES/cport.mo"), [&] {
        QFile file(catalogue);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }());
    // A Russian LANG on a machine without the Russian locale installed.
    const std::string oldLocale = std::setlocale(LC_MESSAGES, nullptr);
    const QByteArray oldLang = qgetenv("LANG");
    ASSERT_NE(std::setlocale(LC_MESSAGES, "C"), nullptr);
    unsetenv("LANGUAGE");
    qputenv("LANG", "ru_RU.UTF-8");
    BindMessageLanguage();

    {
        TComSetupFrm form;
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Настройка порта"));
        EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("GroupBox1"))->title(), QStringLiteral(" Параметры "));
        EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("Label6"))->text(), QStringLiteral("Управление потоком"));
        EXPECT_EQ(form.findChild<QPushButton*>(QStringLiteral("Button2"))->text(), QStringLiteral("Отменить"));
        EXPECT_EQ(Items(Combo(form, 5)), QStringList({"None", "Odd", "Even", "Mark", "Space"}));
        // The longer captions are shown whole, beside their lists.
        for (int n = 1; n <= 6; ++n) {
            const QLabel* label = form.findChild<QLabel*>(QStringLiteral("Label%1").arg(n));
            EXPECT_LE(label->sizeHint().width(), label->width()) << n;
            EXPECT_LT(label->geometry().right(), Combo(form, n)->x()) << n;
        }
        EXPECT_GT(form.width(), 231);
    }

    unsetenv("LANGUAGE");
    qputenv("LANG", oldLang);
    std::setlocale(LC_MESSAGES, oldLocale.c_str());
}
