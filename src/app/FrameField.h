#pragma once

#include "app/WordLine.h"

#include <QClipboard>

// A read-only one-line field for the frames of the protocol area, drawn word by word. The operator
// selects with the mouse or the keyboard and copies as in a line edit; a text wider than the field
// shows its end, as a line edit's does after its text is set.
class TFrameField : public TWordLine
{
public:
    explicit TFrameField(QWidget* parent = nullptr);

    QString selectedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void TextSet() override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int PositionAt(qreal x) const;
    void MoveCursor(int position, bool select);
    void SelectAll();
    // The line edit's rule: a text that fits starts at the left; one that does not keeps the
    // cursor in view and no blank after its end.
    void Scroll();
    void Copy(QClipboard::Mode mode) const;

    int Cursor_ = 0;
    int Anchor_ = 0;
};
