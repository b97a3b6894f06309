#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Every file the program writes is in the single-byte Windows Cyrillic code page. Our own table
// rather than the platform's converter: the same bytes on every system, '?' for what the page
// cannot hold, and every byte decodes to a character that encodes back to the same byte, so a
// hand-edited or damaged file survives a read and rewrite unchanged.
QByteArray ToCp1251(QStringView text);
QString FromCp1251(QByteArrayView bytes);

// The first character of text that the page cannot hold (a pair of surrogates as one), or an
// empty string when every character fits.
QString FirstNotInCp1251(QStringView text);
// The operator's reason for refusing such a text: "Символ «ü» нельзя записать в кодировке cp1251".
QString NotInCp1251Text(const QString& character);
