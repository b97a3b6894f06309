#include "device/CommandTable.h"
#include "device/SignatureFields.h"
#include "device/Vantor.h"

#include "Fixtures.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

// What OnRequest was told.
struct Reported
{
    int Count = 0;
    QString Device, Command;
    QByteArray Request, Answer;
    bool Result = false;
};

class ParseAnswer : public ::testing::Test
{
protected:
    ParseAnswer()
    {
        Vantor.SetSystemAddress(1);
        Vantor.SetErrorMax(3);
        Vantor.OnRequest = [this](TVantor*, const QString& device, const QString& command, const QByteArray& request,
                                  const QByteArray& answer, bool result) {
            Last = {Last.Count + 1, device, command, request, answer, result};
        };
    }

    bool Parse(int command, const QByteArray& answer)
    {
        return Vantor.ParseAnswer(command, Vantor.BuildRequest(command), answer);
    }

    int ModuleState() const { return Vantor.ModuleError.GetOutValue().ToInteger(); }

    TVantor Vantor;
    Reported Last;
};

QByteArray ReadingsAnswer(const InputBlock (&blocks)[4])
{
    QByteArray body = Hex("010480");
    for (const InputBlock& b : blocks)
        body += b.Bytes();
    return Answer(body);
}

}  // namespace

TEST_F(ParseAnswer, GeneralInformation)
{
    ASSERT_TRUE(Parse(0, Answer("0104040102000B")));
    EXPECT_EQ(Vantor.Error.GetOutValue().ToInteger(), 0x0102);
    EXPECT_EQ(Vantor.FreqChannel, 11);
    EXPECT_EQ(Last.Count, 1);
    EXPECT_EQ(Last.Device, "Vantor");
    EXPECT_EQ(Last.Command, "Считать общую информацию");
    EXPECT_EQ(Last.Request, Hex("01040000000271CB"));
    EXPECT_TRUE(Last.Result);
    EXPECT_EQ(ModuleState(), tsFalse);
    EXPECT_EQ(Vantor.ModuleError.StateCaption(), "Норма");
}

TEST_F(ParseAnswer, ReadingsOfFourInputs)
{
    Vantor.CurrentInput = 5;
    InputBlock blocks[4];
    blocks[1].State = 3;
    blocks[1].Bounds = 0b100101;
    blocks[2].Sensors[0] = 0xAAA6;  // just below the status codes: a temperature
    blocks[3].PlantNumber = 65535;
    const QByteArray answer = ReadingsAnswer(blocks);
    ASSERT_EQ(answer.size(), 133);

    TVantorInput& first = Vantor.Input(5);
    first.Temper[2].SetValue(12.5);  // kept under a status code
    ASSERT_TRUE(Parse(1, answer));

    EXPECT_EQ(first.OprosState.StateCaption(), "Норма");
    EXPECT_EQ(first.Battery, 87);
    EXPECT_EQ(first.SoftVersion, 3);
    EXPECT_EQ(first.PlantNumber, 4660);
    EXPECT_EQ(first.CRC, "1A 2B");
    EXPECT_DOUBLE_EQ(first.Temper[0].GetOutValue().ToDouble(), 25.0);
    EXPECT_DOUBLE_EQ(first.Temper[1].GetOutValue().ToDouble(), -1.0);
    EXPECT_DOUBLE_EQ(first.Temper[2].GetOutValue().ToDouble(), 12.5);
    EXPECT_DOUBLE_EQ(first.Temper[5].GetOutValue().ToDouble(), 0.5);
    const int states[6] = {1, 1, 2, 10, 1, 1};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(first.TemperState[i].GetOutValue().ToInteger(), states[i]) << i;
    EXPECT_EQ(first.TemperState[2].StateCaption(), "AAA7");
    EXPECT_FALSE(first.TemperState[2].StateIsAlarm());
    EXPECT_EQ(first.TemperState[3].StateCaption(), "AAAF");
    EXPECT_TRUE(first.TemperState[3].StateIsAlarm());

    const TVantorInput& second = Vantor.Input(6);
    EXPECT_EQ(second.OprosState.StateCaption(), "Нет связи");
    EXPECT_TRUE(second.OprosState.StateIsAlarm());
    const int bounds[6] = {tsTrue, tsFalse, tsTrue, tsFalse, tsFalse, tsTrue};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(second.Bound[i].GetOutValue().ToInteger(), bounds[i]) << i;
    EXPECT_DOUBLE_EQ(Vantor.Input(7).Temper[0].GetOutValue().ToDouble(), static_cast<qint16>(0xAAA6) / 16.0);
    EXPECT_EQ(Vantor.Input(8).PlantNumber, 65535);
    EXPECT_EQ(Vantor.Input(9).Battery, 0);  // outside the group
}

