#pragma once

#include <QChartView>

#include <functional>

// The chart with the operator's hands on it: the left button drags a rubber band to zoom into a
// time span, the wheel zooms about the cursor, the middle button (or Ctrl with the left) drags to
// pan, the arrow keys pan, the right button or Home shows the whole span again. OnHover gets the
// value under the cursor (time in ms, °C) and the cursor's position; OnLeave when it leaves.
class TTrendsChartView : public QChartView
{
public:
    // Takes the chart over.
    TTrendsChartView(QChart* chart, QWidget* parent);

    std::function<void(QPointF value, QPoint position)> OnHover;
    std::function<void()> OnLeave;
    std::function<void()> OnResetZoom;
    std::function<void()> OnResize;

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool Panning_ = false;
    QPointF PanFrom_;
};
