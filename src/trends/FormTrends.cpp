#include "trends/FormTrends.h"

#include "values/ColorNumber.h"
#include "common/OperatorMessage.h"
#include "common/ProgramFolder.h"
#include "common/TextFile.h"
#include "device/VantorCodes.h"
#include "device/VantorInput.h"
#include "history/HistoryCsv.h"
#include "trends/TrendsChartView.h"

#include "ui_FormTrends.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QToolTip>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kRedrawDelay = 40;  // ms: a wheel turn or a drag redraws once, when it pauses
// The marks of probes out of exchange, among the marks kept by colour number (never negative).
constexpr int kOutOfExchangeKey = -1;

// Six colours apart from the states' black, grey and red and the rise alarm's orange.
const QColor kSensorColors[kSensorCount] = {QColor(31, 119, 180), QColor(44, 160, 44),  QColor(148, 103, 189),
                                            QColor(140, 86, 75),  QColor(23, 190, 207), QColor(188, 189, 34)};

const TVantorInput& Descriptions()
{
    static const TVantorInput input(1);
    return input;
}

TColor StateColor(int state)
{
    return Descriptions().TemperState[0].StatesDescription().States.value(state).Color1;
}

QString StateCaption(int state)
{
    return Descriptions().TemperState[0].StatesDescription().States.value(state).Caption;
}

}  // namespace

TFormTrends::TFormTrends(int input, QWidget* parent, const QString& databasePath, ETrendSpan span)
    : QWidget(parent, Qt::Window),
      Ui_(std::make_unique<Ui::FormTrends>()),
      Span_(span == ETrendSpan::Dates ? ETrendSpan::Day : span)
{
    Ui_->setupUi(this);
    Inputs_[0] = std::clamp(input, 1, vantor::kInputCount);
    Ui_->eiInput->setValue(Inputs_[0]);
    Ui_->eiCompare->setValue(Inputs_[0] < vantor::kInputCount ? Inputs_[0] + 1 : Inputs_[0] - 1);
    Ui_->cbSpan->setCurrentIndex(int(Span_));
    const QDateTime now = QDateTime::currentDateTime();
    Ui_->deFrom->setDateTime(now.addDays(-1));
    Ui_->deTo->setDateTime(now);
    // The dates keep room for their text, and the window opens wide enough for its row of controls.
    for (QDateTimeEdit* edit : {Ui_->deFrom, Ui_->deTo})
        edit->setMinimumWidth(edit->sizeHint().width());
    resize(std::max(width(), minimumSizeHint().width()), height());
    SetupChart();
    if (!Store_.Open(databasePath))
        ShowMessage(kCaptionError, Store_.ErrorText(), TMessageIcon::Error);

    Redraw_.setSingleShot(true);
    Redraw_.setInterval(kRedrawDelay);
    connect(&Redraw_, &QTimer::timeout, this, [this] { Draw(Shown()); });
    connect(Ui_->eiInput, &QSpinBox::valueChanged, this, [this](int n) {
        Inputs_[0] = n;
        Reload();
    });
    connect(Ui_->cbCompare, &QCheckBox::toggled, this, [this](bool on) {
        Ui_->eiCompare->setEnabled(on);
        SetCompareInput(on ? Ui_->eiCompare->value() : 0);
    });
    connect(Ui_->eiCompare, &QSpinBox::valueChanged, this, [this](int n) {
        if (Ui_->cbCompare->isChecked())
            SetCompareInput(n);
    });
    connect(Ui_->cbSpan, &QComboBox::currentIndexChanged, this, [this](int index) {
        const bool dates = ETrendSpan(index) == ETrendSpan::Dates;
        Ui_->deFrom->setEnabled(dates);
        Ui_->deTo->setEnabled(dates);
        if (!dates)
            ShowSpan(ETrendSpan(index));
    });
    connect(Ui_->btShow, &QPushButton::clicked, this, [this] {
        if (ETrendSpan(Ui_->cbSpan->currentIndex()) == ETrendSpan::Dates)
            ShowDates(Ui_->deFrom->dateTime().toMSecsSinceEpoch(), Ui_->deTo->dateTime().toMSecsSinceEpoch());
        else
            ShowSpan(ETrendSpan(Ui_->cbSpan->currentIndex()));
    });
    connect(Ui_->btResetZoom, &QPushButton::clicked, this, [this] { ResetZoom(); });
    connect(Ui_->btExport, &QPushButton::clicked, this, [this] { btExportClick(); });
    Reload();
}

TFormTrends::~TFormTrends() = default;

