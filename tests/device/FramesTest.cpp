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

namespace {

const QByteArray kReadState = BuildReadFrame(1, 0x04, 0, 2);      // 9-byte answer
const QByteArray kReadModbus = BuildReadFrame(1, 0x03, 2003, 2);  // 9-byte answer
const QByteArray kReadGroup = BuildReadFrame(1, 0x04, 74, 64);    // 133-byte answer
const QByteArray kOpenService = BuildWriteFrame(1, 2000, {1234});
const QByteArray kSignature1 = BuildIdentificationFrame(1, 1, 0x00);

// The answer to a group read: 128 data bytes, or what a proxy on the way made of it.
QByteArray GroupAnswer(int countByte, int dataBytes)
{
    const QByteArray body = Hex("0104") + char(countByte) + QByteArray(dataBytes, '\x11');
    return body + AppendCrc(Crc16(body));
}

// An answer to a request and what the validation must make of it: a failure unless said otherwise.
struct Validation
{
    const char* what;
    QByteArray answer;
    QByteArray request;
    std::uint8_t answerLength;
    TDeviceStates state;
    TAnswerValidation::TVerdict verdict = TAnswerValidation::Failed;
};

void ExpectValidations(std::initializer_list<Validation> cases)
{
    for (const Validation& c : cases) {
        const TAnswerValidation got = ValidateAnswer(c.answer, c.request, c.answerLength);
        EXPECT_EQ(got.Verdict, c.verdict) << c.what;
        EXPECT_EQ(got.State, c.state) << c.what;
    }
}

}  // namespace

TEST(Frames, ValidationTakesTheFirstFailingStep)
{
    using V = TAnswerValidation;
    ExpectValidations({
        {"empty", {}, kReadState, 9, e_NoAnswer},
        {"four bytes", Hex("01040200"), kReadState, 9, e_Read},
        {"five bytes, wrong CRC", Hex("0183020000"), kReadModbus, 9, e_CheckSum},
        {"unknown function", WithCrc("010602000A"), kReadState, 0, e_IllegalCommand},
        {"short data answer", WithCrc("01040400000000"), kReadState, 10, e_Read},
        {"exact 0x03", WithCrc("010304000A000B"), kReadModbus, 9, e_OK, V::Accepted},
        {"illegal address", WithCrc("018302"), kReadModbus, 9, mbe_IllegalDataAdress},
        {"illegal function", WithCrc("019001"), kOpenService, 8, mbe_IllegalFunction},
        {"illegal value", WithCrc("01AB03"), kSignature1, 0, mbe_IllegalDataValue},
        {"device failure", WithCrc("018404"), kReadState, 9, mbe_SlaveDeviceFailure},
        {"exception 5 counts nothing", WithCrc("018305"), kReadModbus, 9, e_OK, V::FailedUnregistered},
        {"exception 0 counts nothing", WithCrc("018300"), kReadModbus, 9, e_OK, V::FailedUnregistered},
        {"identification without objects", WithCrc("012B0E0181000000"), kSignature1, 0, e_OK, V::Accepted},
        {"write confirmed", WithCrc("011007D00001"), kOpenService, 8, e_OK, V::Accepted},
    });
}

// On a shared line an echo of the request, another device's frame or a frame a proxy changed can
// all pass the CRC; only matching them to the request tells them from the answer.
TEST(Frames, AnAnswerCountsOnlyAsTheAnswerToItsRequest)
{
    ExpectValidations({
        {"another address", WithCrc("0204040000000B"), kReadState, 9, e_IllegalCommand},
        {"another function", WithCrc("010304000A000B"), kReadState, 9, e_IllegalCommand},
        {"another function's exception", WithCrc("018302"), kReadState, 9, e_IllegalCommand},
        {"another address's exception", WithCrc("028402"), kReadState, 9, e_IllegalCommand},
        {"no request at all", WithCrc("0104040000000B"), {}, 9, e_IllegalCommand},
        {"echo of a read", kReadState, kReadState, 9, e_Read},
        {"echo of a group read", kReadGroup, kReadGroup, 133, e_Read},
        {"echo of a write", kOpenService, kOpenService, 8, e_Read},
        {"echo of an identification read", kSignature1, kSignature1, 0, e_Read},
        {"byte count changed to 126", GroupAnswer(126, 128), kReadGroup, 133, e_Read},
        {"more registers than asked", WithCrc("0104060000000B0000"), kReadState, 9, e_Read},
        {"write of another register", WithCrc("011007D10001"), kOpenService, 8, e_IllegalCommand},
        {"write of another count", WithCrc("011007D00002"), kOpenService, 8, e_IllegalCommand},
        {"identification of another code", WithCrc("012B0E0281000000"), kSignature1, 0, e_IllegalCommand},
        {"identification of another MEI type", WithCrc("012B0D0181000000"), kSignature1, 0, e_IllegalCommand},
    });
    EXPECT_EQ(ValidateAnswer(WithCrc("012B0E018100000100054142434445"), kSignature1, 0).Verdict,
              TAnswerValidation::Accepted);
}

TEST(Frames, AnswerLengthsOfCommandOne)
{
    // 133 bytes: address, function, count, 128 data bytes, CRC; a byte more is no better.
    EXPECT_EQ(ValidateAnswer(GroupAnswer(127, 127), kReadGroup, 133).State, e_Read);
    EXPECT_EQ(ValidateAnswer(GroupAnswer(128, 128), kReadGroup, 133).Verdict, TAnswerValidation::Accepted);
    EXPECT_EQ(ValidateAnswer(GroupAnswer(129, 129), kReadGroup, 133).State, e_Read);
    EXPECT_EQ(ValidateAnswer(GroupAnswer(128, 129), kReadGroup, 133).State, e_Read);
}

TEST(DeviceStates, MessagesOfTheOperator)
{
    EXPECT_EQ(DeviceStateMessage(e_OK), "Норма");
    EXPECT_EQ(DeviceStateMessage(mbe_IllegalDataAdress), "В запросе указан недопустимый адрес");
    EXPECT_EQ(DeviceStateMessage(mbe_SlaveDeviceFailure),
              "Во время выполнения запрошенной операции произошла ошибка");
    EXPECT_EQ(DeviceStateMessage(static_cast<TDeviceStates>(9)), "");
}
