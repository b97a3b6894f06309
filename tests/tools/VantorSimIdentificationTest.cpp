#include "SimulatorTest.h"

#include <QStringDecoder>

namespace {

// The object texts are read at the positions the program uses: L0 at byte 9, the first value
// from byte 10, each further object's length byte right after the value before it.
class VantorSimIdentification : public SimulatorTest
{
protected:
    void SetUp() override { StartWith(); }

    QByteArray Signature(std::uint8_t code, std::uint8_t object)
    {
        const QByteArray answer = Port->Exchange(BuildIdentificationFrame(1, code, object), 0);
        EXPECT_TRUE(CheckCrc(answer));
        EXPECT_EQ(answer.left(4), QByteArray::fromHex("012B0E") + char(code));
        return answer;
    }

    // The values of the objects in the order they come.
    static QList<QByteArray> Objects(const QByteArray& answer)
    {
        QList<QByteArray> values;
        qsizetype at = 9;
        while (at < answer.size() - 2) {
            const auto length = static_cast<std::uint8_t>(answer[at]);
            values.append(answer.mid(at + 1, length));
            at += 1 + length + 1;  // past the value and the next object's id
        }
        return values;
    }

    static QString Text(const QByteArray& cp1251) { return QStringDecoder("windows-1251").decode(cp1251); }
};

TEST_F(VantorSimIdentification, SignatureOneHoldsMakerPlantNumberAndVersions)
{
    const QByteArray answer = Signature(1, 0x00);
    ASSERT_GT(answer.size(), 7);
    EXPECT_EQ(static_cast<std::uint8_t>(answer[7]), 3) << "number of objects";
    const QList<QByteArray> objects = Objects(answer);
    ASSERT_EQ(objects.size(), 3);
    EXPECT_EQ(Text(objects[0]), u"НПП \"Вантор\"");
    EXPECT_EQ(objects[1], "3107");
    ASSERT_GE(objects[2].size(), 33);
    EXPECT_EQ(objects[2].mid(13, 3), "002") << "hardware version";
    EXPECT_EQ(objects[2].mid(30, 3), "017") << "software version";
}

TEST_F(VantorSimIdentification, SignatureOneFollowsThePlantNumberRegister)
{
    ASSERT_EQ(Write(2000, {4871}).size(), 8);
    ASSERT_EQ(Write(2002, {65000}).size(), 8);
    EXPECT_EQ(Objects(Signature(1, 0x00)).value(1), "65000");
}

TEST_F(VantorSimIdentification, SignatureTwoHoldsThreeTexts)
{
    const QList<QByteArray> objects = Objects(Signature(2, 0x03));
    ASSERT_EQ(objects.size(), 3);
    EXPECT_EQ(Text(objects[0]), u"Силосный корпус № 1");
    EXPECT_EQ(objects[1], "Vantor-192");
    EXPECT_EQ(Text(objects[2]), u"Контроллер термоподвесок");
}

TEST_F(VantorSimIdentification, SignatureThreeHoldsTypeAndCrcAtFixedBytes)
{
    const QByteArray answer = Signature(3, 0x80);
    ASSERT_GE(answer.size(), 45);
    EXPECT_EQ(answer.mid(25, 2), "12") << "device type";
    EXPECT_EQ(answer.mid(37, 6), "3F7A0C") << "firmware CRC";
}

TEST_F(VantorSimIdentification, SingleObjectsAndBadRequests)
{
    QList<QByteArray> one = Objects(Signature(4, 0x04));
    EXPECT_EQ(one, QList<QByteArray>{"Vantor-192"});
    EXPECT_EQ(Objects(Signature(1, 0x02)).size(), 1) << "the stream starts at the object asked for";

    EXPECT_EQ(Port->Exchange(BuildIdentificationFrame(1, 4, 0x7F), 5), ExceptionAnswer(1, 0x2B, 2));
    EXPECT_EQ(Port->Exchange(BuildIdentificationFrame(1, 5, 0x00), 5), ExceptionAnswer(1, 0x2B, 3));
    QByteArray otherMei = QByteArray::fromHex("012B0D0100");
    EXPECT_EQ(Port->Exchange(otherMei + AppendCrc(Crc16(otherMei)), 5), ExceptionAnswer(1, 0x2B, 1));
}

}  // namespace
