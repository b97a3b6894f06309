#include "device/SignatureFields.h"
#include "device/Vantor.h"

#include "Fixtures.h"

#include <gtest/gtest.h>

namespace {

struct Object
{
    quint8 Id;
    QByteArray Value;
};

// An identification answer: address, 0x2B, 0x0E, read code, conformity, more follows, next
// object, object count, then id, length and value of each object.
QByteArray Identification(quint8 code, const QList<Object>& objects)
{
    QByteArray body = Hex("012B0E");
    body += char(code);
    body += Hex("810000");
    body += char(objects.size());
    for (const Object& o : objects)
        body += char(o.Id), body += char(o.Value.size()), body += o.Value;
    return Answer(body);
}

QByteArray Versions(const char* hard, const char* soft)
{
    QByteArray value(36, ' ');
    value.replace(13, 3, hard);
    value.replace(30, 3, soft);
    return value;
}

QByteArray TypeAndCrc(const char* type, const char* crc)
{
    QByteArray value(36, '.');
    value.replace(15, 2, type);
    value.replace(27, 6, crc);
    return value;
}

class Signature : public ::testing::Test
{
protected:
    Signature()
    {
        Vantor.SetSystemAddress(1);
        Vantor.SetErrorMax(1);
        Vantor.OnRequest = [this](TVantor*, const QString&, const QString&, const QByteArray&, const QByteArray&,
                                  bool) { ++Reports; };
    }

    bool Parse(int command, const QByteArray& answer)
    {
        return Vantor.ParseAnswer(command, Vantor.BuildRequest(command), answer);
    }

    TVantor Vantor;
    int Reports = 0;
};

}  // namespace

TEST_F(Signature, ThreeAnswersFillTheIdentification)
{
    ASSERT_TRUE(Parse(11, Identification(1, {{0, "Vantor Works"}, {1, "00042"}, {2, Versions("012", "107")}})));
    EXPECT_EQ(Vantor.Manufacturer, "Vantor Works");
    EXPECT_EQ(Vantor.PlantNumber, 42);
    EXPECT_EQ(Vantor.VerHard, 12);
    EXPECT_EQ(Vantor.VerSoft, 107);

    // Objects are taken in order whatever their ids; texts are cp1251.
    ASSERT_TRUE(Parse(12, Identification(2, {{9, "\xD1\xE8\xEB\xEE\xF1 \xB9" "1..."}, {7, "VNT-19"}, {5, "Controller 1"}})));
    EXPECT_EQ(Vantor.Site, "Силос №1...");
    EXPECT_EQ(Vantor.Device, "VNT-19");
    EXPECT_EQ(Vantor.DeviceName, "Controller 1");

    ASSERT_TRUE(Parse(13, Identification(3, {{0x80, TypeAndCrc("07", "A1B2C3")}})));
    EXPECT_EQ(Vantor.DeviceType, 7);
    EXPECT_EQ(Vantor.CRC, "A1B2C3");
    EXPECT_EQ(Reports, 3);
}

TEST_F(Signature, LengthBytesPointingPastTheEndCutTheTexts)
{
    // Claims 10, 6 and 200 bytes but the answer ends early.
    QByteArray answer = Identification(2, {{0, "0123456789"}, {1, "abcdef"}, {2, "xyz"}});
    answer[answer.size() - 6] = char(200);
    ASSERT_TRUE(Parse(12, Answer(answer.chopped(2))));
    EXPECT_EQ(Vantor.Site, "0123456789");
    EXPECT_EQ(Vantor.Device, "abcdef");
    EXPECT_EQ(Vantor.DeviceName.left(3), "xyz");
    EXPECT_LE(Vantor.DeviceName.size(), 5);  // at most the CRC bytes follow

    // First length beyond everything: the later length bytes lie outside and read as 0.
    QByteArray wild = Identification(2, {{0, "abc"}});
    wild[9] = char(250);
    ASSERT_TRUE(Parse(12, Answer(wild.chopped(2))));
    EXPECT_TRUE(Vantor.Device.isEmpty());
    EXPECT_TRUE(Vantor.DeviceName.isEmpty());
}

TEST_F(Signature, NumbersThatCannotBeReadEndTheParseUncounted)
{
    const auto expectRefused = [this](int command, const QByteArray& answer) {
        const int reports = Reports;
        const quint16 plant = Vantor.PlantNumber;
        const QString manufacturer = Vantor.Manufacturer;
        EXPECT_THROW(Parse(command, answer), EConvertError);
        EXPECT_EQ(Reports, reports);
        EXPECT_EQ(Vantor.PlantNumber, plant);
        EXPECT_EQ(Vantor.Manufacturer, manufacturer);
    };
    Parse(0, {});  // shown as failed: an unreadable signature must not clear it
    expectRefused(11, Identification(1, {{0, "M"}, {1, "12a"}, {2, Versions("001", "002")}}));
    expectRefused(11, Identification(1, {{0, "M"}, {1, "70000"}, {2, Versions("001", "002")}}));
    expectRefused(11, Identification(1, {{0, "M"}, {1, "5"}, {2, Versions("001", "300")}}));
    expectRefused(11, Identification(1, {{0, "M"}, {1, ""}, {2, Versions("001", "002")}}));
    expectRefused(11, Identification(1, {{0, "M"}, {1, "7"}}));  // no third object at all
    expectRefused(13, Identification(3, {{0x80, "short"}}));
    QByteArray pastEnd = Identification(1, {{0, "M"}});
    pastEnd[9] = char(255);
    expectRefused(11, Answer(pastEnd.chopped(2)));
    EXPECT_EQ(Vantor.ModuleError.GetOutValue().ToInteger(), tsTrue);
}

TEST(SignatureFields, NeverReadOutsideTheAnswer)
{
    const QByteArray answer("0123");
    EXPECT_EQ(SignatureByte(answer, 3), '3');
    EXPECT_EQ(SignatureByte(answer, 4), 0);
    EXPECT_EQ(SignatureByte(answer, -1), 0);
    EXPECT_EQ(SignatureText(answer, 2, 10), "23");
    EXPECT_EQ(SignatureText(answer, 4, 1), "");
    EXPECT_EQ(SignatureNumber(answer, 1, 2, 99), 12);
    EXPECT_EQ(SignatureNumber(" 7 ", 0, 3, 9), 7);
    EXPECT_THROW(SignatureNumber(answer, 0, 4, 100), EConvertError);  // 123 does not fit
    EXPECT_THROW(SignatureNumber("-5", 0, 2, 100), EConvertError);
}
