#include "values/Descriptions.h"

#include "TestFolder.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The file's lines of one section, without the header.
QByteArrayList SectionLines(const QByteArray& file, const QByteArray& section)
{
    QByteArrayList result;
    bool inside = false;
    for (const QByteArray& line : file.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('['))
            inside = trimmed == '[' + section + ']';
        else if (inside && !trimmed.isEmpty())
            result << trimmed;
    }
    return result;
}

template <class T>
T InSection(const TestFolder& folder, const QString& section = "Root.V")
{
    T description;
    description.SetFileName(folder.Path("INI/values.ini"));
    description.SetSection(section);
    return description;
}

}  // namespace

TEST(Descriptions, DefaultsPerClass)
{
    EXPECT_EQ(TDescriptionOfCustomValue().Name(), "DescriptionOfCustomValue");
    EXPECT_EQ(TDescriptionOfValue().Name(), "DescriptionOfValue");
    EXPECT_EQ(TDescriptionOfInteger().Name(), "DescriptionOfValue");
    EXPECT_EQ(TDescriptionOfDouble().Name(), "DescriptionOfValue");
    EXPECT_EQ(TDescriptionOfStates().Name(), "DescriptionOfValue");

    const TDescriptionOfThreeStates three;
    EXPECT_EQ(three.Name(), "DescriptionOfThreeStates");
    EXPECT_EQ(three.GetCaption(tsUnknown), "Unknown");
    EXPECT_EQ(three.GetCaption(tsFalse), "Off");
    EXPECT_EQ(three.GetCaption(tsTrue), "On");
    EXPECT_EQ(three.Color1, (std::array<TColor, 3>{8421504, 255, 65280}));
    EXPECT_EQ(three.Color2, (std::array<TColor, 3>{clBtnFace, clBtnFace, clBtnFace}));
    EXPECT_EQ(three.GetCaption(3), "");
    EXPECT_EQ(three.GetColor1(-1), clBlack);

    const TDescriptionOfInteger integer;
    EXPECT_EQ(integer.Min(), 0);
    EXPECT_EQ(integer.Max(), 100);
    const TDescriptionOfDouble floating;
    EXPECT_EQ(floating.Min(), 0.0);
    EXPECT_EQ(floating.Max(), 100.0);
    EXPECT_EQ(floating.Precision, 9);
    EXPECT_EQ(floating.Digits, 2);
    EXPECT_TRUE(TDescriptionOfStates().States.isEmpty());
}

TEST(Descriptions, InvertedRangesChangeNothing)
{
    TDescriptionOfInteger integer;
    integer.SetRange(5, 3);
    EXPECT_EQ(integer.Min(), 0);
    EXPECT_EQ(integer.Max(), 100);
    integer.SetRange(-4, -4);
    EXPECT_EQ(integer.Min(), -4);
    EXPECT_EQ(integer.Max(), -4);

    TDescriptionOfDouble floating;
    floating.SetRange(10, 5);
    floating.SetRange(std::nan(""), 5);
    floating.SetRange(1, std::nan(""));
    EXPECT_EQ(floating.Min(), 0.0);
    EXPECT_EQ(floating.Max(), 100.0);
}

TEST(Descriptions, SetParentNamesTheSectionAfterTheParent)
{
    TDescriptionOfValue parent;
    parent.SetSection("VANTOR");
    parent.SetFileName("/x/VANTOR.ini");
    TDescriptionOfDouble child;
    child.SetName("Temper1");
    child.SetParent(&parent);
    EXPECT_EQ(child.Section(), "VANTOR.Temper1");
    EXPECT_EQ(child.FileName(), "/x/VANTOR.ini");

    child.SetParent(nullptr);
    EXPECT_EQ(child.Section(), "VANTOR.Temper1");
}

