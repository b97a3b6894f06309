#include "ServiceCommand.h"
#include "Session.h"

#include "app/Passport.h"
#include "device/CommandTable.h"
#include "device/DisplayTables.h"
#include "device/InputWrite.h"
#include "device/Operations.h"
#include "device/ProgramUnits.h"
#include "device/Vantor.h"
#include "device/VantorCodes.h"
#include "device/VantorUnit.h"

#include <QMap>
#include <QTextStream>

#include <cmath>
#include <exception>
#include <functional>
#include <optional>

namespace {

const char* const kUsage =
    "Использование: orvela-cli КОМАНДА [--port PATH]\n"
    "  sign                               считать сигнатуру прибора\n"
    "  address NEW [--current CUR] [--plant N]\n"
    "                                     записать системный адрес NEW (1..247) прибору с адресом CUR\n"
    "                                     (0: всем, без ответа; по умолчанию адрес программы) и\n"
    "                                     заводским номером N (по умолчанию из сигнатуры)\n"
    "  plant-number N                     записать заводской номер прибора и паспорт\n"
    "  service open|close                 открыть или закрыть диапазон сервисных регистров\n"
    "  modbus read                        считать параметры Modbus\n"
    "  modbus write BAUD PARITY           записать их (коды 0..12 и 0..2)\n"
    "  write-input N --plant P --bound T --period M --enabled 0|1\n"
    "                                     записать свойства входа N (1..192)\n"
    "  loader --plant N                   перевести прибор в режим загрузки ПО\n"
    "  --port PATH   порт на этот запуск; INI/ComPort.ini не меняется\n";

// The command line after the command's name: positional words and --key value pairs.
struct TArgs
{
    QStringList Words;
    QMap<QString, QString> Keys;
    std::optional<QString> Port;
};

std::optional<TArgs> Split(const QStringList& args, QString& problem)
{
    TArgs parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(QStringLiteral("--"))) {
            parsed.Words << arg;
            continue;
        }
        if (i + 1 >= args.size()) {
            problem = QStringLiteral("Нет значения для ") + arg;
            return std::nullopt;
        }
        if (arg == QStringLiteral("--port"))
            parsed.Port = args[++i];
        else
            parsed.Keys[arg] = args[++i];
    }
    return parsed;
}

// A whole number within min..max, else nullopt.
std::optional<int> Number(const QString& text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

int Failed(int command)
{
    PrintError(CommandFailure(command, QStringLiteral(" ")));
    return 1;
}

void PrintSignature(const TVantor& vantor)
{
    QTextStream out(stdout);
    out << "Производитель: " << vantor.Manufacturer << '\n'
        << "Заводской номер: " << vantor.PlantNumber << '\n'
        << "Программная версия: " << vantor.VerSoft << '\n'
        << "Аппаратная версия: " << vantor.VerHard << '\n'
        << "Сайт техподдержки: " << vantor.Site << '\n'
        << "Устройство: " << vantor.Device << '\n'
        << "Название устройства: " << vantor.DeviceName << '\n'
        << "Тип устройства: " << vantor.DeviceType << '\n'
        << "Контрольная сумма: " << vantor.CRC << '\n';
}

int Signature(TVantor& vantor)
{
    if (const int failed = ReadSignature(); failed != 0)
        return Failed(failed);
    PrintSignature(vantor);
    return 0;
}

int Address(TVantor& vantor, int address, int current, std::optional<int> plant)
{
    if (!plant) {
        // The command must carry the controller's own number: ask it first.
        if (const int failed = ReadSignature(); failed != 0)
            return Failed(failed);
        plant = vantor.PlantNumber;
    }
    QString saveError;
    const bool done = WriteSystemAddress(static_cast<quint8>(address), static_cast<quint8>(current),
                                         static_cast<quint16>(*plant), &saveError);
    if (!done) {
        if (!saveError.isEmpty())
            PrintError(saveError);
        return Failed(cmdWriteAddress);
    }
    // The controller answers at the new address while the next run would ask the stored one.
    if (!saveError.isEmpty())
        PrintError(QStringLiteral("Прибор принял системный адрес %1, но программа не сохранила его: ").arg(address) +
                   saveError);
    // After a broadcast only this tells whether a controller took the address.
    if (const int failed = ReadSignature(); failed != 0)
        return Failed(failed);
    QTextStream(stdout) << "Системный адрес: " << vantor.SystemAddress() << '\n';
    return saveError.isEmpty() ? 0 : 1;
}

int PlantNumber(TVantor& vantor, int number)
{
    if (!WritePlantNumber(static_cast<quint16>(number)))
        return Failed(cmdWritePlantNumber);
    if (const int failed = ReadSignature(); failed != 0)
        return Failed(failed);
    // Nobody to ask: an older passport of the same day is replaced.
    if (SavePassport(vantor, [](const QString&, const QString&) { return true; }) != TPassportResult::Saved) {
        PrintError(QStringLiteral("Заводской номер %1 записан в прибор, но паспорт не сохранен").arg(number));
        return 1;
    }
    QTextStream(stdout) << PassportPath(vantor) << '\n';
    return 0;
}

int Modbus(const TVantor& vantor, bool read)
{
    if (read ? !ReadModbusParams() : !WriteModbusParams(vantor.WrBaud, vantor.WrParity))
        return Failed(read ? cmdReadModbus : cmdWriteModbus);
    QTextStream(stdout) << "Скорость: " << BaudTexts().value(vantor.ModbusBaud) << '\n'
                        << "Четность: " << ParityTexts().value(vantor.ModbusParity) << '\n';
    return 0;
}

int WriteInput(int n, const TInputSettings& settings)
{
    bool done = false;
    try {
        done = WriteInputSettings(n, settings, QStringLiteral("Записать свойства входа ") + QString::number(n));
    } catch (const std::exception&) {
    }
    if (!done)
        return Failed(cmdWriteInput);
    QTextStream(stdout) << "Уставка: " << RoundToSixteenths(settings.Bound) << '\n';
    return 0;
}

}  // namespace

