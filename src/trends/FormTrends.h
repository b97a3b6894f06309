#pragma once

#include "history/HistoryStore.h"
#include "trends/TrendData.h"

#include <QHash>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace Ui {
class FormTrends;
}

class QChart;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class TTrendsChartView;

// "Графики": the six sensors of one input over a span, with the set-point as a line and the
// sensors' faults marked in their states' colours; a second input may be drawn beside it. The
// readings come from the history database, read once per span; zooming and panning draw them
// again from memory, in detail for the part shown.
class TFormTrends : public QWidget
{
public:
    // Opens the database at databasePath (the program's own by default) and shows input over the
    // span ending now.
    explicit TFormTrends(int input, QWidget* parent = nullptr, const QString& databasePath = HistoryPath(),
                         ETrendSpan span = ETrendSpan::Day);
    ~TFormTrends() override;

    // Reads the span again and draws it whole.
    void ShowSpan(ETrendSpan span);
    void ShowDates(qint64 from, qint64 to);
    void SetCompareInput(int input);  // 0: none

    QChart* Chart() const;
    // The range read, and the part of it now shown.
    TTimeRange Range() const { return Range_; }
    TTimeRange Shown() const;
    const QVector<THistoryReading>& Readings() const { return Readings_[0]; }
    // The readings of both inputs within the part shown, as the CSV export writes them; the
    // operator is told how many and where. False, after a message to the operator, when there
    // were none or the file could not be written.
    bool ExportCsv(const QString& path);

    // Points drawn at most per line; more readings than that are bucketed (lows and highs kept).
    static constexpr int kMaxPoints = 1200;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct TInputSeries
    {
        QLineSeries* Sensors[6] = {};
        QLineSeries* Bound = nullptr;
    };

    void SetupChart();
    void CreateSeries(int set);
    void Reload();
    void Draw(const TTimeRange& visible);
    void ResetZoom();
    void ShownChanged();
    void Hover(QPointF value, QPoint position);
    void btExportClick();

    std::unique_ptr<Ui::FormTrends> Ui_;
    THistoryStore Store_;
    TTrendsChartView* View_ = nullptr;
    QLabel* HoverLabel_ = nullptr;
    QLabel* NoData_ = nullptr;  // over the chart while the span has no readings
    QDateTimeAxis* TimeAxis_ = nullptr;
    QValueAxis* ValueAxis_ = nullptr;
    TInputSeries Series_[2];
    QHash<int, QScatterSeries*> Faults_;  // by the state's colour number
    int Inputs_[2] = {0, 0};
    QVector<THistoryReading> Readings_[2];
    ETrendSpan Span_ = ETrendSpan::Day;
    TTimeRange Range_;
    double ValueMin_ = 0;
    double ValueMax_ = 1;
    QTimer Redraw_;
    bool Drawing_ = false;
};
