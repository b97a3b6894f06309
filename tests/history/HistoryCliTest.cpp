#include "CliRun.h"
#include "HistorySupport.h"
#include "SimulatorProcess.h"
#include "SmallDisk.h"
#include "TestFolder.h"

#include "history/HistoryCsv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cstdlib>
#include <sys/stat.h>

namespace {

// orvela-cli history, in the given locale when one is named.
CliRun RunHistory(const QStringList& args, const QString& locale = {})
{
    return RunCli(QStringList{"history"} + args, locale.isEmpty() ? QStringList() : QStringList{"LC_ALL=" + locale}, {},
                  30000);
}

QString Local(qint64 ms, const char* format) { return QDateTime::fromMSecsSinceEpoch(ms).toString(format); }

class HistoryCli : public ::testing::Test
{
protected:
    void Fill()
    {
        THistoryStore store;
        ASSERT_TRUE(store.Open(Folder.Path("DATA/history.sqlite")));
        for (int n = 0; n < 48; ++n) {
            THistoryReading r = MakeReading(5, kDay0 + n * 30 * kMinute, n);
            if (n == 3)
                r.TemperState[1] = 4;
            ASSERT_TRUE(store.Append({r, MakeReading(6, r.Time, n)}));
        }
    }

    TestFolder Folder;
};

TEST_F(HistoryCli, PrintsTheReadingsOfOneInputWithinTheSpanAsTheGridShowsThem)
{
    Fill();
    const qint64 first = kDay0 + 2 * 30 * kMinute;
    const CliRun run = RunHistory({"--input", "5", "--from", Local(first, "yyyy-MM-ddTHH:mm"), "--to",
                             Local(first + 90 * kMinute, "yyyy-MM-ddTHH:mm")});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    const QStringList lines = run.Out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 + 4) << run.Out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Вход 5, с ") + Local(first, "dd.MM.yyyy HH:mm:ss")));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("показаний 4")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Время")));
    EXPECT_TRUE(lines[2].startsWith(Local(first, "dd.MM.yyyy HH:mm:ss"))) << lines[2].toStdString();
    // Reading 2: battery 88 %, set-point 30.5, sensor 1 at 12 + 2/16.
    EXPECT_TRUE(lines[2].contains(QStringLiteral("88%"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral("30.5"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral("12.1"))) << lines[2].toStdString();
    // Reading 3 has a sensor in a status code: its caption, not a number.
    EXPECT_FALSE(lines[3].contains(QStringLiteral("13.2"))) << lines[3].toStdString();
    // In Russian as the window: a decimal comma, its column titles.
    const CliRun russian = RunHistory({"--input", "5", "--from", Local(first, "yyyy-MM-ddTHH:mm"), "--to",
                                       Local(first + 90 * kMinute, "yyyy-MM-ddTHH:mm")},
                                      "ru_RU.UTF-8");
    const QStringList ru = russian.Out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(ru.size(), 2 + 4) << russian.Out.toStdString();
    EXPECT_TRUE(ru[1].contains(QStringLiteral("T 1 ")) && ru[1].contains(QStringLiteral("T 6"))) << ru[1].toStdString();
    EXPECT_TRUE(ru[2].contains(QStringLiteral("30,5")) && ru[2].contains(QStringLiteral("12,1"))) << ru[2].toStdString();

    // A date alone: that whole day, from its first reading on.
    const CliRun day = RunHistory({"--input", "6", "--from", Local(kDay0 + kDayMs / 2, "yyyy-MM-dd"), "--to",
                             Local(kDay0 + kDayMs / 2, "yyyy-MM-dd")});
    ASSERT_EQ(day.ExitCode, 0);
    EXPECT_TRUE(day.Out.contains(QStringLiteral("показаний "))) << day.Out.toStdString();

    // Nothing in the span: the heading says so and the exit is clean.
    const CliRun none = RunHistory({"--input", "7"});
    EXPECT_EQ(none.ExitCode, 0);
    EXPECT_TRUE(none.Out.startsWith(QStringLiteral("Вход 7, с "))) << none.Out.toStdString();
    EXPECT_TRUE(none.Out.trimmed().endsWith(QStringLiteral("показаний 0")));
}

TEST_F(HistoryCli, WritesTheSpanAsTheSharedCsvTableInTheOperatorsLocale)
{
    Fill();
    const qint64 from = QDateTime::fromString(Local(kDay0, "yyyy-MM-ddTHH:mm"), "yyyy-MM-ddTHH:mm").toMSecsSinceEpoch();
    const QString span = Local(from, "yyyy-MM-ddTHH:mm");
    Folder.Write("out/kept.csv", "old");
    const CliRun run = RunHistory({"--input", "5", "--from", span, "--csv", Folder.Path("out/day.csv")}, "ru_RU.UTF-8");
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.startsWith(QStringLiteral("Вход 5: показаний "))) << run.Out.toStdString();

    THistoryStore store;
    ASSERT_TRUE(store.Open(Folder.Path("DATA/history.sqlite")));
    const QVector<THistoryReading> readings = store.Query(5, from, from + kDayMs - 1);
    ASSERT_FALSE(readings.isEmpty());
    const QByteArray csv = Folder.Read("out/day.csv");
    EXPECT_EQ(csv, HistoryCsv(readings, QLocale(QLocale::Russian, QLocale::Russia)));
    EXPECT_TRUE(csv.contains("12,125")) << csv.left(400).toStdString();

    // A name that cannot be a file (a folder, even for root): told, exit 1, nothing there lost.
    const CliRun denied = RunHistory({"--input", "5", "--from", span, "--csv", Folder.Path("out")});
    EXPECT_EQ(denied.ExitCode, 1);
    EXPECT_TRUE(denied.Err.startsWith(QStringLiteral("Не удалось записать файл "))) << denied.Err.toStdString();
    EXPECT_EQ(Folder.Read("out/kept.csv"), "old");
    EXPECT_EQ(Folder.Read("out/day.csv"), csv);
}

