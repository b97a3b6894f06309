#include "SimulatorTest.h"

#include "device/VantorCodes.h"

namespace {

class VantorSimRegisters : public SimulatorTest
{
protected:
    void SetUp() override { StartWith(); }

    // Registers 0..15 of each of the four inputs of a group, read in one request as the poll does.
    QList<QList<std::uint16_t>> ReadGroup(int firstInput)
    {
        const QByteArray answer = Read(0x04, vantor::InputBlockFirst(firstInput), 64);
        EXPECT_EQ(answer.size(), 133);
        EXPECT_TRUE(CheckCrc(answer));
        const QList<std::uint16_t> words = RegistersOf(answer);
        QList<QList<std::uint16_t>> inputs;
        for (int k = 0; k < 4 && words.size() == 64; ++k)
            inputs.append(words.mid(16 * k, 16));
        return inputs;
    }
};

TEST_F(VantorSimRegisters, ControllerBlockIsNineBytesWithErrorCodeAndChannel)
{
    const QByteArray answer = Read(0x04, vantor::kErrorRegister, 2);
    ASSERT_EQ(answer.size(), 9);
    EXPECT_TRUE(CheckCrc(answer));
    EXPECT_EQ(answer.left(3), QByteArray::fromHex("010404"));
    EXPECT_EQ(RegistersOf(answer), (QList<std::uint16_t>{0, 7}));
}

TEST_F(VantorSimRegisters, LiveProbesReportPlausibleReadingsAndSetPointBits)
{
    const auto inputs = ReadGroup(5);
    ASSERT_EQ(inputs.size(), 4);
    for (int k = 0; k < 4; ++k) {
        const QList<std::uint16_t>& r = inputs[k];
        SCOPED_TRACE(5 + k);
        EXPECT_EQ(r[0], 0) << "exchange state";
        EXPECT_GE(r[1], 15);
        EXPECT_LE(r[1], 100);
        for (int i = 0; i < 6; ++i) {
            if (r[3 + i] >= vantor::kSensorStatusFirst && r[3 + i] <= vantor::kSensorStatusLast) {
                EXPECT_EQ(r[2] >> i & 1, 0) << "a faulty sensor has no active set-point";
                continue;
            }
            const auto temper = static_cast<std::int16_t>(r[3 + i]);
            EXPECT_GE(temper, 2 * 16);
            EXPECT_LE(temper, 23 * 16);
            EXPECT_EQ(r[2] >> i & 1, temper >= 15 * 16 ? 1 : 0) << "sensor " << i + 1;  // set-point 15.0
        }
        EXPECT_EQ(r[10], 20005 + k) << "plant number";
    }
    EXPECT_EQ(inputs[0][3], 0xAAA7) << "input 5, sensor 1";
}

TEST_F(VantorSimRegisters, DisabledSilentAndStaleProbesShowTheirExchangeStates)
{
    const auto group13 = ReadGroup(13);
    ASSERT_EQ(group13.size(), 4);
    EXPECT_EQ(group13[0][0], 3) << "input 13: no link";
    QList<std::uint16_t> disabled(16, 0);
    disabled[0] = 1;
    EXPECT_EQ(group13[3], disabled) << "input 16: disabled, nothing else";
    const auto group21 = ReadGroup(21);
    ASSERT_EQ(group21.size(), 4);
    EXPECT_EQ(group21[0][0], 2) << "input 21: data not updated";
    const auto last = ReadGroup(189);
    ASSERT_EQ(last.size(), 4);
    EXPECT_EQ(last[3][0], 1) << "input 192 is disabled";
}

TEST_F(VantorSimRegisters, EverySensorStatusCodeAppears)
{
    for (int k = 0; k <= 8; ++k) {
        const int input = 5 + 10 * k;
        const QList<std::uint16_t> r = RegistersOf(Read(0x04, vantor::InputBlockFirst(input), 16));
        ASSERT_EQ(r.size(), 16) << input;
        EXPECT_EQ(r[3 + k % 6], vantor::kSensorStatusFirst + k) << "input " << input;
    }
}

TEST_F(VantorSimRegisters, SettingsGroupIsEightyFiveBytes)
{
    const QByteArray answer = Read(0x03, vantor::SettingsBlockFirst(189), 40);
    ASSERT_EQ(answer.size(), 85);
    EXPECT_TRUE(CheckCrc(answer));
    const QList<std::uint16_t> r = RegistersOf(answer);
    EXPECT_EQ(r.mid(0, 4), (QList<std::uint16_t>{1, 20189, 5, 240}));
    EXPECT_EQ(r[30], 0) << "input 192 is not used";
    EXPECT_EQ(r[31], 20192);
}

TEST_F(VantorSimRegisters, ModbusParametersAndPlantNumber)
{
    EXPECT_EQ(RegistersOf(Read(0x03, vantor::kDevicePlantNumberRegister, 3)),
              (QList<std::uint16_t>{3107, 6, 2}))  // 9600 baud, even parity
        << "plant number, baud index, parity index";
}

TEST_F(VantorSimRegisters, RequestsOutsideTheMapAnswerExceptions)
{
    EXPECT_EQ(Read(0x04, vantor::InputBlockFirst(192) + 16, 1), ExceptionAnswer(1, 0x04, 2));
    EXPECT_EQ(Read(0x04, vantor::InputBlockFirst(192) + 15, 2), ExceptionAnswer(1, 0x04, 2));
    EXPECT_EQ(Read(0x03, vantor::kModbusParityRegister + 1, 1), ExceptionAnswer(1, 0x03, 2));
    EXPECT_EQ(Read(0x03, 0, 126), ExceptionAnswer(1, 0x03, 3));
    EXPECT_EQ(Read(0x04, 0, 0), ExceptionAnswer(1, 0x04, 3));

    const QByteArray writeSingle = QByteArray::fromHex("010600320001");
    EXPECT_EQ(Port->Exchange(writeSingle + AppendCrc(Crc16(writeSingle)), 5), ExceptionAnswer(1, 0x06, 1));
    const QByteArray truncated = QByteArray::fromHex("0103000A");
    EXPECT_EQ(Port->Exchange(truncated + AppendCrc(Crc16(truncated)), 5), ExceptionAnswer(1, 0x03, 3));
}

TEST_F(VantorSimRegisters, OtherAddressesAndBroadcastReadsGetNoAnswer)
{
    EXPECT_TRUE(Port->Exchange(BuildReadFrame(2, 0x04, 0, 2), 9, 1s).isEmpty());
    EXPECT_TRUE(Port->Exchange(BuildReadFrame(0, 0x04, 0, 2), 9, 1s).isEmpty());
    EXPECT_EQ(Read(0x04, 0, 2).size(), 9) << "still serving";
}

TEST(VantorSimSeed, TheSeedFixesTheReadingsAndTheyDrift)
{
    auto readings = [](const std::string& seed) {
        SimulatorProcess sim;
        EXPECT_TRUE(sim.Start({"--seed", seed}));
        PortClient port(sim.Path());
        QList<QByteArray> answers;
        for (int i = 0; i < 20; ++i) {
            answers.append(port.Exchange(BuildReadFrame(1, 0x04, vantor::InputBlockFirst(1), 64), 133));
            // The same read again at once is the same answer.
            if (i == 0) {
                EXPECT_EQ(port.Exchange(BuildReadFrame(1, 0x04, vantor::InputBlockFirst(1), 64), 133), answers.front());
            }
            port.Exchange(BuildReadFrame(1, 0x04, vantor::InputBlockFirst(5), 64), 133);
        }
        return answers;
    };
    const QList<QByteArray> first = readings("42");
    ASSERT_EQ(first.size(), 20);
    EXPECT_EQ(first, readings("42"));
    EXPECT_NE(first, readings("43"));
    EXPECT_NE(first.front(), first.back()) << "temperatures drift from read to read";
}

}  // namespace
