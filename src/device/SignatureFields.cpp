#include "device/SignatureFields.h"

#include "common/Cp1251.h"

EConvertError::EConvertError(const QString& text) : std::runtime_error(text.toStdString()) {}

int SignatureByte(const QByteArray& answer, qsizetype at)
{
    return at >= 0 && at < answer.size() ? static_cast<quint8>(answer[at]) : 0;
}

QString SignatureText(const QByteArray& answer, qsizetype at, qsizetype length)
{
    if (at < 0 || at >= answer.size() || length <= 0)
        return {};
    return FromCp1251(QByteArrayView(answer).sliced(at, qMin(length, answer.size() - at)));
}

int SignatureNumber(const QByteArray& answer, qsizetype at, qsizetype length, int max)
{
    const QString text = SignatureText(answer, at, length);
    bool digitsOnly = !text.trimmed().isEmpty();
    for (const QChar c : text.trimmed())
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    bool ok = false;
    const int value = digitsOnly ? text.trimmed().toInt(&ok, 10) : 0;
    // A number wider than its field is refused rather than wrapped into another value.
    if (!ok || value > max)
        throw EConvertError(QStringLiteral("\"%1\" не является допустимым целым числом").arg(text));
    return value;
}
