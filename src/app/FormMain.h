#pragma once

#include "app/WriteFields.h"
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
class QLabel;
class TCustomComPort;
enum class TBrokerState;
class TCustomTimer;
class TLogTroubleView;
class TQLabelView;
class TRequestThread;
class TRiseMonitor;
class TStation;
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
    TiodIntegerToInteger* SelectedInput() const { return SelectedInput_.get(); }
    qint32 RequestCount = 0;
    qint32 AnswerCount = 0;

    // Text of status bar panel 0..2.
    QString StatusText(int panel) const;
    QTimer* TimerStartConnection() { return &TimerStartConnection_; }
    // The station the window is the face of; none before the window is created or after it closed.
    TStation* Station() const { return Station_.get(); }
    // Watches the polled inputs for rising sensors; none without the station.
    TRiseMonitor* RiseMonitor() const;

    // Views.
    void RefreshPolledGroup();
    // The module labels and the rows of the group starting at first (1, 5, .., 189).
    void RefreshGroup(int first);
    void RefreshCurrentInput();
    void ResetStatistics();
    void ShowStatistics();
    void ShowSystemAddress();
    void ShowSignature();
    void ShowModbusParams();
    void ApplyViewMode();
    // Enabled and checked actions from the port, the poll timer, PollSettings and the service range.
    void UpdateActions();
    // A failed controller command: a warning box with its current name and an alarm-log line.
    void ShowCommandError(int command);
    void ShowCommandDone();
    // A settings file that could not be written: the box says which and why.
    void ShowNotSaved(bool saved, const QString& error);

    // Lets go of every unit the window subscribed to; runs once, on whichever way out comes first.
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Lifecycle.
    void FormCreate();
    void FormShow();
    // Esc closes the window, Ctrl+F toggles the full layout; from any control of the window.
    bool FormKeyPress(QKeyEvent* event);
    void TimerStartConnectionTimer();
    void RequestCycleDone(const TRequestThread& thread);
    void CreateVisual();
    void BindVisualLabels();

    // Views.
    void SetupGrids();
    void SetupInputsGrid();
    void SetupCurChannelGrid();
    void SetupProtocolFields();
    void SetupStatusPanels();
    // Labels, boxes and grid columns as wide as the texts they can show need in the font in use.
    void FitTextWidths();
    QStringList InputColumnTexts(int column) const;
    void NumberRows();
    void FillInputRow(int n);
    void asgInputsSelectCell(int row);
    void cbWr_EnabledClick();
    void cbWr_FixClick();
    void LoadWriteFields();
    void DeviceRequest(const QString& command, const QByteArray& request, const QByteArray& answer);
    void ShowLastExchange();
    void SetStatus(int panel, const QString& text);
    void PortBeforeOpen(TCustomComPort* sender);
    void PortBeforeClose(TCustomComPort* sender);
    void PortAfterOpen(TCustomComPort* sender);
    void PortAfterClose(TCustomComPort* sender);
    // The port's state in panel 1, also while its device is away.
    void ShowPortState();
    void ShowPollState(TCustomTimer* sender);
    // The station's notifications: what it has written to the alarm log, the window shows.
    void BindStation();
    // A sensor began or stopped rising: its cells change colour.
    void SensorRiseChange(int n);
    // The font colours of input n's row from its current values and rises; the columns whose
    // colour changed, as bits.
    quint32 ShowInputRowColors(int n);
    // The inputs were marked as not current, or the mark was lifted: every polled row's state.
    void InputsStaleChange();

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
    // "Публикация MQTT": the settings, the broker's state panel and its alarm lines.
    void SetupPublishing();
    void BindPublisher();
    void ShowBrokerState(TBrokerState state, const QString& reason);
    void OpenPublishSettings();

    // Commands.
    void SetupCommands();
    void actConfigComPortExecute();
    void actConfigTimerIntervalExecute();
    void actConfigSystemAddrExecute();
    // True when all three parts of the signature were read.
    bool actSignReadExecute();
    void actWriteSignSysAddrExecute();
    void actWriteSignPlantNumExecute();
    void actCommUpdateProgrExecute();
    void RunServiceCommand(bool open);
    void actCommServiceOpenExecute();
    void actCommServiceCloseExecute();
    void actReadModbusParamsExecute();
    void actWriteModbusParamsExecute();
    void actWriteInputParamsExecute();

    std::unique_ptr<Ui::FormMain> Ui_;
    std::unique_ptr<TiodIntegerToInteger> SelectedInput_;
    std::unique_ptr<TVantorVisual> Visual_;
    std::unique_ptr<TStation> Station_;
    std::unique_ptr<TWriteFields> WriteFields_;
    // The last exchange on the line, and whether the protocol area has yet to show it.
    struct TExchange
    {
        QString Command;
        QByteArray Request;
        QByteArray Answer;
    };
    TExchange LastExchange_;
    bool ExchangePending_ = false;
    std::vector<std::unique_ptr<TQLabelView>> LabelViews_;
    std::vector<QLabel*> StatusPanels_;
    std::unique_ptr<TLogTroubleView> LogTrouble_;
    QLabel* BrokerPanel_ = nullptr;  // only while publishing
    QCheckBox* cbOprosConfigs_ = nullptr;
    QTimer TimerStartConnection_;
    bool Shown_ = false;
    bool Closed_ = false;
};
