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
