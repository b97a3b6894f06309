// Pictures of what the operator sees, for a person to compare with the layout given for the
// program: the main window after a round on the simulator (a faulty sensor, an input out of link,
// a rising sensor), in both layouts, with the next alarm row selected and after a signature read,
// every dialog and message box, and the trends window with readings and without. Run by
// scripts/screenshots.sh on a virtual display; writes PNG files into the folder it is given.
#include "app/FormMain.h"
#include "app/ToolkitTranslations.h"
#include "common/OperatorMessage.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorCodes.h"
#include "device/VantorUnit.h"
#include "dialogs/ComSetupDialog.h"
#include "dialogs/FormViewConfig.h"
#include "dialogs/InputDialogs.h"
#include "history/HistoryStore.h"
#include "history/HistoryUnit.h"
#include "history/RiseMonitor.h"
#include "transport/MessageCatalogue.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"
#include "trends/FormTrends.h"
#include "values/Switches.h"

#include "SimulatorProcess.h"
#include "WindowSupport.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

QString Output;

void Save(QWidget* window, const QString& name)
{
    const QString path = Output + u'/' + name + QStringLiteral(".png");
    // Layouts that new texts asked for, then their paint.
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    if (window->grab().save(path))
        std::printf("%s\n", qPrintable(path));
    else
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
}

// Runs show, which opens a modal window; that window is saved as name once it is on screen, and
// closed with Esc.
void SaveModal(const QString& name, const std::function<void()>& show)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, name] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window || !window->isVisible() || !QTest::qWaitForWindowExposed(window, 0))
            return;
        timer->stop();
        timer->deleteLater();
        QTest::qWait(100);  // the first paint of its contents
        Save(window, name);
        QTest::keyClick(window, Qt::Key_Escape);
    });
    timer->start();
    show();
}

