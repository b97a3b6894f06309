#include "device/Frames.h"

#include <gtest/gtest.h>

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// A frame body completed with its CRC.
QByteArray WithCrc(const char* hex)
{
    const QByteArray body = Hex(hex);
    return body + AppendCrc(Crc16(body));
}

}  // namespace

TEST(Frames, CrcMatchesTheModbusCheckValues)
{
    EXPECT_EQ(Crc16("123456789"), 0x4B37);  // the catalogued check value of CRC-16/MODBUS
    EXPECT_EQ(Crc16({}), 0xFFFF);
    EXPECT_EQ(Crc16(QByteArray(256, 'x')), 0xFFFF);  // the count is held in 8 bits
    EXPECT_EQ(AppendCrc(Crc16(Hex("010400000002"))), Hex("71CB"));
    EXPECT_EQ(AppendCrc(Crc16(Hex("0103006B0003"))), Hex("7417"));
}

TEST(Frames, CheckCrcNeedsMoreThanTwoBytes)
{
    EXPECT_FALSE(CheckCrc({}));
    EXPECT_FALSE(CheckCrc(Hex("FFFF")));  // the CRC of nothing, but nothing to check
    EXPECT_TRUE(CheckCrc(Hex("01040000000271CB")));
    EXPECT_FALSE(CheckCrc(Hex("01040000000271CC")));
    EXPECT_FALSE(CheckCrc(Hex("010400000002CB71")));  // bytes swapped
}

TEST(Frames, WordsAreHighByteFirst)
{
    EXPECT_EQ(MakeWord(0x01, 0x90), 400);
    EXPECT_EQ(MakeSignedWord(0x01, 0x90), 400);
    EXPECT_EQ(MakeSignedWord(0xFF, 0xF0), -16);
    EXPECT_EQ(MakeWord(0xFF, 0xF0), 0xFFF0);
    EXPECT_EQ(MakeSignedWord(0x80, 0x00), -32768);
}

TEST(Frames, RequestForms)
{
    EXPECT_EQ(BuildReadFrame(1, 0x04, 0, 2), Hex("01040000000271CB"));
    EXPECT_EQ(BuildReadFrame(0x11, 0x03, 0x006B, 3), Hex("1103006B00037687"));
    const QByteArray write = BuildWriteFrame(0x11, 0x0001, {0x000A, 0x0102});
    EXPECT_EQ(write, WithCrc("1110000100020400 0A0102"));
    EXPECT_EQ(write.size(), 9 + 2 * 2);
    EXPECT_EQ(BuildIdentificationFrame(1, 0x04, 0x00), WithCrc("012B0E0400"));
}

TEST(Frames, ValidationTakesTheFirstFailingStep)
{
    using V = TAnswerValidation;
    struct Case
    {
        const char* what;
        QByteArray answer;
        std::uint8_t answerLength;
        V::TVerdict verdict;
        TDeviceStates state;
    };
    const Case cases[] = {
        {"empty", {}, 9, V::Failed, e_NoAnswer},
        {"four bytes", Hex("01040200"), 9, V::Failed, e_Read},
        {"five bytes, wrong CRC", Hex("0183020000"), 9, V::Failed, e_CheckSum},
        {"unknown function", WithCrc("010602000A"), 0, V::Failed, e_IllegalCommand},
        {"short data answer", WithCrc("01040400000000"), 10, V::Failed, e_Read},
        {"exact 0x03", WithCrc("010304000A000B"), 9, V::Accepted, e_OK},
        {"longer is fine", WithCrc("01030600010002000300"), 9, V::Accepted, e_OK},
        {"illegal address", WithCrc("018302"), 9, V::Failed, mbe_IllegalDataAdress},
        {"illegal function", WithCrc("019001"), 8, V::Failed, mbe_IllegalFunction},
        {"illegal value", WithCrc("01AB03"), 0, V::Failed, mbe_IllegalDataValue},
        {"device failure", WithCrc("018404"), 9, V::Failed, mbe_SlaveDeviceFailure},
        {"exception 5 counts nothing", WithCrc("018305"), 9, V::FailedUnregistered, e_OK},
        {"exception 0 counts nothing", WithCrc("018300"), 9, V::FailedUnregistered, e_OK},
        {"identification of any length", WithCrc("012B0E"), 200, V::Accepted, e_OK},
    };
    for (const Case& c : cases) {
        const TAnswerValidation got = ValidateAnswer(c.answer, c.answerLength);
        EXPECT_EQ(got.Verdict, c.verdict) << c.what;
        EXPECT_EQ(got.State, c.state) << c.what;
    }
}

TEST(Frames, AnswerLengthsOfCommandOne)
{
    // 133 bytes: address, function, count, 128 data bytes, CRC.
    const auto answer = [](int dataBytes) {
        QByteArray body = Hex("0104") + char(dataBytes) + QByteArray(dataBytes, '\x11');
        return body + AppendCrc(Crc16(body));
    };
    EXPECT_EQ(ValidateAnswer(answer(127), 133).State, e_Read);
    EXPECT_EQ(ValidateAnswer(answer(128), 133).Verdict, TAnswerValidation::Accepted);
    EXPECT_EQ(ValidateAnswer(answer(129), 133).Verdict, TAnswerValidation::Accepted);
}

TEST(DeviceStates, MessagesOfTheOperator)
{
    EXPECT_EQ(DeviceStateMessage(e_OK), "Норма");
    EXPECT_EQ(DeviceStateMessage(mbe_IllegalDataAdress), "В запросе указан недопустимый адрес");
    EXPECT_EQ(DeviceStateMessage(mbe_SlaveDeviceFailure),
              "Во время выполнения запрошенной операции произошла ошибка");
    EXPECT_EQ(DeviceStateMessage(static_cast<TDeviceStates>(9)), "");
}