void TFormTrends::SetupChart()
{
    auto* chart = new QChart;
    chart->setLocalizeNumbers(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setShowToolTips(true);
    chart->setMargins(QMargins(4, 4, 4, 4));
    TimeAxis_ = new QDateTimeAxis(chart);
    TimeAxis_->setTickCount(7);
    TimeAxis_->setTitleText(QStringLiteral("Время"));
    ValueAxis_ = new QValueAxis(chart);
    ValueAxis_->setLabelFormat(QStringLiteral("%.1f"));
    ValueAxis_->setTitleText(QStringLiteral("Температура, °С"));
    // The chart measures the labels of the first range only; later ranges' labels would be cut short.
    ValueAxis_->setTruncateLabels(false);
    chart->addAxis(TimeAxis_, Qt::AlignBottom);
    chart->addAxis(ValueAxis_, Qt::AlignLeft);

    View_ = new TTrendsChartView(chart, Ui_->pnChart);
    View_->setObjectName(QStringLiteral("chvTrends"));
    Ui_->lyChart->addWidget(View_);
    CreateSeries(0);
    CreateSeries(1);

    HoverLabel_ = new QLabel(View_);
    HoverLabel_->setTextFormat(Qt::PlainText);
    HoverLabel_->setObjectName(QStringLiteral("lbHover"));
    // A tool-tip's look; a style sheet here would reach the chart's axis labels and clip them.
    HoverLabel_->setAutoFillBackground(true);
    HoverLabel_->setPalette(QToolTip::palette());
    HoverLabel_->setFrameShape(QFrame::Box);
    HoverLabel_->setMargin(2);
    HoverLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    HoverLabel_->hide();

    NoData_ = new QLabel(QStringLiteral("Нет данных за период"), View_);
    NoData_->setObjectName(QStringLiteral("lbNoData"));
    NoData_->setAlignment(Qt::AlignCenter);
    NoData_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont large = NoData_->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    NoData_->setFont(large);
    NoData_->hide();
    View_->OnResize = [this] { NoData_->setGeometry(View_->rect()); };

    connect(TimeAxis_, &QDateTimeAxis::rangeChanged, this, [this] { ShownChanged(); });
    View_->OnHover = [this](QPointF value, QPoint position) { Hover(value, position); };
    View_->OnLeave = [this] { HoverLabel_->hide(); };
    View_->OnResetZoom = [this] { ResetZoom(); };
}

void TFormTrends::CreateSeries(int set)
{
    QChart* chart = View_->chart();
    auto attach = [chart, this](QXYSeries* series) {
        chart->addSeries(series);
        series->attachAxis(TimeAxis_);
        series->attachAxis(ValueAxis_);
    };
    for (int i = 0; i < kSensorCount; ++i) {
        auto* series = new QLineSeries(chart);
        // The second input in the same colours, dashed.
        series->setPen(QPen(kSensorColors[i], set == 0 ? 1.5 : 1.2, set == 0 ? Qt::SolidLine : Qt::DashLine));
        attach(series);
        Series_[set].Sensors[i] = series;
    }
    auto* bound = new QLineSeries(chart);
    bound->setPen(QPen(ToQColor(clRed), 1.5, set == 0 ? Qt::DashDotLine : Qt::DotLine));
    attach(bound);
    Series_[set].Bound = bound;
}

QChart* TFormTrends::Chart() const
{
    return View_->chart();
}

TTimeRange TFormTrends::Shown() const
{
    return {TimeAxis_->min().toMSecsSinceEpoch(), TimeAxis_->max().toMSecsSinceEpoch()};
}

void TFormTrends::ShowSpan(ETrendSpan span)
{
    Span_ = span;
    if (Ui_->cbSpan->currentIndex() != int(span)) {
        const QSignalBlocker blocker(Ui_->cbSpan);
        Ui_->cbSpan->setCurrentIndex(int(span));
        Ui_->deFrom->setEnabled(span == ETrendSpan::Dates);
        Ui_->deTo->setEnabled(span == ETrendSpan::Dates);
    }
    Reload();
}

void TFormTrends::ShowDates(qint64 from, qint64 to)
{
    if (from > to)
        std::swap(from, to);
    Span_ = ETrendSpan::Dates;
    {
        const QSignalBlocker blocker(Ui_->cbSpan);
        Ui_->cbSpan->setCurrentIndex(int(ETrendSpan::Dates));
    }
    Ui_->deFrom->setEnabled(true);
    Ui_->deTo->setEnabled(true);
    Ui_->deFrom->setDateTime(QDateTime::fromMSecsSinceEpoch(from));
    Ui_->deTo->setDateTime(QDateTime::fromMSecsSinceEpoch(to));
    Range_ = {from, to};
    Reload();
}

void TFormTrends::SetCompareInput(int input)
{
    Inputs_[1] = input >= 1 && input <= vantor::kInputCount ? input : 0;
    Reload();
}

void TFormTrends::Reload()
{
    if (Span_ != ETrendSpan::Dates) {
        Range_ = SpanRange(Span_, QDateTime::currentMSecsSinceEpoch());
        // The date fields show the period chosen, to start a span between dates from.
        Ui_->deFrom->setDateTime(QDateTime::fromMSecsSinceEpoch(Range_.From));
        Ui_->deTo->setDateTime(QDateTime::fromMSecsSinceEpoch(Range_.To));
    }
    setWindowTitle(QStringLiteral("Графики: вход ") + QString::number(Inputs_[0]) +
                   (Inputs_[1] ? QStringLiteral(" и вход ") + QString::number(Inputs_[1]) : QString()));
    for (int set = 0; set < 2; ++set) {
        Readings_[set] = Inputs_[set] && Store_.IsOpen() ? Store_.Query(Inputs_[set], Range_.From, Range_.To)
                                                         : QVector<THistoryReading>();
        // Short names, so that two inputs' fifteen entries fit the legend: "T 5.1", as the sensors'
        // own titles, and "Уставка 5".
        for (int i = 0; i < kSensorCount; ++i)
            Series_[set].Sensors[i]->setName(QStringLiteral("T %1.%2").arg(Inputs_[set]).arg(i + 1));
        Series_[set].Bound->setName(QStringLiteral("Уставка %1").arg(Inputs_[set]));
        const bool visible = Inputs_[set] != 0;
        for (QLineSeries* series : Series_[set].Sensors)
            series->setVisible(visible);
        Series_[set].Bound->setVisible(visible);
        for (QLegendMarker* marker : View_->chart()->legend()->markers())
            if (marker->series() == Series_[set].Bound ||
                std::find(std::begin(Series_[set].Sensors), std::end(Series_[set].Sensors), marker->series()) !=
                    std::end(Series_[set].Sensors))
                marker->setVisible(visible);
    }
    // The value axis holds every temperature and set-point of the span, with a margin.
    double low = INFINITY, high = -INFINITY;
    for (const QVector<THistoryReading>& readings : Readings_)
        for (const THistoryReading& r : readings) {
            if (!std::isnan(r.Bound))
                low = std::min(low, r.Bound), high = std::max(high, r.Bound);
            for (int i = 0; i < kSensorCount; ++i)
                if (r.TemperState[i] == 1 && std::isfinite(r.Temper[i]))
                    low = std::min(low, r.Temper[i]), high = std::max(high, r.Temper[i]);
        }
    NoData_->setVisible(Readings_[0].isEmpty() && Readings_[1].isEmpty());
    NoData_->setGeometry(View_->rect());
    if (!std::isfinite(low))
        low = 0, high = 30;
    const double margin = std::max(1.0, (high - low) * 0.05);
    ValueMin_ = std::floor(low - margin);
    ValueMax_ = std::ceil(high + margin);
    ResetZoom();
}

void TFormTrends::ResetZoom()
{
    QChart* chart = View_->chart();
    chart->zoomReset();
    ValueAxis_->setRange(ValueMin_, ValueMax_);
    ValueAxis_->applyNiceNumbers();
    TimeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(Range_.From), QDateTime::fromMSecsSinceEpoch(Range_.To));
    Redraw_.stop();
    Draw(Range_);
}

