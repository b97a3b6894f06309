#include "files/InputsConfigFile.h"

#include "common/Cp1251.h"
#include "common/ProgramFolder.h"
#include "common/TextFile.h"
#include "device/Vantor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

bool AllDigits(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A decimal integer within min..max. Digits only: the converter would stop at a NUL byte and take
// "200<NUL>2" for 200.
bool ParseInteger(const QString& text, qint64 min, qint64 max, qint64& value)
{
    if (!AllDigits(text) || text.size() > 18)
        return false;
    value = text.toLongLong();
    return value >= min && value <= max;
}

// A number in the locale's decimal form, without group separators: an optional minus, digits and
// at most one separator followed by digits. A point where the locale has another separator fails,
// as a file from a computer with other settings should.
bool ParseLocaleNumber(QString text, const QLocale& locale, double& value)
{
    const QString point = locale.decimalPoint();
    const QStringView unsigned_ = QStringView(text).sliced(text.startsWith(u'-') ? 1 : 0);
    const qsizetype at = unsigned_.indexOf(point);
    if (!AllDigits(at < 0 ? unsigned_ : unsigned_.first(at)) ||
        (at >= 0 && !AllDigits(unsigned_.sliced(at + point.size()))))
        return false;
    if (point != QStringLiteral(".")) {
        if (text.contains(u'.'))
            return false;
        text.replace(point, QStringLiteral("."));
    }
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    value = c.toDouble(text, &ok);
    return ok && std::isfinite(value);
}

QString WithoutKey(QString field, const QString& key)
{
    return field.remove(key);
}

// Stores the fields of one line into row as they parse; false at the first that does not.
bool ParseLine(const QString& line, const QLocale& locale, TConfigRow& row)
{
    static const QRegularExpression blanks(QStringLiteral(" +"));
    const QStringList fields = line.split(blanks, Qt::SkipEmptyParts);
    qint64 number = 0;
    if (fields.isEmpty() || !ParseInteger(fields[0], 1, vantor::kInputCount, number))
        return false;
    row.Input = static_cast<int>(number);
    row.Fields = 1;

    if (fields.size() < 2 || !ParseInteger(WithoutKey(fields[1], QStringLiteral("PNum:")), 0, 65535, number))
        return false;
    row.Settings.PNum = static_cast<quint16>(number);
    row.Fields = 2;

    double bound = 0.0;
    if (fields.size() < 3 || !ParseLocaleNumber(WithoutKey(fields[2], QStringLiteral("Bound:")), locale, bound) ||
        !SetPointFits(bound))
        return false;
    row.Settings.Bound = bound;
    row.Fields = 3;

    if (fields.size() < 4 || !ParseInteger(WithoutKey(fields[3], QStringLiteral("Period:")), 0, 65535, number))
        return false;
    row.Settings.Period = static_cast<quint16>(number);
    row.Fields = 4;

    bool enabled = false;
    if (fields.size() < 5 || !ParseConfigBoolean(WithoutKey(fields[4], QStringLiteral("Enabled:")), enabled, locale))
        return false;
    row.Settings.Enabled = enabled;
    row.Fields = 5;
    return true;
}

}  // namespace

QString InputsConfigFolder()
{
    return ProgramFolder() + QStringLiteral("DATA/");
}

QString InputsConfigLine(int number, const TVantorInput& input, const QLocale& locale)
{
    QString bound = QString::asprintf("%-7.3f", input.TemperBound.Value());
    bound.replace(u'.', locale.decimalPoint());
    const bool enabled = input.ChannelEnabled.GetOutValue().ToInteger() == tsTrue;
    return QString::asprintf("%-4d PNum:%-5d Bound:", number, int(input.PlantNumber)) + bound +
           QStringLiteral(" Period:") + QString::number(input.Interval) + QStringLiteral("  Enabled:") +
           (enabled ? u'1' : u'0');
}

QByteArray InputsConfigText(const TVantor& vantor, const QLocale& locale)
{
    QByteArray text;
    for (int n = 1; n <= vantor::kInputCount; ++n)
        text += ToCp1251(InputsConfigLine(n, vantor.Input(n), locale)) + "\r\n";
    return text;
}

bool SaveInputsConfigFile(const QString& path, const TVantor& vantor, QString& error)
{
    const QFileInfo info(path);
    // The temporary file goes beside the target and replaces it: a device or folder given as the
    // target must stay what it is.
    if (info.exists() && !info.isFile()) {
        error = QStringLiteral("это не обычный файл");
        return false;
    }
    if (!QDir().mkpath(info.absolutePath())) {
        error = QStringLiteral("не удалось создать папку ") + info.absolutePath();
        return false;
    }
    return ReplaceFile(path, InputsConfigText(vantor), &error);
}

bool ParseConfigBoolean(const QString& text, bool& value, const QLocale& locale)
{
    if (text.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0) {
        value = true;
        return true;
    }
    if (text.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0) {
        value = false;
        return true;
    }
    double number = 0.0;
    if (!ParseLocaleNumber(text, locale, number))
        return false;
    value = number != 0.0;
    return true;
}

TConfigRead ParseInputsConfig(QByteArrayView bytes, const QLocale& locale)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = FromCp1251(bytes).split(lineEnd);
    // Blank lines at the end are an editor's habit, not inputs.
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();

    TConfigRead read;
    if (lines.isEmpty()) {
        // Nothing to write is no success: the operator picked the wrong file.
        read.ErrorLine = 1;
        return read;
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        TConfigRow row;
        const bool ok = ParseLine(lines[i], locale, row);
        if (row.Fields > 0)
            read.Rows << row;
        if (!ok) {
            read.ErrorLine = static_cast<int>(i + 1);
            break;
        }
    }
    return read;
}

bool ReadInputsConfigFile(const QString& path, TConfigRead& read, QString& error, const QLocale& locale)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Не удалось открыть файл ") + path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    // One byte more than allowed tells a file at the limit from a longer one, devices included.
    const QByteArray bytes = file.read(kMaxInputsConfigSize + 1);
    if (bytes.size() > kMaxInputsConfigSize) {
        error = QStringLiteral("Файл ") + path + QStringLiteral(" слишком велик для файла настроек входов");
        return false;
    }
    read = ParseInputsConfig(bytes, locale);
    return true;
}
