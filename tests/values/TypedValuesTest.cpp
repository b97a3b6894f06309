#include "values/TypedValues.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(TypedValues, ThreeStatesStartUnknownAndShowTheirState)
{
    const TDateTime before = NowDateTime();
    TIOThreeStates value;
    EXPECT_EQ(value.GetValue().Kind(), TVariant::TKind::UInt8);
    EXPECT_EQ(value.GetOutValue(), TVariant(tsUnknown));
    EXPECT_GE(value.TimeOut.GetTime(), before);
    EXPECT_EQ(value.StateCaption(), "Unknown");
    EXPECT_EQ(value.StateColor(), clGray);

    value.SetValue(tsTrue);
    EXPECT_EQ(value.StateCaption(), "On");
    EXPECT_EQ(value.StateColor(), clLime);
    value.SetValue(258);
    EXPECT_EQ(value.StateCaption(), "On");
    value.SetValue(7);
    EXPECT_EQ(value.StateCaption(), "");
    EXPECT_EQ(value.StateColor(), clBlack);
}

TEST(TypedValues, AssignCopiesDescriptionAndActiveButNotTheValue)
{
    TIOThreeStates source;
    source.Description().Title = "У 1";
    source.Description().Hint = "Уставка 1";
    source.Description().SetCaptions("Неизвестно", "Не активна", "Активна");
    source.Description().SetColors1(clGray, clBlack, clRed);
    source.Description().SetColors2(clGray, clGreen, clRed);
    source.Active = false;
    source.SetValue(tsTrue);

    TIOThreeStates target;
    target.Assign(source);
    EXPECT_EQ(target.Description().Title, "У 1");
    EXPECT_EQ(target.Description().Hint, "Уставка 1");
    EXPECT_EQ(target.Description().Captions, source.Description().Captions);
    EXPECT_EQ(target.Description().Color1, source.Description().Color1);
    EXPECT_EQ(target.Description().Color2, source.Description().Color2);
    EXPECT_FALSE(target.Active);
    EXPECT_EQ(target.GetValue(), TVariant(tsUnknown));

    // From another class only the flag.
    TIOInteger integer;
    integer.Description().Title = "Код ошибки";
    integer.Active = true;
    target.Assign(integer);
    EXPECT_TRUE(target.Active);
    EXPECT_EQ(target.Description().Title, "У 1");

    TIODouble floating, otherFloating;
    floating.Description().Precision = 3;
    otherFloating.Assign(floating);
    EXPECT_EQ(otherFloating.Description().Precision, 3);
    TIOInteger otherInteger;
    otherInteger.Assign(integer);
    EXPECT_EQ(otherInteger.Description().Title, "Код ошибки");
}

TEST(TypedValues, StatesPickTheirEntryAndFallBack)
{
    TIOStates value;
    EXPECT_EQ(value.StateCaption(), "");
    EXPECT_EQ(value.StateColor(), clBlack);
    EXPECT_TRUE(value.StateIsAlarm());  // no states: the safe side

    TDescriptionOfStates& states = value.StatesDescription();
    states.SetCaptions({"Норма", "Отключен", "Данные не обновились", "Нет связи"});
    states.SetColors1({clBlack, clGray, clGray, clRed});
    states.SetAlarms({false, false, false, true});
    value.SetValue(3);
    EXPECT_EQ(value.StateCaption(), "Нет связи");
    EXPECT_EQ(value.StateColor(), clRed);
    EXPECT_TRUE(value.StateIsAlarm());

    for (int outside : {4, 7, -1}) {
        value.SetValue(outside);
        EXPECT_EQ(value.StateCaption(), "Норма") << outside;
        EXPECT_EQ(value.StateColor(), clBlack) << outside;
        EXPECT_FALSE(value.StateIsAlarm()) << outside;
    }
}

TEST(TypedValues, StatesAssignCopiesBothDescriptions)
{
    TIOStates source;
    source.Description().SetRange(0, 10);
    source.StatesDescription().SetCaptions({"a", "b"});
    source.StatesDescription().Title = "Состояние";
    TIOStates target;
    target.Assign(source);
    EXPECT_EQ(target.Description().Max(), 10);
    EXPECT_EQ(target.StatesDescription().States.size(), 2);
    EXPECT_EQ(target.StatesDescription().Title, "Состояние");

    // Shared until one side changes.
    target.StatesDescription().SetCaptions({"c", "d"});
    EXPECT_EQ(source.StatesDescription().States[0].Caption, "a");
}

TEST(TypedValues, LinkedTypedValuesConvertOnTheWay)
{
    TIODouble temperature;
    TIOStates state;
    state.StatesDescription().SetCaptions({"zero", "one", "two"});
    state.Link(&temperature);
    temperature.SetValue(2.0);
    EXPECT_EQ(state.GetOutValue().Kind(), TVariant::TKind::Int32);
    EXPECT_EQ(state.StateCaption(), "two");

    TIOThreeStates flag;
    flag.Link(&state);
    EXPECT_EQ(flag.StateCaption(), "On");
}
