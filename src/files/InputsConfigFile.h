#pragma once

#include "device/InputWrite.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QLocale>
#include <QString>

class TVantor;
class TVantorInput;

// The inputs configuration file: 192 lines, one per input, in cp1251 with CR LF, such as
// "7   PNum:1234  Bound:25,500  Period:60  Enabled:1" under a decimal-comma locale.

// Where configuration files are kept: the program folder + "DATA/".
QString InputsConfigFolder();

QString InputsConfigLine(int number, const TVantorInput& input, const QLocale& locale = QLocale());
QByteArray InputsConfigText(const TVantor& vantor, const QLocale& locale = QLocale());

// Writes the controller's inputs into path through a temporary file renamed over the old one, so
// a failure leaves the old file whole; missing folders are created. False with the reason.
bool SaveInputsConfigFile(const QString& path, const TVantor& vantor, QString& error);

// Reading. Each line splits at runs of blanks into fields taken by position: the input number
// (1..192), then the plant number, set-point, period and flag, each with every occurrence of its
// key removed. Numbers are decimal; the set-point takes the locale's decimal separator and must
// fit the register; plant number and period are 0..65535; the flag is a number (non-zero: in use)
// or True/False in any letter case. Extra fields are ignored. Reading stops at the first field
// that is missing or does not parse.
struct TConfigRow
{
    int Input = 0;
    int Fields = 0;  // fields parsed, 1..5: those after the number are stored in Settings
    TInputSettings Settings;
};

struct TConfigRead
{
    QList<TConfigRow> Rows;  // in the order of the file; the last one may be partial
    int ErrorLine = 0;       // line number of the malformed line, 0 when every line parsed
};

// Lines end at CR LF, LF or CR; a UTF-8 byte order mark is skipped.
TConfigRead ParseInputsConfig(QByteArrayView bytes, const QLocale& locale = QLocale());

// Largest file read: a configuration takes about 11 kB.
constexpr qint64 kMaxInputsConfigSize = 1024 * 1024;

// Reads and parses path. False with the reason in Russian when the file cannot be read or is
// larger than kMaxInputsConfigSize; a malformed line is no failure here (see ErrorLine).
bool ReadInputsConfigFile(const QString& path, TConfigRead& read, QString& error,
                          const QLocale& locale = QLocale());

// The flag as read from a file, false when it is no Boolean.
bool ParseConfigBoolean(const QString& text, bool& value, const QLocale& locale = QLocale());
