#include "SessionChecks.h"

#include "app/FormMain.h"
#include "device/CommandTable.h"
#include "device/DisplayTables.h"
#include "device/InputWrite.h"
#include "device/Polling.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorCodes.h"
#include "device/VantorUnit.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryUnit.h"

#include "MessageRecorder.h"
#include "TestFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <cmath>

namespace {

const QString kNotDone = QStringLiteral("Не выполнена команда");
const QString kDone = QStringLiteral("Команда выполнена успешно");
const QString kConfigDone = QStringLiteral("Запись настроек входов прошла успешно");
const QString kConfigFailed = QStringLiteral("Не удалось записать настройки входов:\r");
const QString kConfigStopped = QStringLiteral("Запись настроек входов прервана после входа ");
constexpr int kPlantColumn = 4;
constexpr std::size_t kTrailLines = 12;

quint16 WordAt(const QByteArray& bytes, int at)
{
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) << 8 | static_cast<quint8>(bytes[at + 1]));
}

// A readings request: 0x04 from the first register of an input's block.
int ReadingsGroup(const QByteArray& request)
{
    if (request.size() != 8 || static_cast<quint8>(request[1]) != 0x04)
        return 0;
    const int start = WordAt(request, 2);
    const int first = vantor::InputBlockFirst(1);
    if (start < first || (start - first) % vantor::kInputBlockSize != 0)
        return 0;
    return (start - first) / vantor::kInputBlockSize + 1;
}

QString Hex(const QByteArray& bytes)
{
    return bytes.isEmpty() ? QStringLiteral("none") : QString::fromLatin1(bytes.toHex(' '));
}

}  // namespace

QString TTypedSettings::Text() const
{
    QString text;
    if (Enabled)
        text += QStringLiteral(" enabled %1").arg(*Enabled);
    if (PlantNumber)
        text += QStringLiteral(" plant %1").arg(*PlantNumber);
    if (Period)
        text += QStringLiteral(" period %1").arg(*Period);
    if (SetPoint)
        text += QStringLiteral(" set-point %1").arg(*SetPoint / 16.0);
    return text;
}

TSessionChecks::TSessionChecks(const TestFolder& folder, TSimulatorJournal& journal, MessageRecorder& messages,
                               TSessionOutcome& outcome, int hangMs)
    : Folder_(folder), Journal_(journal), Messages_(messages), Outcome_(outcome), HangMs_(hangMs)
{
}

void TSessionChecks::Attach(TFormMain& form)
{
    Form_ = &form;
    TRequestThread::TCycleEvent cycle = RequestThread()->OnCycle;
    RequestThread()->OnCycle = [this, cycle](TRequestThread* sender, const QString& title) {
        TCycle done;
        done.Group = Vantor()->CurrentInput;
        done.Readings = std::exchange(PendingReadings_, std::nullopt);
        done.Before = QDateTime::currentMSecsSinceEpoch();
        cycle(sender, title);
        done.After = QDateTime::currentMSecsSinceEpoch();
        Cycles_ << done;
        ++Outcome_.Cycles;
    };
    TOnRequest request = Vantor()->OnRequest;
    Vantor()->OnRequest = [this, request](TVantor* sender, const QString& device, const QString& command,
                                          const QByteArray& req, const QByteArray& answer, bool result) {
        Exchanges_ << TExchange{command, req, answer};
        if (ReadingsGroup(req) != 0)
            PendingReadings_ = TExchange{command, req, answer};
        ++Outcome_.Exchanges;
        request(sender, device, command, req, answer, result);
    };
}

QMap<QString, QByteArray> TSessionChecks::SettingsFiles() const
{
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(Folder_.Path(QStringLiteral("INI"))).entryList(QDir::Files))
        files[name] = Folder_.Read(QStringLiteral("INI/") + name);
    return files;
}

void TSessionChecks::TakeSettings()
{
    Settings_ = SettingsFiles();
}

void TSessionChecks::BeginStep(int step)
{
    Step_ = step;
    Journal_.Update();
    JournalFrom_ = Journal_.Entries.size();
    Exchanges_.clear();
    Messages_.Messages.clear();
    Pending_.clear();
    Armed_.clear();
    MayChange_.clear();
}

