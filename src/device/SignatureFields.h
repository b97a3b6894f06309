#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

// The identification answers place their fields by length bytes inside the answer itself, so
// every position comes from the line. These readers never look outside the answer: a text that
// runs past its end is cut to what is there, and a length byte beyond the end reads as 0.

// A number that cannot be read from an identification text; it ends the parse and reaches the
// caller of the command.
class EConvertError : public std::runtime_error
{
public:
    explicit EConvertError(const QString& text);
};

// Byte at, or 0 beyond the end.
int SignatureByte(const QByteArray& answer, qsizetype at);
// Up to length bytes from at, as cp1251 text.
QString SignatureText(const QByteArray& answer, qsizetype at, qsizetype length);
// The decimal number in up to length bytes from at, within 0..max; EConvertError otherwise.
int SignatureNumber(const QByteArray& answer, qsizetype at, qsizetype length, int max);
