#include "files/DatedFileName.h"
#include "files/InputsConfigFile.h"
#include "common/Cp1251.h"
#include "device/Vantor.h"

#include "DialogsSupport.h"
#include "TestFolder.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

void SetInput(TVantor& vantor, int n, quint16 plantNumber, double bound, quint16 interval, TThreeStates enabled)
{
    TVantorInput& input = vantor.Input(n);
    input.PlantNumber = plantNumber;
    input.TemperBound.SetRange(-2048, 2047.9375);
    input.TemperBound.SetValue(bound);
    input.Interval = interval;
    input.ChannelEnabled.SetValue(enabled);
}

QStringList Lines(const QByteArray& text)
{
    QStringList lines = FromCp1251(text).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

TConfigRead Parse(const QByteArray& text)
{
    return ParseInputsConfig(text, QLocale(QLocale::Russian, QLocale::Russia));
}

const QLocale kRussian(QLocale::Russian, QLocale::Russia);

}  // namespace

TEST(InputsConfigFile, LinesKeepTheirColumnsUnderADecimalCommaLocale)
{
    TVantor vantor;
    SetInput(vantor, 7, 1234, 25.5, 60, tsTrue);
    SetInput(vantor, 8, 65535, -10.5, 5, tsFalse);
    SetInput(vantor, 9, 1, 100, 1440, tsUnknown);
    EXPECT_EQ(InputsConfigLine(7, vantor.Input(7), kRussian), "7    PNum:1234  Bound:25,500  Period:60  Enabled:1");
    EXPECT_EQ(InputsConfigLine(8, vantor.Input(8), kRussian), "8    PNum:65535 Bound:-10,500 Period:5  Enabled:0");
    EXPECT_EQ(InputsConfigLine(9, vantor.Input(9), kRussian), "9    PNum:1     Bound:100,000 Period:1440  Enabled:0");
    EXPECT_EQ(InputsConfigLine(192, vantor.Input(7), QLocale::c()), "192  PNum:1234  Bound:25.500  Period:60  Enabled:1");
}

TEST(InputsConfigFile, BeforeAnySettingsPollEveryInputIsZero)
{
    TVantor vantor;
    const QByteArray text = InputsConfigText(vantor, kRussian);
    ASSERT_TRUE(text.endsWith("\r\n"));
    const QStringList lines = Lines(text);
    ASSERT_EQ(lines.size(), 192);
    EXPECT_EQ(lines[0], "1    PNum:0     Bound:0,000   Period:0  Enabled:0");
    EXPECT_EQ(lines[191], "192  PNum:0     Bound:0,000   Period:0  Enabled:0");
    EXPECT_EQ(text.count('\n'), 192);
    EXPECT_EQ(text.count('\r'), 192);
}

TEST(InputsConfigFile, ASavedFileReadsBackWhole)
{
    TVantor vantor;
    for (int n = 1; n <= 192; ++n)
        SetInput(vantor, n, quint16(n * 300), -40 + n * 0.5625, quint16(n % 7), n % 3 ? tsTrue : tsFalse);
    const TConfigRead read = Parse(InputsConfigText(vantor, kRussian));
    EXPECT_EQ(read.ErrorLine, 0);
    ASSERT_EQ(read.Rows.size(), 192);
    for (int n = 1; n <= 192; ++n) {
        const TConfigRow& row = read.Rows[n - 1];
        ASSERT_EQ(row.Input, n);
        EXPECT_EQ(row.Fields, 5);
        EXPECT_EQ(row.Settings.PNum, quint16(n * 300));
        // Three decimals in the file; the write rounds to the sixteenths the controller keeps.
        EXPECT_DOUBLE_EQ(RoundToSixteenths(row.Settings.Bound), -40 + n * 0.5625) << n;
        EXPECT_EQ(row.Settings.Period, n % 7);
        EXPECT_EQ(row.Settings.Enabled, n % 3 != 0);
    }
}

