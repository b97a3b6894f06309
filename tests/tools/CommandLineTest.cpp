#include "CommandLine.h"

#include <gtest/gtest.h>

// Controller texts reach the operator's terminal as data: nothing in them can move the cursor,
// clear the screen or recolour it.
TEST(CommandLine, ControlCharactersOfTextsArePrintedEscaped)
{
    EXPECT_EQ(Printable(QString::fromLatin1("A\x1b[31mB\r\nC\x7f") + QChar(0x98)), "A\\x1b[31mB\\x0d\\x0aC\\x7f\\x98");
    EXPECT_EQ(Printable(QStringLiteral("Вантор <b>сайт</b> №1")), QStringLiteral("Вантор <b>сайт</b> №1"));
}

TEST(CommandLine, NumbersAreAllDigitsWithinTheirRange)
{
    TCommandLine line(QStringLiteral("test"), QString(), QString());
    EXPECT_EQ(line.Number(QStringLiteral("N"), QStringLiteral("0192"), 1, 192), 192);
    for (const char* bad : {"", "+5", "-5", " 5", "5 ", "5x", "0x10", "193", "0", "99999999999999999999"})
        EXPECT_EQ(line.Number(QStringLiteral("N"), QString::fromLatin1(bad), 1, 192), std::nullopt) << bad;
}

TEST(CommandLine, KeysOfOtherCommandsWordsAndHelp)
{
    const auto parse = [](const QStringList& args) {
        TCommandLine line(QStringLiteral("test"), QString(), QString());
        line.Add({QStringLiteral("bound")}, QString(), QStringLiteral("T"));
        line.AddPort();
        const std::optional<int> done = line.Parse(args, 1, 1);
        return std::pair{done, done ? QString() : line.Value(QCommandLineOption(QStringLiteral("bound")))};
    };
    // A negative value after its key, options after the word, the key=value form.
    EXPECT_EQ(parse({"5", "--bound", "-10.5"}), std::pair(std::optional<int>(), QStringLiteral("-10.5")));
    EXPECT_EQ(parse({"--bound=-1", "5", "--port", "/dev/x"}).second, "-1");
    EXPECT_EQ(parse({"5", "--help"}).first, 0);
    EXPECT_EQ(parse({"--help"}).first, 0);  // help wants no words
    for (const QStringList& bad : {QStringList{"5", "--current", "7"}, {"5", "--frob"}, {"5", "--bound"}, {},
                                   {"5", "6"}, {"5", "--json"}})
        EXPECT_EQ(parse(bad).first, kBadCommandLine) << bad.join(' ').toStdString();
}
