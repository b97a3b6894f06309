#include "ConfigCommand.h"
#include "HistoryCommand.h"
#include "MqttCommand.h"
#include "PollCommand.h"
#include "ServiceCommand.h"
#include "Session.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

const char* const kUsage =
    "Использование: orvela-cli poll [--rounds N] [--port PATH]\n"
    "  poll          опрашивать контроллер (и публиковать в MQTT, если включено) до остановки\n"
    "                или N полных кругов (48 циклов), затем вывести все входы\n"
    "  --rounds N    число кругов опроса, 1..1000\n"
    "  --port PATH   порт на этот запуск; INI/ComPort.ini не меняется\n"
    "  history       показания входа из истории: orvela-cli history --input N ...\n"
    "  mqtt test     проверить соединение с брокером MQTT (INI/MQTT.ini)\n"
    "  stations      станции на брокере MQTT: orvela-cli stations --broker HOST[:PORT] [--json]\n"
    "Также: orvela-cli config ..., sign, address, plant-number, service, modbus, write-input, loader\n";

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.first() == QStringLiteral("config"))
        return RunConfigCommand(args.mid(1));
    if (!args.isEmpty() && args.first() == QStringLiteral("history"))
        return RunHistoryCommand(args.mid(1));
    if (!args.isEmpty() && args.first() == QStringLiteral("mqtt"))
        return RunMqttCommand(args.mid(1));
    if (!args.isEmpty() && args.first() == QStringLiteral("stations"))
        return RunStationsCommand(args.mid(1));
    if (!args.isEmpty() && IsServiceCommand(args.first()))
        return RunServiceCommand(args.first(), args.mid(1));
    if (args.isEmpty() || args.first() != QStringLiteral("poll"))
        return Usage(args.isEmpty() ? QString() : QStringLiteral("Неизвестная команда: ") + args.first(), kUsage);

    TPollOptions options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (i + 1 >= args.size())
            return Usage(QStringLiteral("Нет значения для ") + arg, kUsage);
        const QString& value = args[++i];
        if (arg == QStringLiteral("--rounds")) {
            bool ok = false;
            options.Rounds = value.toInt(&ok);
            if (!ok || options.Rounds < 1 || options.Rounds > 1000)
                return Usage(QStringLiteral("Неверное число кругов: ") + value, kUsage);
        } else if (arg == QStringLiteral("--port")) {
            options.Port = value;
        } else {
            return Usage(QStringLiteral("Неизвестный ключ: ") + arg, kUsage);
        }
    }
    return RunPoll(options);
}