bool IsServiceCommand(const QString& name)
{
    static const QStringList names{"sign", "address", "plant-number", "service", "modbus", "write-input", "loader"};
    return names.contains(name);
}

int RunServiceCommand(const QString& name, const QStringList& args)
{
    QString problem;
    const std::optional<TArgs> parsed = Split(args, problem);
    if (!parsed)
        return Usage(problem, kUsage);
    const QStringList& words = parsed->Words;
    const QMap<QString, QString>& keys = parsed->Keys;
    auto bad = [](const QString& what) { return Usage(QStringLiteral("Неверное значение: ") + what, kUsage); };
    auto key = [&keys](const char* k) { return keys.value(QString::fromLatin1(k)); };
    for (auto it = keys.begin(); it != keys.end(); ++it)
        if (!QStringList{"--current", "--plant", "--bound", "--period", "--enabled"}.contains(it.key()))
            return Usage(QStringLiteral("Неизвестный ключ: ") + it.key(), kUsage);

    // Everything is checked before the port opens; the session then runs the one command.
    std::function<int(TVantor&)> run;
    if (name == QStringLiteral("sign") && words.isEmpty()) {
        run = [](TVantor& vantor) { return Signature(vantor); };
    } else if (name == QStringLiteral("address") && words.size() == 1) {
        const std::optional<int> address = Number(words[0], 1, 247);
        const std::optional<int> current =
            keys.contains("--current") ? Number(key("--current"), 0, 255) : std::optional<int>(-1);
        const std::optional<int> plant = keys.contains("--plant") ? Number(key("--plant"), 1, 65535) : std::nullopt;
        if (!address || !current || (keys.contains("--plant") && !plant))
            return bad(args.join(u' '));
        if (*current == 0 && !plant)
            return Usage(QStringLiteral("Для широковещательной записи нужен --plant"), kUsage);
        run = [address, current, plant](TVantor& vantor) {
            return Address(vantor, *address, *current < 0 ? vantor.SystemAddress() : *current, plant);
        };
    } else if (name == QStringLiteral("plant-number") && words.size() == 1) {
        const std::optional<int> number = Number(words[0], 1, 65535);
        if (!number)
            return bad(words[0]);
        run = [number](TVantor& vantor) { return PlantNumber(vantor, *number); };
    } else if (name == QStringLiteral("service") && words.size() == 1 &&
               (words[0] == QStringLiteral("open") || words[0] == QStringLiteral("close"))) {
        const bool open = words[0] == QStringLiteral("open");
        run = [open](TVantor&) { return SetServiceRange(open) ? 0 : Failed(open ? cmdOpenService : cmdCloseService); };
    } else if (name == QStringLiteral("modbus") && words.value(0) == QStringLiteral("read") && words.size() == 1) {
        run = [](TVantor& vantor) { return Modbus(vantor, true); };
    } else if (name == QStringLiteral("modbus") && words.value(0) == QStringLiteral("write") && words.size() == 3) {
        const std::optional<int> baud = Number(words[1], 0, int(BaudTexts().size()) - 1);
        const std::optional<int> parity = Number(words[2], 0, int(ParityTexts().size()) - 1);
        if (!baud || !parity)
            return bad(words.mid(1).join(u' '));
        run = [baud, parity](TVantor& vantor) {
            vantor.WrBaud = static_cast<quint8>(*baud);
            vantor.WrParity = static_cast<quint8>(*parity);
            return Modbus(vantor, false);
        };
    } else if (name == QStringLiteral("write-input") && words.size() == 1) {
        const std::optional<int> n = Number(words[0], 1, vantor::kInputCount);
        const std::optional<int> plant = Number(key("--plant"), 0, 65535);
        const std::optional<int> period = Number(key("--period"), 0, 65535);
        const std::optional<int> enabled = Number(key("--enabled"), 0, 1);
        bool ok = false;
        const double bound = QString(key("--bound")).replace(u',', u'.').toDouble(&ok);
        if (!n || !plant || !period || !enabled || !ok || !SetPointFits(bound))
            return bad(args.join(u' '));
        const TInputSettings settings{static_cast<quint16>(*plant), *enabled == 1, static_cast<quint16>(*period), bound};
        run = [n, settings](TVantor&) { return WriteInput(*n, settings); };
    } else if (name == QStringLiteral("loader") && words.isEmpty()) {
        const std::optional<int> plant = Number(key("--plant"), 1, 65535);
        if (!plant)
            return bad(QStringLiteral("--plant ") + key("--plant"));
        run = [plant](TVantor&) { return EnterLoadingMode(static_cast<quint16>(*plant)) ? 0 : Failed(cmdLoadingMode); };
    } else {
        return Usage(QStringLiteral("Неверная команда: ") + (QStringList{name} + args).join(u' '), kUsage);
    }

    int code = 1;
    if (OpenSession(parsed->Port))
        code = run(*Vantor());
    StopUnits();
    return code;
}
