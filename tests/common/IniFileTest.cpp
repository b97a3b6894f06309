#include "common/IniFile.h"

#include "TestFolder.h"

#include <QLocale>
#include <QRandomGenerator>

#include <utility>

#include <gtest/gtest.h>

namespace {

const QByteArray kHandEdited =
    "; port of the north silo\r\n"
    "[Transmitter]\r\n"
    "Port=COM3\r\n"
    "BaudRate = 9600 \r\n"
    "\r\n"
    "[Other]\r\n"
    "Keep=\xC4\xE0\r\n";  // "Да"

}  // namespace

TEST(IniFile, MissingFileReadsAsDefaults)
{
    TestFolder folder;
    const TIniFile ini(folder.Path("INI/none.ini"));
    EXPECT_EQ(ini.ReadString("S", "K", "def"), "def");
    EXPECT_EQ(ini.ReadInteger("S", "K", 7), 7);
    EXPECT_TRUE(ini.ReadBool("S", "K", true));
    EXPECT_FALSE(ini.ValueExists("S", "K"));
}

TEST(IniFile, WritesInPlaceKeepingEverythingElse)
{
    TestFolder folder;
    folder.Write("INI/a.ini", kHandEdited);
    TIniFile ini(folder.Path("INI/a.ini"));
    EXPECT_EQ(ini.ReadString("transmitter", "baudrate", ""), "9600");
    EXPECT_EQ(ini.ReadString("Other", "Keep", ""), "Да");
    ini.WriteInteger("Transmitter", "BaudRate", 19200);
    ini.WriteBool("Transmitter", "DTR", true);
    ini.WriteBool("New", "Flag", false);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(folder.Read("INI/a.ini"),
              "; port of the north silo\r\n"
              "[Transmitter]\r\n"
              "Port=COM3\r\n"
              "BaudRate=19200\r\n"
              "DTR=1\r\n"
              "\r\n"
              "[Other]\r\n"
              "Keep=\xC4\xE0\r\n"
              "\r\n"
              "[New]\r\n"
              "Flag=0\r\n");
}

TEST(IniFile, NumbersThatAreNotNumbersGiveTheDefault)
{
    TestFolder folder;
    folder.Write("a.ini", "[S]\nNeg=-12\nText=12abc\nHuge=99999999999\nEmpty=\nBool=5\nF=2.5\n");
    const TIniFile ini(folder.Path("a.ini"));
    EXPECT_EQ(ini.ReadInteger("S", "Neg", 0), -12);
    EXPECT_EQ(ini.ReadInteger("S", "Text", 3), 3);
    EXPECT_EQ(ini.ReadInteger("S", "Huge", 3), 3);
    EXPECT_EQ(ini.ReadInteger("S", "Empty", 3), 3);
    EXPECT_TRUE(ini.ReadBool("S", "Bool", false));
    EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "F", 0), 2.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "Text", 1.5), 1.5);
    // Held to a range: outside it the default, at its edges the value.
    EXPECT_EQ(ini.ReadInteger("S", "Neg", 3, -12, 0), -12);
    EXPECT_EQ(ini.ReadInteger("S", "Neg", 3, -11, 0), 3);
    EXPECT_EQ(ini.ReadInteger("S", "Bool", 3, 0, 4), 3);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "F", 1, 0, 2.5), 2.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "F", 1, 0, 2.4), 1);
}

// A hand-edited file may use a point whatever the locale; the locale's own separator reads too.
TEST(IniFile, FloatsReadWithAPointAndWithTheLocalesSeparator)
{
    TestFolder folder;
    folder.Write("a.ini", "[History]\r\nRatePerDay=1.5\r\nComma=1,5\r\n");
    const TIniFile ini(folder.Path("a.ini"));
    const bool comma = QLocale::system().decimalPoint() == u',';
    SCOPED_TRACE(QLocale::system().name().toStdString());
    EXPECT_DOUBLE_EQ(ini.ReadFloat("History", "RatePerDay", 3), 1.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("History", "Comma", 3), comma ? 1.5 : 3);
}

TEST(IniFile, FloatsRoundTripWithoutNoise)
{
    TestFolder folder;
    TIniFile ini(folder.Path("a.ini"));
    ini.WriteFloat("S", "Max", 100);
    ini.WriteFloat("S", "Min", -0.1);
    ASSERT_TRUE(ini.Save());
    const TIniFile back(folder.Path("a.ini"));
    EXPECT_EQ(back.ReadString("S", "Max", ""), "100");
    EXPECT_DOUBLE_EQ(back.ReadFloat("S", "Min", 0), -0.1);
}

TEST(IniFile, MalformedTextKeepsWhatIsReadable)
{
    TestFolder folder;
    const QString longKey(10000, u'k');
    folder.Write("a.ini", "[S]\rno equals sign here\r[S]\rA=second section\r" "[S]\rA=1\rA=2\r" +
                              longKey.toLatin1() + "=long\r[broken\rB=3\r");
    TIniFile ini(folder.Path("a.ini"));
    EXPECT_EQ(ini.ReadString("S", "A", "none"), "second section");
    EXPECT_EQ(ini.ReadString("S", "no equals sign here", "d"), "d");
    EXPECT_EQ(ini.ReadString("S", longKey, ""), "long");
    EXPECT_EQ(ini.ReadInteger("S", "B", 0), 3);  // "[broken" is a line, not a header
    ini.WriteString("S", "C", "4");
    ASSERT_TRUE(ini.Save());
    const TIniFile back(folder.Path("a.ini"));
    EXPECT_EQ(back.ReadInteger("S", "B", 0), 3);
    EXPECT_EQ(back.ReadInteger("S", "C", 0), 4);
    EXPECT_TRUE(folder.Read("a.ini").contains(longKey.toLatin1() + "=long\r\n"));
}