void TSessionChecks::CommandRuns(const QString& action)
{
    for (std::function<void()>& check : Pending_)
        Armed_.push_back(std::move(check));
    Pending_.clear();
    if (action == QLatin1String("actConfigTimerInterval"))
        MayChange_ << QStringLiteral("Timer.ini");
    if (action == QLatin1String("actConfigSystemAddr") || action == QLatin1String("actWriteSignSysAddr"))
        MayChange_ << QStringLiteral("VANTOR.ini");
}

void TSessionChecks::ExpectDone(int command, bool check)
{
    if (check)
        Pending_.push_back([this, name = CommandTable().Name(command)] {
            if (!Failed(name))
                CheckDone(name);
        });
}

void TSessionChecks::ExpectInputWrite(int input, const QString& commandName, const TTypedSettings& typed)
{
    Pending_.push_back([=, this] {
        CheckWriteBack(input, commandName, typed, true);
        if (!Failed(commandName))
            CheckDone(commandName);
    });
}

void TSessionChecks::ExpectConfigWrite(int first, int last, const std::map<int, TTypedSettings>& file)
{
    Pending_.push_back([=, this] {
        // Which inputs the view says it wrote.
        const QString result = Messages_.Messages.filter(QStringLiteral("настроек входов")).value(0);
        QList<int> failed;
        int end = last;
        if (const qsizetype at = result.indexOf(kConfigFailed); at >= 0) {
            for (const QString& n : result.mid(at + kConfigFailed.size()).section(u'|', 0, 0).split(u','))
                failed << n.toInt();
        } else if (const qsizetype stopped = result.indexOf(kConfigStopped); stopped >= 0) {
            end = result.mid(stopped + kConfigStopped.size()).section(u'|', 0, 0).toInt();
        } else if (!result.contains(kConfigDone)) {
            return;  // the view did not write
        }
        for (const auto& [n, settings] : file) {
            const QString name = kWriteInputSettingsName + QString::number(n);
            const bool tried = std::any_of(Exchanges_.begin(), Exchanges_.end(),
                                           [&name](const TExchange& e) { return e.Command == name; });
            if (n < first || n > end || failed.contains(n) || (!failed.isEmpty() && !tried))
                continue;
            CheckWriteBack(n, name, settings, false);
            CheckDone(name);
        }
    });
}

QString TSessionChecks::Remember(const QString& line)
{
    Trail_.push_back(line);
    if (Trail_.size() > kTrailLines)
        Trail_.pop_front();
    QStringList lines(Trail_.begin(), Trail_.end());
    return lines.join(u'\n');
}

void TSessionChecks::Violation(const std::string& kind, const QString& text)
{
    if (++Outcome_.Counts[kind] > 1)
        return;
    QStringList lines(Trail_.begin(), Trail_.end());
    Outcome_.Violations[kind] = QStringLiteral("step %1: %2\n  steps before it:\n    %3")
                                    .arg(Step_)
                                    .arg(text, lines.join(QStringLiteral("\n    ")))
                                    .toStdString();
}

// A failure the window reported for this command: its own "not done" box, or any box that is
// neither another command's "not done" nor a success notice (a refusal before sending, say).
bool TSessionChecks::Failed(const QString& command) const
{
    for (const QString& message : Messages_.Messages) {
        if (message.contains(command))
            return true;
        if (!message.contains(kNotDone) && !message.contains(kDone) && !message.contains(kConfigDone))
            return true;
    }
    return false;
}

const TJournalEntry* TSessionChecks::Answered(const TExchange& exchange) const
{
    for (qsizetype i = Journal_.Entries.size() - 1; i >= 0; --i) {
        const TJournalEntry& entry = Journal_.Entries[i];
        if (entry.Request == exchange.Request && entry.Answer == exchange.Answer && entry.GoodAnswer())
            return &entry;
    }
    return nullptr;
}

const TJournalEntry* TSessionChecks::Carried(const TExchange& exchange) const
{
    const TJournalEntry* entry = Answered(exchange);
    return entry && entry->Carried ? entry : nullptr;
}