void TFormTrends::ShownChanged()
{
    const TTimeRange shown = Shown();
    const qint64 length = shown.To - shown.From;
    // The date too when the part shown crosses midnight: both ends could read the same hour.
    const bool days = QDateTime::fromMSecsSinceEpoch(shown.From).date() != QDateTime::fromMSecsSinceEpoch(shown.To).date();
    TimeAxis_->setFormat((days ? QStringLiteral("dd.MM ") : QString())
                         + (length <= 2 * 3600'000 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm")));
    if (!Drawing_)
        Redraw_.start();
}

void TFormTrends::Draw(const TTimeRange& visible)
{
    Drawing_ = true;
    // A margin of half the width on each side, so that a short pan shows lines at once.
    const qint64 half = (visible.To - visible.From) / 2;
    const TTimeRange range{visible.From - half, visible.To + half};
    for (int set = 0; set < 2; ++set) {
        for (int i = 0; i < kSensorCount; ++i)
            Series_[set].Sensors[i]->replace(SensorPoints(Readings_[set], i + 1, range, kMaxPoints));
        Series_[set].Bound->replace(BoundPoints(Readings_[set], range));
    }
    // The fault marks, one scatter series per state colour, and one for probes out of exchange.
    QHash<int, QList<QPointF>> marks;
    for (int set = 0; set < 2; ++set)
        for (const TFaultMark& mark : FaultMarks(Readings_[set], range)) {
            const double y = std::isfinite(mark.Value) ? mark.Value : ValueAxis_->min();
            marks[mark.OutOfExchange ? kOutOfExchangeKey : StateColor(mark.State)].append(QPointF(double(mark.Time), y));
        }
    for (auto it = marks.cbegin(); it != marks.cend(); ++it)
        if (!Faults_.contains(it.key())) {
            const bool outOfExchange = it.key() == kOutOfExchangeKey;
            const TColor color = outOfExchange ? clGray : it.key();
            auto* series = new QScatterSeries(View_->chart());
            series->setName(outOfExchange ? QStringLiteral("Нет обмена")
                            : it.key() == clGray ? StateCaption(2) : QStringLiteral("Неисправность"));
            series->setColor(ToQColor(color));
            series->setBorderColor(ToQColor(color));
            series->setMarkerSize(8);
            series->setMarkerShape(outOfExchange ? QScatterSeries::MarkerShapeCircle
                                                 : QScatterSeries::MarkerShapeRectangle);
            View_->chart()->addSeries(series);
            series->attachAxis(TimeAxis_);
            series->attachAxis(ValueAxis_);
            Faults_.insert(it.key(), series);
        }
    for (auto it = Faults_.cbegin(); it != Faults_.cend(); ++it) {
        it.value()->replace(marks.value(it.key()));
        it.value()->setVisible(!marks.value(it.key()).isEmpty());
        for (QLegendMarker* marker : View_->chart()->legend()->markers(it.value()))
            marker->setVisible(it.value()->isVisible());
    }
    Drawing_ = false;
}

void TFormTrends::Hover(QPointF value, QPoint position)
{
    const QVector<THistoryReading>& readings = Readings_[0];
    const qsizetype at = NearestReading(readings, qint64(value.x()));
    if (at < 0) {
        HoverLabel_->hide();
        return;
    }
    QString text = ReadingText(readings[at], QLocale::system());
    if (const qsizetype other = NearestReading(Readings_[1], qint64(value.x())); other >= 0 && Inputs_[1])
        text += u'\n' + ReadingText(Readings_[1][other], QLocale::system());
    HoverLabel_->setText(text);
    HoverLabel_->adjustSize();
    // Beside the cursor, kept inside the chart.
    QPoint place = position + QPoint(14, 14);
    place.setX(std::min(place.x(), View_->width() - HoverLabel_->width() - 2));
    place.setY(std::min(place.y(), View_->height() - HoverLabel_->height() - 2));
    HoverLabel_->move(std::max(0, place.x()), std::max(0, place.y()));
    HoverLabel_->show();
    HoverLabel_->raise();
}

bool TFormTrends::ExportCsv(const QString& path)
{
    const TTimeRange shown = Shown();
    QVector<THistoryReading> rows;
    for (const QVector<THistoryReading>& readings : Readings_)
        for (const THistoryReading& r : readings)
            if (r.Time >= shown.From && r.Time <= shown.To)
                rows << r;
    // Both inputs in time order, as one table.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const THistoryReading& a, const THistoryReading& b) { return a.Time < b.Time; });
    const QString file = QDir::toNativeSeparators(path);
    if (rows.isEmpty()) {
        ShowMessage(kCaptionWarning, QStringLiteral("За показанный период показаний нет: файл ") + file
                                         + QStringLiteral(" не записан"), TMessageIcon::Information);
        return false;
    }
    QString error;
    if (!ReplaceFile(path, HistoryCsv(rows, QLocale::system()), &error)) {
        ShowMessage(kCaptionError, QStringLiteral("Файл ") + file + QStringLiteral(" не сохранен: ") + error,
                    TMessageIcon::Error);
        return false;
    }
    ShowMessage(kCaptionWarning,
                QStringLiteral("Записано показаний: %1\rФайл: %2").arg(QLocale::system().toString(rows.size()), file),
                TMessageIcon::Information);
    return true;
}

void TFormTrends::btExportClick()
{
    const QString folder = ProgramFolder() + QStringLiteral("DATA");
    QDir().mkpath(folder);
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("Таблица CSV (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setDirectory(folder);
    dialog.selectFile(QStringLiteral("Вход%1_%2.csv")
                          .arg(Inputs_[0])
                          .arg(QDate::currentDate().toString(QStringLiteral("dd_MM_yyyy"))));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    ExportCsv(dialog.selectedFiles().constFirst());
}

void TFormTrends::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
