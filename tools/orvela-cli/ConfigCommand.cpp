#include "ConfigCommand.h"
#include "Session.h"

#include "app/InputsConfigFile.h"
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

const char* const kUsage =
    "Использование: orvela-cli config save FILE [--port PATH]\n"
    "               orvela-cli config write FILE [--start N] [--stop M] [--port PATH]\n"
    "  save          считать настройки всех входов (один круг опроса) и сохранить их в FILE\n"
    "  write         записать в прибор входы N..M (1..192), перечисленные в FILE\n"
    "  --port PATH   порт на этот запуск; INI/ComPort.ini не меняется\n";

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

bool ParseInput(const QString& text, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= 1 && value <= vantor::kInputCount;
}

}  // namespace

int RunConfigCommand(const QStringList& args)
{
    if (args.size() < 2 || (args[0] != QStringLiteral("save") && args[0] != QStringLiteral("write")))
        return Usage(args.isEmpty() ? QString() : QStringLiteral("Неизвестная команда: config ") + args[0], kUsage);
    TConfigOptions options;
    options.Write = args[0] == QStringLiteral("write");
    options.File = args[1];
    for (qsizetype i = 2; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (i + 1 >= args.size())
            return Usage(QStringLiteral("Нет значения для ") + arg, kUsage);
        const QString& value = args[++i];
        if (arg == QStringLiteral("--port")) {
            options.Port = value;
        } else if (options.Write && arg == QStringLiteral("--start")) {
            if (!ParseInput(value, options.Start))
                return Usage(QStringLiteral("Неверный номер входа: ") + value, kUsage);
        } else if (options.Write && arg == QStringLiteral("--stop")) {
            if (!ParseInput(value, options.Stop))
                return Usage(QStringLiteral("Неверный номер входа: ") + value, kUsage);
        } else {
            return Usage(QStringLiteral("Неизвестный ключ: ") + arg, kUsage);
        }
    }

    bool stopping = false;
    WatchStopSignals(QCoreApplication::instance(), [&stopping] { stopping = true; });
    const int code = options.Write ? Write(options, stopping) : Save(options, stopping);
    StopUnits();
    return code;
}