// A command reported done: the answer the program took is the simulator's own answer to that very
// request, which it carried out.
void TSessionChecks::CheckDone(const QString& command)
{
    QString seen;
    bool carriedAnyway = false;
    for (const TExchange& exchange : Exchanges_) {
        if (exchange.Command != command)
            continue;
        if (Carried(exchange))
            return;
        seen += QStringLiteral("\n    sent %1, took %2 as the answer").arg(Hex(exchange.Request), Hex(exchange.Answer));
        for (qsizetype i = JournalFrom_; i < Journal_.Entries.size(); ++i)
            carriedAnyway = carriedAnyway || (Journal_.Entries[i].Request == exchange.Request && Journal_.Entries[i].Carried);
    }
    QString journal;
    for (qsizetype i = JournalFrom_; i < Journal_.Entries.size(); ++i) {
        const TJournalEntry& entry = Journal_.Entries[i];
        journal += QStringLiteral("\n    simulator: %1 -> %2 [%3] %4")
                       .arg(Hex(entry.Request), Hex(entry.Answer), entry.Flags, entry.Note);
    }
    // Carried out too late to be the answer taken: the success was judged on another frame.
    const QString what = carriedAnyway ? QStringLiteral("on an answer that was not the simulator's answer to it")
                                       : QStringLiteral("but the simulator did not carry it out");
    Violation("done", QStringLiteral("\"%1\" reported done %2%3%4")
                          .arg(command, what, seen.isEmpty() ? QStringLiteral("\n    (nothing sent)") : seen, journal));
}

// What a write of input's settings sent: the typed fields as typed; the others as the input held
// them (heldAllowed: any value it held in the session, since the screen may show an older one).
void TSessionChecks::CheckWriteBack(int input, const QString& command, const TTypedSettings& expected, bool heldAllowed)
{
    const TSimulatedController& sim = Journal_.Controller;
    for (const TExchange& exchange : Exchanges_) {
        if (exchange.Command != command || exchange.Request.size() != 17)
            continue;
        const int start = WordAt(exchange.Request, 2);
        if (start != vantor::SettingsBlockFirst(input)) {
            Violation("write-back", QStringLiteral("\"%1\" was sent to register %2, the block of input %3")
                                        .arg(command)
                                        .arg(start)
                                        .arg((start - vantor::SettingsBlockFirst(1)) / vantor::kSettingsBlockSize + 1));
            continue;
        }
        const quint16 enabled = WordAt(exchange.Request, 7);
        const quint16 plant = WordAt(exchange.Request, 9);
        const quint16 period = WordAt(exchange.Request, 11);
        const auto setPoint = static_cast<qint16>(WordAt(exchange.Request, 13));
        QStringList wrong;
        auto check = [&](const char* field, auto sent, const auto& typed, const auto& held) {
            if (typed ? sent != *typed : !(heldAllowed && held.contains(sent)))
                wrong << QStringLiteral("%1 %2 (%3)")
                             .arg(QLatin1String(field))
                             .arg(sent)
                             .arg(typed ? QStringLiteral("typed %1").arg(*typed) : QStringLiteral("not typed"));
        };
        check("enabled", quint16(enabled != 0), expected.Enabled, sim.EnabledHeld[input - 1]);
        check("plant", plant, expected.PlantNumber, sim.PlantsHeld[input - 1]);
        check("period", period, expected.Period, sim.PeriodsHeld[input - 1]);
        check("set-point/16", setPoint, expected.SetPoint, sim.SetPointsHeld[input - 1]);
        if (!wrong.isEmpty())
            Violation("write-back", QStringLiteral("\"%1\" sent what the operator did not give: %2")
                                        .arg(command, wrong.join(QStringLiteral(", "))));
    }
}

// A read reported done shows what the simulator holds.
void TSessionChecks::CheckReads()
{
    if (!Form_)
        return;
    const TSimulatedController& sim = Journal_.Controller;
    auto ran = [this](int command) {
        const QString name = CommandTable().Name(command);
        return std::any_of(Exchanges_.begin(), Exchanges_.end(), [&name](const TExchange& e) { return e.Command == name; });
    };
    auto label = [this](const char* name) { return Form_->findChild<QLabel*>(QString::fromLatin1(name))->text(); };
    if (ran(cmdSignature3) && !Failed(CommandTable().Name(cmdSignature1).chopped(1)) &&
        label("lbPlantNumber") != QString::number(sim.PlantNumber))
        Violation("done", QStringLiteral("the signature read reported done shows plant number %1, the controller's is %2")
                              .arg(label("lbPlantNumber"))
                              .arg(sim.PlantNumber));
    if (ran(cmdReadModbus) && !Failed(CommandTable().Name(cmdReadModbus)) &&
        (label("lbModbusSpeed") != BaudTexts().value(sim.Baud) || label("lbModbusParity") != ParityTexts().value(sim.Parity)))
        Violation("done", QStringLiteral("the Modbus read reported done shows %1 / %2, the controller holds %3 / %4")
                              .arg(label("lbModbusSpeed"), label("lbModbusParity"), BaudTexts().value(sim.Baud),
                                   ParityTexts().value(sim.Parity)));
}