TEST(Descriptions, CopiesAreIndependent)
{
    TDescriptionOfStates original;
    original.SetName("OprosState");
    original.SetSection("VantorInput1.OprosState");
    original.SetFileName("/x/a.ini");
    original.Tag = 9;
    original.SetCaptions({"Норма"});

    TDescriptionOfStates copy(original);
    TDescriptionOfStates assigned;
    assigned = original;
    original.SetSection("other");
    original.SetCaptions({"x", "y"});
    for (const TDescriptionOfStates* d : {&copy, &assigned}) {
        EXPECT_EQ(d->Name(), "OprosState");
        EXPECT_EQ(d->Section(), "VantorInput1.OprosState");
        EXPECT_EQ(d->FileName(), "/x/a.ini");
        EXPECT_EQ(d->Tag, 9);
        EXPECT_EQ(d->States.size(), 1);
    }
    assigned = TDescriptionOfStates();
    EXPECT_EQ(assigned.Section(), "");
}

TEST(Descriptions, AssignCopiesWhatBothClassesShare)
{
    TDescriptionOfThreeStates three;
    three.Title = "Вход";
    three.Hint = "Вход Vantor";
    three.Tag = 5;
    three.SetName("A");
    three.SetCaptions("Неизвестно", "Нет", "Да");
    three.SetColors1(1, 2, 3);
    three.SetColors2(4, 5, 6);

    TDescriptionOfThreeStates copy;
    copy.Assign(three);
    EXPECT_EQ(copy.Title, "Вход");
    EXPECT_EQ(copy.Hint, "Вход Vantor");
    EXPECT_EQ(copy.Captions, three.Captions);
    EXPECT_EQ(copy.Color1, three.Color1);
    EXPECT_EQ(copy.Color2, three.Color2);
    EXPECT_EQ(copy.Tag, 0);
    EXPECT_EQ(copy.Name(), "DescriptionOfThreeStates");

    TDescriptionOfInteger integer;
    integer.Dimension = "мс";
    integer.SetRange(1, 9);
    integer.Assign(three);  // only the captions of a different class
    EXPECT_EQ(integer.Title, "Вход");
    EXPECT_EQ(integer.Max(), 9);
    TDescriptionOfInteger otherInteger;
    otherInteger.Assign(integer);
    EXPECT_EQ(otherInteger.Dimension, "мс");
    EXPECT_EQ(otherInteger.Min(), 1);

    TDescriptionOfDouble floating;
    floating.SetRange(-50, 150);
    floating.Precision = 4;
    floating.Digits = 1;
    floating.Dimension = "°С";
    TDDouble bound;
    bound.Assign(floating);
    EXPECT_EQ(bound.Min(), -50.0);
    EXPECT_EQ(bound.Precision, 4);
    EXPECT_EQ(bound.Digits, 1);
    EXPECT_EQ(bound.Dimension, "°С");
}

TEST(Descriptions, BoundValueStaysWithinItsLimits)
{
    TDDouble bound;
    bound.SetValue(150);
    EXPECT_EQ(bound.Value(), 100.0);
    bound.SetValue(-5);
    EXPECT_EQ(bound.Value(), 0.0);
    bound.SetValue(std::nan(""));  // no number: refused
    EXPECT_EQ(bound.Value(), 0.0);

    TDDouble text;
    text.SetRange(-100, 100);
    text.SetValue(-21.5);
    const QChar point = QLocale::system().decimalPoint().front();
    EXPECT_EQ(text.ValueText(), QString("-21") + point + u'5');
    text.SetValue(40);
    EXPECT_EQ(text.ValueText(), "40");
    text.Precision = 2;
    text.SetValue(12.345);
    EXPECT_EQ(text.ValueText(), QString("12"));
}

