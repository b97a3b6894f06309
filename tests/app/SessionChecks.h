#pragma once

#include "OperatorSession.h"
#include "SimulatorJournal.h"

#include "history/HistoryReading.h"

#include <QByteArray>
#include <QMap>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <deque>
#include <functional>
#include <map>
#include <optional>

class MessageRecorder;
class TFormMain;
class TestFolder;

// Input settings as the operator typed them (or a file holds them); a field left as loaded is empty.
struct TTypedSettings
{
    std::optional<quint16> Enabled;
    std::optional<quint16> PlantNumber;
    std::optional<quint16> Period;
    std::optional<qint16> SetPoint;  // 1/16 °C

    QString Text() const;
};

// The invariants of an operator session, checked after every step against what the window shows,
// what the program stored and what the simulator's journal says it was sent, did and answered.
class TSessionChecks
{
public:
    TSessionChecks(const TestFolder& folder, TSimulatorJournal& journal, MessageRecorder& messages,
                   TSessionOutcome& outcome, int hangMs);

    // Follows the window's cycles and exchanges from now on.
    void Attach(TFormMain& form);
    // The INI files as they are now: from here on they change only through their commands.
    void TakeSettings();

    void BeginStep(int step);
    // What the step's command must have done when it reports success; armed by CommandRuns.
    void ExpectDone(int command, bool check);
    void ExpectInputWrite(int input, const QString& commandName, const TTypedSettings& typed);
    void ExpectConfigWrite(int first, int last, const std::map<int, TTypedSettings>& file);
    // The operator ran the action: its expectations apply, and the INI files it stores may change.
    void CommandRuns(const QString& action);
    // longestBlockMs: the longest time the window did not respond during the step.
    void EndStep(qint64 longestBlockMs);
    // The readings the history kept from the cycles ended since the last check.
    void CheckHistory();

    // The step line joined to the ones before it, as a violation shows them.
    QString Remember(const QString& line);
    void Violation(const std::string& kind, const QString& text);

private:
    struct TExchange
    {
        QString Command;
        QByteArray Request;
        QByteArray Answer;
    };
    struct TCycle
    {
        int Group = 0;  // the controller's CurrentInput when the cycle ended
        std::optional<TExchange> Readings;
        qint64 Before = 0;  // the window handled the cycle's end between these, ms since the epoch
        qint64 After = 0;
    };

    bool Failed(const QString& command) const;
    const TJournalEntry* Carried(const TExchange& exchange) const;
    const TJournalEntry* Answered(const TExchange& exchange) const;
    void CheckDone(const QString& command);
    void CheckWriteBack(int input, const QString& command, const TTypedSettings& expected, bool heldAllowed);
    void CheckReads();
    void CheckRows();
    void CheckBroadcasts();
    void CheckSettingsFiles();
    void CheckLogs();
    // Why the reading cannot come from the cycle, or empty.
    QString ReadingFault(const TCycle& cycle, int input, const THistoryReading& reading) const;
    QMap<QString, QByteArray> SettingsFiles() const;

    const TestFolder& Folder_;
    TSimulatorJournal& Journal_;
    MessageRecorder& Messages_;
    TSessionOutcome& Outcome_;
    const int HangMs_;
    QPointer<TFormMain> Form_;

    int Step_ = 0;
    qsizetype JournalFrom_ = 0;
    QVector<TExchange> Exchanges_;  // this step's
    std::optional<TExchange> PendingReadings_;
    QVector<TCycle> Cycles_;
    qsizetype CyclesChecked_ = 0;
    QSet<QPair<int, qint64>> ReadingsSeen_;  // input and time of the readings checked
    std::vector<std::function<void()>> Pending_;
    std::vector<std::function<void()>> Armed_;
    QStringList MayChange_;
    QMap<QString, QByteArray> Settings_;
    std::deque<QString> Trail_;
};
