#include "HistoryCommand.h"
#include "CommandLine.h"
#include "Session.h"

#include "common/TextFile.h"
#include "device/VantorCodes.h"
#include "device/VantorInput.h"
#include "history/HistoryCsv.h"
#include "history/HistoryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>
#include <QTextStream>

#include <optional>

namespace {

constexpr qint64 kMsPerDay = 24LL * 60 * 60 * 1000;

// A local date, or a local date and time to the minute; nothing for any other text. A date alone
// is its first millisecond, or its last one for the end of a span.
std::optional<qint64> ParseDate(const QString& text, bool end)
{
    const QDateTime minute = QDateTime::fromString(text, QStringLiteral("yyyy-MM-ddTHH:mm"));
    if (minute.isValid())
        return minute.toMSecsSinceEpoch() + (end ? 60'000 - 1 : 0);
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return std::nullopt;
    const QDateTime start = date.startOfDay();
    return end ? date.endOfDay().toMSecsSinceEpoch() : start.toMSecsSinceEpoch();
}

QString Field(const QString& text, int width) { return text.leftJustified(width); }

// The readings as the grid shows them: state captions, temperatures at the grid's precision in the
// locale's form, the grid's column titles.
void PrintTable(const QVector<THistoryReading>& readings, int input, qint64 from, qint64 to)
{
    QTextStream out(stdout);
    const QString format = QStringLiteral("dd.MM.yyyy HH:mm:ss");
    out << QStringLiteral("Вход %1, с %2 по %3: показаний %4")
               .arg(input)
               .arg(QDateTime::fromMSecsSinceEpoch(from).toString(format),
                    QDateTime::fromMSecsSinceEpoch(to).toString(format))
               .arg(readings.size())
        << u'\n';
    if (readings.isEmpty())
        return;
    out << Field(QStringLiteral("Время"), 21) << Field(QStringLiteral("Обмен"), 16) << Field(QStringLiteral("Батарея"), 9)
        << Field(QStringLiteral("Уставка"), 9);
    for (int i = 1; i <= kSensorCount; ++i)
        out << Field(QStringLiteral("T %1").arg(i), 10);
    out << u'\n';
    TVantorInput view(input);
    const QLocale locale = QLocale::system();
    for (const THistoryReading& r : readings) {
        view.OprosState.SetValue(r.OprosState);
        out << Field(QDateTime::fromMSecsSinceEpoch(r.Time).toString(format), 21)
            << Field(view.OprosState.StateCaption(), 16) << Field(QString::number(r.Battery) + u'%', 9)
            << Field(locale.toString(r.Bound, 'f', 1), 9);
        for (int i = 0; i < kSensorCount; ++i) {
            view.TemperState[i].SetValue(r.TemperState[i]);
            const QString text = r.TemperState[i] == 1
                                     ? locale.toString(r.Temper[i], 'f', view.Temper[i].Description().Digits)
                                     : view.TemperState[i].StateCaption();
            out << (i + 1 < kSensorCount ? Field(text, 10) : text);
        }
        out << u'\n';
    }
}

// Local time with its offset, so that a reader elsewhere gets the same instant.
QString IsoTime(qint64 ms)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// The table's content with codes beside the captions; a temperature only where the sensor had one.
void PrintJsonReadings(const QVector<THistoryReading>& readings, int input, qint64 from, qint64 to)
{
    TVantorInput view(input);
    QJsonArray rows;
    for (const THistoryReading& r : readings) {
        view.OprosState.SetValue(r.OprosState);
        QJsonArray sensors;
        for (int i = 0; i < kSensorCount; ++i) {
            view.TemperState[i].SetValue(r.TemperState[i]);
            sensors.append(QJsonObject{
                {"temperature", r.TemperState[i] == 1 ? QJsonValue(r.Temper[i]) : QJsonValue()},
                {"state", r.TemperState[i]},
                {"stateText", view.TemperState[i].StateCaption()}});
        }
        rows.append(QJsonObject{{"time", IsoTime(r.Time)},
                                {"state", r.OprosState},
                                {"stateText", view.OprosState.StateCaption()},
                                {"battery", r.Battery},
                                {"bound", r.Bound},
                                {"sensors", sensors}});
    }
    PrintJson(QJsonDocument(
        QJsonObject{{"input", input}, {"from", IsoTime(from)}, {"to", IsoTime(to)}, {"readings", rows}}));
}

}  // namespace

int RunHistoryCommand(const QStringList& args)
{
    TCommandLine line(QStringLiteral("history"), QStringLiteral("--input N [--from ДАТА] [--to ДАТА] [--csv ФАЙЛ | --json]"),
                      QStringLiteral("Показания входа N из истории."));
    const QCommandLineOption inputKey =
        line.Add({QStringLiteral("input")}, QStringLiteral("номер входа, 1..192"), QStringLiteral("N"));
    const QCommandLineOption fromKey = line.Add(
        {QStringLiteral("from")},
        QStringLiteral("начало: гггг-ММ-дд или гггг-ММ-ддTчч:мм, местное время; по умолчанию сутки до конца"),
        QStringLiteral("ДАТА"));
    const QCommandLineOption toKey = line.Add(
        {QStringLiteral("to")}, QStringLiteral("конец (дата без времени - до конца этого дня); по умолчанию сейчас"),
        QStringLiteral("ДАТА"));
    const QCommandLineOption csvKey =
        line.Add({QStringLiteral("csv")}, QStringLiteral("записать показания в файл CSV вместо таблицы"),
                 QStringLiteral("ФАЙЛ"));
    const QCommandLineOption jsonKey = line.AddJson();
    if (const std::optional<int> done = line.Parse(args, 0, 0))
        return *done;
    const std::optional<int> number = line.Number(inputKey, 1, vantor::kInputCount, std::nullopt);
    if (!number)
        return kBadCommandLine;
    const int input = *number;
    std::optional<qint64> from;
    std::optional<qint64> to;
    for (const auto& [key, end] : {std::pair{fromKey, false}, std::pair{toKey, true}}) {
        if (!line.IsSet(key))
            continue;
        const std::optional<qint64> time = ParseDate(line.Value(key), end);
        if (!time)
            return line.Bad(QStringLiteral("Неверная дата: ") + line.Value(key));
        (end ? to : from) = time;
    }
    const QString csv = line.Value(csvKey);
    const bool json = line.IsSet(jsonKey);
    if (json && line.IsSet(csvKey))
        return line.Bad(QStringLiteral("Ключи --csv и --json вместе не применяются"));
    if (!to)
        to = from ? *from + kMsPerDay - 1 : QDateTime::currentMSecsSinceEpoch();
    if (!from)
        from = *to - kMsPerDay + 1;
    if (*from > *to)
        return line.Bad(QStringLiteral("Начало периода позже его конца"));

    // Reading never creates the database.
    const QString path = HistoryPath();
    if (!QFileInfo::exists(path)) {
        PrintError(QStringLiteral("База истории не найдена: ") + QDir::toNativeSeparators(path));
        return 1;
    }
    THistoryStore store;
    if (!store.Open(path)) {
        PrintError(store.ErrorText());
        return 1;
    }
    const QVector<THistoryReading> readings = store.Query(input, *from, *to);
    if (!store.ErrorText().isEmpty()) {
        PrintError(store.ErrorText());
        return 1;
    }
    if (json) {
        PrintJsonReadings(readings, input, *from, *to);
        return 0;
    }
    if (csv.isEmpty()) {
        PrintTable(readings, input, *from, *to);
        return 0;
    }
    // Through a temporary copy: a failed write leaves a file of that name as it was.
    QString error;
    if (!ReplaceFile(csv, HistoryCsv(readings, QLocale::system()), &error)) {
        PrintError(QStringLiteral("Не удалось записать файл ") + QDir::toNativeSeparators(csv) + QStringLiteral(": ")
                   + error);
        return 1;
    }
    QTextStream(stdout) << QStringLiteral("Вход %1: показаний %2 записано в ").arg(input).arg(readings.size())
                        << QDir::toNativeSeparators(csv) << u'\n';
    return 0;
}
