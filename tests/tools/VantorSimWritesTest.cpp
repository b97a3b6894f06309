#include "SimulatorTest.h"

#include "device/VantorCodes.h"

namespace {

class VantorSimWrites : public SimulatorTest
{
protected:
    void SetUp() override { StartWith(); }

    // The standard confirmation of a register write: the request's first 6 bytes and a CRC.
    static QByteArray Echo(const QByteArray& request)
    {
        return request.left(6) + AppendCrc(Crc16(request.left(6)));
    }

    QByteArray ExpectEcho(std::uint16_t first, const QList<std::uint16_t>& values, std::uint8_t address = 1)
    {
        const QByteArray request = BuildWriteFrame(address, first, values);
        const QByteArray answer = Port->Exchange(request, 8);
        EXPECT_EQ(answer, Echo(request));
        return answer;
    }

    static constexpr std::uint16_t kPlant = 3107;
};

TEST_F(VantorSimWrites, InputSettingsAreReadBackAndDriveTheReadings)
{
    const std::uint16_t block = vantor::SettingsBlockFirst(7);
    ExpectEcho(block, {1, 12345, 30, 0xFFF8});  // set-point -0.5 degrees: every sensor above it
    EXPECT_EQ(RegistersOf(Read(0x03, block, 4)), (QList<std::uint16_t>{1, 12345, 30, 0xFFF8}));
    QList<std::uint16_t> readings = RegistersOf(Read(0x04, vantor::InputBlockFirst(7), 16));
    ASSERT_EQ(readings.size(), 16);
    EXPECT_EQ(readings[2], 0x3F) << "all six set-points active";
    EXPECT_EQ(readings[10], 12345) << "the probe's plant number";

    ExpectEcho(block, {0});
    readings = RegistersOf(Read(0x04, vantor::InputBlockFirst(7), 16));
    ASSERT_EQ(readings.size(), 16);
    EXPECT_EQ(readings[0], 1) << "disabled";
}

TEST_F(VantorSimWrites, BroadcastWritesAreCarriedOutWithoutAnswer)
{
    const std::uint16_t block = vantor::SettingsBlockFirst(3);
    EXPECT_TRUE(Port->Exchange(BuildWriteFrame(0, block + 2, {60}), 8, 1s).isEmpty());
    EXPECT_EQ(RegistersOf(Read(0x03, block + 2, 1)), QList<std::uint16_t>{60});
}

TEST_F(VantorSimWrites, ServiceRegistersNeedTheServiceRangeOpen)
{
    const std::uint16_t plant = vantor::kDevicePlantNumberRegister;
    EXPECT_EQ(Write(plant, {4321}), ExceptionAnswer(1, 0x10, 2)) << "closed";
    EXPECT_EQ(Write(vantor::kServiceRangeRegister, {1234}), ExceptionAnswer(1, 0x10, 3)) << "wrong code";
    EXPECT_EQ(Write(plant, {4321}), ExceptionAnswer(1, 0x10, 2)) << "still closed";

    ExpectEcho(vantor::kServiceRangeRegister, {vantor::kServiceAccessCode});
    ExpectEcho(plant, {4321});
    ExpectEcho(vantor::kModbusBaudRegister, {8, 0});  // 19200 baud, no parity
    EXPECT_EQ(RegistersOf(Read(0x03, plant, 3)), (QList<std::uint16_t>{4321, 8, 0}));
    EXPECT_EQ(Write(vantor::kModbusBaudRegister, {13}), ExceptionAnswer(1, 0x10, 3)) << "no 14th speed";
    EXPECT_EQ(Write(vantor::kModbusParityRegister, {3}), ExceptionAnswer(1, 0x10, 3)) << "no 4th parity";

    ExpectEcho(vantor::kServiceRangeRegister, {0});
    EXPECT_EQ(Write(vantor::kModbusBaudRegister, {6, 2}), ExceptionAnswer(1, 0x10, 2)) << "closed again";
    EXPECT_EQ(RegistersOf(Read(0x03, plant, 3)), (QList<std::uint16_t>{4321, 8, 0}));
}

TEST_F(VantorSimWrites, RegistersOutsideTheWritableBlocksAreRefused)
{
    EXPECT_EQ(Write(10, {1}), ExceptionAnswer(1, 0x10, 2));
    EXPECT_EQ(Write(vantor::SettingsBlockFirst(192) + 10, {1}), ExceptionAnswer(1, 0x10, 2));
    EXPECT_EQ(Write(vantor::kServiceRangeRegister, {vantor::kServiceAccessCode, 1}), ExceptionAnswer(1, 0x10, 2));
    EXPECT_EQ(Write(vantor::kSystemBlock, {vantor::AuthorisationWord(), kPlant}), ExceptionAnswer(1, 0x10, 2))
        << "the system block is written whole";

    QByteArray lying = BuildWriteFrame(1, vantor::SettingsBlockFirst(1), {1, 2});
    lying[5] = 3;  // three registers announced, two sent
    lying = lying.chopped(2);
    EXPECT_EQ(Port->Exchange(lying + AppendCrc(Crc16(lying)), 5), ExceptionAnswer(1, 0x10, 3));
}

TEST_F(VantorSimWrites, SystemAddressChangesOnlyWithTheRightWordAndPlantNumber)
{
    const std::uint16_t word = vantor::AuthorisationWord();
    EXPECT_EQ(Write(vantor::kSystemBlock, {static_cast<std::uint16_t>(word ^ 1), kPlant, 9}), ExceptionAnswer(1, 0x10, 3));
    EXPECT_EQ(Write(vantor::kSystemBlock, {word, kPlant + 1, 9}), ExceptionAnswer(1, 0x10, 3));
    EXPECT_EQ(Write(vantor::kSystemBlock, {word, kPlant, 248}), ExceptionAnswer(1, 0x10, 3));
    EXPECT_EQ(Read(0x04, 0, 2).size(), 9) << "address 1 still";

    ExpectEcho(vantor::kSystemBlock, {word, kPlant, 9});  // confirmed from the old address
    EXPECT_TRUE(Port->Exchange(BuildReadFrame(1, 0x04, 0, 2), 9, 1s).isEmpty());
    EXPECT_EQ(Read(0x04, 0, 2, 9).size(), 9);
    EXPECT_EQ(RegistersOf(Read(0x03, vantor::kSystemBlock, 3, 9)), (QList<std::uint16_t>{0, 0, 0}))
        << "the authorisation word is not kept";
}

TEST(VantorSimLoadingMode, RightCodeSilencesTheControllerUntilItRestarts)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.Start({"--loading-ms", "3000"}));
    PortClient port(sim.Path());
    const std::uint16_t word = vantor::AuthorisationWord();
    const QByteArray wrong = BuildWriteFrame(1, vantor::kLoadingBlock, {word, 3107, 0xB00C});
    EXPECT_EQ(port.Exchange(wrong, 5), ExceptionAnswer(1, 0x10, 3));
    const QByteArray right = BuildWriteFrame(1, vantor::kLoadingBlock, {word, 3107, vantor::kLoadingModeCode});
    EXPECT_EQ(port.Exchange(right, 8), right.left(6) + AppendCrc(Crc16(right.left(6))));
    EXPECT_TRUE(port.Exchange(BuildReadFrame(1, 0x04, 0, 2), 9, 500ms).isEmpty()) << "loading";

    // Back after the restart, 3 s after the write.
    EXPECT_EQ(port.AskUntilAnswered(BuildReadFrame(1, 0x04, 0, 2), 9, 500ms, 8s).size(), 9);
}

}  // namespace
