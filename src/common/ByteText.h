#pragma once

#include <QByteArray>
#include <QString>

// Frames as the operator reads them: "01 04 00 00 00 02 71 CB" or "001 004 000 ..".
QString ToHexText(const QByteArray& bytes);
QString ToDecText(const QByteArray& bytes, bool pad);