void TSessionChecks::CheckRows()
{
    if (!Form_)
        return;
    const TSimulatedController& sim = Journal_.Controller;
    auto owner = [&sim](quint16 plant) {
        for (int n = 1; n <= vantor::kInputCount; ++n)
            if (sim.PlantsHeld[n - 1].contains(plant))
                return n;
        return 0;
    };
    auto* grid = Form_->findChild<QTableWidget*>(QStringLiteral("asgInputs"));
    for (int n = 1; n <= vantor::kInputCount; ++n) {
        const QTableWidgetItem* item = grid->item(n - 1, kPlantColumn);
        const QString text = item ? item->text() : QString();
        bool number = false;
        const int plant = text.toInt(&number);
        if (!number || plant == 0 || sim.PlantsHeld[n - 1].contains(quint16(plant)))
            continue;
        Violation("row", QStringLiteral("row %1 shows plant number %2, which belongs to input %3")
                             .arg(n)
                             .arg(plant)
                             .arg(owner(quint16(plant))));
        return;
    }
    const int selected = Form_->SelectedInput() ? Form_->SelectedInput()->GetOutValue().ToInteger() : 0;
    const QString text = Form_->findChild<QLabel*>(QStringLiteral("lbCh_PlantNumber"))->text();
    bool number = false;
    const int plant = text.toInt(&number);
    if (selected >= 1 && selected <= vantor::kInputCount && number && plant != 0 &&
        !sim.PlantsHeld[selected - 1].contains(quint16(plant)))
        Violation("row", QStringLiteral("the panel of input %1 shows plant number %2, which belongs to input %3")
                             .arg(selected)
                             .arg(plant)
                             .arg(owner(quint16(plant))));
}

void TSessionChecks::CheckBroadcasts()
{
    for (qsizetype i = JournalFrom_; i < Journal_.Entries.size(); ++i) {
        const TJournalEntry& entry = Journal_.Entries[i];
        if (entry.Request.isEmpty() || entry.Request[0] != 0)
            continue;
        if (entry.IsWrite() && entry.WriteStart() == vantor::kSystemBlock)
            continue;
        Violation("broadcast", QStringLiteral("%1 went to address 0 (%2)").arg(Hex(entry.Request), entry.Note));
    }
}

void TSessionChecks::CheckSettingsFiles()
{
    const QMap<QString, QByteArray> now = SettingsFiles();
    QStringList names = now.keys() + Settings_.keys();
    names.removeDuplicates();
    for (const QString& name : names)
        if (now.value(name) != Settings_.value(name) && !MayChange_.contains(name))
            Violation("ini", QStringLiteral("INI/%1 changed without a command that stores it:\n    was %2\n    now %3")
                                 .arg(name, QString::fromLatin1(Settings_.value(name)).replace(QStringLiteral("\r\n"), QStringLiteral(" | ")),
                                      QString::fromLatin1(now.value(name)).replace(QStringLiteral("\r\n"), QStringLiteral(" | "))));
    Settings_ = now;
}

void TSessionChecks::CheckLogs()
{
    auto torn = [this] {
        QStringList names;
        for (const QString& name : QDir(Folder_.Path(QStringLiteral("LOG"))).entryList(QDir::Files)) {
            QFile file(Folder_.Path(QStringLiteral("LOG/") + name));
            if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
                continue;
            file.seek(std::max<qint64>(0, file.size() - 2));
            if (file.read(2) != "\r\n")
                names << name;
        }
        return names;
    };
    // A line the request thread is writing this moment is whole a moment later.
    if (torn().isEmpty() || QTest::qWaitFor([&] { return torn().isEmpty(); }, 1000))
        return;
    Violation("log", QStringLiteral("not ending in CR LF: %1").arg(torn().join(QStringLiteral(", "))));
}