TEST(InputsConfigFile, FieldsSplitAtRunsOfBlanksAndKeysGoWherever)
{
    const TConfigRead read = Parse("  12    PNum:5 Bound:1,5Bound:   Period:7 Enabled:TRUE  extra\r\n"
                                   "13 77 2 3 2\n"
                                   "14 9 -1 8 false\r"
                                   "15 1 0 0 Enabled:0,0\r\n");
    EXPECT_EQ(read.ErrorLine, 0);
    ASSERT_EQ(read.Rows.size(), 4);
    EXPECT_EQ(read.Rows[0].Input, 12);
    EXPECT_EQ(read.Rows[0].Settings.PNum, 5);
    EXPECT_DOUBLE_EQ(read.Rows[0].Settings.Bound, 1.5);
    EXPECT_TRUE(read.Rows[0].Settings.Enabled);
    EXPECT_EQ(read.Rows[1].Settings.PNum, 77);
    EXPECT_TRUE(read.Rows[1].Settings.Enabled);  // any non-zero number
    EXPECT_EQ(read.Rows[2].Settings.PNum, 9);
    EXPECT_DOUBLE_EQ(read.Rows[2].Settings.Bound, -1);
    EXPECT_EQ(read.Rows[2].Settings.Period, 8);
    EXPECT_FALSE(read.Rows[2].Settings.Enabled);
    EXPECT_FALSE(read.Rows[3].Settings.Enabled);
    // Fields go by position: a key in the wrong place is no number.
    EXPECT_EQ(Parse("14 Period:8 Bound:-1 PNum:9 0").ErrorLine, 1);
}

TEST(InputsConfigFile, TheFirstBadFieldEndsReadingWithWhatCameBefore)
{
    struct Case
    {
        QByteArray Text;
        int ErrorLine;
        int Rows;
        int FieldsOfLast;
    };
    const Case cases[] = {
        {"1 PNum:1 Bound:2 Period:3 Enabled:1\r\n7 PNum:4321 Bound:abc Period:60 Enabled:1\r\n8 PNum:1 Bound:1 Period:1 Enabled:1\r\n", 2, 2, 2},
        {"7 PNum:1 Bound:1 Period:1 Enabled:yes\r\n", 1, 1, 4},
        {"7 PNum:1 Bound:1 Period:1\r\n", 1, 1, 4},       // fewer than five fields
        {"1 PNum:1 Bound:1 Period:1 Enabled:1\r\n\r\n2 PNum:1 Bound:1 Period:1 Enabled:1\r\n", 2, 1, 5},  // empty line
        {"0 PNum:1 Bound:1 Period:1 Enabled:1\r\n", 1, 0, 0},
        {"193 PNum:1 Bound:1 Period:1 Enabled:1\r\n", 1, 0, 0},
        {"x7 PNum:1 Bound:1 Period:1 Enabled:1\r\n", 1, 0, 0},
        {"7 PNum:65536 Bound:1 Period:1 Enabled:1\r\n", 1, 1, 1},
        {"7 PNum:-1 Bound:1 Period:1 Enabled:1\r\n", 1, 1, 1},
        {"7 PNum:1 Bound:1 Period:70000 Enabled:1\r\n", 1, 1, 3},
        // The register carries -2048 .. 2047.9375: nothing beyond is written clamped or wrapped.
        {"7 PNum:1 Bound:2048 Period:1 Enabled:1\r\n", 1, 1, 2},
        {"7 PNum:1 Bound:2047,97 Period:1 Enabled:1\r\n", 1, 1, 2},
        {"7 PNum:1 Bound:-2048,04 Period:1 Enabled:1\r\n", 1, 1, 2},
        {"7 PNum:1 Bound:inf Period:1 Enabled:1\r\n", 1, 1, 2},
        {"7 PNum:1 Bound:nan Period:1 Enabled:1\r\n", 1, 1, 2},
        // A point from a computer with other settings, or a group separator, is no number here.
        {"7 PNum:1 Bound:25.500 Period:1 Enabled:1\r\n", 1, 1, 2},
        {"7 PNum:1 Bound:1,000,5 Period:1 Enabled:1\r\n", 1, 1, 2},
        // A number is all digits: a NUL byte or a sign in it is no part of a number.
        {QByteArray("7 PNum:200\0002 Bound:1 Period:1 Enabled:1\r\n", 40), 1, 1, 1},
        {QByteArray("7 PNum:1 Bound:1\0005 Period:1 Enabled:1\r\n", 38), 1, 1, 2},
        {QByteArray("7 PNum:1 Bound:1 Period:6\0000 Enabled:1\r\n", 38), 1, 1, 3},
        {"7 PNum:+1 Bound:1 Period:1 Enabled:1\r\n", 1, 1, 1},
        {"7 PNum:1 Bound:1e3 Period:1 Enabled:1\r\n", 1, 1, 2},
        {"7 PNum:1 Bound:1 Period:1 Enabled:0x1\r\n", 1, 1, 4},
    };
    for (const Case& c : cases) {
        const TConfigRead read = Parse(c.Text);
        EXPECT_EQ(read.ErrorLine, c.ErrorLine) << c.Text.constData();
        ASSERT_EQ(read.Rows.size(), c.Rows) << c.Text.constData();
        if (c.Rows > 0) {
            EXPECT_EQ(read.Rows.last().Fields, c.FieldsOfLast) << c.Text.constData();
        }
    }
    // The plant number before a bad set-point is kept.
    EXPECT_EQ(Parse(cases[0].Text).Rows.last().Settings.PNum, 4321);

    const TConfigRead edge = Parse("7 PNum:1 Bound:-2048 Period:1 Enabled:1\r\n8 PNum:1 Bound:2047,9375 Period:1 Enabled:1\r\n");
    EXPECT_EQ(edge.ErrorLine, 0);
    ASSERT_EQ(edge.Rows.size(), 2);
    EXPECT_DOUBLE_EQ(edge.Rows[1].Settings.Bound, 2047.9375);
}