TEST(IniFile, BinaryGarbageSurvivesARewriteByteForByteApartFromLineEnds)
{
    TestFolder folder;
    QByteArray garbage(kMaxIniFileSize / 2, Qt::Uninitialized);  // room for the line ends it gains
    QRandomGenerator random(42);
    for (auto& b : garbage)
        b = static_cast<char>(random.bounded(256));
    folder.Write("a.ini", garbage);
    TIniFile ini(folder.Path("a.ini"));
    EXPECT_EQ(ini.ReadInteger("Transmitter", "BaudRate", 9600), 9600);
    ini.WriteInteger("Transmitter", "BaudRate", 4800);
    ASSERT_TRUE(ini.Save());
    const TIniFile back(folder.Path("a.ini"));
    EXPECT_EQ(back.ReadInteger("Transmitter", "BaudRate", 0), 4800);
    QByteArray normalised = garbage;
    normalised.replace("\r\n", "\n").replace('\r', '\n');
    QByteArray written = folder.Read("a.ini");
    written.replace("\r\n", "\n");
    EXPECT_TRUE(written.startsWith(normalised.endsWith('\n') ? normalised : normalised + '\n'));
}

TEST(IniFile, AFailedSaveLeavesTheOldFile)
{
    TestFolder folder;
    folder.Write("a.ini", "[S]\r\nK=1\r\n");
    TIniFile blocked(folder.Path("a.ini/inner.ini"));  // its folder is a file
    blocked.WriteString("S", "K", "2");
    EXPECT_FALSE(blocked.Save());
    EXPECT_EQ(folder.Read("a.ini"), "[S]\r\nK=1\r\n");
}

TEST(IniFile, ValuesCannotBreakTheLineStructure)
{
    TestFolder folder;
    TIniFile ini(folder.Path("a.ini"));
    ini.WriteString("S", "K", "one\r\n[Injected]\nX=1");
    ASSERT_TRUE(ini.Save());
    const TIniFile back(folder.Path("a.ini"));
    EXPECT_FALSE(back.ValueExists("Injected", "X"));
    EXPECT_EQ(back.ReadString("S", "K", ""), "one  [Injected] X=1");

    // Terminal controls from a controller's text are not kept in a file either.
    ini.WriteString("S", "Text", QString::fromLatin1("\x1b[2J\x07red\x7f\x98"));
    ASSERT_TRUE(ini.Save());
    EXPECT_TRUE(folder.Read("a.ini").contains("Text= [2J red  \r\n"));
}

TEST(IniFile, AFileTooLargeIsNeitherReadNorRewritten)
{
    TestFolder folder;
    const QByteArray big = "[S]\r\nK=1\r\n" + QByteArray(kMaxIniFileSize, ';');
    folder.Write("a.ini", big);
    TIniFile ini(folder.Path("a.ini"));
    EXPECT_EQ(ini.ReadInteger("S", "K", 7), 7);
    ini.WriteInteger("S", "K", 2);
    QString error;
    EXPECT_FALSE(ini.Save(&error));
    EXPECT_TRUE(error.contains("не перезаписан")) << error.toStdString();
    EXPECT_EQ(folder.Read("a.ini"), big);

    // At the limit it is a settings file like any other.
    folder.Write("b.ini", "[S]\r\nK=1\r\n" + QByteArray(kMaxIniFileSize - 10, ';'));
    EXPECT_EQ(TIniFile(folder.Path("b.ini")).ReadInteger("S", "K", 7), 1);
}

TEST(IniFile, TextThatCp1251CannotHoldIsRefusedByNameAndNothingIsWritten)
{
    TestFolder folder;
    folder.Write("a.ini", "[Transmitter]\r\nPort=COM1\r\n");
    for (const auto& [port, named] : {std::pair{QStringLiteral("/home/jürgen/tty"), QStringLiteral("ü")},
                                      std::pair{QStringLiteral("/dev/tty\U0001F600"), QStringLiteral("\U0001F600")}}) {
        TIniFile ini(folder.Path("a.ini"));
        ini.WriteString("Transmitter", "Port", port);
        QString error;
        EXPECT_FALSE(ini.Save(&error));
        EXPECT_EQ(error, "Символ «" + named + "» нельзя записать в кодировке cp1251");
        EXPECT_EQ(folder.Read("a.ini"), "[Transmitter]\r\nPort=COM1\r\n");
    }
    // Cyrillic and the page's own symbols go through.
    TIniFile ini(folder.Path("a.ini"));
    ini.WriteString("Transmitter", "Port", QStringLiteral("/home/иван/№1"));
    EXPECT_TRUE(ini.Save());
}
