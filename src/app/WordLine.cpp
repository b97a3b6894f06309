#include "app/WordLine.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <iterator>

namespace {

// Hex and decimal bytes are 512 words; a bound keeps odd texts from growing it for ever.
constexpr qsizetype kMaxWords = 1024;
// Room in a word's image for a glyph reaching past its advance; the blank after the word takes it.
constexpr int kOverhang = 2;

} // namespace

TWordLine::TWordLine(QWidget* parent, int margin)
    : QWidget(parent)
    , Margin_(margin)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    Edges = {0};
}

void TWordLine::setText(const QString& text)
{
    const int scrolled = HScroll;
    const qreal end = Edges.back();
    Text_ = text;
    Measure();
    TextSet();
    // A frame is often far shorter than its field: only what either text covers is drawn again.
    if (scrolled == 0 && HScroll == 0)
        update(0, 0, Margin_ + qCeil(std::max(end, Edges.back())) + kOverhang, height());
    else
        update();
}

QSize TWordLine::sizeHint() const
{
    return {qCeil(Edges.back()) + 2 * Margin_, QFontMetrics(font()).height()};
}

QRect TWordLine::LineRect() const
{
    const int height = QFontMetrics(font()).height();
    return {Margin_, (this->height() - height + 1) / 2, width() - 2 * Margin_, height};
}

QPalette::ColorGroup TWordLine::Group() const
{
    return !isEnabled() ? QPalette::Disabled : isActiveWindow() ? QPalette::Active : QPalette::Inactive;
}

qreal TWordLine::Advance(QChar c)
{
    const char16_t code = c.unicode();
    if (code >= std::size(Advances_))
        return QFontMetricsF(font()).horizontalAdvance(c);
    if (Advances_[code] == 0)
        Advances_[code] = QFontMetricsF(font()).horizontalAdvance(c);
    return Advances_[code];
}

void TWordLine::Measure()
{
    Edges.resize(Text_.size() + 1);
    qreal x = 0;
    for (qsizetype i = 0; i < Text_.size(); ++i) {
        Edges[i] = x;
        x += Advance(Text_[i]);
    }
    Edges.back() = x;
}

const QImage& TWordLine::WordImage(const QString& word)
{
    if (const auto found = Words_.constFind(word); found != Words_.cend())
        return *found;
    if (Words_.size() >= kMaxWords)
        Words_.clear();
    const QFontMetrics metrics(font());
    const QSize size(qCeil(QFontMetricsF(font()).horizontalAdvance(word)) + kOverhang, metrics.height());
    QImage image(size * WordsRatio_, QImage::Format_RGB32);
    image.setDevicePixelRatio(WordsRatio_);
    image.fill(WordsBase_);
    QPainter painter(&image);
    painter.setFont(font());
    painter.setPen(WordsText_);
    painter.drawText(QPointF(0, metrics.ascent()), word);
    painter.end();
    return *Words_.insert(word, std::move(image));
}

void TWordLine::DrawWords(QPainter& painter)
{
    const QColor base = palette().color(Group(), backgroundRole());
    const QColor text = palette().color(Group(), foregroundRole());
    if (base != WordsBase_ || text != WordsText_ || devicePixelRatioF() != WordsRatio_) {
        Words_.clear();
        WordsBase_ = base;
        WordsText_ = text;
        WordsRatio_ = devicePixelRatioF();
    }
    painter.fillRect(rect(), base);
    const QRect line = LineRect();
    painter.setClipRect(line);
    const qreal left = line.x() - HScroll;
    const qsizetype size = Text_.size();
    for (qsizetype from = 0, to = 0; from < size; from = to + 1) {
        to = Text_.indexOf(QLatin1Char(' '), from);
        if (to < 0)
            to = size;
        if (to == from || left + Edges[to] < line.left() || left + Edges[from] > line.right())
            continue;
        painter.drawImage(QPoint(qRound(left + Edges[from]), line.y()), WordImage(Text_.mid(from, to - from)));
    }
}

void TWordLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    DrawWords(painter);
}

void TWordLine::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        std::fill(std::begin(Advances_), std::end(Advances_), 0);
        Words_.clear();
        Measure();
        TextSet();
        updateGeometry();
    }
    QWidget::changeEvent(event);
}
