#include "MqttCommand.h"
#include "CommandLine.h"
#include "Session.h"

#include "publish/MqttConnection.h"
#include "publish/MqttSettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTextStream>

#include <algorithm>

namespace {

// The broker sends the retained states right after the subscription: this long a silence of
// them ends the list, whatever the live traffic meanwhile.
constexpr int kQuietMs = 500;
constexpr int kReplyLimitMs = 10000;  // to connect and subscribe
// A station that says it is online and has not said so again for this many of its periods.
constexpr int kStalePeriods = 3;
constexpr int kInExchange = 0;
constexpr int kDisabled = 1;  // the input's exchange state "Отключен"

struct TStation {
    QString Status = QStringLiteral("unknown");
    QDateTime StatusTime;  // of the last heartbeat or goodbye
    int Period = 0;        // seconds between heartbeats; 0 when the station tells none
    QString LastReading;   // ISO time
    QList<int> NotInExchange;
    QStringList Alarms;

    // Unknown (null) for a station that tells no period.
    QJsonValue Stale(const QDateTime& now) const
    {
        if (Status != QStringLiteral("online"))
            return false;
        if (Period <= 0)
            return QJsonValue();
        return !StatusTime.isValid() || StatusTime.secsTo(now) > kStalePeriods * Period;
    }
};

QString Later(const QString& a, const QString& b) { return a > b ? a : b; }

void Take(TStation& s, const QStringList& levels, const QJsonObject& o)
{
    const QString kind = levels[1];
    if (kind == QStringLiteral("status")) {
        s.Status = o.value(QStringLiteral("status")).toString(s.Status);
        s.StatusTime = QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
        s.Period = o.value(QStringLiteral("period")).toInt();
        s.LastReading = Later(s.LastReading, o.value(QStringLiteral("lastReading")).toString());
    } else if (kind == QStringLiteral("input") && levels.size() == 3) {
        s.LastReading = Later(s.LastReading, o.value(QStringLiteral("time")).toString());
        const int n = levels[2].toInt();
        s.NotInExchange.removeAll(n);
        // A disabled input is not expected to answer.
        const int state = o.value(QStringLiteral("state")).toInt();
        if (state != kInExchange && state != kDisabled && o.value(QStringLiteral("enabled")) != QJsonValue(false))
            s.NotInExchange.append(n);
    } else if (kind == QStringLiteral("alarms") && levels.value(2) == QStringLiteral("active")) {
        s.Alarms.clear();
        for (const QJsonValue& a : o.value(QStringLiteral("alarms")).toArray())
            s.Alarms << a.toObject().value(QStringLiteral("text")).toString();
    }
}

}  // namespace

int RunMqttCommand(const QStringList& args)
{
    TCommandLine line(QStringLiteral("mqtt"), QStringLiteral("test"),
                      QStringLiteral("Проверить соединение с брокером MQTT по настройкам INI/MQTT.ini."));
    if (const std::optional<int> done = line.Parse(args, 1, 1))
        return *done;
    if (line.Words().first() != QStringLiteral("test"))
        return line.Bad(QStringLiteral("Неизвестная команда: mqtt ") + line.Words().first());
    const TMqttSettings settings = ReadMqttSettings(MqttSettingsPath());
    const QString where = settings.Host + u':' + QString::number(settings.Port);
    const TMqttCheck check = CheckMqttConnection(settings);
    if (check.Outcome == TMqttCheck::BadSettings) {
        PrintError(QStringLiteral("Ошибка в настройках MQTT (") + QDir::toNativeSeparators(MqttSettingsPath())
                   + QStringLiteral("): ") + check.Reason);
        return 1;
    }
    if (check.Outcome == TMqttCheck::Failed) {
        PrintError(QStringLiteral("Не удалось соединиться с брокером MQTT ") + where + QStringLiteral(": ") + check.Reason);
        return 1;
    }
    QTextStream(stdout) << QStringLiteral("Соединение с брокером MQTT ") << where << QStringLiteral(" установлено\n");
    return 0;
}

