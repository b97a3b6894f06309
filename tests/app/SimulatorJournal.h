#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QVector>

#include <array>

// One request the simulator took from the line, as its journal tells it.
struct TJournalEntry
{
    qint64 Time = 0;  // ms since the epoch, when the request was taken
    QByteArray Request;
    QByteArray Answer;  // empty: none went out
    bool Lost = false;     // never reached the controller
    bool Carried = false;  // a write the controller took into its registers
    bool Spoiled = false;  // the answer's bytes were altered on the way out (CRC, length)
    QString Flags;
    QString Note;

    // An answer as the controller meant it: unaltered and not an exception.
    bool GoodAnswer() const;
    // For a write (0x10): the first register and the values.
    bool IsWrite() const;
    int WriteStart() const;
    QVector<quint16> WriteValues() const;
};

// What the simulated controller holds, followed through the writes it carried out, and every value
// each input's settings ever had: a row or a write-back may show an older one, never another's.
struct TSimulatedController
{
    struct TInputSettings
    {
        quint16 Enabled = 0;
        quint16 PlantNumber = 0;
        quint16 Period = 0;
        qint16 SetPoint = 0;  // 1/16 °C
    };

    TSimulatedController();
    void Apply(const TJournalEntry& entry);

    int Address = 1;
    quint16 PlantNumber = 3107;
    quint16 Baud = 6;    // index into the baud table: 9600
    quint16 Parity = 2;  // even
    std::array<TInputSettings, 192> Inputs{};
    std::array<QSet<quint16>, 192> PlantsHeld;
    std::array<QSet<quint16>, 192> EnabledHeld;
    std::array<QSet<quint16>, 192> PeriodsHeld;
    std::array<QSet<qint16>, 192> SetPointsHeld;
};

// Reads the journal as the simulator appends it; only whole lines are taken.
class TSimulatorJournal
{
public:
    explicit TSimulatorJournal(QString path) : Path_(std::move(path)) {}

    // Takes the lines appended since the last call into Entries and the controller's state.
    void Update();
    const QString& Path() const { return Path_; }

    QVector<TJournalEntry> Entries;
    TSimulatedController Controller;

private:
    QString Path_;
    qint64 Offset_ = 0;
};
