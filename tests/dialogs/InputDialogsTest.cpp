#include "dialogs/InputDialogs.h"

#include "DialogsSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {

template <class T>
T* Child(QWidget* window, const char* name)
{
    T* child = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void Type(QWidget* window, const char* field, const QString& text)
{
    QSpinBox* box = Child<QSpinBox>(window, field);
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, text);
}

struct Geometry
{
    QRect Label, Field, OK, Cancel;
    QSize Client;
    QString Caption;
    bool FieldFocused = false;
};

}  // namespace

TEST(InputDialogs, IntegerPromptOkCancelAndEsc)
{
    OnModal("TFormInputInteger", [](QWidget* w) {
        Type(w, "eiValue", "1500");
        QTest::mouseClick(Child<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_EQ(InputInteger("Введите", "Период опроса, мс [300, 20000]", 500, 300, 20000), 1500);

    bool ok = true;
    OnModal("TFormInputInteger", [](QWidget* w) {
        Type(w, "eiValue", "777");
        QTest::mouseClick(Child<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
    });
    EXPECT_EQ(InputIntegerEx("Введите", "Новый заводской номер прибора", 42, 1, 65535, ok), 42);
    EXPECT_FALSE(ok);

    OnModal("TFormInputInteger", [](QWidget* w) {
        Type(w, "eiValue", "777");
        QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
    });
    EXPECT_EQ(InputIntegerEx("Введите", "Новый заводской номер прибора", 42, 1, 65535, ok), 42);
    EXPECT_FALSE(ok);

    // Enter takes the default button; the field takes no number beyond its maximum.
    OnModal("TFormInputInteger", [](QWidget* w) {
        Type(w, "eiValue", "99999");
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(InputIntegerEx("Введите", "Новый заводской номер прибора", 42, 1, 65535, ok), 9999);
    EXPECT_TRUE(ok);
}

TEST(InputDialogs, IntegerDialogSizesItselfToThePrompt)
{
    const auto measure = [](const QString& prompt) {
        Geometry g;
        OnModal("TFormInputInteger", [&g](QWidget* w) {
            g.Label = Child<QLabel>(w, "lblCaption")->geometry();
            g.Field = Child<QSpinBox>(w, "eiValue")->geometry();
            g.OK = Child<QPushButton>(w, "OKBtn")->geometry();
            g.Cancel = Child<QPushButton>(w, "CancelBtn")->geometry();
            g.Client = w->size();
            g.Caption = w->windowTitle() + u'|' + Child<QPushButton>(w, "CancelBtn")->text();
            g.FieldFocused = w->focusWidget() == Child<QSpinBox>(w, "eiValue");
            QTest::keyClick(w, Qt::Key_Escape);
        });
        InputInteger("Введите", prompt, 5, 1, 10);
        return g;
    };

    const Geometry wide = measure("Новый заводской номер прибора");
    ASSERT_GT(wide.Label.width(), 75);
    EXPECT_EQ(wide.Caption, "Введите|Отменить");
    EXPECT_TRUE(wide.FieldFocused);
    EXPECT_EQ(wide.Label.x(), 5);
    EXPECT_EQ(wide.Field.x(), wide.Label.width() + 10);
    EXPECT_EQ(wide.Field.width(), 75);
    EXPECT_EQ(wide.Client.width(), wide.Label.width() + 75 + 15);
    // The buttons stay in the bottom right corner.
    EXPECT_EQ(wide.Client.width() - wide.Cancel.right() - 1, 5);
    EXPECT_EQ(wide.Cancel.x() - wide.OK.right() - 1, 5);
    EXPECT_EQ(wide.Client.height() - wide.Cancel.bottom() - 1, 5);

    // Two buttons of 75 and 15 between and beside them: 165 across (173 with the window's frame).
    const Geometry narrow = measure("N");
    ASSERT_LT(narrow.Label.width(), 75);
    EXPECT_EQ(narrow.Client, QSize(165, 68));
    EXPECT_EQ(narrow.Field.x(), 165 - 75 - 5);
    EXPECT_EQ(narrow.OK.x(), 5);

    // A prompt of two lines lower than the field makes the form taller by the difference.
    const Geometry tall = measure("Первая строка\nвторая строка\nтретья");
    EXPECT_EQ(tall.Client.height(), 68 + tall.Label.bottom() - tall.Field.bottom());
    EXPECT_EQ(tall.Client.height() - tall.Cancel.bottom() - 1, 5);
}

TEST(InputDialogs, SystemAddressReturnsAllThreeOnOkAndNothingOnCancel)
{
    quint16 plant = 3107;
    quint8 current = 9;
    bool ok = false;
    QString caption;
    bool newFocused = false;
    OnModal("TFormInputSystemAddress", [&](QWidget* w) {
        caption = w->windowTitle();
        newFocused = w->focusWidget() == Child<QSpinBox>(w, "ieSysAddrNew");
        EXPECT_EQ(Child<QSpinBox>(w, "eiPlantNumber")->value(), 3107);
        EXPECT_EQ(Child<QSpinBox>(w, "ieSysAddrCurr")->value(), 0);
        Type(w, "ieSysAddrNew", "17");
        Type(w, "ieSysAddrCurr", "200");
        Type(w, "eiPlantNumber", "4000");
        QTest::mouseClick(Child<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_EQ(InputSystemAddress(5, 1, 247, plant, ok, current), 17);
    EXPECT_TRUE(ok);
    EXPECT_EQ(plant, 4000);
    EXPECT_EQ(current, 200);
    EXPECT_EQ(caption, "Введите новый системный адрес");
    EXPECT_TRUE(newFocused);

    OnModal("TFormInputSystemAddress", [](QWidget* w) {
        Type(w, "ieSysAddrNew", "30");
        Type(w, "eiPlantNumber", "1");
        QTest::mouseClick(Child<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
    });
    EXPECT_EQ(InputSystemAddress(5, 1, 247, plant, ok, current), 5);
    EXPECT_FALSE(ok);
    EXPECT_EQ(plant, 4000);
    EXPECT_EQ(current, 200);
}

TEST(InputDialogs, ModbusParamsListTheControllersCodes)
{
    quint8 baud = 6, parity = 2;
    QStringList bauds, parities;
    QString shown;
    OnModal("TFormInputModbusParams", [&](QWidget* w) {
        auto* cb = Child<QComboBox>(w, "cbBaudRate");
        for (int i = 0; i < cb->count(); ++i)
            bauds << cb->itemText(i);
        auto* cp = Child<QComboBox>(w, "cbParity");
        for (int i = 0; i < cp->count(); ++i)
            parities << cp->itemText(i);
        shown = cb->currentText() + u'|' + cp->currentText();
        EXPECT_EQ(w->focusWidget(), cb);
        QTest::mouseClick(Child<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(InputModbusParams(baud, parity));
    EXPECT_EQ(baud, 6);
    EXPECT_EQ(parity, 2);
    EXPECT_EQ(shown, "9600 бит/с|Even parity");
    ASSERT_EQ(bauds.size(), 13);
    EXPECT_EQ(bauds.first(), "110 бит/с");
    EXPECT_EQ(bauds.last(), "115200 бит/с");
    EXPECT_EQ(parities, (QStringList{"No parity", "Odd parity", "Even parity"}));

    OnModal("TFormInputModbusParams", [](QWidget* w) {
        Child<QComboBox>(w, "cbBaudRate")->setCurrentIndex(12);
        Child<QComboBox>(w, "cbParity")->setCurrentIndex(0);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(InputModbusParams(baud, parity));
    EXPECT_EQ(baud, 6);

    OnModal("TFormInputModbusParams", [](QWidget* w) {
        Child<QComboBox>(w, "cbBaudRate")->setCurrentIndex(12);
        Child<QComboBox>(w, "cbParity")->setCurrentIndex(0);
        QTest::mouseClick(Child<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(InputModbusParams(baud, parity));
    EXPECT_EQ(baud, 12);
    EXPECT_EQ(parity, 0);

    // A code outside the list selects nothing, and OK waits for a choice.
    baud = 40;
    bool okEnabled = true;
    OnModal("TFormInputModbusParams", [&](QWidget* w) {
        EXPECT_EQ(Child<QComboBox>(w, "cbBaudRate")->currentIndex(), -1);
        okEnabled = Child<QPushButton>(w, "OKBtn")->isEnabled();
        Child<QComboBox>(w, "cbBaudRate")->setCurrentIndex(3);
        QTest::mouseClick(Child<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(InputModbusParams(baud, parity));
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(baud, 3);
}

TEST(InputDialogs, AboutBoxShowsTheTitleWithItsShadowAndCloses)
{
    QString title, shadow, version, caption;
    QPoint offset;
    bool picture = false;
    OnModal("TFormAbout", [&](QWidget* w) {
        caption = w->windowTitle();
        auto* lbTitle = Child<QLabel>(w, "lbTitle");
        auto* lbShadow = Child<QLabel>(w, "lbTitleShadow");
        title = lbTitle->text();
        shadow = lbShadow->text();
        offset = lbShadow->pos() - lbTitle->pos();
        version = Child<QLabel>(w, "lbVersion")->text();
        picture = !Child<QLabel>(w, "imgPicture")->pixmap().isNull();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(ShowAbout(), 0);
    EXPECT_EQ(caption, "О программе");
    EXPECT_EQ(title, "Orvela - Программа настройки");
    EXPECT_EQ(shadow, title);
    EXPECT_EQ(offset, QPoint(1, 1));
    EXPECT_TRUE(version.startsWith("Версия "));
    EXPECT_TRUE(picture);
}
