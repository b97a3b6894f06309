#include "CommandLine.h"
#include "ConfigCommand.h"
#include "HistoryCommand.h"
#include "MqttCommand.h"
#include "PollCommand.h"
#include "ServiceCommand.h"
#include "Session.h"

#include "common/ResourceLimits.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

const char* const kUsage =
    "Использование: orvela-cli КОМАНДА [КЛЮЧИ]; orvela-cli КОМАНДА --help - ключи команды\n"
    "  poll [--rounds N]             опрашивать контроллер (и публиковать в MQTT, если включено)\n"
    "                                до остановки или N полных кругов, затем вывести все входы\n"
    "  config save|write FILE        сохранить настройки входов в файл или записать их в прибор\n"
    "  history --input N             показания входа из истории\n"
    "  mqtt test                     проверить соединение с брокером MQTT (INI/MQTT.ini)\n"
    "  stations --broker HOST[:PORT] станции на брокере MQTT и их тревоги\n"
    "  sign                          считать сигнатуру прибора\n"
    "  address NEW                   записать системный адрес прибора\n"
    "  plant-number N                записать заводской номер прибора и паспорт\n"
    "  service open|close            открыть или закрыть диапазон сервисных регистров\n"
    "  modbus read|write             считать или записать параметры Modbus\n"
    "  write-input N                 записать свойства входа\n"
    "  loader --plant N              перевести прибор в режим загрузки ПО\n";

int Dispatch(const QStringList& args)
{
    const QString command = args.value(0);
    const QStringList rest = args.mid(1);
    if (command == QStringLiteral("poll"))
        return RunPollCommand(rest);
    if (command == QStringLiteral("config"))
        return RunConfigCommand(rest);
    if (command == QStringLiteral("history"))
        return RunHistoryCommand(rest);
    if (command == QStringLiteral("mqtt"))
        return RunMqttCommand(rest);
    if (command == QStringLiteral("stations"))
        return RunStationsCommand(rest);
    if (IsServiceCommand(command))
        return RunServiceCommand(command, rest);
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h")) {
        QTextStream(stdout) << QString::fromUtf8(kUsage);
        return 0;
    }
    QTextStream err(stderr);
    if (!command.isEmpty())
        err << QStringLiteral("Неизвестная команда: ") << command << u'\n';
    err << QString::fromUtf8(kUsage);
    return kBadCommandLine;
}

}  // namespace

int main(int argc, char* argv[])
{
    InstallResourceFailureHandler();
    if (const QString shortage = FileDescriptorShortage(); !shortage.isEmpty()) {
        PrintError(shortage);
        return 1;
    }
    QCoreApplication app(argc, argv);
    return Dispatch(app.arguments().mid(1));
}