TEST(Descriptions, StateListsResizeToTheItemsGiven)
{
    TDescriptionOfStates states;
    states.SetCaptions({"Норма", "Отключен", "Нет связи"});
    states.SetAlarms({false, false, true});
    states.SetColors1({clBlack, clGray, clRed, clRed});
    ASSERT_EQ(states.States.size(), 4);
    EXPECT_EQ(states.States[2].Caption, "Нет связи");
    EXPECT_TRUE(states.States[2].IsAlarm);
    EXPECT_EQ(states.States[3].Caption, "");  // new entries start zeroed
    EXPECT_FALSE(states.States[3].IsAlarm);
    EXPECT_EQ(states.States[3].Color1, clRed);
    states.SetColors2({clLime});
    ASSERT_EQ(states.States.size(), 1);
    EXPECT_EQ(states.States[0].Caption, "Норма");
    EXPECT_EQ(states.States[0].Color2, clLime);

    TDescriptionOfStates copy;
    copy.SetCaptions({"a", "b", "c", "d", "e"});
    copy.Assign(states);
    ASSERT_EQ(copy.States.size(), 1);
    EXPECT_EQ(copy.States[0].Color2, clLime);
}

TEST(DescriptionsIni, ThreeStatesSaveAndLoadBack)
{
    TestFolder folder;
    folder.Write("INI/values.ini", "; kept\r\n[Other]\r\nKey=1\r\n");
    auto saved = InSection<TDescriptionOfThreeStates>(folder);
    saved.Title = "Состояние обмена";
    saved.Hint = "Состояние обмена с прибором";
    saved.SetCaptions("Неизвестно", "Норма", "Ошибка");
    saved.SetColors1(clGray, clBlack, clRed);
    ASSERT_TRUE(saved.Save());

    const QByteArray file = folder.Read("INI/values.ini");
    EXPECT_TRUE(file.startsWith("; kept\r\n[Other]\r\nKey=1\r\n"));
    EXPECT_EQ(SectionLines(file, "Root.V"),
              QByteArrayList({"Title=\xD1\xEE\xF1\xF2\xEE\xFF\xED\xE8\xE5 \xEE\xE1\xEC\xE5\xED\xE0",
                              "Hint=\xD1\xEE\xF1\xF2\xEE\xFF\xED\xE8\xE5 \xEE\xE1\xEC\xE5\xED\xE0 \xF1 "
                              "\xEF\xF0\xE8\xE1\xEE\xF0\xEE\xEC",
                              "Captions[tsUnknown]=\xCD\xE5\xE8\xE7\xE2\xE5\xF1\xF2\xED\xEE",
                              "Captions[tsFalse]=\xCD\xEE\xF0\xEC\xE0",
                              "Captions[tsTrue]=\xCE\xF8\xE8\xE1\xEA\xE0", "Color1[tsUnknown]=8421504",
                              "Color1[tsFalse]=0", "Color1[tsTrue]=255",
                              "Color2[tsUnknown]=-2147483633", "Color2[tsFalse]=-2147483633",
                              "Color2[tsTrue]=-2147483633"}));

    auto loaded = InSection<TDescriptionOfThreeStates>(folder);
    loaded.Load();
    EXPECT_EQ(loaded.Title, saved.Title);
    EXPECT_EQ(loaded.Hint, saved.Hint);
    EXPECT_EQ(loaded.Captions, saved.Captions);
    EXPECT_EQ(loaded.Color1, saved.Color1);
    EXPECT_EQ(loaded.Color2, saved.Color2);
}

TEST(DescriptionsIni, IntegerLimitsAreWrittenAsPlainNumbers)
{
    TestFolder folder;
    auto saved = InSection<TDescriptionOfInteger>(folder);
    saved.Dimension = "мин";
    ASSERT_TRUE(saved.Save());
    EXPECT_EQ(SectionLines(folder.Read("INI/values.ini"), "Root.V"),
              QByteArrayList({"Title=", "Hint=", "Max=100", "Min=0", "Dimension=\xEC\xE8\xED"}));

    saved.SetRange(-5, 1000000);
    ASSERT_TRUE(saved.Save());
    EXPECT_TRUE(SectionLines(folder.Read("INI/values.ini"), "Root.V").contains("Max=1000000"));

    folder.Write("INI/values.ini", "[Root.V]\r\nMin=-20\r\nMax=70\r\n");
    auto loaded = InSection<TDescriptionOfInteger>(folder);
    loaded.Title = "kept";
    loaded.Load();
    EXPECT_EQ(loaded.Min(), -20);
    EXPECT_EQ(loaded.Max(), 70);
    EXPECT_EQ(loaded.Title, "kept");
}