TEST_F(ParseAnswer, SettingsOfFourInputs)
{
    Vantor.CurrentInput = 189;
    const QByteArray answer = Answer(Hex("010350") + SettingsBlock(true, 100, 15, 320) + SettingsBlock(false, 101, 60, -168) +
                                     SettingsBlock(true, 102, 5, 32767) + SettingsBlock(true, 103, 1, -32768));
    ASSERT_EQ(answer.size(), 85);
    ASSERT_TRUE(Parse(2, answer));
    EXPECT_EQ(Vantor.Input(189).ChannelEnabled.StateCaption(), "Используется");
    EXPECT_EQ(Vantor.Input(190).ChannelEnabled.StateCaption(), "Не используется");
    EXPECT_EQ(Vantor.Input(189).PlantNumber, 100);
    EXPECT_EQ(Vantor.Input(190).Interval, 60);
    // Every set-point the register can hold comes through unaltered.
    EXPECT_DOUBLE_EQ(Vantor.Input(189).TemperBound.Value(), 20.0);
    EXPECT_DOUBLE_EQ(Vantor.Input(190).TemperBound.Value(), -10.5);
    EXPECT_DOUBLE_EQ(Vantor.Input(191).TemperBound.Value(), 2047.9375);
    EXPECT_DOUBLE_EQ(Vantor.Input(192).TemperBound.Value(), -2048.0);
}

TEST_F(ParseAnswer, AGroupPastTheLastInputDecodesOnlyRealInputs)
{
    Vantor.CurrentInput = 192;  // as after start, before the first cycle
    InputBlock blocks[4];
    blocks[0].Battery = 55;
    ASSERT_TRUE(Parse(1, ReadingsAnswer(blocks)));
    EXPECT_EQ(Vantor.Input(192).Battery, 55);
    Vantor.CurrentInput = 0;
    EXPECT_TRUE(Parse(1, ReadingsAnswer(blocks)));
}

TEST_F(ParseAnswer, WriteConfirmationsChangeTheModel)
{
    EXPECT_TRUE(Parse(3, Answer("010304000600 02")));
    EXPECT_EQ(Vantor.ModbusBaud, 6);
    EXPECT_EQ(Vantor.ModbusParity, 2);

    // A write is confirmed by its address, function, first register and count.
    const auto confirmed = [this](int command) { return Answer(Vantor.BuildRequest(command).left(6)); };
    ASSERT_TRUE(Parse(5, confirmed(5)));
    EXPECT_EQ(Vantor.ServiceRange, 2);
    ASSERT_TRUE(Parse(6, confirmed(6)));
    EXPECT_EQ(Vantor.ServiceRange, 1);

    Vantor.CurrentInput = 7;
    Vantor.WrEnabled = 0;
    Vantor.WrInterval = 30;
    Vantor.WrBound = 35.5;
    Vantor.WrPlantNumber = 777;
    ASSERT_TRUE(Parse(7, confirmed(7)));
    const TVantorInput& input = Vantor.Input(7);
    EXPECT_EQ(input.ChannelEnabled.GetOutValue().ToInteger(), tsFalse);
    EXPECT_EQ(input.Interval, 30);
    EXPECT_DOUBLE_EQ(input.TemperBound.Value(), 35.5);
    EXPECT_EQ(input.PlantNumber, 777);

    Vantor.WrBaud = 8;
    Vantor.WrParity = 0;
    ASSERT_TRUE(Parse(8, confirmed(8)));
    EXPECT_EQ(Vantor.ModbusBaud, 8);
    Vantor.WrDevicePlantNumber = 42;
    ASSERT_TRUE(Parse(10, confirmed(10)));
    EXPECT_EQ(Vantor.PlantNumber, 42);

    // A new address resets the exchange state after the answer is confirmed.
    Vantor.WrSystemAddress = 9;
    ASSERT_TRUE(Parse(9, confirmed(9)));
    EXPECT_EQ(Vantor.SystemAddress(), 9);
    EXPECT_EQ(ModuleState(), tsFalse);
}

