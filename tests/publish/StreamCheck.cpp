#include "StreamCheck.h"

#include "history/HistoryStore.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <map>
#include <set>

namespace {

constexpr int kInputs = 192;

QVector<THistoryReading> History(const QString& path)
{
    THistoryStore store;
    QVector<THistoryReading> all;
    if (!store.Open(path))
        return all;
    for (int n = 1; n <= kInputs; ++n)
        all += store.Query(n, 0, std::numeric_limits<qint64>::max() / 2);
    return all;
}

}  // namespace

testing::AssertionResult Deduplicate(const std::vector<Subscriber::Message>& messages, const QString& topic,
                                     std::vector<ReceivedReading>& readings)
{
    std::map<std::pair<QString, qint64>, QByteArray> seen;
    readings.clear();
    for (const Subscriber::Message& m : messages) {
        if (m.Topic != topic)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(m.Payload).object();
        const QString epoch = o.value("epoch").toString();
        const qint64 seq = o.value("seq").toInteger();
        if (seq <= 0 || epoch.isEmpty() || o.value("schema").toInt() != 2)
            return testing::AssertionFailure() << "not a reading: " << m.Payload.toStdString();
        auto [it, fresh] = seen.emplace(std::pair{epoch, seq}, m.Payload);
        if (!fresh) {
            if (it->second != m.Payload)
                return testing::AssertionFailure() << "sequence " << seq << " came with two contents";
            continue;
        }
        const qint64 time = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
        readings.push_back({seq, o.value("input").toInt(), time, o});
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult SameAsHistory(const std::vector<ReceivedReading>& readings, const QString& historyPath)
{
    // The history keeps whole seconds: two readings of an input may share one (a restart within
    // the second), and then come in the order they were kept.
    std::map<std::pair<int, qint64>, std::vector<const ReceivedReading*>> received;
    std::map<int, qint64> lastTime;
    for (const ReceivedReading& r : readings) {
        received[{r.Input, r.Time}].push_back(&r);
        auto last = lastTime.find(r.Input);
        if (last != lastTime.end() && last->second > r.Time)
            return testing::AssertionFailure() << "input " << r.Input << ": sequence " << r.Seq << " out of order";
        lastTime[r.Input] = r.Time;
    }
    const QVector<THistoryReading> history = History(historyPath);
    if (history.isEmpty())
        return testing::AssertionFailure() << "the history is empty";
    std::map<std::pair<int, qint64>, std::size_t> matched;
    for (const THistoryReading& h : history) {
        const std::pair key{h.Input, h.Time};
        auto it = received.find(key);
        std::size_t& used = matched[key];
        if (it == received.end() || used >= it->second.size())
            return testing::AssertionFailure() << "input " << h.Input << " at " << h.Time << " never arrived";
        const QJsonObject& o = it->second[used++]->Json;
        if (o.value("battery").toInt() != h.Battery || o.value("state").toInt() != h.OprosState)
            return testing::AssertionFailure() << "input " << h.Input << " at " << h.Time << " arrived changed";
        // Out of exchange a probe's last values are no reading: the stream says null.
        const QJsonArray temperatures = o.value("temperatures").toArray();
        for (int i = 0; i < 6; ++i) {
            const bool measured = h.OprosState == 0 && h.TemperState[i] == 1;
            if (measured ? temperatures.at(i).toDouble() != h.Temper[i] : !temperatures.at(i).isNull())
                return testing::AssertionFailure() << "input " << h.Input << " sensor " << i + 1 << " arrived changed";
        }
    }
    // A reading sent again under a new sequence is one more than the history holds.
    for (const auto& [key, copies] : received)
        if (copies.size() != matched[key])
            return testing::AssertionFailure() << "input " << key.first << " at " << key.second << " came under "
                                               << copies.size() << " sequences, the history holds it "
                                               << matched[key] << " times";
    return testing::AssertionSuccess();
}

int HistoryCount(const QString& historyPath) { return History(historyPath).size(); }

testing::AssertionResult StreamMatchesHistory(const Subscriber& subscriber, const QString& topic,
                                              const QString& historyPath)
{
    std::vector<ReceivedReading> readings;
    if (auto ok = Deduplicate(subscriber.Messages(), topic, readings); !ok)
        return ok;
    return SameAsHistory(readings, historyPath);
}

std::size_t ArrivedCount(const Subscriber& subscriber, const QString& topic)
{
    std::set<std::pair<QString, qint64>> seqs;
    for (const auto& m : subscriber.Messages())
        if (m.Topic == topic) {
            const QJsonObject o = QJsonDocument::fromJson(m.Payload).object();
            seqs.insert({o.value("epoch").toString(), o.value("seq").toInteger()});
        }
    return seqs.size();
}
