#include "trends/FormTrends.h"

#include "common/Cp1251.h"
#include "history/HistoryStore.h"
#include "trends/TrendsChartView.h"

#include "DialogsSupport.h"
#include "MessageRecorder.h"
#include "TestFolder.h"

#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QLocale>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QSet>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr qint64 kMinute = 60'000;
constexpr qint64 kDay = 1440 * kMinute;

// A probe read every 5 minutes for a week up to a minute ago; sensor i follows its own daily
// wave, sensor 2 is in fault 0xAAAA for an hour in the middle of the week.
QVector<THistoryReading> Week(int input, qint64 now, double offset)
{
    QVector<THistoryReading> readings;
    const qint64 last = now / 1000 * 1000 - kMinute;
    for (qint64 t = last - 7 * kDay + 10 * kMinute; t <= last; t += 5 * kMinute) {
        THistoryReading r;
        r.Time = t;
        r.Input = input;
        r.Battery = 80;
        r.Bound = 25;
        const double phase = double(t % kDay) / kDay * 2 * M_PI;
        for (int i = 0; i < 6; ++i) {
            r.Temper[i] = std::round((offset + 2 * i + 3 * std::sin(phase + i)) * 16) / 16;
            r.TemperState[i] = 1;
        }
        if (t > last - 3 * kDay - 60 * kMinute && t <= last - 3 * kDay) {
            r.TemperState[1] = 5;
            r.Temper[1] = 0xAAAA / 16.0;
        }
        readings << r;
    }
    return readings;
}

QLineSeries* Line(const TFormTrends& form, const QString& name)
{
    for (QAbstractSeries* series : form.Chart()->series())
        if (series->name() == name)
            return qobject_cast<QLineSeries*>(series);
    return nullptr;
}

QScatterSeries* Marks(const TFormTrends& form)
{
    for (QAbstractSeries* series : form.Chart()->series())
        if (auto* scatter = qobject_cast<QScatterSeries*>(series); scatter && scatter->isVisible())
            return scatter;
    return nullptr;
}

class TrendsWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Path = Folder.Path(QStringLiteral("DATA/history.sqlite"));
        Now = QDateTime::currentMSecsSinceEpoch();
        THistoryStore store;
        ASSERT_TRUE(store.Open(Path)) << store.ErrorText().toStdString();
        Written = Week(5, Now, 12);
        ASSERT_TRUE(store.Append(Written));
        ASSERT_TRUE(store.Append(Week(6, Now, 20)));
    }

    std::unique_ptr<TFormTrends> Open()
    {
        auto form = std::make_unique<TFormTrends>(5, nullptr, Path);
        form->resize(1100, 640);
        form->ShowSpan(ETrendSpan::Week);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }

    int CountWithin(const TTimeRange& range) const
    {
        int n = 0;
        for (const THistoryReading& r : Written)
            n += r.Time >= range.From && r.Time <= range.To;
        return n;
    }

    TestFolder Folder;
    MessageRecorder Messages;
    LocaleScope Russian;
    QString Path;
    qint64 Now = 0;
    QVector<THistoryReading> Written;
};

}  // namespace

