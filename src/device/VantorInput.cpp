#include "device/VantorInput.h"

#include "device/Describe.h"
#include "device/VantorCodes.h"

namespace {

// Every input describes its states alike; the copies share one list.
const TDescriptionOfStates& OprosStates()
{
    static const TDescriptionOfStates states = [] {
        TDescriptionOfStates d;
        d.SetCaptions({QStringLiteral("Норма"), QStringLiteral("Отключен"), QStringLiteral("Данные не обновились"),
                       QStringLiteral("Нет связи")});
        d.SetColors1({clBlack, clGray, clGray, clRed});
        d.SetColors2({clLime, clGray, clGray, clRed});
        d.SetAlarms({false, false, false, true});
        return d;
    }();
    return states;
}

const TDescriptionOfStates& SensorStates()
{
    static const TDescriptionOfStates states = [] {
        TDescriptionOfStates d;
        QStringList captions = {QStringLiteral("Неизвестно"), QStringLiteral("Норма")};
        QList<TColor> colors1 = {clGray, clBlack, clGray};
        QList<TColor> colors2 = {clGray, clGreen, clGray};
        QList<bool> alarms = {false, false, false};
        for (int code = 0xAAA7; code <= 0xAAAF; ++code)
            captions << QString::number(code, 16).toUpper();
        for (int i = 0; i < 8; ++i)  // 0xAAA8..0xAAAF are faults
            colors1 << clRed, colors2 << clRed, alarms << true;
        d.SetCaptions(captions);
        d.SetColors1(colors1);
        d.SetColors2(colors2);
        d.SetAlarms(alarms);
        return d;
    }();
    return states;
}

}  // namespace

TVantorInput::TVantorInput(int number)
{
    const QString n = QString::number(number);
    SetName(QStringLiteral("VantorInput") + n);
    SetSection(QStringLiteral("VantorInput") + n);
    Title = QStringLiteral("Вход ") + n;
    Hint = QStringLiteral("Вход Vantor ") + n;

    OprosState.StatesDescription().Assign(OprosStates());
    Describe(OprosState.StatesDescription(), QStringLiteral("OprosState"), QStringLiteral("Состояние обмена"),
             QStringLiteral("Состояние обмена с Stelk"));
    OprosState.SetValue(2);
    OprosState.Tag = number;

    for (int i = 0; i < kSensorCount; ++i) {
        const QString s = QString::number(i + 1);
        const QString ns = n + u'.' + s;
        const qint32 tag = (i + 1) + 256 * number;

        TDescriptionOfThreeStates& bound = Bound[i].Description();
        Describe(bound, QStringLiteral("Bound") + s, QStringLiteral("У ") + ns, QStringLiteral("Уставка ") + ns);
        bound.SetCaptions(QStringLiteral("Неизвестно"), QStringLiteral("Не активна"), QStringLiteral("Активна"));
        bound.SetColors1(clGray, clBlack, clRed);
        bound.SetColors2(clGray, clGreen, clRed);
        bound.Tag = tag;

        TDescriptionOfDouble& temper = Temper[i].Description();
        Describe(temper, QStringLiteral("Temper") + s, QStringLiteral("T ") + ns, QStringLiteral("Температура ") + ns);
        temper.Dimension = QStringLiteral("°С");
        temper.Precision = 9;
        temper.Digits = 1;
        temper.Tag = tag;
        Temper[i].SetValue(0.0);

        TDescriptionOfStates& state = TemperState[i].StatesDescription();
        state.Assign(SensorStates());
        Describe(state, QStringLiteral("TemperState") + s, QStringLiteral("Состояние датчика ") + ns,
                 QStringLiteral("Состояние датчика температуры ") + ns);
        state.Tag = tag;
    }

    TDescriptionOfThreeStates& enabled = ChannelEnabled.Description();
    Describe(enabled, QStringLiteral("ChannelEnabled"), QStringLiteral("Использование"),
             QStringLiteral("Признак использования входа"));
    enabled.SetCaptions(QStringLiteral("Неизвестно"), QStringLiteral("Не используется"), QStringLiteral("Используется"));
    enabled.SetColors1(clGray, clGray, clBlack);
    enabled.SetColors2(clGray, clGray, clGreen);
    ChannelEnabled.Tag = number;

    Describe(TemperBound, QStringLiteral("TemperBound"), QStringLiteral("Значение уставки"),
             QStringLiteral("Значение уставки по температуре"));
    TemperBound.Dimension = QStringLiteral("°С");
    TemperBound.Precision = 9;
    TemperBound.Digits = 1;
    // Whatever the register can hold is shown and saved as the controller keeps it: a set-point
    // clamped here would be written back over the real one.
    TemperBound.SetRange(vantor::kSetPointMin, vantor::kSetPointMax);
}

QString TVantorInput::ExchangeCaption() const
{
    const QList<TState>& states = OprosState.StatesDescription().States;
    return Stale && kOprosNotUpdated < states.size() ? states[kOprosNotUpdated].Caption : OprosState.StateCaption();
}

TColor TVantorInput::ExchangeColor() const
{
    const QList<TState>& states = OprosState.StatesDescription().States;
    return Stale && kOprosNotUpdated < states.size() ? states[kOprosNotUpdated].Color1 : OprosState.StateColor();
}
