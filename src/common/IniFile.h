#pragma once

#include <QString>
#include <QStringList>

// A settings file is a few hundred bytes; reading a far larger one would only cost memory.
constexpr qint64 kMaxIniFileSize = 1024 * 1024;

// A settings file of "[section]" headers and "key=value" lines, in cp1251. Reading never fails: a
// missing or unreadable file reads as empty and a missing or malformed key gives the default.
// Writing changes the key in place (or adds it at the end of its section) and keeps every other
// line, comments and unknown keys included, in its order. Sections and keys match without regard
// to case; a section written twice reads as one, and of keys written twice the first counts.
// A file larger than kMaxIniFileSize is not read (it reads as empty) and never rewritten.
class TIniFile
{
public:
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return FileName_; }
    bool TooLarge() const { return TooLarge_; }

    bool ValueExists(const QString& section, const QString& key) const;
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Decimal, optionally signed; anything else, or a number beyond 32 bits, gives def.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // The same held to min..max: a value outside gives def.
    int ReadInteger(const QString& section, const QString& key, int def, int min, int max) const;
    // Any integer other than 0 is true.
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    // The locale's decimal separator, or a point.
    double ReadFloat(const QString& section, const QString& key, double def) const;
    // The same held to min..max: a value outside, or no finite number, gives def.
    double ReadFloat(const QString& section, const QString& key, double def, double min, double max) const;

    // Control characters of value (CR, LF, ESC ...) are written as blanks.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, qint64 value);
    void WriteBool(const QString& section, const QString& key, bool value);
    // Shortest decimal form in the locale's number format, without group separators.
    void WriteFloat(const QString& section, const QString& key, double value);

    // Writes the whole file through a temporary copy, so a failed write leaves the old file whole.
    // Creates the missing folders. False when the file could not be written; error, when given,
    // then holds the reason: the system's, a file too large to rewrite whole, or a character that
    // cp1251 cannot hold (nothing is written then, rather than a '?' in its place).
    bool Save(QString* error = nullptr) const;
    // As Save; error, when given, holds the whole message: "Файл <name> не сохранен: <reason>".
    bool SaveTelling(QString* error) const;

private:
    qsizetype FindSection(const QString& section) const;
    qsizetype FindKey(const QString& section, const QString& key) const;
    bool FindValue(const QString& section, const QString& key, QString& value) const;

    QString FileName_;
    QStringList Lines_;
    bool TooLarge_ = false;
};