// A device node or a pipe must stay one, and a full disk must not leave an empty file behind a
// success.
TEST_F(HistoryCli, AnExportOntoADeviceOrAFullDiskIsRefusedAndLeavesWhatWasThere)
{
    Fill();
    const QString span = Local(kDay0, "yyyy-MM-dd");
    const QString pipe = Folder.Path("pipe.csv");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const CliRun device = RunHistory({"--input", "5", "--from", span, "--csv", pipe});
    EXPECT_EQ(device.ExitCode, 1);
    EXPECT_EQ(device.Err, QStringLiteral("Не удалось записать файл ") + pipe + QStringLiteral(": это не обычный файл\n"));
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(pipe).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    const SmallDisk disk(64);
    if (!disk.Skip().empty())
        GTEST_SKIP() << disk.Skip();
    const QString old = disk.Path("old.csv");
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old");
    }
    disk.Fill();
    const CliRun full = RunHistory({"--input", "5", "--from", span, "--csv", old});
    EXPECT_EQ(full.ExitCode, 1) << full.Out.toStdString();
    EXPECT_EQ(full.Err, QStringLiteral("Не удалось записать файл ") + old + QStringLiteral(": диск переполнен (No space left on device)\n"));
    EXPECT_TRUE(full.Out.isEmpty()) << full.Out.toStdString();
    QFile file(old);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "old");
}

