#include "HistoryCommand.h"
#include "Session.h"

#include "common/TextFile.h"
#include "device/VantorCodes.h"
#include "device/VantorInput.h"
#include "history/HistoryCsv.h"
#include "history/HistoryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <optional>

namespace {

const char* const kUsage =
    "Использование: orvela-cli history --input N [--from ДАТА] [--to ДАТА] [--csv ФАЙЛ]\n"
    "  --input N     номер входа, 1..192\n"
    "  --from ДАТА   начало: гггг-ММ-дд или гггг-ММ-ддTчч:мм, местное время; по умолчанию сутки до конца\n"
    "  --to ДАТА     конец (дата без времени - до конца этого дня); по умолчанию сейчас\n"
    "  --csv ФАЙЛ    записать показания в файл CSV вместо таблицы\n";

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

// The readings as the grid shows them: state captions and temperatures at the grid's precision.
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
        out << Field(QStringLiteral("Т%1").arg(i), 10);
    out << u'\n';
    TVantorInput view(input);
    for (const THistoryReading& r : readings) {
        view.OprosState.SetValue(r.OprosState);
        out << Field(QDateTime::fromMSecsSinceEpoch(r.Time).toString(format), 21)
            << Field(view.OprosState.StateCaption(), 16) << Field(QString::number(r.Battery) + u'%', 9)
            << Field(QString::number(r.Bound, 'f', 1), 9);
        for (int i = 0; i < kSensorCount; ++i) {
            view.TemperState[i].SetValue(r.TemperState[i]);
            const QString text = r.TemperState[i] == 1
                                     ? QString::number(r.Temper[i], 'f', view.Temper[i].Description().Digits)
                                     : view.TemperState[i].StateCaption();
            out << (i + 1 < kSensorCount ? Field(text, 10) : text);
        }
        out << u'\n';
    }
}

}  // namespace

int RunHistoryCommand(const QStringList& args)
{
    int input = 0;
    std::optional<qint64> from;
    std::optional<qint64> to;
    QString csv;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (i + 1 >= args.size())
            return Usage(QStringLiteral("Нет значения для ") + arg, kUsage);
        const QString& value = args[++i];
        if (arg == QStringLiteral("--input")) {
            bool ok = false;
            input = value.toInt(&ok);
            if (!ok || input < 1 || input > vantor::kInputCount)
                return Usage(QStringLiteral("Неверный номер входа: ") + value, kUsage);
        } else if (arg == QStringLiteral("--from") || arg == QStringLiteral("--to")) {
            const bool end = arg == QStringLiteral("--to");
            const std::optional<qint64> time = ParseDate(value, end);
            if (!time)
                return Usage(QStringLiteral("Неверная дата: ") + value, kUsage);
            (end ? to : from) = time;
        } else if (arg == QStringLiteral("--csv")) {
            csv = value;
        } else {
            return Usage(QStringLiteral("Неизвестный ключ: ") + arg, kUsage);
        }
    }
    if (input == 0)
        return Usage(QStringLiteral("Не указан номер входа"), kUsage);
    if (!to)
        to = from ? *from + kMsPerDay - 1 : QDateTime::currentMSecsSinceEpoch();
    if (!from)
        from = *to - kMsPerDay + 1;
    if (*from > *to)
        return Usage(QStringLiteral("Начало периода позже его конца"), kUsage);

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
