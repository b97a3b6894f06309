#pragma once

#include <QColor>
#include <QHash>
#include <QImage>
#include <QString>
#include <QVector>
#include <QWidget>

// One line of text that changes at every exchange (a command's name, a frame's bytes). Laying out
// and drawing its glyphs anew each time costs the UI thread more than the rest of a cycle: each
// blank-separated word is drawn from an image made once in the line's font and colours, on the
// background of the widget's background role in the colour of its foreground role.
class TWordLine : public QWidget
{
public:
    // margin: blank pixels left and right of the text.
    explicit TWordLine(QWidget* parent = nullptr, int margin = 0);

    QString text() const { return Text_; }
    void setText(const QString& text);
    void clear() { setText(QString()); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

    // What the text was set to, for the subclass to place its cursor.
    virtual void TextSet() {}
    // The text's box: inside the margins, one line high and centred.
    QRect LineRect() const;
    QPalette::ColorGroup Group() const;
    // Draws the background and the words shifted left by HScroll pixels, within exposed.
    void DrawWords(QPainter& painter, const QRect& exposed);

    // The x of each character boundary from the text's start.
    QVector<qreal> Edges;
    int HScroll = 0;

private:
    // A word of the text and the columns its image covers, HScroll to the right of where it is drawn.
    struct TWord
    {
        qsizetype From;
        qsizetype Size;
        int Left;
        int Right;
    };

    qreal Advance(QChar c);
    qreal Advance(QStringView word);
    void Measure();
    // Where the screen differs between the text before, with its words, and the text now.
    QRect Changed(const QString& before, const QVector<TWord>& placed) const;
    const QImage& WordImage(QStringView word);

    const int Margin_;
    QString Text_;
    QVector<TWord> Placed_;
    // Word images in the colours and pixel ratio they were made for.
    QHash<QString, QImage> Images_;
    QColor WordsBase_;
    QColor WordsText_;
    qreal WordsRatio_ = 0;
    // Advances of the characters up to the Cyrillic block, 0 until asked.
    qreal Advances_[0x500] = {};
};