TEST(InputsConfigFile, OddFilesGiveAClearOutcome)
{
    const QByteArray line = "5    PNum:20005 Bound:15,000  Period:5  Enabled:1";
    // LF-only and CR-only line ends, a UTF-8 byte order mark, a missing last line end.
    for (const QByteArray& text : {line + "\n" + line + "\n", line + "\r" + line + "\r",
                                   "\xEF\xBB\xBF" + line + "\r\n" + line, line + "\r\n" + line}) {
        const TConfigRead read = Parse(text);
        EXPECT_EQ(read.ErrorLine, 0);
        EXPECT_EQ(read.Rows.size(), 2);
    }
    // Nothing to write is a format error, blank lines at the end are nothing at all.
    for (const QByteArray& empty : {QByteArray(), QByteArray("\r\n"), QByteArray(" \r\n\r\n")}) {
        EXPECT_EQ(Parse(empty).Rows.size(), 0);
        EXPECT_EQ(Parse(empty).ErrorLine, 1);
    }
    const TConfigRead trailing = Parse(line + "\r\n" + line + "\r\n\r\n  \r\n\n");
    EXPECT_EQ(trailing.ErrorLine, 0);
    EXPECT_EQ(trailing.Rows.size(), 2);
    // Truncated in the middle of a line.
    const TConfigRead truncated = Parse(line + "\r\n6   PNum:200");
    EXPECT_EQ(truncated.ErrorLine, 2);
    // Cyrillic text in UTF-8 where a number should be.
    EXPECT_EQ(Parse("5 PNum:Ноль Bound:1 Period:1 Enabled:1").ErrorLine, 1);
    // A thousand lines: inputs beyond 192 are a format error at line 193; duplicates: the last counts.
    QByteArray many;
    for (int i = 0; i < 1000; ++i)
        many += QByteArray::number(i + 1) + " PNum:1 Bound:1 Period:1 Enabled:1\r\n";
    EXPECT_EQ(Parse(many).ErrorLine, 193);
    EXPECT_EQ(Parse(many).Rows.size(), 192);
    const TConfigRead twice = Parse("5 PNum:1 Bound:1 Period:1 Enabled:1\r\n5 PNum:2 Bound:1 Period:1 Enabled:0\r\n");
    EXPECT_EQ(twice.ErrorLine, 0);
    ASSERT_EQ(twice.Rows.size(), 2);
    EXPECT_EQ(twice.Rows.last().Settings.PNum, 2);
}

