#include "common/ByteText.h"

#include <QStringList>

#include <gtest/gtest.h>

TEST(ByteText, RendersTheRequestOfCommandZero)
{
    const QByteArray request = QByteArray::fromHex("01040000000271CB");
    EXPECT_EQ(ToHexText(request), "01 04 00 00 00 02 71 CB");
    EXPECT_EQ(ToDecText(request, true), "001 004 000 000 000 002 113 203");
    EXPECT_EQ(ToDecText(request, false), "1 4 0 0 0 2 113 203");
}

TEST(ByteText, EmptyAndExtremeBytes)
{
    EXPECT_EQ(ToHexText({}), "");
    EXPECT_EQ(ToDecText({}, true), "");
    const QByteArray edges("\x00\xff", 2);
    EXPECT_EQ(ToHexText(edges), "00 FF");
    EXPECT_EQ(ToDecText(edges, true), "000 255");
}

TEST(ByteText, EveryByteValueInBothDecimalForms)
{
    QByteArray all;
    QStringList padded, plain;
    for (int value = 0; value < 256; ++value) {
        all += static_cast<char>(value);
        padded << QString::number(value).rightJustified(3, u'0');
        plain << QString::number(value);
    }
    EXPECT_EQ(ToDecText(all, true), padded.join(u' '));
    EXPECT_EQ(ToDecText(all, false), plain.join(u' '));
}
