#include "ServiceCommand.h"
#include "CommandLine.h"
#include "Session.h"

#include "files/Passport.h"
#include "device/CommandTable.h"
#include "device/DisplayTables.h"
#include "device/InputWrite.h"
#include "device/Operations.h"
#include "device/ProgramUnits.h"
#include "device/Vantor.h"
#include "device/VantorCodes.h"
#include "device/VantorUnit.h"

#include <QJsonObject>
#include <QLocale>
#include <QTextStream>

#include <cmath>
#include <exception>
#include <functional>
#include <optional>

namespace {

int Failed(int command)
{
    PrintError(CommandFailure(command, QStringLiteral(" ")));
    return 1;
}

void PrintSignature(const TVantor& vantor, bool json)
{
    if (json) {
        PrintJson(QJsonDocument(QJsonObject{{"manufacturer", vantor.Manufacturer},
                                            {"plantNumber", vantor.PlantNumber},
                                            {"softVersion", vantor.VerSoft},
                                            {"hardVersion", vantor.VerHard},
                                            {"site", vantor.Site},
                                            {"device", vantor.Device},
                                            {"deviceName", vantor.DeviceName},
                                            {"deviceType", vantor.DeviceType},
                                            {"crc", vantor.CRC}}));
        return;
    }
    // The controller's texts may hold anything, terminal controls included.
    QTextStream out(stdout);
    out << "Производитель: " << Printable(vantor.Manufacturer) << '\n'
        << "Заводской номер: " << vantor.PlantNumber << '\n'
        << "Программная версия: " << vantor.VerSoft << '\n'
        << "Аппаратная версия: " << vantor.VerHard << '\n'
        << "Сайт техподдержки: " << Printable(vantor.Site) << '\n'
        << "Устройство: " << Printable(vantor.Device) << '\n'
        << "Название устройства: " << Printable(vantor.DeviceName) << '\n'
        << "Тип устройства: " << vantor.DeviceType << '\n'
        << "Контрольная сумма: " << Printable(vantor.CRC) << '\n';
}

int Signature(TVantor& vantor, bool json)
{
    if (const int failed = ReadSignature(); failed != 0)
        return Failed(failed);
    PrintSignature(vantor, json);
    return 0;
}

int Address(TVantor& vantor, int address, int current, std::optional<int> plant)
{
    if (!plant) {
        // The command must carry the number of the controller at the current address: ask that
        // one, not the one at the stored address.
        const quint8 stored = vantor.SystemAddress();
        vantor.SetSystemAddress(static_cast<quint8>(current));
        const int failed = ReadSignature();
        vantor.SetSystemAddress(stored);
        if (failed != 0)
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

int Modbus(const TVantor& vantor, bool read, bool json)
{
    if (read ? !ReadModbusParams() : !WriteModbusParams(vantor.WrBaud, vantor.WrParity))
        return Failed(read ? cmdReadModbus : cmdWriteModbus);
    if (json) {
        // "19200 бит/с": the number in front.
        const QString baud = BaudTexts().value(vantor.ModbusBaud);
        PrintJson(QJsonDocument(QJsonObject{{"baudCode", vantor.ModbusBaud},
                                            {"baud", baud.section(u' ', 0, 0).toInt()},
                                            {"parityCode", vantor.ModbusParity},
                                            {"parity", ParityTexts().value(vantor.ModbusParity)}}));
        return 0;
    }
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
    // "modbus read" and "modbus write" are commands of their own, with their own keys.
    const bool modbus = name == QStringLiteral("modbus");
    const QString mode = modbus ? args.value(0) : QString();
    if (modbus && mode != QStringLiteral("read") && mode != QStringLiteral("write")) {
        const bool help = mode == QStringLiteral("--help") || mode == QStringLiteral("-h");
        QTextStream(help ? stdout : stderr)
            << (help ? QString() : QStringLiteral("Неверная команда: modbus ") + mode + u'\n')
            << QStringLiteral("Использование: orvela-cli modbus read [--port PATH] [--json]\n"
                              "               orvela-cli modbus write BAUD PARITY [--port PATH]\n");
        return help ? 0 : kBadCommandLine;
    }
    const QString command = modbus ? name + u' ' + mode : name;
    const QStringList rest = modbus ? args.mid(1) : args;

    // Everything is checked before the port opens; the session then runs the one command.
    std::function<int(TVantor&)> run;
    std::optional<QString> port;
    const auto parse = [&](TCommandLine& line, qsizetype words) {
        line.AddPort();
        const std::optional<int> done = line.Parse(rest, words, words);
        port = line.Port();
        return done;
    };
    if (name == QStringLiteral("sign")) {
        TCommandLine line(command, QStringLiteral("[--port PATH] [--json]"), QStringLiteral("Считать сигнатуру прибора."));
        const QCommandLineOption json = line.AddJson();
        if (const std::optional<int> done = parse(line, 0))
            return *done;
        run = [json = line.IsSet(json)](TVantor& vantor) { return Signature(vantor, json); };
    } else if (name == QStringLiteral("address")) {
        TCommandLine line(command, QStringLiteral("NEW [--current CUR] [--plant N] [--port PATH]"),
                          QStringLiteral("Записать системный адрес NEW (1..247) прибору с адресом CUR и заводским "
                                         "номером N."));
        const QCommandLineOption current =
            line.Add({QStringLiteral("current")},
                     QStringLiteral("текущий адрес прибора, 0..255 (0: всем, без ответа); по умолчанию адрес программы"),
                     QStringLiteral("CUR"));
        const QCommandLineOption plant = line.Add(
            {QStringLiteral("plant")}, QStringLiteral("заводской номер прибора, 1..65535; по умолчанию из его сигнатуры"),
            QStringLiteral("N"));
        if (const std::optional<int> done = parse(line, 1))
            return *done;
        const std::optional<int> address = line.Number(QStringLiteral("NEW"), line.Words()[0], 1, kMaxSystemAddress);
        if (!address)
            return kBadCommandLine;
        const std::optional<int> cur = line.Number(current, 0, 255, -1);
        if (!cur)
            return kBadCommandLine;
        std::optional<int> number;
        if (line.IsSet(plant) && !(number = line.Number(plant, 1, 65535, std::nullopt)))
            return kBadCommandLine;
        if (*cur == 0 && !number)
            return line.Bad(QStringLiteral("Для широковещательной записи нужен --plant"));
        run = [address, cur, number](TVantor& vantor) {
            return Address(vantor, *address, *cur < 0 ? vantor.SystemAddress() : *cur, number);
        };
    } else if (name == QStringLiteral("plant-number")) {
        TCommandLine line(command, QStringLiteral("N [--port PATH]"),
                          QStringLiteral("Записать заводской номер прибора N (1..65535) и его паспорт."));
        if (const std::optional<int> done = parse(line, 1))
            return *done;
        const std::optional<int> number = line.Number(QStringLiteral("N"), line.Words()[0], 1, 65535);
        if (!number)
            return kBadCommandLine;
        run = [number](TVantor& vantor) { return PlantNumber(vantor, *number); };
    } else if (name == QStringLiteral("service")) {
        TCommandLine line(command, QStringLiteral("open|close [--port PATH]"),
                          QStringLiteral("Открыть или закрыть диапазон сервисных регистров."));
        if (const std::optional<int> done = parse(line, 1))
            return *done;
        const QString word = line.Words()[0];
        if (word != QStringLiteral("open") && word != QStringLiteral("close"))
            return line.Bad(QStringLiteral("Неверное значение: ") + word);
        const bool open = word == QStringLiteral("open");
        run = [open](TVantor&) { return SetServiceRange(open) ? 0 : Failed(open ? cmdOpenService : cmdCloseService); };
    } else if (modbus && mode == QStringLiteral("read")) {
        TCommandLine line(command, QStringLiteral("[--port PATH] [--json]"), QStringLiteral("Считать параметры Modbus."));
        const QCommandLineOption json = line.AddJson();
        if (const std::optional<int> done = parse(line, 0))
            return *done;
        run = [json = line.IsSet(json)](TVantor& vantor) { return Modbus(vantor, true, json); };
    } else if (modbus) {
        TCommandLine line(command, QStringLiteral("BAUD PARITY [--port PATH]"),
                          QStringLiteral("Записать параметры Modbus: код скорости 0..12 (8 = 19200) и четности "
                                         "(0 нет, 1 нечет, 2 чет)."));
        if (const std::optional<int> done = parse(line, 2))
            return *done;
        const std::optional<int> baud = line.Number(QStringLiteral("BAUD"), line.Words()[0], 0, int(BaudTexts().size()) - 1);
        const std::optional<int> parity =
            baud ? line.Number(QStringLiteral("PARITY"), line.Words()[1], 0, int(ParityTexts().size()) - 1) : std::nullopt;
        if (!baud || !parity)
            return kBadCommandLine;
        run = [baud, parity](TVantor& vantor) {
            vantor.WrBaud = static_cast<quint8>(*baud);
            vantor.WrParity = static_cast<quint8>(*parity);
            return Modbus(vantor, false, false);
        };
    } else if (name == QStringLiteral("write-input")) {
        TCommandLine line(command, QStringLiteral("N --plant P --bound T --period M --enabled 0|1 [--port PATH]"),
                          QStringLiteral("Записать свойства входа N (1..192)."));
        const QCommandLineOption plant =
            line.Add({QStringLiteral("plant")}, QStringLiteral("заводской номер датчика, 0..65535"), QStringLiteral("P"));
        const QCommandLineOption bound = line.Add(
            {QStringLiteral("bound")}, QStringLiteral("уставка, °С (точка или запятая), -2048..2047,9375"), QStringLiteral("T"));
        const QCommandLineOption period =
            line.Add({QStringLiteral("period")}, QStringLiteral("период опроса датчика, мин, 0..65535"), QStringLiteral("M"));
        const QCommandLineOption enabled =
            line.Add({QStringLiteral("enabled")}, QStringLiteral("1: вход используется, 0: нет"), QStringLiteral("0|1"));
        if (const std::optional<int> done = parse(line, 1))
            return *done;
        const std::optional<int> n = line.Number(QStringLiteral("N"), line.Words()[0], 1, vantor::kInputCount);
        std::optional<int> p, m, e;
        if (!n || !(p = line.Number(plant, 0, 65535, std::nullopt)) || !(m = line.Number(period, 0, 65535, std::nullopt)) ||
            !(e = line.Number(enabled, 0, 1, std::nullopt)))
            return kBadCommandLine;
        if (!line.IsSet(bound))
            return line.Bad(QStringLiteral("Не указан ключ --bound"));
        bool ok = false;
        const double t = QLocale::c().toDouble(QString(line.Value(bound)).replace(u',', u'.'), &ok);
        if (!ok || !std::isfinite(t) || !SetPointFits(t))
            return line.Bad(QStringLiteral("Неверное значение --bound: ") + line.Value(bound));
        const TInputSettings settings{static_cast<quint16>(*p), *e == 1, static_cast<quint16>(*m), t};
        run = [n, settings](TVantor&) { return WriteInput(*n, settings); };
    } else {
        TCommandLine line(command, QStringLiteral("--plant N [--port PATH]"),
                          QStringLiteral("Перевести прибор с заводским номером N в режим загрузки ПО."));
        const QCommandLineOption plant =
            line.Add({QStringLiteral("plant")}, QStringLiteral("заводской номер прибора, 1..65535"), QStringLiteral("N"));
        if (const std::optional<int> done = parse(line, 0))
            return *done;
        const std::optional<int> number = line.Number(plant, 1, 65535, std::nullopt);
        if (!number)
            return kBadCommandLine;
        run = [number](TVantor&) { return EnterLoadingMode(static_cast<quint16>(*number)) ? 0 : Failed(cmdLoadingMode); };
    }

    int code = 1;
    if (OpenSession(port))
        code = run(*Vantor());
    StopUnits();
    return code;
}