TEST(DescriptionsIni, DoubleRoundTripAndInvertedRangeIgnored)
{
    TestFolder folder;
    auto saved = InSection<TDescriptionOfDouble>(folder);
    saved.SetRange(-55.5, 125.25);
    saved.Precision = 7;
    saved.Digits = 1;
    saved.Dimension = "°С";
    ASSERT_TRUE(saved.Save());
    auto loaded = InSection<TDescriptionOfDouble>(folder);
    loaded.Load();
    EXPECT_EQ(loaded.Min(), -55.5);
    EXPECT_EQ(loaded.Max(), 125.25);
    EXPECT_EQ(loaded.Precision, 7);
    EXPECT_EQ(loaded.Digits, 1);
    EXPECT_EQ(loaded.Dimension, "°С");

    folder.Write("INI/values.ini", "[Root.V]\r\nMin=10\r\nMax=5\r\nPrecision=260\r\nDigits=x\r\n");
    auto inverted = InSection<TDescriptionOfDouble>(folder);
    inverted.Load();
    EXPECT_EQ(inverted.Min(), 0.0);
    EXPECT_EQ(inverted.Max(), 100.0);
    EXPECT_EQ(inverted.Precision, 4);  // kept in 8 bits
    EXPECT_EQ(inverted.Digits, 2);     // unreadable: unchanged
}

TEST(DescriptionsIni, StatesReadOnlyAsManyAsTheyHold)
{
    TestFolder folder;
    auto saved = InSection<TDescriptionOfStates>(folder);
    saved.Title = "T";
    saved.SetCaptions({"Норма", "Нет связи"});
    saved.SetColors1({clBlack, clRed});
    saved.SetAlarms({false, true});
    saved.States[1].ColorDB = 77;
    ASSERT_TRUE(saved.Save());
    EXPECT_EQ(SectionLines(folder.Read("INI/values.ini"), "Root.V"),
              QByteArrayList({"Title=T", "Hint=", "Captions[0]=\xCD\xEE\xF0\xEC\xE0", "Color1[0]=0",
                              "Color2[0]=0", "ColorDB[0]=0", "IsAlarm[0]=0",
                              "Captions[1]=\xCD\xE5\xF2 \xF1\xE2\xFF\xE7\xE8", "Color1[1]=255",
                              "Color2[1]=0", "ColorDB[1]=77", "IsAlarm[1]=1"}));

    auto empty = InSection<TDescriptionOfStates>(folder);
    empty.Load();
    EXPECT_EQ(empty.Title, "T");
    EXPECT_TRUE(empty.States.isEmpty());

    auto one = InSection<TDescriptionOfStates>(folder);
    one.SetCaptions({"x"});
    one.Load();
    ASSERT_EQ(one.States.size(), 1);
    EXPECT_EQ(one.States[0].Caption, "Норма");

    folder.Write("INI/values.ini", "[Root.V]\r\nIsAlarm[0]=5\r\n");
    one.Load();
    EXPECT_TRUE(one.States[0].IsAlarm);
}

TEST(DescriptionsIni, MissingFileKeepsEverythingAndUnwritableFileFails)
{
    TestFolder folder;
    auto description = InSection<TDescriptionOfThreeStates>(folder);
    description.Title = "kept";
    description.Load();
    EXPECT_EQ(description.Title, "kept");
    EXPECT_EQ(description.GetCaption(tsTrue), "On");

    folder.Write("file", "x");
    description.SetFileName(folder.Path("file/values.ini"));
    EXPECT_FALSE(description.Save());
}
