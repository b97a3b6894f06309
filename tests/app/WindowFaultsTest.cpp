// Line faults as the operator sees them: the window polls a faulty simulator until the failure
// threshold is passed, then shows the failure in the controller's exchange-state label, writes
// it once into the alarm log, and has counted every exchange; the event log holds every request,
// those asked again while the line was in doubt too.
#include "WindowFixture.h"

namespace {

struct ShownFault
{
    const char* Name;
    std::vector<std::string> Options;
    const char* Message;
};

void PrintTo(const ShownFault& fault, std::ostream* out)
{
    *out << fault.Name;
}

const ShownFault kShownFaults[] = {
    {"BadCrc", {"--bad-crc", "1"}, "Ошибка контрольной суммы"},
    {"ShortAnswer", {"--short"}, "Ошибка чтения"},
    {"IllegalFunction", {"--exception", "1"}, "Получен недопустимый код функции"},
    {"SlaveDeviceFailure", {"--exception", "4"}, "Во время выполнения запрошенной операции произошла ошибка"},
    {"EchoWithoutController", {"--echo", "--silent"}, "Нет ответа от устройства"},
    {"WrongAddress", {"--wrong-address"}, "Несоответствие команды"},
};

class ShownLineFault : public Window, public ::testing::WithParamInterface<ShownFault>
{
};

TEST_P(ShownLineFault, LabelAlarmLineAndRequestCount)
{
    const ShownFault& fault = GetParam();
    ASSERT_TRUE(Simulator.Start(fault.Options));
    WriteSettings(Simulator.Path(), 20);
    // Short read limits: a missing reply costs 80 ms.
    Folder.Write("INI/ComPort.ini", QByteArray("[Transmitter]\r\nPort=") + Simulator.Path().c_str()
                                        + "\r\nReadInterval=10\r\nReadTotalConstant=80\r\nReadTotalMultiplier=0\r\n");
    Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Text("lbModuleError") == fault.Message; }, 20000))
        << Text("lbModuleError").toStdString();
    // A few cycles more in the same state.
    const int shownAt = Cycles;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= shownAt + 3; }, 20000));
    Action("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(Text("lbModuleError"), fault.Message);
    EXPECT_EQ(Text("lblReqCount"), QString::number(Form->RequestCount()));
    const qsizetype logged = LogLines("log").filter(QStringLiteral("] -> [")).size();
    EXPECT_GE(logged, Form->RequestCount());
    EXPECT_EQ(Form->RequestCount(), Commands.size());
    Form->close();
    const QStringList alarms = LogLines("alarm");
    EXPECT_EQ(alarms.count(QStringLiteral("Vantor Ошибка обмена: ") + fault.Message), 1) << alarms.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(LineFaults, ShownLineFault, ::testing::ValuesIn(kShownFaults),
                         [](const ::testing::TestParamInfo<ShownFault>& info) { return std::string(info.param.Name); });

}  // namespace