QString TSessionChecks::ReadingFault(const TCycle& cycle, int input, const THistoryReading& reading) const
{
    const QString when = QStringLiteral("the history keeps a reading of input %1 from the cycle that ended on group %2: ")
                             .arg(input)
                             .arg(cycle.Group);
    if (!cycle.Readings)
        return when + QStringLiteral("the cycle read no readings");
    const TExchange& read = *cycle.Readings;
    if (!Answered(read))
        return when + QStringLiteral("its read failed (sent %1, took %2)").arg(Hex(read.Request), Hex(read.Answer));
    const int group = ReadingsGroup(read.Request);
    if (input < group || input >= group + vantor::kGroupSize)
        return when + QStringLiteral("the answer was for inputs %1..%2").arg(group).arg(group + 3);
    // The input's block as the simulator sent it.
    const int o = 32 * (input - group);
    QStringList wrong;
    if (reading.Battery != static_cast<quint8>(read.Answer[o + 6]))
        wrong << QStringLiteral("battery %1").arg(reading.Battery);
    for (int i = 0; i < 6; ++i) {
        const quint16 raw = WordAt(read.Answer, o + 9 + 2 * i);
        const bool status = raw >= vantor::kSensorStatusFirst && raw <= vantor::kSensorStatusLast;
        if (status ? reading.TemperState[i] != 2 + raw - vantor::kSensorStatusFirst
                   : reading.TemperState[i] != 1 || std::lround(reading.Temper[i] * 16) != static_cast<qint16>(raw))
            wrong << QStringLiteral("sensor %1: %2 (state %3)").arg(i + 1).arg(reading.Temper[i]).arg(reading.TemperState[i]);
    }
    if (std::isfinite(reading.Bound) &&
        !Journal_.Controller.SetPointsHeld[input - 1].contains(static_cast<qint16>(std::lround(reading.Bound * 16))))
        wrong << QStringLiteral("set-point %1, never the input's").arg(reading.Bound);
    return wrong.isEmpty() ? QString() : when + QStringLiteral("it differs from the answer: ") + wrong.join(QStringLiteral(", "));
}

// The history keeps times to the second, and a second may hold more than one cycle's end: a
// reading is sound when one of the cycles that ended in its second and polled its input gave it.
void TSessionChecks::CheckHistory()
{
    THistoryRecorder* recorder = HistoryRecorder();
    if (!recorder || CyclesChecked_ == Cycles_.size())
        return;
    recorder->WaitWritten();
    THistoryStore store;
    if (!store.Open(HistoryPath()))
        return;
    auto polled = [](const TCycle& cycle, int n) {
        const int read = cycle.Readings ? ReadingsGroup(cycle.Readings->Request) : 0;
        return (n >= cycle.Group && n < cycle.Group + vantor::kGroupSize) ||
               (read > 0 && n >= read && n < read + vantor::kGroupSize);
    };
    for (; CyclesChecked_ < Cycles_.size(); ++CyclesChecked_) {
        const TCycle& cycle = Cycles_[CyclesChecked_];
        for (int n = 1; n <= vantor::kInputCount; ++n) {
            if (!polled(cycle, n))
                continue;
            for (const THistoryReading& reading : store.Query(n, cycle.Before / 1000 * 1000, cycle.After)) {
                if (ReadingsSeen_.contains({n, reading.Time}))
                    continue;
                ReadingsSeen_.insert({n, reading.Time});
                ++Outcome_.Readings;
                QString fault = QStringLiteral("the history keeps a reading of input %1 from a second in which no cycle "
                                               "polled it")
                                    .arg(n);
                bool candidates = false;
                for (const TCycle& candidate : Cycles_) {
                    if (!polled(candidate, n) || candidate.After < reading.Time ||
                        candidate.Before >= reading.Time + 1000)
                        continue;
                    if (!std::exchange(candidates, true))
                        fault.clear();
                    const QString why = ReadingFault(candidate, n, reading);
                    if (why.isEmpty()) {
                        fault.clear();
                        break;
                    }
                    if (fault.isEmpty())
                        fault = why;
                }
                if (!fault.isEmpty())
                    Violation("history", fault);
            }
        }
    }
}

void TSessionChecks::EndStep(qint64 longestBlockMs)
{
    Journal_.Update();
    if (longestBlockMs > HangMs_)
        Violation("hang", QStringLiteral("the window did not respond for %1 ms").arg(longestBlockMs));
    CheckBroadcasts();
    for (const std::function<void()>& check : Armed_)
        check();
    CheckReads();
    CheckRows();
    CheckHistory();
    CheckSettingsFiles();
    CheckLogs();
}
