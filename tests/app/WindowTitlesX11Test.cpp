// The program itself on the X11 platform, started from the build tree with a program folder of its
// own: the window manager gets every title exactly as the program gives it, with nothing appended,
// and the port setup dialog speaks Russian.
#include "X11Display.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kMainTitle = QStringLiteral("Orvela - Программа настройки");

// A tool of the X display: its output, or nothing when it failed.
QString RunTool(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(TestDisplay().Name()));
    process.setProcessEnvironment(env);
    process.start(tool, arguments);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return process.exitCode() == 0 ? QString::fromUtf8(process.readAllStandardOutput()) : QString();
}

class ProgramTitles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_X11();
        for (const char* tool : {"xdotool", "xprop"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is needed (scripts/install-deps.sh installs it)";
        // A port that is not there: the start shows the activation error box.
        QDir().mkpath(Home.filePath(QStringLiteral("INI")));
        QFile ini(Home.filePath(QStringLiteral("INI/ComPort.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Transmitter]\r\nPort=/nonexistent/ttyS99\r\n");
        ini.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORVELA_HOME"), Home.path());
        env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(TestDisplay().Name()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("ru_RU.UTF-8"));
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LANGUAGE"));
        Program.setProcessEnvironment(env);
        Program.start(QStringLiteral(ORVELA_PROGRAM), {});
        ASSERT_TRUE(Program.waitForStarted(5000));
    }

    void TearDown() override
    {
        if (Program.state() == QProcess::NotRunning)
            return;
        Program.kill();
        Program.waitForFinished();
    }

    // Window name (_NET_WM_NAME) -> window id, for the program's visible windows.
    QMap<QString, QString> Windows()
    {
        QMap<QString, QString> windows;
        const QString ids = RunTool(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid",
                                                                QString::number(Program.processId()), ""});
        for (const QString& id : ids.split(u'\n', Qt::SkipEmptyParts)) {
            const QString property = RunTool(QStringLiteral("xprop"), {"-id", id, "-notype", "_NET_WM_NAME"});
            const qsizetype open = property.indexOf(u'"');
            const qsizetype close = property.lastIndexOf(u'"');
            if (open >= 0 && close > open)
                windows.insert(property.mid(open + 1, close - open - 1), id);
        }
        return windows;
    }

    // Waits for a window of that exact title; every title seen goes into the failure message.
    testing::AssertionResult WaitForTitle(const QString& title)
    {
        QMap<QString, QString> seen;
        if (QTest::qWaitFor([&] { return (seen = Windows()).contains(title); }, 30000))
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "no window \"" << title.toStdString() << "\"; titles: \""
                                           << QStringList(seen.keys()).join("\", \"").toStdString() << '"';
    }

    bool WaitUntilGone(const QString& title)
    {
        return QTest::qWaitFor([&] { return !Windows().contains(title); }, 30000);
    }

    // Keys to the window of that title, as the operator presses them.
    void Press(const QString& title, const QStringList& keys)
    {
        const QString id = Windows().value(title);
        ASSERT_FALSE(id.isEmpty()) << title.toStdString();
        RunTool(QStringLiteral("xdotool"), QStringList{"windowfocus", "--sync", id, "key", "--delay", "100"} + keys);
    }

    QTemporaryDir Home;
    QProcess Program;
};

TEST_F(ProgramTitles, WindowsBoxesAndDialogsCarryTheirOwnTitlesOnly)
{
    ASSERT_TRUE(WaitForTitle(kMainTitle));
    // The port does not open: the transmitter's box.
    ASSERT_TRUE(WaitForTitle(QStringLiteral("Внимание")));
    Press(QStringLiteral("Внимание"), {"Return"});
    ASSERT_TRUE(WaitUntilGone(QStringLiteral("Внимание")));

    Press(kMainTitle, {"F1"});
    EXPECT_TRUE(WaitForTitle(QStringLiteral("О программе")));
    Press(QStringLiteral("О программе"), {"Escape"});
    ASSERT_TRUE(WaitUntilGone(QStringLiteral("О программе")));
    // The same by the menus' letters: Alt+П "Справка", О "О программе".
    Press(kMainTitle, {"alt+Cyrillic_pe", "Cyrillic_o"});
    EXPECT_TRUE(WaitForTitle(QStringLiteral("О программе")));
    Press(QStringLiteral("О программе"), {"Escape"});
    ASSERT_TRUE(WaitUntilGone(QStringLiteral("О программе")));

    // "Настройка", its last item: the publishing settings.
    Press(kMainTitle, {"alt", "Right", "Right", "Down", "Up", "Return"});
    EXPECT_TRUE(WaitForTitle(QStringLiteral("Публикация MQTT")));
    Press(QStringLiteral("Публикация MQTT"), {"Escape"});
    ASSERT_TRUE(WaitUntilGone(QStringLiteral("Публикация MQTT")));

    // The one before it: the poll period prompt.
    Press(kMainTitle, {"alt", "Right", "Right", "Down", "Up", "Up", "Return"});
    EXPECT_TRUE(WaitForTitle(QStringLiteral("Введите")));
    Press(QStringLiteral("Введите"), {"Escape"});
    ASSERT_TRUE(WaitUntilGone(QStringLiteral("Введите")));

    // Its first item: the port setup dialog, whose catalogue lies beside the program in the build
    // tree, not in the program folder.
    ASSERT_FALSE(QFileInfo::exists(Home.filePath(QStringLiteral("locale"))));
    Press(kMainTitle, {"alt", "Right", "Right", "Down", "Return"});
    EXPECT_TRUE(WaitForTitle(QStringLiteral("Настройка порта")));
    Press(QStringLiteral("Настройка порта"), {"Escape"});
    ASSERT_TRUE(WaitUntilGone(QStringLiteral("Настройка порта")));

    Press(kMainTitle, {"Escape"});
    EXPECT_TRUE(Program.waitForFinished(10000));
}

}  // namespace
