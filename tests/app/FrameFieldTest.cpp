#include "app/FrameField.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The field on screen at a given width, as the protocol area has it.
struct Field
{
    explicit Field(int width)
    {
        Widget.resize(width, Widget.sizeHint().height());
        Widget.show();
        Widget.activateWindow();
        Widget.setFocus();
    }

    QString WordAt(int x)
    {
        QTest::mouseDClick(&Widget, Qt::LeftButton, {}, QPoint(x, Widget.height() / 2));
        return Widget.selectedText();
    }

    // The rightmost column holding a pixel of another colour than the background: drawn anew, or
    // as the screen has it after the updates so far.
    int InkEnd(bool onScreen = false)
    {
        QCoreApplication::processEvents();
        const QImage image = onScreen ? Widget.screen()->grabWindow(Widget.winId()).toImage() : Widget.grab().toImage();
        const QRgb background = image.pixel(0, 0);
        int end = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != background)
                    end = std::max(end, x);
        return end;
    }

    TFrameField Widget;
};

bool HasPixel(const QImage& image, bool (*test)(QColor))
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (test(image.pixelColor(x, y)))
                return true;
    return false;
}

} // namespace

TEST(FrameField, SelectsAndCopiesAsALineEdit)
{
    Field field(400);
    field.Widget.setText(QStringLiteral("01 03 00 0A"));
    EXPECT_TRUE(field.Widget.selectedText().isEmpty());

    QTest::keyClick(&field.Widget, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field.Widget.selectedText(), "01 03 00 0A");
    QTest::keyClick(&field.Widget, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "01 03 00 0A");

    QTest::keyClick(&field.Widget, Qt::Key_End);
    QTest::keyClick(&field.Widget, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(&field.Widget, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(field.Widget.selectedText(), "0A");
    QTest::keyClick(&field.Widget, Qt::Key_Right);
    QTest::keyClick(&field.Widget, Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(field.Widget.selectedText(), "01 03 00 0");

    // A byte by a double click, a stretch by dragging over it.
    const int second = field.Widget.fontMetrics().horizontalAdvance(QStringLiteral("01 0")) + 2;
    EXPECT_EQ(field.WordAt(second), "03");
    QTest::mousePress(&field.Widget, Qt::LeftButton, {}, QPoint(1, 5));
    QTest::mouseMove(&field.Widget, QPoint(399, 5));
    QTest::mouseRelease(&field.Widget, Qt::LeftButton, {}, QPoint(399, 5));
    EXPECT_EQ(field.Widget.selectedText(), "01 03 00 0A");

    // The next exchange's text replaces the selection, as setting a line edit's text does.
    field.Widget.setText(QStringLiteral("Нет ответа"));
    EXPECT_TRUE(field.Widget.selectedText().isEmpty());
    EXPECT_EQ(field.Widget.text(), "Нет ответа");
}

TEST(FrameField, AWideTextShowsItsStartUntilTheOperatorGoesToItsEnd)
{
    const QString frame = QStringLiteral("AA BB CC DD EE FF 11 22 33 44 55 66 77 88 99");
    Field narrow(90);
    narrow.Widget.setText(frame);
    EXPECT_EQ(narrow.WordAt(4), "AA");
    QTest::keyClick(&narrow.Widget, Qt::Key_End);
    const QString shown = narrow.WordAt(4);
    EXPECT_TRUE(frame.indexOf(shown) > frame.size() / 2) << shown.toStdString();
    // The next frame shows its start again.
    narrow.Widget.setText(frame);
    EXPECT_EQ(narrow.WordAt(4), "AA");

    Field wide(1000);
    wide.Widget.setText(frame);
    EXPECT_EQ(wide.WordAt(4), "AA");
}

TEST(FrameField, DrawsInTheFontAndColoursItHasNow)
{
    Field field(300);
    field.Widget.setText(QStringLiteral("88 88"));
    const int inkEnd = field.InkEnd();
    EXPECT_GT(inkEnd, 4);

    // Words drawn before are not reused in another colour or size.
    QPalette red = field.Widget.palette();
    red.setColor(QPalette::Text, Qt::red);
    field.Widget.setPalette(red);
    EXPECT_TRUE(HasPixel(field.Widget.grab().toImage(),
                         [](QColor c) { return c.red() > 200 && c.green() < 80 && c.blue() < 80; }));
    QFont larger = field.Widget.font();
    larger.setPixelSize(QFontInfo(larger).pixelSize() * 2);
    field.Widget.setFont(larger);
    field.Widget.resize(300, field.Widget.sizeHint().height());
    EXPECT_GT(field.InkEnd(), inkEnd * 3 / 2);

    field.Widget.clear();
    EXPECT_EQ(field.InkEnd(), -1);
}

TEST(FrameField, WhatIsOnScreenIsTheFrameItHolds)
{
    // Bytes changed in place, words growing and shrinking (all after them moves), a shorter and a
    // longer frame, the same frame again, no answer, and a selection replaced by the next frame.
    const QStringList frames = {
        QStringLiteral("1 3 80 0 1 78 33 0 5 0 240 0 0 0 0 0 0 0 0"),
        QStringLiteral("1 3 80 0 1 78 37 0 5 0 240 0 0 0 0 0 0 0 0"),
        QStringLiteral("1 3 80 0 1 178 37 0 5 0 24 0 0 0 0 0 0 0 0"),
        QStringLiteral("1 3 80 0 1 1 37 0 5 0 24 0 0 0 0 0 0 0 0"),
        QStringLiteral("1 3 0 50"),
        QStringLiteral("1 3 0 50"),
        QStringLiteral("Нет ответа"),
        QStringLiteral("1 3 80 0 1 78 33 0 5 0 240 0 0 0 0 0 0 0 0 255 255 255"),
        QStringLiteral("1  3 80 0 1 78 33 0 5 0 240 0 0 0 0 0 0 0 0 255 255 255"),
        QStringLiteral("1  3 80 0 1 78 33 0 5 0 240 0 0 0 0 0 0 0 0 255 255 250"),
    };
    // Wide enough for every frame, and so narrow that the longer ones scroll to their end.
    for (const int width : {600, 150}) {
        Field field(width);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&field.Widget));
        const auto screenMatches = [&] {
            QCoreApplication::processEvents();
            const QImage screen = field.Widget.screen()->grabWindow(field.Widget.winId()).toImage();
            return screen.convertToFormat(QImage::Format_RGB32) ==
                   field.Widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
        };
        for (const QString& frame : frames) {
            field.Widget.setText(frame);
            EXPECT_TRUE(screenMatches()) << width << ": " << frame.toStdString();
        }
        QTest::keyClick(&field.Widget, Qt::Key_A, Qt::ControlModifier);
        EXPECT_TRUE(screenMatches());
        field.Widget.setText(frames.back());
        EXPECT_TRUE(screenMatches()) << width << ": the selection is gone from the screen";
    }
}
