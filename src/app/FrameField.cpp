#include "app/FrameField.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace {

// The line edit's margins around its text.
constexpr int kHorizontalMargin = 2;
constexpr int kVerticalMargin = 1;

} // namespace

TFrameField::TFrameField(QWidget* parent)
    : TWordLine(parent, kHorizontalMargin)
{
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
    setBackgroundRole(QPalette::Base);
    setForegroundRole(QPalette::Text);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QString TFrameField::selectedText() const
{
    return text().mid(std::min(Cursor_, Anchor_), std::abs(Cursor_ - Anchor_));
}

QSize TFrameField::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QLatin1Char('x')) * 17 + 2 * kHorizontalMargin,
            std::max(metrics.height(), 14) + 2 * kVerticalMargin};
}

QSize TFrameField::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.maxWidth() + 2 * kHorizontalMargin, metrics.height() + 2 * kVerticalMargin};
}

void TFrameField::TextSet()
{
    // The selection on screen goes with the text it was in.
    if (Cursor_ != Anchor_)
        update();
    // A frame longer than the field shows its start: the address and the function.
    Cursor_ = Anchor_ = 0;
    HScroll = 0;
    Scroll();
}

int TFrameField::PositionAt(qreal x) const
{
    const qreal along = x - LineRect().x() + HScroll;
    const auto after = std::lower_bound(Edges.cbegin(), Edges.cend(), along);
    if (after == Edges.cbegin())
        return 0;
    if (after == Edges.cend())
        return static_cast<int>(Edges.size() - 1);
    const auto before = std::prev(after);
    return static_cast<int>((along - *before < *after - along ? before : after) - Edges.cbegin());
}

void TFrameField::MoveCursor(int position, bool select)
{
    Cursor_ = std::clamp(position, 0, static_cast<int>(text().size()));
    if (!select)
        Anchor_ = Cursor_;
    Scroll();
    update();
}

void TFrameField::SelectAll()
{
    Anchor_ = 0;
    MoveCursor(static_cast<int>(text().size()), true);
}

void TFrameField::Scroll()
{
    const int width = LineRect().width();
    const int cursor = qRound(Edges[Cursor_]);
    const int used = qRound(Edges.back()) + 1;
    if (used <= width)
        HScroll = 0;
    else if (cursor - HScroll >= width)
        HScroll = cursor - width + 1;
    else if (cursor - HScroll < 0 && HScroll < used)
        HScroll = cursor;
    else if (used - HScroll < width)
        HScroll = used - width + 1;
    else
        HScroll = std::max(0, HScroll);
}

void TFrameField::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    DrawWords(painter, event->rect());
    if (Cursor_ == Anchor_)
        return;
    const int from = std::min(Cursor_, Anchor_);
    const int to = std::max(Cursor_, Anchor_);
    const QRect line = LineRect();
    const QRectF selection(line.x() - HScroll + Edges[from], line.y(), Edges[to] - Edges[from], line.height());
    painter.setClipRect(selection.toAlignedRect() & line);
    painter.fillRect(selection, palette().brush(Group(), QPalette::Highlight));
    painter.setPen(palette().color(Group(), QPalette::HighlightedText));
    painter.drawText(QPointF(selection.left(), line.y() + fontMetrics().ascent()), selectedText());
}

void TFrameField::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        MoveCursor(PositionAt(event->position().x()), event->modifiers() & Qt::ShiftModifier);
}

void TFrameField::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        MoveCursor(PositionAt(event->position().x()), true);
}

void TFrameField::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Copy(QClipboard::Selection);
}

void TFrameField::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // The word under the pointer: one byte of a frame.
    const QString& line = text();
    const int at = PositionAt(event->position().x());
    const qsizetype blankBefore = at > 0 ? line.lastIndexOf(QLatin1Char(' '), at - 1) : -1;
    const qsizetype blankAfter = line.indexOf(QLatin1Char(' '), at);
    Anchor_ = static_cast<int>(blankBefore + 1);
    MoveCursor(static_cast<int>(blankAfter < 0 ? line.size() : blankAfter), true);
    Copy(QClipboard::Selection);
}

void TFrameField::keyPressEvent(QKeyEvent* event)
{
    const int end = static_cast<int>(text().size());
    if (event->matches(QKeySequence::Copy))
        Copy(QClipboard::Clipboard);
    else if (event->matches(QKeySequence::SelectAll))
        SelectAll();
    else if (event->matches(QKeySequence::MoveToNextChar) || event->matches(QKeySequence::SelectNextChar))
        MoveCursor(Cursor_ + 1, event->matches(QKeySequence::SelectNextChar));
    else if (event->matches(QKeySequence::MoveToPreviousChar) || event->matches(QKeySequence::SelectPreviousChar))
        MoveCursor(Cursor_ - 1, event->matches(QKeySequence::SelectPreviousChar));
    else if (event->matches(QKeySequence::MoveToStartOfLine) || event->matches(QKeySequence::SelectStartOfLine))
        MoveCursor(0, event->matches(QKeySequence::SelectStartOfLine));
    else if (event->matches(QKeySequence::MoveToEndOfLine) || event->matches(QKeySequence::SelectEndOfLine))
        MoveCursor(end, event->matches(QKeySequence::SelectEndOfLine));
    else
        event->ignore();
}

void TFrameField::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("Копировать"), this, [this] { Copy(QClipboard::Clipboard); });
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(Cursor_ != Anchor_);
    menu.addSeparator();
    QAction* all = menu.addAction(QStringLiteral("Выделить все"), this, [this] { SelectAll(); });
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(!text().isEmpty());
    menu.exec(event->globalPos());
}

void TFrameField::focusOutEvent(QFocusEvent* event)
{
    // As in a line edit: the selection goes when the operator moves elsewhere, not for a popup.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason &&
        Cursor_ != Anchor_) {
        Anchor_ = Cursor_;
        update();
    }
    TWordLine::focusOutEvent(event);
}

void TFrameField::resizeEvent(QResizeEvent* event)
{
    Scroll();
    TWordLine::resizeEvent(event);
}

void TFrameField::Copy(QClipboard::Mode mode) const
{
    QClipboard* clipboard = QApplication::clipboard();
    if (Cursor_ != Anchor_ && (mode == QClipboard::Clipboard || clipboard->supportsSelection()))
        clipboard->setText(selectedText(), mode);
}
