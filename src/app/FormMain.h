#pragma once

#include "values/IOData.h"

#include <QMainWindow>
#include <QTimer>

#include <memory>
#include <vector>

namespace Ui {
class FormMain;
}

class QAbstractButton;
class QAction;
class QCheckBox;
class TCurrentInputPanel;
class TCustomTimer;
class TInputsGrid;
class TMainCommands;
class TProtocolView;
class TQLabelView;
class TRequestThread;
class TRiseMonitor;
class TStation;
class TStatusPanels;
class TVantorVisual;

// The main window: the controller's state, one grid row per input, the selected input in detail,
// the last exchange on the line and the commands. Lives in the UI thread, subscribed from its
// creation to its close to the transmitter, the controller, the request thread and the poll timer.
// The inputs grid's header stands for its fixed row 0, so input n is the grid's row n - 1.
class TFormMain : public QMainWindow
{
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // The input shown in the current-input panel: 0 until the window is shown, then 1..192.
    TiodIntegerToInteger* SelectedInput() const;
    qint32 RequestCount() const;
    qint32 AnswerCount() const;

    // Text of status bar panel 0..2.
    QString StatusText(int panel) const;
    QTimer* TimerStartConnection() { return &TimerStartConnection_; }
    // The station the window is the face of; none before the window is created or after it closed.
    TStation* Station() const { return Station_.get(); }
    // Watches the polled inputs for rising sensors; none without the station.
    TRiseMonitor* RiseMonitor() const;

    // The window's parts, each a class of its own.
    TStatusPanels& StatusPanels() { return *StatusPanels_; }
    TCurrentInputPanel& CurrentInput() { return *CurrentInput_; }

    // Views.
    void RefreshPolledGroup();
    // The module labels and the rows of the group starting at first (1, 5, .., 189).
    void RefreshGroup(int first);
    void RefreshCurrentInput();
    void ShowSystemAddress();
    void ShowSignature();
    void ShowModbusParams();
    void ApplyViewMode();
    // Enabled and checked actions from the port, the poll timer, PollSettings and the service range.
    void UpdateActions();
    // A failed controller command: a warning box with its current name and an alarm-log line.
    void ShowCommandError(int command);
    void ShowCommandDone();

    // Lets go of every unit the window subscribed to; runs once, on whichever way out comes first.
    void FormClose();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Lifecycle.
    void FormCreate();
    void FormShow();
    // Esc closes the window, Ctrl+F toggles the full layout, F10 opens the menus (as Alt alone
    // leads into them); from any control of the window.
    bool FormKeyPress(QKeyEvent* event);
    void OpenMenus();
    void TimerStartConnectionTimer();
    void RequestCycleDone(const TRequestThread& thread);
    void CreateVisual();
    void BindVisualLabels();
    // The station's notifications: what it has written to the alarm log, the window shows.
    void BindStation();
    // A sensor began or stopped rising: its cells change colour.
    void SensorRiseChange(int n);
    // The inputs were marked as not current, or the mark was lifted.
    void InputsStaleChange();

    // Views.
    void SetupParts();
    void ScrollTopPanel();
    // The alarms by kind in the status bar, and the key and button to the next row with one.
    void SetupAlarms();
    void ShowAlarms();
    // Labels, boxes and grid columns as wide as the texts they can show need in the font in use.
    void FitTextWidths();
    // The signature's labels as wide as the texts last read need, the box and window along.
    void FitSignature();
    void FitWindowWidth();
    QStringList InputColumnTexts(int column) const;

    // Actions.
    void SetupActions();
    void SetupToolBar();
    void BindButton(QAbstractButton* button, QAction* action);
    void actPortOpenExecute();
    void actPortCloseExecute();
    void actOprosStartExecute();
    void actOprosStopExecute();
    void actOprosConfigsExecute();
    void act10Execute();
    void act16Execute();
    void actClearStatisticsExecute();
    void actLogExecute();
    void actInputPrevExecute();
    void actInputNextExecute();
    // "История": the trends window, from the menu and from the current-input panel.
    void SetupHistoryMenu();
    void OpenTrends();
    // "Публикация MQTT": the settings and the broker's state panel.
    void SetupPublishing();
    void OpenPublishSettings();

    std::unique_ptr<Ui::FormMain> Ui_;
    std::unique_ptr<TStatusPanels> StatusPanels_;
    std::unique_ptr<TProtocolView> Protocol_;
    std::unique_ptr<TInputsGrid> InputsGrid_;
    std::unique_ptr<TCurrentInputPanel> CurrentInput_;
    std::unique_ptr<TMainCommands> Commands_;
    std::unique_ptr<TVantorVisual> Visual_;
    std::unique_ptr<TStation> Station_;
    std::vector<std::unique_ptr<TQLabelView>> LabelViews_;
    QCheckBox* cbOprosConfigs_ = nullptr;
    QTimer TimerStartConnection_;
    bool Shown_ = false;
    bool Closed_ = false;
};