TEST_F(TrendsWindow, ShowsAWeekOfReadingsWithSetPointAndFaults)
{
    auto form = Open();
    EXPECT_EQ(form->Readings().size(), Written.size());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Графики: вход 5"));
    // The time axis spans the week up to now, the value axis every temperature.
    const auto* time = qobject_cast<QDateTimeAxis*>(form->Chart()->axes(Qt::Horizontal).constFirst());
    const auto* value = qobject_cast<QValueAxis*>(form->Chart()->axes(Qt::Vertical).constFirst());
    EXPECT_NEAR(double(time->max().toMSecsSinceEpoch()), double(Now), 5000);
    EXPECT_EQ(time->max().toMSecsSinceEpoch() - time->min().toMSecsSinceEpoch(), 7 * kDay);
    EXPECT_LE(value->min(), 12 - 3);
    EXPECT_GE(value->max(), 12 + 10 + 3);

    // 2000 readings a line are thinned to the limit, their extremes kept.
    for (int i = 1; i <= 6; ++i) {
        QLineSeries* line = Line(*form, QStringLiteral("T 5.%1").arg(i));
        ASSERT_TRUE(line) << i;
        EXPECT_TRUE(line->isVisible());
        EXPECT_LE(line->count(), TFormTrends::kMaxPoints);
        EXPECT_GE(line->count(), TFormTrends::kMaxPoints * 3 / 4);
        double high = -1e9;
        for (const QPointF& p : line->points())
            high = std::max(high, p.y());
        double written = -1e9;
        for (const THistoryReading& r : Written)
            if (r.TemperState[i - 1] == 1)
                written = std::max(written, r.Temper[i - 1]);
        EXPECT_EQ(high, written) << i;
    }
    // The constant set-point: one step, its two ends.
    QLineSeries* bound = Line(*form, QStringLiteral("Уставка 5"));
    ASSERT_TRUE(bound);
    ASSERT_EQ(bound->count(), 2);
    EXPECT_EQ(bound->at(0).y(), 25);
    // The hour of 0xAAAA: one red mark where it began, at the sensor's last temperature.
    QScatterSeries* marks = Marks(*form);
    ASSERT_TRUE(marks);
    ASSERT_EQ(marks->count(), 1);
    EXPECT_EQ(marks->color(), QColor(255, 0, 0));
    EXPECT_EQ(marks->name(), QStringLiteral("Неисправность"));
    // No second input: its lines stay hidden.
    EXPECT_FALSE(Line(*form, QStringLiteral("T 0.1"))->isVisible());

    // The image: saved for a look, and not blank.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    const QImage image = form->grab().toImage();
    image.save(QStringLiteral(ORVELA_TRENDS_PNG));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 20);
}

TEST_F(TrendsWindow, ZoomDrawsTheShownPartInFullDetailAndResetShowsTheSpanAgain)
{
    auto form = Open();
    QLineSeries* line = Line(*form, QStringLiteral("T 5.1"));
    // The middle tenth of the plot: about 17 hours.
    QRectF plot = form->Chart()->plotArea();
    form->Chart()->zoomIn(QRectF(plot.left() + plot.width() * 0.45, plot.top(), plot.width() * 0.1, plot.height()));
    const TTimeRange shown = form->Shown();
    EXPECT_NEAR(double(shown.To - shown.From), 0.7 * kDay, 0.05 * kDay);
    // Every reading of the shown part and a half-width either side, once the zoom has settled.
    const qint64 half = (shown.To - shown.From) / 2;
    const int expected = CountWithin({shown.From - half, shown.To + half});
    ASSERT_TRUE(QTest::qWaitFor([&] { return line->count() == expected; }, 5000)) << line->count() << " " << expected;

    // Panning moves the shown part; the home key shows the whole span again.
    auto* view = form->findChild<TTrendsChartView*>(QStringLiteral("chvTrends"));
    ASSERT_TRUE(view);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_GT(form->Shown().From, shown.From);
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(form->Shown().To - form->Shown().From, 7 * kDay);
    EXPECT_LE(line->count(), TFormTrends::kMaxPoints);

    // A wheel notch forward over the middle of the plot zooms in about it.
    const QPointF middle = view->mapFromScene(form->Chart()->mapToScene(form->Chart()->plotArea().center()));
    QWheelEvent wheel(middle, view->viewport()->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    const TTimeRange wheeled = form->Shown();
    EXPECT_NEAR(double(wheeled.To - wheeled.From), 7 * kDay / 1.25, kDay / 100.0);
    EXPECT_NEAR(double(wheeled.From + wheeled.To) / 2, double(Now - 7 * kDay / 2), kDay / 20.0);
}

TEST_F(TrendsWindow, ASecondInputIsComparedOnTheSameChart)
{
    auto form = Open();
    form->findChild<QCheckBox*>(QStringLiteral("cbCompare"))->setChecked(true);  // input 6 is proposed
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Графики: вход 5 и вход 6"));
    QLineSeries* other = Line(*form, QStringLiteral("T 6.1"));
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->isVisible());
    EXPECT_GT(other->count(), 100);
    EXPECT_EQ(other->pen().style(), Qt::DashLine);
    // Its faults are marked as well: the same hour on both probes.
    EXPECT_EQ(Marks(*form)->count(), 2);
    // The value axis holds both: input 6 runs 8 degrees warmer.
    EXPECT_GE(qobject_cast<QValueAxis*>(form->Chart()->axes(Qt::Vertical).constFirst())->max(), 20 + 10 + 3);
    form->findChild<QCheckBox*>(QStringLiteral("cbCompare"))->setChecked(false);
    EXPECT_FALSE(other->isVisible());
}

