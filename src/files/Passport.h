#pragma once

#include <QDate>
#include <QString>

#include <functional>

class TVantor;

// The controller's passport: ORVELA/PN<plant number>_<date>.ini with one section named after the
// controller (VANTOR_42) holding its signature. Updated in place: other sections and keys stay.

QString PassportFolder();  // the program folder + "ORVELA/"
QString PassportPath(const TVantor& vantor, const QDate& date = QDate::currentDate());

// Asks the operator a question with OK and Cancel; true for OK.
using TConfirm = std::function<bool(const QString& caption, const QString& text)>;

enum class TPassportResult { Saved, Declined, Failed };

// Writes the nine signature keys. When the file exists, confirmReplace is asked first (caption
// "Сохранить как", the path + " уже существует." CR "Заменить?"); anything but OK writes nothing.
// A failure is shown to the operator as an "Ошибка" box with the system's reason; the file is
// written through a temporary copy, so it is either updated whole or left as it was.
TPassportResult SavePassport(const TVantor& vantor, const TConfirm& confirmReplace,
                             const QDate& date = QDate::currentDate());
