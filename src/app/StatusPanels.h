#pragma once

#include <QString>

#include <memory>
#include <vector>

class QLabel;
class QStatusBar;
class TCustomTimer;
class TLogTroubleView;
enum class TBrokerState;

// The status bar: panel 0 the port's name, 1 the port's state, 2 the poll's state; the broker's
// state while publishing; a log that cannot be written.
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
    // The broker's panel, shown only while publishing.
    void BindPublisher();
    void ShowBrokerState(TBrokerState state, const QString& reason);
    // From now on a log that cannot be written is told at the right.
    void WatchLogs();

private:
    QStatusBar* Bar_;
    std::vector<QLabel*> Panels_;
    QLabel* BrokerPanel_ = nullptr;
    std::unique_ptr<TLogTroubleView> LogTrouble_;
};