TEST_F(TrendsWindow, TheValuesUnderTheCursorFollowTheHover)
{
    auto form = Open();
    auto* view = form->findChild<TTrendsChartView*>(QStringLiteral("chvTrends"));
    auto* hover = form->findChild<QLabel*>(QStringLiteral("lbHover"));
    ASSERT_TRUE(view && hover);
    EXPECT_FALSE(hover->isVisible());
    const QRectF plot = form->Chart()->plotArea();
    const QPoint at = view->mapFromScene(form->Chart()->mapToScene(plot.center()));
    QTest::mouseMove(view->viewport(), at);
    ASSERT_TRUE(QTest::qWaitFor([&] { return hover->isVisible(); }, 2000));
    EXPECT_TRUE(hover->text().startsWith(QStringLiteral("Вход 5  "))) << hover->text().toStdString();
    EXPECT_TRUE(hover->text().contains(QStringLiteral("  Уставка 25,0")));
    // The reading named is the one nearest to the time under the cursor (mid-week), within what a
    // pixel spans on a week's axis; compared as times, as an hour's boundary may fall between.
    const QDateTime middle = QDateTime::fromMSecsSinceEpoch(Now - 7 * kDay / 2);
    const QDateTime named =
        QDateTime::fromString(hover->text().section(QStringLiteral("  "), 1, 1), QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    ASSERT_TRUE(named.isValid()) << hover->text().toStdString();
    EXPECT_LE(std::abs(named.msecsTo(middle)), 30 * kMinute) << hover->text().toStdString();
    const QPoint first = hover->pos();
    QTest::mouseMove(view->viewport(), at + QPoint(-80, 30));
    EXPECT_TRUE(QTest::qWaitFor([&] { return hover->pos() != first; }, 2000));
}

TEST_F(TrendsWindow, ExportWritesTheShownSpanAsCsvInTheDataFolder)
{
    auto form = Open();
    QString offeredFolder, offeredName;
    OnModal("QFileDialog", [&](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        offeredFolder = dialog->directory().absolutePath();
        offeredName = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("week.csv"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    form->findChild<QPushButton*>(QStringLiteral("btExport"))->click();
    EXPECT_EQ(offeredFolder, QDir(Folder.Path(QStringLiteral("DATA"))).absolutePath());
    EXPECT_EQ(offeredName, QStringLiteral("Вход5_") + QDate::currentDate().toString("dd_MM_yyyy") + ".csv");
    const QByteArray csv = Folder.Read(QStringLiteral("DATA/week.csv"));
    const QList<QByteArray> lines = csv.split('\n');
    // A header, a line per reading of the shown week, each ended by CR LF.
    EXPECT_EQ(lines.size() - 2, Written.size());
    EXPECT_TRUE(lines[0].startsWith(ToCp1251(QStringLiteral("Время;Вход;"))));
    EXPECT_TRUE(lines[1].endsWith('\r'));
    EXPECT_TRUE(lines[1].contains(";5;")) << lines[1].constData();
    EXPECT_TRUE(csv.contains(";AAAA;"));
    // The operator is told how many and where.
    ASSERT_EQ(Messages.Messages.size(), 1);
    EXPECT_EQ(Messages.Messages[0], QStringLiteral("Внимание|Записано показаний: %1\rФайл: %2")
                                        .arg(QLocale().toString(Written.size()), Folder.Path("DATA/week.csv")) + "|0");

    // Zoomed in, only the part shown is written.
    QRectF plot = form->Chart()->plotArea();
    form->Chart()->zoomIn(QRectF(plot.left(), plot.top(), plot.width() / 7, plot.height()));
    ASSERT_TRUE(form->ExportCsv(Folder.Path(QStringLiteral("DATA/day.csv"))));
    EXPECT_EQ(Folder.Read(QStringLiteral("DATA/day.csv")).count('\n') - 1, CountWithin(form->Shown()));

    // A span without readings writes nothing, and says so.
    form->ShowDates(Now - 30 * kDay, Now - 20 * kDay);
    EXPECT_FALSE(form->ExportCsv(Folder.Path(QStringLiteral("DATA/none.csv"))));
    EXPECT_FALSE(QFile::exists(Folder.Path(QStringLiteral("DATA/none.csv"))));
    EXPECT_TRUE(Messages.Messages.back().startsWith(QStringLiteral("Внимание|За показанный период показаний нет")));
}

TEST_F(TrendsWindow, AxesAreTitledDatesFollowThePeriodAndAnEmptySpanIsSaidSo)
{
    auto form = Open();
    const auto* time = qobject_cast<QDateTimeAxis*>(form->Chart()->axes(Qt::Horizontal).constFirst());
    EXPECT_EQ(time->titleText(), QStringLiteral("Время"));
    EXPECT_EQ(form->Chart()->axes(Qt::Vertical).constFirst()->titleText(), QStringLiteral("Температура, °С"));
    auto* noData = form->findChild<QLabel*>(QStringLiteral("lbNoData"));
    ASSERT_TRUE(noData);
    EXPECT_FALSE(noData->isVisible());

    // The day: its ends are a day apart and read the same hour, so the labels carry the date.
    form->ShowSpan(ETrendSpan::Day);
    EXPECT_TRUE(time->format().startsWith(QStringLiteral("dd.MM "))) << time->format().toStdString();
    const auto* from = form->findChild<QDateTimeEdit*>(QStringLiteral("deFrom"));
    const auto* to = form->findChild<QDateTimeEdit*>(QStringLiteral("deTo"));
    EXPECT_NEAR(double(from->dateTime().toMSecsSinceEpoch()), double(form->Range().From), 60000);
    EXPECT_NEAR(double(to->dateTime().toMSecsSinceEpoch()), double(form->Range().To), 60000);

    form->ShowDates(Now - 30 * kDay, Now - 20 * kDay);
    EXPECT_TRUE(noData->isVisible());
    EXPECT_EQ(noData->text(), QStringLiteral("Нет данных за период"));
    EXPECT_EQ(noData->geometry(), form->findChild<QWidget*>(QStringLiteral("chvTrends"))->rect());
}

TEST_F(TrendsWindow, AFileThatCannotBeWrittenIsReportedAndNothingStoredIsLost)
{
    auto form = Open();
    // A file where the folder should be: no one, root included, can write below it.
    Folder.Write("DATA/old.csv", "old");
    EXPECT_FALSE(form->ExportCsv(Folder.Path(QStringLiteral("DATA/old.csv/week.csv"))));
    ASSERT_EQ(Messages.Messages.size(), 1);
    EXPECT_TRUE(Messages.Messages[0].startsWith(QStringLiteral("Ошибка|Файл "))) << Messages.Messages[0].toStdString();
    EXPECT_TRUE(Messages.Messages[0].contains(QStringLiteral(" не сохранен: ")));
    EXPECT_EQ(Folder.Read(QStringLiteral("DATA/old.csv")), "old");
}

TEST_F(TrendsWindow, TwoDatesInEitherOrderAndADatabaseThatCannotBeOpened)
{
    auto form = Open();
    const qint64 from = Now - 2 * kDay, to = Now - kDay;
    form->ShowDates(to, from);
    EXPECT_EQ(form->Range().From, from);
    EXPECT_EQ(form->Range().To, to);
    EXPECT_EQ(form->Readings().size(), CountWithin({from, to}));
    EXPECT_EQ(form->findChild<QComboBox*>(QStringLiteral("cbSpan"))->currentIndex(), int(ETrendSpan::Dates));

    // A folder where the file should be: one message, an empty chart, no crash.
    QDir().mkpath(Folder.Path(QStringLiteral("DATA/broken.sqlite")));
    TFormTrends broken(7, nullptr, Folder.Path(QStringLiteral("DATA/broken.sqlite")));
    EXPECT_TRUE(broken.Readings().isEmpty());
    ASSERT_EQ(Messages.Messages.size(), 1);
    EXPECT_TRUE(Messages.Messages[0].startsWith(QStringLiteral("Ошибка|")));
}
