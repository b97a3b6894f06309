#include "SimulatorJournal.h"

#include "device/VantorCodes.h"

#include <QFile>

namespace {

quint16 WordAt(const QByteArray& bytes, int at)
{
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) << 8 | static_cast<quint8>(bytes[at + 1]));
}

}  // namespace

bool TJournalEntry::GoodAnswer() const
{
    return Answer.size() >= 2 && !Spoiled && (static_cast<quint8>(Answer[1]) & 0x80) == 0;
}

bool TJournalEntry::IsWrite() const
{
    return Request.size() >= 9 && static_cast<quint8>(Request[1]) == 0x10 &&
           Request.size() == 9 + 2 * WordAt(Request, 4);
}

int TJournalEntry::WriteStart() const
{
    return WordAt(Request, 2);
}

QVector<quint16> TJournalEntry::WriteValues() const
{
    QVector<quint16> values;
    for (int i = 0; i < WordAt(Request, 4); ++i)
        values << WordAt(Request, 7 + 2 * i);
    return values;
}

TSimulatedController::TSimulatedController()
{
    // The simulator's scenery: every 16th input disabled, probe n numbered 20000 + n, polled every
    // 5 minutes, set-point 15 °C.
    for (int n = 1; n <= vantor::kInputCount; ++n) {
        TInputSettings& input = Inputs[n - 1];
        input = {n % 16 != 0 ? quint16(1) : quint16(0), quint16(20000 + n), 5, 15 * 16};
        PlantsHeld[n - 1] << input.PlantNumber;
        EnabledHeld[n - 1] << input.Enabled;
        PeriodsHeld[n - 1] << input.Period;
        SetPointsHeld[n - 1] << input.SetPoint;
    }
}

void TSimulatedController::Apply(const TJournalEntry& entry)
{
    if (!entry.Carried || !entry.IsWrite())
        return;
    const int start = entry.WriteStart();
    const QVector<quint16> values = entry.WriteValues();
    if (start == vantor::kSystemBlock && values.size() == 3) {
        Address = values[2];
        return;
    }
    for (int i = 0; i < values.size(); ++i) {
        const int reg = start + i;
        if (reg == vantor::kDevicePlantNumberRegister)
            PlantNumber = values[i];
        else if (reg == vantor::kModbusBaudRegister)
            Baud = values[i];
        else if (reg == vantor::kModbusParityRegister)
            Parity = values[i];
        const int first = vantor::SettingsBlockFirst(1);
        if (reg < first || reg >= vantor::SettingsBlockFirst(vantor::kInputCount) + vantor::kSettingsBlockSize)
            continue;
        const int n = (reg - first) / vantor::kSettingsBlockSize + 1;
        TInputSettings& input = Inputs[n - 1];
        switch ((reg - first) % vantor::kSettingsBlockSize) {
        case 0: EnabledHeld[n - 1] << (input.Enabled = (values[i] & 0xFF) != 0 ? 1 : 0); break;
        case 1: PlantsHeld[n - 1] << (input.PlantNumber = values[i]); break;
        case 2: PeriodsHeld[n - 1] << (input.Period = values[i]); break;
        case 3: SetPointsHeld[n - 1] << (input.SetPoint = static_cast<qint16>(values[i])); break;
        default: break;
        }
    }
}

void TSimulatorJournal::Update()
{
    QFile file(Path_);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(Offset_))
        return;
    const QByteArray text = file.readAll();
    const qsizetype end = text.lastIndexOf('\n');
    if (end < 0)
        return;
    Offset_ += end + 1;
    for (const QByteArray& line : text.left(end).split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 5)
            continue;  // a change of the faults
        TJournalEntry entry;
        entry.Time = fields[0].toLongLong();
        entry.Request = QByteArray::fromHex(fields[1]);
        if (fields[2] != "-")
            entry.Answer = QByteArray::fromHex(fields[2]);
        entry.Flags = QString::fromLatin1(fields[3]);
        const QStringList flags = entry.Flags.split(u' ');
        entry.Lost = flags.contains(QStringLiteral("lost"));
        entry.Carried = flags.contains(QStringLiteral("carried"));
        entry.Spoiled = flags.contains(QStringLiteral("badcrc")) || flags.contains(QStringLiteral("short")) ||
                        flags.contains(QStringLiteral("long"));
        entry.Note = QString::fromUtf8(fields[4]);
        Controller.Apply(entry);
        Entries << entry;
    }
}
