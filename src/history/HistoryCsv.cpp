#include "history/HistoryCsv.h"

#include "common/Cp1251.h"
#include "device/VantorInput.h"

#include <QDateTime>
#include <QStringList>

#include <cmath>

namespace {

// The captions of the program's own descriptions, not copies of them.
const TVantorInput& Captions()
{
    static const TVantorInput input(1);
    return input;
}

QString StateCaption(const TIOStates& value, int state)
{
    const QList<TState>& states = value.StatesDescription().States;
    return state >= 0 && state < states.size() ? states[state].Caption : QString::number(state);
}

QString Number(const QLocale& locale, double value)
{
    return locale.toString(value, 'f', QLocale::FloatingPointShortest);
}

// A field holding the separator, a quote or a line break is quoted, its quotes doubled.
QString Field(const QString& text)
{
    if (!text.contains(u';') && !text.contains(u'"') && !text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    return u'"' + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

}  // namespace

QByteArray HistoryCsv(const QVector<THistoryReading>& readings, const QLocale& locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    const TVantorInput& captions = Captions();
    QStringList header = {QStringLiteral("Время"), QStringLiteral("Вход"), QStringLiteral("Состояние обмена"),
                          QStringLiteral("Батарея, %"), QStringLiteral("Уставка, °С")};
    for (int i = 1; i <= kSensorCount; ++i)
        header << QStringLiteral("T %1, °С").arg(i);
    QString text = header.join(u';') + QStringLiteral("\r\n");
    for (const THistoryReading& r : readings) {
        QStringList fields;
        fields << QDateTime::fromMSecsSinceEpoch(r.Time).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
               << QString::number(r.Input) << Field(StateCaption(captions.OprosState, r.OprosState))
               << QString::number(r.Battery) << (std::isnan(r.Bound) ? QString() : Number(plain, r.Bound));
        for (int i = 0; i < kSensorCount; ++i)
            fields << (r.TemperState[i] < 2 ? Number(plain, r.Temper[i])
                                            : Field(StateCaption(captions.TemperState[i], r.TemperState[i])));
        text += fields.join(u';') + QStringLiteral("\r\n");
    }
    return ToCp1251(text);
}