TEST_F(ParseAnswer, FailuresAreShownFromErrorMaxAndClearedByOneGoodAnswer)
{
    EXPECT_FALSE(Parse(0, {}));
    EXPECT_FALSE(Parse(0, Hex("01040200")));
    EXPECT_EQ(ModuleState(), tsUnknown);
    EXPECT_EQ(Vantor.ErrorCount, 2);
    EXPECT_FALSE(Last.Result);
    EXPECT_TRUE(Last.Answer == Hex("01040200"));
    EXPECT_TRUE(Parse(0, Answer("01040400000001")));
    EXPECT_EQ(Vantor.ErrorCount, 0);
    EXPECT_EQ(Vantor.ModuleError.StateCaption(), "Норма");

    EXPECT_FALSE(Parse(0, {}));
    EXPECT_FALSE(Parse(0, Hex("0183020000")));
    EXPECT_FALSE(Parse(0, Answer("018402")));
    EXPECT_EQ(ModuleState(), tsTrue);
    EXPECT_EQ(Vantor.DeviceState, mbe_IllegalDataAdress);
    EXPECT_EQ(Vantor.ModuleError.StateCaption(), "В запросе указан недопустимый адрес");

    // An exception code outside 1..4 fails without being counted.
    const quint16 count = Vantor.ErrorCount;
    EXPECT_FALSE(Parse(0, Answer("018405")));
    EXPECT_EQ(Vantor.ErrorCount, count);
    EXPECT_EQ(Vantor.DeviceState, mbe_IllegalDataAdress);
    EXPECT_EQ(Last.Count, 7);
    EXPECT_FALSE(Last.Result);
}

// Where two checks would both fail, the one that comes first names the failure.
TEST_F(ParseAnswer, TheEarlierOfTwoFailingChecksNamesTheFailure)
{
    const auto wrongCrc = [](const char* hex) {
        QByteArray frame = Answer(hex);
        frame.back() = static_cast<char>(frame.back() ^ 0xFF);
        return frame;
    };
    struct Case
    {
        const char* what;
        int command;
        QByteArray answer;
        TDeviceStates state;
    };
    const Case cases[] = {
        {"short, wrong CRC", 0, wrongCrc("0104"), e_Read},
        {"short, unknown function", 0, Answer("0106"), e_Read},
        {"wrong CRC, unknown function", 0, wrongCrc("010602000A"), e_CheckSum},
        {"wrong CRC, too short for the command", 1, wrongCrc("010404000A000B"), e_CheckSum},
        {"unknown function, too short for the command", 1, Answer("010604000A000B"), e_IllegalCommand},
        {"exception, too short for the command", 1, Answer("018402"), mbe_IllegalDataAdress},
    };
    Vantor.SetErrorMax(1);
    for (const Case& c : cases) {
        EXPECT_FALSE(Parse(c.command, c.answer)) << c.what;
        EXPECT_EQ(Vantor.DeviceState, c.state) << c.what;
        EXPECT_EQ(Vantor.ModuleError.StateCaption(), DeviceStateMessage(c.state)) << c.what;
    }
    // An exception outside 1..4 is counted as nothing, however short the answer.
    const quint16 count = Vantor.ErrorCount;
    EXPECT_FALSE(Parse(1, Answer("018405")));
    EXPECT_EQ(Vantor.ErrorCount, count);
    EXPECT_EQ(Vantor.DeviceState, mbe_IllegalDataAdress);
}

