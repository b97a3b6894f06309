// How the poll fares on lines it cannot fully trust: for each line speed, with and without an
// echoing adapter, and for each lateness of the controller's answers, a number of cycles polled
// against the simulator; its journal says which answer went out for which request. Prints the
// group answers parsed, taken, refused, and taken although they were another request's (must be
// 0), and the seconds the cycles took. Then two rounds with 15 % of the answers spoiled: the groups
// read at least once.
//   bench_line_trust [cycles at 9600 (12)]
#include "common/ByteText.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorCodes.h"
#include "device/VantorUnit.h"
#include "device/Frames.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct TTally
{
    int Parsed = 0;
    int Taken = 0;
    int Wrong = 0;
    QSet<int> GroupsRead;
};

bool WaitFor(const std::function<bool()>& done, int ms)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    look.start(5);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

QSet<QString> Sent(const QString& journalPath)
{
    QSet<QString> sent;
    QFile journal(journalPath);
    if (!journal.open(QIODevice::ReadOnly))
        return sent;
    for (const QByteArray& line : journal.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() >= 3 && fields[2] != "-")
            sent.insert(QString::fromLatin1(fields[1] + '|' + fields[2]));
    }
    return sent;
}

// Polls cycles cycles on a fresh simulator with options; false when it could not start.
bool Run(const QStringList& options, int baud, int pauseRead, int cycles, TTally& tally, double& seconds)
{
    QTemporaryDir home;
    const QString journal = home.path() + "/journal.txt";
    QProcess simulator;
    simulator.start(QCoreApplication::applicationDirPath() + "/../../tools/vantor-sim/vantor-sim",
                    options + QStringList{"--journal", journal});
    if (!simulator.waitForReadyRead(5000))
        return false;
    const QString port = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    qputenv("ORVELA_HOME", home.path().toLocal8Bit());
    QDir(home.path()).mkpath("INI");
    QFile vantorIni(home.path() + "/INI/VANTOR.ini");
    QFile portIni(home.path() + "/INI/ComPort.ini");
    if (!vantorIni.open(QIODevice::WriteOnly) || !portIni.open(QIODevice::WriteOnly))
        return false;
    vantorIni.write("[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=" + QByteArray::number(pauseRead) + "\r\n");
    vantorIni.close();
    portIni.write("[Transmitter]\r\nPort=" + port.toLocal8Bit() + "\r\nBaudRate=" + QByteArray::number(baud) + "\r\n");
    portIni.close();
    StartUnits();
    if (!Transmitter()->ActivatePort()) {
        StopUnits();
        return false;
    }
    struct TSeen
    {
        int First;
        QByteArray Request, Answer;
        bool Taken;
    };
    std::vector<TSeen> seen;
    Vantor()->OnRequest = [&](TVantor*, const QString&, const QString&, const QByteArray& request,
                              const QByteArray& answer, bool result) {
        if (static_cast<quint8>(request[1]) == 0x04 && MakeWord(request[4], request[5]) == 64)
            seen.push_back({(MakeWord(request[2], request[3]) - vantor::InputBlockFirst(1)) / vantor::kInputBlockSize + 1,
                            request, answer, result});
    };
    int done = 0;
    RequestThread()->OnCycle = [&](TRequestThread*, const QString&) { ++done; };
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < cycles; ++i) {
        RequestThread()->Resume();
        if (!WaitFor([&] { return done > i && !RequestThread()->Busy(); }, 120000))
            break;
    }
    seconds = clock.elapsed() / 1000.0;
    StopUnits();
    simulator.terminate();
    simulator.waitForFinished(3000);
    const QSet<QString> sent = Sent(journal);
    for (const TSeen& s : seen) {
        ++tally.Parsed;
        if (!s.Taken)
            continue;
        ++tally.Taken;
        tally.GroupsRead.insert(s.First);
        if (!sent.contains(ToHexText(s.Request) + u'|' + ToHexText(s.Answer)))
            ++tally.Wrong;
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int cycles9600 = argc > 1 ? std::max(1, atoi(argv[1])) : 12;
    std::printf("%-6s %-5s %-6s %-6s %7s %6s %8s %6s %8s\n", "baud", "echo", "late", "pause", "parsed", "taken",
                "refused", "wrong", "seconds");
    int wrong = 0;
    for (const int baud : {1200, 2400, 9600}) {
        const int cycles = std::max(2, cycles9600 * baud / 9600 + 2);
        for (const bool echo : {false, true})
            for (const int late : {0, 250, 500, 1000, 2000})
                for (const int pause : {50, 10}) {
                    QStringList options = {"--baud", QString::number(baud), "--late-ms", QString::number(late)};
                    if (echo)
                        options << "--echo";
                    TTally tally;
                    double seconds = 0;
                    if (!Run(options, baud, pause, cycles, tally, seconds)) {
                        std::fprintf(stderr, "the simulator did not start\n");
                        return 1;
                    }
                    wrong += tally.Wrong;
                    std::printf("%-6d %-5s %-6d %-6d %7d %6d %8d %6d %8.1f\n", baud, echo ? "yes" : "no", late, pause,
                                tally.Parsed, tally.Taken, tally.Parsed - tally.Taken, tally.Wrong, seconds);
                    std::fflush(stdout);
                }
    }
    TTally spoiled;
    double seconds = 0;
    if (!Run({"--bad-crc", "0.15", "--seed", "7"}, 9600, 50, 2 * 48, spoiled, seconds))
        return 1;
    wrong += spoiled.Wrong;
    std::printf("15 %% spoiled, two rounds: %d of 48 groups read, %d of %d readings answers taken, %d wrong, %.1f s\n",
                static_cast<int>(spoiled.GroupsRead.size()), spoiled.Taken, spoiled.Parsed, spoiled.Wrong, seconds);
    return wrong == 0 ? 0 : 1;
}
