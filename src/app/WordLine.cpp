#include "app/WordLine.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <iterator>
#include <utility>

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
    const QString before = Text_;
    const QVector<TWord> placed = std::exchange(Placed_, {});
    Text_ = text;
    Measure();
    TextSet();
    // From one frame to the next most bytes stay where they were: only the stretch of words that
    // differ is drawn again, and the rest stays on screen as it is.
    if (scrolled == HScroll)
        update(Changed(before, placed));
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

qreal TWordLine::Advance(QStringView word)
{
    qreal advance = 0;
    for (const QChar c : word)
        advance += Advance(c);
    return advance;
}

void TWordLine::Measure()
{
    const qsizetype size = Text_.size();
    const QChar* chars = Text_.constData();
    Edges.resize(size + 1);
    qreal* edges = Edges.data();
    qreal x = 0;
    for (qsizetype i = 0; i < size; ++i) {
        edges[i] = x;
        x += Advance(chars[i]);
    }
    edges[size] = x;
    Placed_.clear();
    Placed_.reserve(size / 2 + 1);
    for (qsizetype from = 0, to = 0; from < size; from = to + 1) {
        for (to = from; to < size && chars[to] != u' ';)
            ++to;
        // As drawn: the image's width from the same advances, and a pixel for the rounding.
        const int left = Margin_ + qRound(edges[from]);
        if (to > from)
            Placed_.append({from, to - from, left, left + qCeil(edges[to] - edges[from]) + kOverhang + 1});
    }
}

QRect TWordLine::Changed(const QString& before, const QVector<TWord>& placed) const
{
    // One rectangle: a painter clipped to several draws each image the slow way.
    int left = INT_MAX;
    int right = INT_MIN;
    const auto add = [&](const TWord& word) {
        left = std::min(left, word.Left);
        right = std::max(right, word.Right);
    };
    // Both run left to right; the same word at the same place is the same image.
    for (qsizetype i = 0, j = 0; i < placed.size() || j < Placed_.size();) {
        const TWord* old = i < placed.size() ? &placed[i] : nullptr;
        const TWord* now = j < Placed_.size() ? &Placed_[j] : nullptr;
        if (old && now && old->Left == now->Left) {
            if (QStringView(before).mid(old->From, old->Size) != QStringView(Text_).mid(now->From, now->Size)) {
                add(*old);
                add(*now);
            }
            ++i;
            ++j;
        } else if (old && (!now || old->Left < now->Left)) {
            add(*old);
            ++i;
        } else {
            add(*now);
            ++j;
        }
    }
    return left < right ? QRect(left - HScroll, 0, right - left, height()) : QRect();
}

const QImage& TWordLine::WordImage(QStringView word)
{
    // Looked up without a copy of the word: only a new one is kept.
    if (const auto found = Images_.constFind(QString::fromRawData(word.data(), word.size())); found != Images_.cend())
        return *found;
    if (Images_.size() >= kMaxWords)
        Images_.clear();
    const QFontMetrics metrics(font());
    const QSize size(qCeil(Advance(word)) + kOverhang, metrics.height());
    QImage image(size * WordsRatio_, QImage::Format_RGB32);
    image.setDevicePixelRatio(WordsRatio_);
    image.fill(WordsBase_);
    QPainter painter(&image);
    painter.setFont(font());
    painter.setPen(WordsText_);
    painter.drawText(QPointF(0, metrics.ascent()), word.toString());
    painter.end();
    return *Images_.insert(word.toString(), std::move(image));
}

void TWordLine::DrawWords(QPainter& painter, const QRect& exposed)
{
    const QColor base = palette().color(Group(), backgroundRole());
    const QColor text = palette().color(Group(), foregroundRole());
    if (base != WordsBase_ || text != WordsText_ || devicePixelRatioF() != WordsRatio_) {
        Images_.clear();
        WordsBase_ = base;
        WordsText_ = text;
        WordsRatio_ = devicePixelRatioF();
    }
    painter.fillRect(exposed, base);
    const QRect line = LineRect();
    painter.setClipRect(line & exposed);
    for (const TWord& word : Placed_) {
        const int left = word.Left - HScroll;
        if (left > exposed.right())
            break;
        if (left + (word.Right - word.Left) > exposed.left())
            painter.drawImage(QPoint(left, line.y()), WordImage(QStringView(Text_).mid(word.From, word.Size)));
    }
}

void TWordLine::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    DrawWords(painter, event->rect());
}

void TWordLine::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        std::fill(std::begin(Advances_), std::end(Advances_), 0);
        Images_.clear();
        Measure();
        TextSet();
        updateGeometry();
    }
    QWidget::changeEvent(event);
}