TEST_F(ParseAnswer, SensitivityOfZeroOrOneShowsEveryFailure)
{
    for (const quint8 max : {0, 1}) {
        Vantor.SetErrorMax(max);
        EXPECT_EQ(ModuleState(), tsUnknown);
        EXPECT_FALSE(Parse(0, Answer("010600")));
        EXPECT_EQ(ModuleState(), tsTrue);
        EXPECT_EQ(Vantor.ModuleError.StateCaption(), "Несоответствие команды");
        Vantor.SetErrorMax(3);
    }
}

TEST_F(ParseAnswer, CommandOneAnswerLengths)
{
    Vantor.CurrentInput = 1;
    InputBlock blocks[4];
    const QByteArray good = ReadingsAnswer(blocks);
    QByteArray shortBody = good.left(good.size() - 3);
    EXPECT_FALSE(Parse(1, Answer(shortBody)));  // 132 bytes
    EXPECT_EQ(Vantor.ErrorCount, 1);
    QByteArray longBody = good.left(good.size() - 2) + '\0';
    EXPECT_FALSE(Parse(1, Answer(longBody)));  // 134 bytes: not what the byte count says
    EXPECT_EQ(Vantor.ErrorCount, 2);
    EXPECT_TRUE(Parse(1, good));
}

TEST_F(ParseAnswer, AnAnswerOfAnotherFunctionIsAMismatchAndDecodesNothing)
{
    Vantor.SetErrorMax(1);
    EXPECT_FALSE(Parse(3, Answer("01040400070001")));  // input registers for a holding read
    EXPECT_EQ(Vantor.ModbusBaud, 0);
    EXPECT_EQ(Vantor.ModuleError.StateCaption(), "Несоответствие команды");
}

TEST_F(ParseAnswer, AGroupAnswerGoesToTheGroupItsRequestAskedWhateverCurrentInputSaysNow)
{
    const QByteArray request = Vantor.BuildReadRequest(1, 5);
    Vantor.CurrentInput = 100;  // a command took it while the answer was on the line
    InputBlock blocks[4];
    blocks[1].Battery = 61;
    ASSERT_TRUE(Vantor.ParseAnswer(1, request, ReadingsAnswer(blocks)));
    EXPECT_EQ(Vantor.Input(6).Battery, 61);
    EXPECT_EQ(Vantor.Input(101).Battery, 0);

    const QByteArray settings = Vantor.BuildReadRequest(2, 9);
    ASSERT_TRUE(Vantor.ParseAnswer(2, settings,
                                   Answer(Hex("010350") + SettingsBlock(true, 20009, 5, 240) + SettingsBlock(true, 20010, 5, 240) +
                                          SettingsBlock(true, 20011, 5, 240) + SettingsBlock(false, 20012, 7, 240))));
    EXPECT_TRUE(Vantor.Input(12).SettingsKnown);
    EXPECT_EQ(Vantor.Input(12).Interval, 7);
    EXPECT_FALSE(Vantor.Input(100).SettingsKnown);
}

TEST_F(ParseAnswer, AnAnswerCarryingAnotherGroupsProbesIsRefusedAsAMismatch)
{
    // The settings reads gave inputs 9..12 their probes 20009..20012.
    for (int n = 9; n <= 12; ++n) {
        Vantor.Input(n).SettingsKnown = true;
        Vantor.Input(n).SettingsPlantNumber = static_cast<quint16>(20000 + n);
    }
    const QByteArray request = Vantor.BuildReadRequest(1, 9);
    InputBlock foreign[4];
    for (int k = 0; k < 4; ++k)
        foreign[k].PlantNumber = static_cast<quint16>(20001 + k), foreign[k].Battery = 11;
    EXPECT_FALSE(Vantor.ParseAnswer(1, request, ReadingsAnswer(foreign)));
    EXPECT_TRUE(Vantor.AnswerForeign());
    EXPECT_EQ(Vantor.ErrorCount, 1);
    EXPECT_FALSE(Last.Result);
    EXPECT_EQ(Vantor.Input(9).Battery, 0);
    Vantor.SetErrorMax(1);
    EXPECT_FALSE(Vantor.ParseAnswer(1, request, ReadingsAnswer(foreign)));
    EXPECT_EQ(Vantor.ModuleError.StateCaption(), "Несоответствие команды");

    // Its own probes, one of them not heard yet (0), prove it, in doubt or not.
    InputBlock own[4];
    for (int k = 0; k < 4; ++k)
        own[k].PlantNumber = static_cast<quint16>(20009 + k);
    own[2].PlantNumber = 0;
    EXPECT_TRUE(Vantor.ParseAnswer(1, request, ReadingsAnswer(own), atDoubtful));
    EXPECT_FALSE(Vantor.AnswerForeign());

    // A settings answer naming other probes is another group's too.
    EXPECT_FALSE(Vantor.ParseAnswer(2, Vantor.BuildReadRequest(2, 9),
                                    Answer(Hex("010350") + SettingsBlock(true, 20001, 5, 0) + SettingsBlock(true, 20002, 5, 0) +
                                           SettingsBlock(true, 20003, 5, 0) + SettingsBlock(true, 20004, 5, 0))));
    EXPECT_EQ(Vantor.Input(9).SettingsPlantNumber, 20009);
}

