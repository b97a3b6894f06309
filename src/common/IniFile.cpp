#include "common/IniFile.h"

#include "common/Cp1251.h"
#include "common/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

bool IsComment(QStringView line)
{
    return line.startsWith(u';') || line.startsWith(u'#');
}

// The name of a "[name]" header line, or a null string for any other line.
QString SectionName(const QString& line)
{
    const QString trimmed = line.trimmed();
    const qsizetype close = trimmed.indexOf(u']');
    if (!trimmed.startsWith(u'[') || close < 0)
        return {};
    return trimmed.mid(1, close - 1).trimmed();
}

// Keeps a value on its own line whatever the caller passes, and a file free of terminal controls.
QString OneLine(QString text)
{
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = u' ';
    return text;
}

}  // namespace

TIniFile::TIniFile(const QString& fileName) : FileName_(fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // One byte more than allowed tells a file at the limit from a longer one.
    const QByteArray bytes = file.read(kMaxIniFileSize + 1);
    if (bytes.size() > kMaxIniFileSize) {
        TooLarge_ = true;
        return;
    }
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    Lines_ = FromCp1251(bytes).split(lineEnd);
    if (!Lines_.isEmpty() && Lines_.last().isEmpty())
        Lines_.removeLast();  // the end of the last line, not an empty line
}

qsizetype TIniFile::FindSection(const QString& section) const
{
    for (qsizetype i = 0; i < Lines_.size(); ++i) {
        const QString name = SectionName(Lines_[i]);
        if (!name.isNull() && name.compare(section, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

qsizetype TIniFile::FindKey(const QString& section, const QString& key) const
{
    // A section written twice is read as one: its first key of the name counts.
    bool inSection = false;
    for (qsizetype i = 0; i < Lines_.size(); ++i) {
        const QString& line = Lines_[i];
        const QString name = SectionName(line);
        if (!name.isNull()) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inSection || equals < 0 || IsComment(QStringView(line).trimmed()))
            continue;
        if (QStringView(line).left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool TIniFile::FindValue(const QString& section, const QString& key, QString& value) const
{
    const qsizetype keyLine = FindKey(section, key);
    if (keyLine < 0)
        return false;
    const QString& line = Lines_[keyLine];
    value = line.mid(line.indexOf(u'=') + 1).trimmed();
    return true;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    QString value;
    return FindValue(section, key, value);
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    QString value;
    return FindValue(section, key, value) ? value : def;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    QString text;
    if (!FindValue(section, key, text))
        return def;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return def;
    return static_cast<int>(value);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def, int min, int max) const
{
    const int value = ReadInteger(section, key, def);
    return value >= min && value <= max ? value : def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(const QString& section, const QString& key, double def) const
{
    QString text;
    if (!FindValue(section, key, text))
        return def;
    bool ok = false;
    double value = QLocale::system().toDouble(text, &ok);
    if (!ok)
        value = QLocale::c().toDouble(text, &ok);
    return ok ? value : def;
}

double TIniFile::ReadFloat(const QString& section, const QString& key, double def, double min, double max) const
{
    const double value = ReadFloat(section, key, def);
    return std::isfinite(value) && value >= min && value <= max ? value : def;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QString line = key + u'=' + OneLine(value);
    const qsizetype keyLine = FindKey(section, key);
    if (keyLine >= 0) {
        Lines_[keyLine] = line;
        return;
    }
    const qsizetype sectionLine = FindSection(section);
    if (sectionLine < 0) {
        if (!Lines_.isEmpty() && !Lines_.last().trimmed().isEmpty())
            Lines_ << QString();
        Lines_ << u'[' + section + u']' << line;
        return;
    }
    // After the section's last non-blank line, so that blank lines keep separating sections.
    qsizetype insertAt = sectionLine + 1;
    for (qsizetype i = sectionLine + 1; i < Lines_.size() && SectionName(Lines_[i]).isNull(); ++i)
        if (!Lines_[i].trimmed().isEmpty())
            insertAt = i + 1;
    Lines_.insert(insertAt, line);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, qint64 value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::WriteFloat(const QString& section, const QString& key, double value)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    WriteString(section, key, locale.toString(value, 'g', QLocale::FloatingPointShortest));
}

bool TIniFile::Save(QString* error) const
{
    if (TooLarge_) {
        // Its keys were never read: a rewrite would lose them all.
        if (error)
            *error = QStringLiteral("файл больше %1 КБ, он не прочитан и не перезаписан").arg(kMaxIniFileSize / 1024);
        return false;
    }
    for (const QString& line : Lines_) {
        if (const QString bad = FirstNotInCp1251(line); !bad.isEmpty()) {
            if (error)
                *error = NotInCp1251Text(bad);
            return false;
        }
    }
    const QString folder = QFileInfo(FileName_).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("не удалось создать папку ") + folder;
        return false;
    }
    QByteArray bytes;
    for (const QString& line : Lines_)
        bytes += ToCp1251(line) + "\r\n";
    return ReplaceFile(FileName_, bytes, error);
}

bool TIniFile::SaveTelling(QString* error) const
{
    QString reason;
    if (Save(&reason))
        return true;
    if (error)
        *error = NotSavedText(FileName_, reason);
    return false;
}