void ShowMessageBox(const QString& caption, const QString& text, TMessageIcon icon)
{
    const QMessageBox::Icon boxIcon = icon == TMessageIcon::Error     ? QMessageBox::Critical
                                      : icon == TMessageIcon::Warning ? QMessageBox::Warning
                                                                      : QMessageBox::Information;
    QMessageBox box(boxIcon, caption, QString(text).replace(u'\r', u'\n'), QMessageBox::Ok);
    box.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_screenshots FOLDER\n");
        return 2;
    }
    Output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(Output);
    QTemporaryDir home;
    qputenv("ORVELA_HOME", home.path().toLocal8Bit());
    SimulatorProcess simulator;
    if (!simulator.Start()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    WriteFile(home.filePath("INI/VANTOR.ini"), "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=5\r\n");
    WriteFile(home.filePath("INI/ComPort.ini"), QByteArray("[Transmitter]\r\nPort=") + simulator.Path().c_str() + "\r\n");
    WriteFile(home.filePath("INI/Timer.ini"), "[ctReqDevices]\r\nInterval=20\r\n");
    {
        THistoryStore store;
        if (!store.Open(home.filePath("DATA/history.sqlite"))
            || !store.Append(RisingDay(QDateTime::currentMSecsSinceEpoch())))
            std::fprintf(stderr, "no history: the rising sensor will not show\n");
    }

    // The standard buttons in Russian, as the program has them.
    InstallToolkitTranslations();
    BindMessageLanguage();
    InstallPortSetupDialog();
    SetShowMessage(ShowMessageBox);
    StartUnits();
    HistoryStartup();
    {
        TFormMain form;
        form.setObjectName(QStringLiteral("FormMain"));
        form.show();
        int cycles = 0;
        TRequestThread::TCycleEvent cycle = RequestThread()->OnCycle;
        RequestThread()->OnCycle = [&cycles, cycle](TRequestThread* sender, const QString& title) {
            ++cycles;
            cycle(sender, title);
        };
        if (form.RiseMonitor())
            form.RiseMonitor()->CheckIntervalMs = 0;
        // A round and a little more: every row filled, the rise seen.
        const bool polled = QTest::qWaitFor([&] { return cycles > 2 * 48; }, 120000);
        form.findChild<QAction*>(QStringLiteral("actOprosStop"))->trigger();
        if (!QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000))
            std::fprintf(stderr, "a cycle did not end\n");
        if (!polled)
            std::fprintf(stderr, "fewer than two rounds were polled\n");
        auto* grid = form.findChild<QTableWidget*>(QStringLiteral("asgInputs"));
        grid->setCurrentCell(4, 0);  // input 5: a status code and the rising sensor
        Save(&form, QStringLiteral("main-window"));
        grid->setCurrentCell(12, 0);  // input 13: out of link
        Save(&form, QStringLiteral("main-window-input-13"));
        // The next alarm after input 5 (F3): its row selected, its alarm cells outlined.
        grid->setCurrentCell(4, 6);
        form.findChild<QAction*>(QStringLiteral("miNextAlarm"))->trigger();
        Save(&form, QStringLiteral("main-window-next-alarm"));
        form.findChild<QAction*>(QStringLiteral("actSignRead"))->trigger();
        Save(&form, QStringLiteral("main-window-signature"));
        // At its least size, the boxes scrolled to the write panel.
        const QSize size = form.size();
        form.resize(form.minimumSize());
        if (auto* scroll = form.findChild<QScrollArea*>(QStringLiteral("sbPanel1"))) {
            QApplication::processEvents();
            scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum());
        }
        Save(&form, QStringLiteral("main-window-least-size"));
        form.resize(size);
        FullMode = true;
        form.ApplyViewMode();
        grid->setCurrentCell(4, 0);
        Save(&form, QStringLiteral("main-window-full"));

        const auto action = [&form](const char* name) {
            return [&form, name] { form.findChild<QAction*>(QString::fromLatin1(name))->trigger(); };
        };
        SaveModal(QStringLiteral("about"), action("actFormAbout"));
        SaveModal(QStringLiteral("poll-period"), action("actConfigTimerInterval"));
        SaveModal(QStringLiteral("mqtt-settings"), action("miPublishing"));
        SaveModal(QStringLiteral("program-address"), action("actConfigSystemAddr"));
        SaveModal(QStringLiteral("system-address"), action("actWriteSignSysAddr"));
        SaveModal(QStringLiteral("plant-number"), [] {
            bool ok = false;
            InputIntegerEx(QStringLiteral("Введите"), QStringLiteral("Новый заводской номер прибора"), 1, 1, 65535, ok);
        });
        SaveModal(QStringLiteral("modbus-params"), [] {
            quint8 baud = 6, parity = 2;
            InputModbusParams(baud, parity);
        });
        SaveModal(QStringLiteral("command-failed"), [&form] { form.ShowCommandError(12); });
        SaveModal(QStringLiteral("command-done"), [&form] { form.ShowCommandDone(); });
        const QString config = home.filePath(QStringLiteral("DATA/PN00001.txt"));
        QByteArray lines;
        for (int n = 1; n <= vantor::kInputCount; ++n) {
            const TVantorInput& input = Vantor()->Input(n);
            lines += QStringLiteral("%1 PNum:%2 Bound:%3 Period:%4  Enabled:%5\r\n")
                         .arg(n)
                         .arg(input.PlantNumber)
                         .arg(QLocale().toString(input.TemperBound.Value(), 'f', 3))
                         .arg(input.Interval)
                         .arg(input.ChannelEnabled.GetOutValue().ToInteger() == tsTrue ? 1 : 0)
                         .toLatin1();
        }
        WriteFile(config, lines);
        SaveModal(QStringLiteral("config-view"), [config] { ShowConfigView(config); });
        action("actPortClose")();
        SaveModal(QStringLiteral("port-setup"), action("actConfigComPort"));
        Transmitter()->SetPort(QStringLiteral("/nonexistent/ttyS99"));
        SaveModal(QStringLiteral("port-failed"), action("actPortOpen"));
        Save(&form, QStringLiteral("main-window-port-failed"));

        grid->setCurrentCell(4, 0);
        form.findChild<QAction*>(QStringLiteral("miTrends"))->trigger();
        if (QWidget* trends = form.findChild<QWidget*>(QStringLiteral("FormTrends"))) {
            if (!QTest::qWaitForWindowExposed(trends))
                std::fprintf(stderr, "the trends window did not show\n");
            QTest::qWait(1000);  // the chart reads its readings on a thread of its own
            Save(trends, QStringLiteral("trends"));
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            static_cast<TFormTrends*>(trends)->ShowDates(now - 30 * 86400'000LL, now - 20 * 86400'000LL);
            QTest::qWait(300);
            Save(trends, QStringLiteral("trends-no-data"));
            trends->close();
        }
        form.close();
    }
    HistoryShutdown();
    StopUnits();
    SetShowMessage(nullptr);
    return 0;
}
