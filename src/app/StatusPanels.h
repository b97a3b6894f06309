#pragma once

#include <QString>

#include <memory>
#include <vector>

class QAbstractButton;
class QAction;
class QLabel;
class QStatusBar;
struct TAlarmCounts;
class TCustomTimer;
class TLogTroubleView;
enum class TBrokerState;

// The status bar: panel 0 the port's name, 1 the port's state, 2 the poll's state; the alarms by
// kind and a button to the next row with one; the broker's state while publishing; the hint of
// what the pointer rests on, in a panel of its own so that the others stay; a log that cannot be
// written.
class TStatusPanels
{
public:
    explicit TStatusPanels(QStatusBar* bar);
    ~TStatusPanels();

    // Text of panel 0..2.
    QString Text(int panel) const;
    void Set(int panel, const QString& text);
    QLabel* Panel(int panel) const { return Panels_.at(panel); }
    int Count() const { return int(Panels_.size()); }
    // The port's state in panel 1, also while its device is away.
    void ShowPortState();
    void ShowPollState(const TCustomTimer* timer);
    void ShowAlarms(const TAlarmCounts& counts);
    QLabel* AlarmPanel() const { return AlarmPanel_; }
    // The button that runs action, after the alarm panel.
    QAbstractButton* AddNextAlarmButton(QAction* action);
    // The hint of what the pointer rests on; empty when it rests on nothing with a hint.
    void ShowHint(const QString& hint);
    QString Hint() const;
    // The broker's panel, shown only while publishing.
    void BindPublisher();
    void ShowBrokerState(TBrokerState state, const QString& reason);
    // From now on a log that cannot be written is told at the right.
    void WatchLogs();

private:
    QStatusBar* Bar_;
    std::vector<QLabel*> Panels_;
    QLabel* AlarmPanel_ = nullptr;
    QLabel* HintPanel_ = nullptr;
    int HintIndex_ = 0;  // the hint's place among the bar's widgets: those added later go before it
    QLabel* BrokerPanel_ = nullptr;
    std::unique_ptr<TLogTroubleView> LogTrouble_;
};