TEST_F(ParseAnswer, AnAnswerThatCameTwiceTeachesTheProbesItNamesOnce)
{
    // Probes 20009..20012 replaced by 30009..30012 and set up again: refused on the names alone,
    // taken when the same answer came twice, learned with one notification each.
    for (int n = 9; n <= 12; ++n) {
        Vantor.Input(n).SettingsKnown = true;
        Vantor.Input(n).SettingsPlantNumber = static_cast<quint16>(20000 + n);
    }
    std::vector<std::tuple<int, int, int>> changes;
    Vantor.OnPlantNumberChange = [&](TVantor*, int input, quint16 was, quint16 now) { changes.emplace_back(input, was, now); };
    const QByteArray request = Vantor.BuildReadRequest(1, 9);
    InputBlock replaced[4];
    for (int k = 0; k < 4; ++k)
        replaced[k].PlantNumber = static_cast<quint16>(30009 + k);
    replaced[3].PlantNumber = 0;  // not heard yet: nothing to learn
    EXPECT_FALSE(Vantor.ParseAnswer(1, request, ReadingsAnswer(replaced), atSettled));
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(Vantor.ParseAnswer(1, request, ReadingsAnswer(replaced), atRepeated));
    EXPECT_EQ(changes, (std::vector<std::tuple<int, int, int>>{{9, 20009, 30009}, {10, 20010, 30010}, {11, 20011, 30011}}));
    EXPECT_EQ(Vantor.Input(12).SettingsPlantNumber, 20012);
    // From now on the new probes prove their group's answers; the settings read names the fourth.
    EXPECT_TRUE(Vantor.ParseAnswer(1, request, ReadingsAnswer(replaced), atSettled));
    EXPECT_TRUE(Vantor.ParseAnswer(2, Vantor.BuildReadRequest(2, 9),
                                   Answer(Hex("010350") + SettingsBlock(true, 30009, 5, 0) + SettingsBlock(true, 30010, 5, 0) +
                                          SettingsBlock(true, 30011, 5, 0) + SettingsBlock(true, 30012, 5, 0)),
                                   atSettled));
    EXPECT_EQ(changes.size(), 4U);
    EXPECT_EQ(changes.back(), std::make_tuple(12, 20012, 30012));
}

TEST_F(ParseAnswer, AGroupWithoutKnownProbesIsTakenOnlyWhileTheLineIsSound)
{
    InputBlock blocks[4];
    const QByteArray request = Vantor.BuildReadRequest(1, 13);
    EXPECT_FALSE(Vantor.ParseAnswer(1, request, ReadingsAnswer(blocks), atDoubtful));
    EXPECT_TRUE(Vantor.AnswerForeign());
    EXPECT_EQ(Vantor.Input(13).Battery, 0);
    EXPECT_TRUE(Vantor.ParseAnswer(1, request, ReadingsAnswer(blocks), atSettled));
    EXPECT_EQ(Vantor.Input(13).Battery, 87);
    // Answers that are no group's are not the group check's business.
    EXPECT_TRUE(Vantor.ParseAnswer(0, Vantor.BuildReadRequest(0), Answer("0104040102000B"), atDoubtful));
}
