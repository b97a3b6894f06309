#include "trends/TrendsChartView.h"

#include <QChart>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {

constexpr double kWheelStep = 1.25;  // zoom factor of one wheel notch
constexpr int kKeyPan = 40;          // pixels an arrow key pans

}  // namespace

TTrendsChartView::TTrendsChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent)
{
    setRubberBand(QChartView::HorizontalRubberBand);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setRenderHint(QPainter::Antialiasing, false);
}

void TTrendsChartView::wheelEvent(QWheelEvent* event)
{
    QChart* c = chart();
    if (!c || event->angleDelta().y() == 0)
        return;
    const double factor = event->angleDelta().y() > 0 ? kWheelStep : 1 / kWheelStep;
    // Zoom about the cursor: the plot area shrinks or grows around the point under it.
    const QRectF plot = c->plotArea();
    const QPointF at = c->mapFromScene(mapToScene(event->position().toPoint()));
    QRectF area(plot);
    area.setWidth(plot.width() / factor);
    area.setHeight(plot.height() / factor);
    area.moveLeft(at.x() - (at.x() - plot.left()) / factor);
    area.moveTop(at.y() - (at.y() - plot.top()) / factor);
    c->zoomIn(area);
    event->accept();
}

void TTrendsChartView::mousePressEvent(QMouseEvent* event)
{
    const bool pan = event->button() == Qt::MiddleButton ||
                     (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier));
    if (pan) {
        Panning_ = true;
        PanFrom_ = event->position();
        setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        if (OnResetZoom)
            OnResetZoom();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void TTrendsChartView::mouseMoveEvent(QMouseEvent* event)
{
    if (Panning_ && chart()) {
        const QPointF delta = event->position() - PanFrom_;
        PanFrom_ = event->position();
        chart()->scroll(-delta.x(), delta.y());
    }
    if (chart() && OnHover) {
        const QPointF scene = mapToScene(event->position().toPoint());
        const QPointF item = chart()->mapFromScene(scene);
        if (chart()->plotArea().contains(item))
            OnHover(chart()->mapToValue(item), event->position().toPoint());
        else if (OnLeave)
            OnLeave();
    }
    QChartView::mouseMoveEvent(event);
}

void TTrendsChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (Panning_) {
        Panning_ = false;
        unsetCursor();
        event->accept();
        return;
    }
    // The right button is ours: the view's own would zoom out by a step.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void TTrendsChartView::keyPressEvent(QKeyEvent* event)
{
    QChart* c = chart();
    if (!c)
        return QChartView::keyPressEvent(event);
    switch (event->key()) {
    case Qt::Key_Left:
        c->scroll(-kKeyPan, 0);
        break;
    case Qt::Key_Right:
        c->scroll(kKeyPan, 0);
        break;
    case Qt::Key_Up:
        c->scroll(0, kKeyPan);
        break;
    case Qt::Key_Down:
        c->scroll(0, -kKeyPan);
        break;
    case Qt::Key_Plus:
        c->zoom(kWheelStep);
        break;
    case Qt::Key_Minus:
        c->zoom(1 / kWheelStep);
        break;
    case Qt::Key_Home:
        if (OnResetZoom)
            OnResetZoom();
        break;
    default:
        return QChartView::keyPressEvent(event);
    }
    event->accept();
}

void TTrendsChartView::leaveEvent(QEvent* event)
{
    if (OnLeave)
        OnLeave();
    QChartView::leaveEvent(event);
}

void TTrendsChartView::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    if (OnResize)
        OnResize();
}