int RunStationsCommand(const QStringList& args)
{
    TCommandLine line(QStringLiteral("stations"), QStringLiteral("--broker HOST[:PORT] [--root ROOT] [--json]"),
                      QStringLiteral("Станции на брокере MQTT: состояние, время последнего показания, входы без "
                                     "обмена, тревоги. Код выхода 3, если есть активные тревоги."));
    const QCommandLineOption brokerKey =
        line.Add({QStringLiteral("broker")}, QStringLiteral("брокер MQTT, порт 1883 по умолчанию"),
                 QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption rootKey =
        line.Add({QStringLiteral("root")}, QStringLiteral("корень тем, orvela по умолчанию"), QStringLiteral("ROOT"));
    const QCommandLineOption jsonKey = line.AddJson();
    if (const std::optional<int> done = line.Parse(args, 0, 0))
        return *done;
    TMqttSettings settings;
    settings.Enabled = true;
    settings.Station = QStringLiteral("stations");
    const bool json = line.IsSet(jsonKey);
    if (!line.IsSet(brokerKey))
        return line.Bad(QStringLiteral("Не указан брокер (--broker)"));
    const QString broker = line.Value(brokerKey);
    settings.Host = broker.section(u':', 0, 0);
    if (broker.contains(u':')) {
        const std::optional<int> port = line.Number(QStringLiteral("порта брокера"), broker.section(u':', 1), 1, 65535);
        if (!port)
            return kBadCommandLine;
        settings.Port = *port;
    }
    if (line.IsSet(rootKey))
        settings.Root = line.Value(rootKey);
    if (const QString invalid = ValidateMqttSettings(settings); !invalid.isEmpty())
        return line.Bad(invalid);

    const QString where = settings.Host + u':' + QString::number(settings.Port);
    const int rootLevels = int(settings.Root.count(u'/')) + 1;
    QMap<QString, TStation> stations;
    TMqttConnection connection(settings, QStringLiteral("orvela-stations-%1").arg(QCoreApplication::applicationPid()));
    QDeadlineTimer quiet(kReplyLimitMs);
    bool granted = false;
    connection.OnSubscribed = [&] {
        granted = true;
        quiet.setRemainingTime(kQuietMs);
    };
    connection.OnMessage = [&](const QString& topic, const QByteArray& payload, bool retained) {
        if (retained && granted)
            quiet.setRemainingTime(kQuietMs);
        const QStringList levels = topic.split(u'/').mid(rootLevels);
        if (levels.size() >= 2)
            Take(stations[levels[0]], levels, QJsonDocument::fromJson(payload).object());
    };
    bool subscribed = false;
    QString failure;
    if (!connection.Start()) {
        failure = connection.Reason();
    } else {
        while (!quiet.hasExpired()) {
            if (!connection.Loop(50)) {
                failure = connection.Reason();
                break;
            }
            // Only the retained topics: the streams would only add to the traffic.
            if (connection.Accepted() && !subscribed) {
                const QString each = settings.Root + QStringLiteral("/+/");
                subscribed = connection.Subscribe(
                    {each + QStringLiteral("status"), each + QStringLiteral("input/+"), each + QStringLiteral("alarms/active")},
                    0);
            }
        }
        connection.Disconnect();
    }
    if (!failure.isEmpty() || !granted) {
        PrintError(QStringLiteral("Не удалось получить станции от брокера MQTT ") + where + QStringLiteral(": ")
                   + (failure.isEmpty() ? QStringLiteral("брокер не ответил") : failure));
        return 1;
    }

    bool anyAlarm = false;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QTextStream out(stdout);
    QJsonArray list;
    for (auto it = stations.begin(); it != stations.end(); ++it) {
        TStation& s = *it;
        std::sort(s.NotInExchange.begin(), s.NotInExchange.end());
        anyAlarm = anyAlarm || !s.Alarms.isEmpty();
        if (json) {
            QJsonArray inputs;
            for (int n : s.NotInExchange)
                inputs.append(n);
            list.append(QJsonObject{{QStringLiteral("station"), it.key()},
                                    {QStringLiteral("status"), s.Status},
                                    {QStringLiteral("stale"), s.Stale(now)},
                                    {QStringLiteral("lastReading"), s.LastReading.isEmpty() ? QJsonValue() : QJsonValue(s.LastReading)},
                                    {QStringLiteral("notInExchange"), inputs},
                                    {QStringLiteral("alarms"), QJsonArray::fromStringList(s.Alarms)}});
            continue;
        }
        QStringList inputs;
        for (int n : s.NotInExchange)
            inputs << QString::number(n);
        out << it.key() << QStringLiteral(": ") << s.Status;
        if (s.Stale(now) == QJsonValue(true))
            out << QStringLiteral(", но не сообщает о себе с ") << s.StatusTime.toString(Qt::ISODate);
        out << QStringLiteral("; последнее показание: ")
            << (s.LastReading.isEmpty() ? QStringLiteral("нет") : s.LastReading)
            << QStringLiteral("; входы без обмена: ") << (inputs.isEmpty() ? QStringLiteral("нет") : inputs.join(u' '))
            << QStringLiteral("; активных тревог: ") << s.Alarms.size() << u'\n';
        for (const QString& alarm : s.Alarms)
            out << QStringLiteral("  ") << alarm << u'\n';
    }
    if (json)
        out << QJsonDocument(list).toJson(QJsonDocument::Indented);
    out.flush();
    return anyAlarm ? 3 : 0;
}