TEST_F(HistoryCli, APollKeepsEveryInputItReadAndTheCommandShowsIt)
{
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.Start());
    Folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=10\r\n");
    const FinishedRun poll = RunProgram({CliExecutable(), "poll", "--rounds", "1", "--interval", "20", "--port", simulator.Path()},
                                        false, std::chrono::seconds(120));
    ASSERT_EQ(poll.ExitCode, 0) << poll.Output;

    THistoryStore store;
    ASSERT_TRUE(store.Open(Folder.Path("DATA/history.sqlite")));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int n = 1; n <= 192; ++n)
        ASSERT_EQ(store.Query(n, now - kDayMs, now).size(), 1) << "input " << n;
    // Input 5 has sensor 1 in status 0xAAA7 on the simulator: the poll's line and the kept reading agree.
    const THistoryReading five = store.Query(5, now - kDayMs, now).front();
    EXPECT_EQ(five.TemperState[0], 2);
    EXPECT_EQ(five.Bound, 15.0);
    const CliRun shown = RunHistory({"--input", "5"});
    ASSERT_EQ(shown.ExitCode, 0) << shown.Err.toStdString();
    EXPECT_TRUE(shown.Out.contains(QStringLiteral("показаний 1"))) << shown.Out.toStdString();
    EXPECT_TRUE(shown.Out.contains(QStringLiteral("AAA7"))) << shown.Out.toStdString();

    const CliRun json = RunHistory({"--input", "5", "--json"});
    ASSERT_EQ(json.ExitCode, 0) << json.Err.toStdString();
    const QJsonObject document = QJsonDocument::fromJson(json.Out.toUtf8()).object();
    EXPECT_EQ(document.value("input").toInt(), 5);
    const QJsonArray readings = document.value("readings").toArray();
    ASSERT_EQ(readings.size(), 1) << json.Out.toStdString();
    const QJsonObject reading = readings[0].toObject();
    EXPECT_EQ(reading.value("bound").toDouble(), 15.0);
    EXPECT_EQ(reading.value("sensors").toArray()[0].toObject().value("stateText").toString(), "AAA7");
    EXPECT_TRUE(reading.value("sensors").toArray()[0].toObject().value("temperature").isNull());
    EXPECT_LE(std::abs(QDateTime::fromString(reading.value("time").toString(), Qt::ISODateWithMs).toMSecsSinceEpoch() -
                       five.Time),
              1);
}

TEST_F(HistoryCli, BadArgumentsAreRefusedInRussianWithExitTwo)
{
    Fill();
    const QList<std::pair<QStringList, QString>> cases = {
        {{}, "Не указан ключ --input"},
        {{"--input"}, "Нет значения для --input"},
        {{"--input", "0"}, "Неверное значение --input: 0 (допустимо 1..192)"},
        {{"--input", "193"}, "Неверное значение --input: 193 (допустимо 1..192)"},
        {{"--input", "x5"}, "Неверное значение --input: x5 (допустимо 1..192)"},
        {{"--input", "5", "--csv", "a.csv", "--json"}, "Ключи --csv и --json вместе не применяются"},
        {{"--input", "5", "--rounds", "3"}, "Ключ --rounds не относится к команде history"},
        {{"--input", "5", "--from", "2026-13-01"}, "Неверная дата: 2026-13-01"},
        {{"--input", "5", "--to", "01.03.2026"}, "Неверная дата: 01.03.2026"},
        {{"--input", "5", "--from", "2026-03-02", "--to", "2026-03-01"}, "Начало периода позже его конца"},
        {{"--input", "5", "--hours", "3"}, "Неизвестный ключ: --hours"},
    };
    const CliRun help = RunHistory({"--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_TRUE(help.Out.startsWith(QStringLiteral("Использование: orvela-cli history --input N"))) << help.Out.toStdString();
    EXPECT_TRUE(RunHistory({"--input", "5", "--port", "/dev/null"}).Err.startsWith(
        QStringLiteral("Ключ --port не относится к команде history\n")));
    for (const auto& [args, message] : cases) {
        const CliRun run = RunHistory(args);
        EXPECT_EQ(run.ExitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.Err.startsWith(message + u'\n')) << run.Err.toStdString();
        EXPECT_TRUE(run.Err.contains(QStringLiteral("Использование: orvela-cli history")));
        EXPECT_TRUE(run.Out.isEmpty());
    }
}

TEST_F(HistoryCli, AMissingOrDamagedDatabaseIsToldAndNeverCreated)
{
    const CliRun missing = RunHistory({"--input", "5"});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_TRUE(missing.Err.startsWith(QStringLiteral("База истории не найдена: "))) << missing.Err.toStdString();
    EXPECT_FALSE(QFile::exists(Folder.Path("DATA/history.sqlite")));

    Folder.Write("DATA/history.sqlite", "junk junk junk junk junk junk junk junk junk junk junk junk junk junk junk");
    const CliRun junk = RunHistory({"--input", "5"});
    EXPECT_EQ(junk.ExitCode, 1);
    EXPECT_TRUE(junk.Err.contains(QStringLiteral("файл базы поврежден"))) << junk.Err.toStdString();
}

}  // namespace
