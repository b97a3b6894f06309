#include "dialogs/TextFit.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionViewItem>
#include <QTableView>

#include <algorithm>
#include <climits>

namespace {

// Room kept between the children of a group box and its frame, as the forms place them.
constexpr int kFrameMargin = 4;

template <class TControl>
int WidthByHint(TControl* control, const QStringList& texts)
{
    const QString shown = control->text();
    int width = 0;
    for (const QString& text : texts) {
        control->setText(text);
        width = std::max(width, control->sizeHint().width());
    }
    control->setText(shown);
    return width;
}

bool InLayout(const QWidget* widget)
{
    const QWidget* parent = widget->parentWidget();
    return parent && parent->layout() && parent->layout()->indexOf(widget) >= 0;
}

int RightmostChild(const QWidget* parent)
{
    int right = 0;
    for (const QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow())
            right = std::max(right, child->geometry().x() + child->width());
    return right;
}

}  // namespace

int WidthForTexts(QLabel* label, const QStringList& texts)
{
    return WidthByHint(label, texts);
}

int WidthForTexts(QAbstractButton* button, const QStringList& texts)
{
    auto* push = qobject_cast<QPushButton*>(button);
    if (!push)
        return WidthByHint(button, texts);
    // A push button's hint is never below 80 pixels, however short its text: the room inside its
    // frame is what the text needs.
    int width = 0;
    for (const QString& text : texts) {
        QStyleOptionButton option;
        option.initFrom(push);
        option.text = text;
        const QRect contents = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
        width = std::max(width, push->fontMetrics().horizontalAdvance(text) + push->width() - contents.width());
    }
    return width;
}

int CellWidthForTexts(const QTableView* grid, const QStringList& texts)
{
    QStyleOptionViewItem option;
    option.initFrom(grid);
    option.font = grid->font();
    option.fontMetrics = QFontMetrics(option.font);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.textElideMode = Qt::ElideNone;
    int width = 0;
    for (const QString& text : texts) {
        option.text = text;
        width = std::max(width, grid->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), grid).width());
    }
    return width + (grid->showGrid() ? 1 : 0);
}

void WidenColumn(const QList<QWidget*>& column, int width)
{
    if (column.isEmpty())
        return;
    if (InLayout(column.front())) {
        for (QWidget* widget : column) {
            widget->setMinimumWidth(std::max(widget->minimumWidth(), width));
            widget->setMaximumWidth(std::max(widget->maximumWidth(), width));
        }
        return;
    }
    // The rows of the column and its right edge, before and after it widens: what lies to its
    // right keeps its distance from it.
    int top = INT_MAX, bottom = INT_MIN, right = INT_MIN, widened = INT_MIN;
    for (QWidget* widget : column) {
        top = std::min(top, widget->y());
        bottom = std::max(bottom, widget->y() + widget->height());
        right = std::max(right, widget->x() + widget->width());
        widget->resize(std::max(widget->width(), width), widget->height());
        widened = std::max(widened, widget->x() + widget->width());
    }
    QWidget* parent = column.front()->parentWidget();
    if (widened <= right || !parent)
        return;
    for (QWidget* sibling : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (sibling->isWindow() || column.contains(sibling) || sibling->x() < right)
            continue;
        if (sibling->y() < bottom && sibling->y() + sibling->height() > top)
            sibling->move(sibling->x() + widened - right, sibling->y());
    }
    KeepInsideFrame(parent);
}

void KeepInsideFrame(QWidget* box)
{
    // A box laid out by its own parent follows the window, which is sized by its caller.
    if (InLayout(box) || box->isWindow())
        return;
    const int needed = RightmostChild(box) + kFrameMargin;
    if (needed > box->width())
        WidenColumn({box}, needed);
}

void WidenGridColumns(QTableView* grid, const std::function<QStringList(int column)>& texts)
{
    QHeaderView* header = grid->horizontalHeader();
    for (int column = 0; column < header->count(); ++column) {
        // A header without a caption has nothing to cut.
        const bool captioned = !header->model()->headerData(column, Qt::Horizontal).toString().isEmpty();
        const int needed = std::max(captioned ? header->sectionSizeHint(column) : 0, CellWidthForTexts(grid, texts(column)));
        if (needed > grid->columnWidth(column))
            grid->setColumnWidth(column, needed);
    }
}
