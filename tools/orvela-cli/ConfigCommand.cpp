#include "ConfigCommand.h"
#include "CommandLine.h"
#include "Session.h"

#include "files/InputsConfigFile.h"
#include "common/StopSignals.h"
#include "device/InputWrite.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <array>
#include <optional>

namespace {

struct TConfigOptions
{
    bool Write = false;
    QString File;
    int Start = 1;
    int Stop = vantor::kInputCount;
    std::optional<QString> Port;
};

void WaitUntilIdle(TRequestThread* thread)
{
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &loop, [&loop, thread] {
        if (!thread->Busy())
            loop.quit();
    });
    check.start();
    loop.exec();
}

int Save(const TConfigOptions& options, const bool& stopping)
{
    if (!OpenSession(options.Port) || !AddressSet())
        return 1;
    TVantor* vantor = Vantor();
    TRequestThread* thread = RequestThread();
    // Groups whose settings the round read.
    std::array<bool, vantor::kInputCount / vantor::kGroupSize> read{};
    vantor->OnRequest = [&read](TVantor* sender, const QString&, const QString&, const QByteArray& request,
                                const QByteArray&, bool result) {
        if (result && request.size() > 1 && request[1] == 0x03)
            read[(sender->CurrentInput - 1) / vantor::kGroupSize] = true;
    };
    // One round, cycle after cycle, as the poll timer would run it without the waits between.
    PollSettings = true;
    vantor->CurrentInput = vantor::kInputCount;
    for (size_t cycle = 0; cycle < read.size() && !stopping; ++cycle) {
        thread->Resume();
        WaitUntilIdle(thread);
    }
    vantor->OnRequest = nullptr;
    if (stopping)
        return kInterruptedExit;

    QStringList missing;
    for (size_t g = 0; g < read.size(); ++g) {
        if (!read[g])
            missing << QStringLiteral("%1-%2").arg(g * vantor::kGroupSize + 1).arg((g + 1) * vantor::kGroupSize);
    }
    if (!missing.isEmpty()) {
        // A file with zeros for inputs never read would disable their probes when written back.
        PrintError(QStringLiteral("Не удалось считать настройки входов ") + missing.join(QStringLiteral(", ")) +
              QStringLiteral("; файл не сохранен"));
        return 1;
    }
    QString error;
    if (!SaveInputsConfigFile(options.File, *vantor, error)) {
        PrintError(QStringLiteral("Файл ") + options.File + QStringLiteral(" не сохранен: ") + error);
        return 1;
    }
    QTextStream(stdout) << QStringLiteral("Настройки входов сохранены в ") << options.File << u'\n';
    return 0;
}

int Write(const TConfigOptions& options, const bool& stopping)
{
    TConfigRead read;
    QString error;
    if (!ReadInputsConfigFile(options.File, read, error)) {
        PrintError(error);
        return 2;
    }
    if (read.ErrorLine > 0) {
        PrintError(QStringLiteral("Неверный формат данных: %1, строка %2").arg(options.File).arg(read.ErrorLine));
        return 2;
    }
    // As the view keeps them: a later line of the same input counts.
    std::array<std::optional<TInputSettings>, vantor::kInputCount> listed;
    for (const TConfigRow& row : read.Rows)
        listed[row.Input - 1] = row.Settings;

    if (!OpenSession(options.Port) || !AddressSet())
        return 1;
    QTextStream out(stdout);
    TInputsWrite write;
    write.First = options.Start;
    write.Last = options.Stop;
    write.Settings = [&listed](int n) -> const TInputSettings* {
        return listed[n - 1] ? &*listed[n - 1] : nullptr;
    };
    write.OnWritten = [&out](int n, bool ok) {
        out << QStringLiteral("Вход ") << n << (ok ? QStringLiteral(": записан") : QStringLiteral(": не записан"))
            << Qt::endl;
    };
    write.Stopping = [&stopping] { return stopping; };
    const TInputsWriteResult result = WriteInputs(write);
    if (!result.Failed.isEmpty())
        out << QStringLiteral("Не удалось записать настройки входов: ") << FailureList(result.Failed) << u'\n';
    if (result.Stopped) {
        out << QStringLiteral("Запись настроек входов прервана после входа ") << result.LastWritten << u'\n';
        return kInterruptedExit;
    }
    if (!result.Failed.isEmpty())
        return 1;
    out << QStringLiteral("Запись настроек входов прошла успешно\n");
    return 0;
}

}  // namespace

int RunConfigCommand(const QStringList& args)
{
    const QString mode = args.value(0);
    const bool write = mode == QStringLiteral("write");
    if (!write && mode != QStringLiteral("save")) {
        const bool help = mode == QStringLiteral("--help") || mode == QStringLiteral("-h");
        QTextStream(help ? stdout : stderr)
            << (mode.isEmpty() || help ? QString() : QStringLiteral("Неизвестная команда: config ") + mode + u'\n')
            << QStringLiteral("Использование: orvela-cli config save FILE [--port PATH]\n"
                                              "               orvela-cli config write FILE [--start N] [--stop M] [--port PATH]\n");
        return help ? 0 : kBadCommandLine;
    }
    TCommandLine line(QStringLiteral("config ") + mode,
                      write ? QStringLiteral("FILE [--start N] [--stop M] [--port PATH]") : QStringLiteral("FILE [--port PATH]"),
                      write ? QStringLiteral("Записать в прибор входы N..M, перечисленные в FILE.")
                            : QStringLiteral("Считать настройки всех входов (один круг опроса) и сохранить их в FILE."));
    std::optional<QCommandLineOption> start, stop;
    if (write) {
        start = line.Add({QStringLiteral("start")}, QStringLiteral("первый вход, 1..192 (1)"), QStringLiteral("N"));
        stop = line.Add({QStringLiteral("stop")}, QStringLiteral("последний вход, 1..192 (192)"), QStringLiteral("M"));
    }
    line.AddPort();
    if (const std::optional<int> done = line.Parse(args.mid(1), 1, 1))
        return *done;

    TConfigOptions options;
    options.Write = write;
    options.File = line.Words().first();
    options.Port = line.Port();
    if (write) {
        const std::optional<int> first = line.Number(*start, 1, vantor::kInputCount, 1);
        const std::optional<int> last = first ? line.Number(*stop, 1, vantor::kInputCount, vantor::kInputCount)
                                              : std::nullopt;
        if (!first || !last)
            return kBadCommandLine;
        options.Start = *first;
        options.Stop = *last;
    }

    bool stopping = false;
    WatchStopSignals(QCoreApplication::instance(), [&stopping] { stopping = true; });
    const int code = options.Write ? Write(options, stopping) : Save(options, stopping);
    StopUnits();
    return code;
}
