#include "common/Cp1251.h"
#include "common/TextFile.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <iconv.h>

TEST(Cp1251, EveryByteMatchesTheSystemConverterAndRoundTrips)
{
    // glibc's converter as an independent reference for the table.
    iconv_t cd = iconv_open("UTF-16LE", "CP1251");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, static_cast<char>(b));
        const QString decoded = FromCp1251(one);
        ASSERT_EQ(decoded.size(), 1);
        EXPECT_EQ(ToCp1251(decoded), one) << "byte " << b;
        if (b == 0x98)
            continue;  // unassigned in the code page
        char in = static_cast<char>(b);
        char16_t out = 0;
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(&out);
        size_t inLeft = 1, outLeft = 2;
        ASSERT_NE(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1)) << b;
        EXPECT_EQ(decoded[0].unicode(), out) << "byte " << b;
    }
    iconv_close(cd);
}

TEST(Cp1251, WhatThePageCannotHoldBecomesOneQuestionMark)
{
    EXPECT_EQ(ToCp1251(u"Ёж №5 ✓ 中 \U0001F600 end"), QByteArray("\xA8\xE6 \xB9" "5 ? ? ? end"));
}

TEST(TextFile, AppendsCp1251LinesWithCrLf)
{
    TestFolder folder;
    ASSERT_TRUE(AppendTextLines(folder.Path("a.txt"), {QStringLiteral("Норма"), QString()}));
    ASSERT_TRUE(AppendTextLines(folder.Path("a.txt"), {QStringLiteral("x")}));
    EXPECT_EQ(folder.Read("a.txt"), QByteArray("\xCD\xEE\xF0\xEC\xE0\r\n\r\nx\r\n"));
    EXPECT_FALSE(AppendTextLines(folder.Path(), {QStringLiteral("a folder is not a file")}));
}