TEST(InputsConfigFile, ReadingAFileRefusesWhatCannotBeAConfiguration)
{
    TestFolder folder;
    TConfigRead read;
    QString error;
    EXPECT_FALSE(ReadInputsConfigFile(folder.Path("DATA/none.txt"), read, error, kRussian));
    EXPECT_TRUE(error.startsWith("Не удалось открыть файл")) << error.toStdString();

    folder.Write("DATA/big.txt", QByteArray(10 * 1024 * 1024, ' '));
    EXPECT_FALSE(ReadInputsConfigFile(folder.Path("DATA/big.txt"), read, error, kRussian));
    EXPECT_TRUE(error.contains("слишком велик")) << error.toStdString();

    folder.Write("DATA/one.txt", "3 PNum:1 Bound:2,5 Period:4 Enabled:1\r\n");
    ASSERT_TRUE(ReadInputsConfigFile(folder.Path("DATA/one.txt"), read, error, kRussian));
    EXPECT_EQ(read.Rows.size(), 1);
}

TEST(InputsConfigFile, ASaveThatFailsLeavesTheOldFileWhole)
{
    TestFolder folder;
    const LocaleScope russian;
    TVantor vantor;
    SetInput(vantor, 7, 1234, 25.5, 60, tsTrue);
    const QByteArray old = "the old configuration\r\n";
    folder.Write("DATA/old.txt", old);

    // A disk that fills up while the file is written.
    QString error;
    bool saved = true;
    WithFileSizeLimit(4096, [&] { saved = SaveInputsConfigFile(folder.Path("DATA/old.txt"), vantor, error); });
    EXPECT_FALSE(saved);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(folder.Read("DATA/old.txt"), old);
    EXPECT_EQ(QDir(folder.Path("DATA")).entryList(QDir::Files), QStringList{"old.txt"});

    // A device where the file is expected stays a device.
    EXPECT_FALSE(SaveInputsConfigFile("/dev/full", vantor, error));
    EXPECT_EQ(error, "это не обычный файл");
    EXPECT_TRUE(QFileInfo("/dev/full").exists());
    EXPECT_FALSE(QFileInfo("/dev/full").isFile());

    // A folder where a file is expected.
    EXPECT_FALSE(SaveInputsConfigFile(folder.Path("DATA"), vantor, error));

    ASSERT_TRUE(SaveInputsConfigFile(folder.Path("DATA/old.txt"), vantor, error));
    EXPECT_EQ(Lines(folder.Read("DATA/old.txt"))[6], "7    PNum:1234  Bound:25,500  Period:60  Enabled:1");
}

TEST(InputsConfigFile, ProposedNamesCarryThePlantNumberAndTheDay)
{
    const QDate day(2026, 12, 6);
    EXPECT_EQ(DatedFileName(42, day), "PN00042_06_12_2026");
    EXPECT_EQ(DatedFileName(65535, day), "PN65535_06_12_2026");
    // The same name under any locale: no blanks, slashes or direction marks of other formats.
    const QLocale before;
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::Arabic, QLocale::Egypt), QLocale(QLocale::Persian)}) {
        QLocale::setDefault(locale);
        EXPECT_EQ(DatedFileName(42, day), "PN00042_06_12_2026") << locale.name().toStdString();
    }
    QLocale::setDefault(before);
}
