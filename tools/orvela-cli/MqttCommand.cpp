#include "MqttCommand.h"
#include "CommandLine.h"
#include "Session.h"

#include "publish/MqttConnection.h"
#include "publish/MqttSettings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTextStream>

#include <algorithm>

namespace {

// The broker sends the retained messages at once; this long a silence ends them.
constexpr int kQuietMs = 700;
constexpr int kReplyLimitMs = 10000;

struct TStation {
    QString Status = QStringLiteral("unknown");
    QString LastReading;  // ISO time of the newest input state
    QList<int> NotInExchange;
    QStringList Alarms;
};

QString Later(const QString& a, const QString& b) { return a > b ? a : b; }

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
    const QString reason = CheckMqttConnection(settings);
    if (!reason.isEmpty()) {
        PrintError(QStringLiteral("Не удалось соединиться с брокером MQTT ") + where + QStringLiteral(": ") + reason);
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
    connection.OnMessage = [&](const QString& topic, const QByteArray& payload, bool) {
        quiet.setRemainingTime(kQuietMs);
        const QStringList levels = topic.split(u'/').mid(rootLevels);
        if (levels.size() < 2)
            return;
        TStation& s = stations[levels[0]];
        const QJsonObject o = QJsonDocument::fromJson(payload).object();
        const QString kind = levels[1];
        if (kind == QStringLiteral("status")) {
            s.Status = o.value(QStringLiteral("status")).toString(s.Status);
        } else if (kind == QStringLiteral("input") && levels.size() == 3) {
            s.LastReading = Later(s.LastReading, o.value(QStringLiteral("time")).toString());
            const int n = levels[2].toInt();
            s.NotInExchange.removeAll(n);
            if (o.value(QStringLiteral("exchange")).toObject().value(QStringLiteral("code")).toInt() != 0)
                s.NotInExchange.append(n);
        } else if (kind == QStringLiteral("alarms") && levels.value(2) == QStringLiteral("active")) {
            s.Alarms.clear();
            for (const QJsonValue& a : o.value(QStringLiteral("alarms")).toArray())
                s.Alarms << a.toObject().value(QStringLiteral("text")).toString();
        }
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
            if (connection.Accepted() && !subscribed) {
                subscribed = connection.Subscribe(settings.Root + QStringLiteral("/#"));
                quiet.setRemainingTime(kQuietMs * 3);
            }
        }
        connection.Disconnect();
    }
    if (!failure.isEmpty() || !subscribed) {
        PrintError(QStringLiteral("Не удалось получить станции от брокера MQTT ") + where + QStringLiteral(": ")
                   + (failure.isEmpty() ? QStringLiteral("брокер не ответил") : failure));
        return 1;
    }

    bool anyAlarm = false;
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
                                    {QStringLiteral("lastReading"), s.LastReading.isEmpty() ? QJsonValue() : QJsonValue(s.LastReading)},
                                    {QStringLiteral("notInExchange"), inputs},
                                    {QStringLiteral("alarms"), QJsonArray::fromStringList(s.Alarms)}});
            continue;
        }
        QStringList inputs;
        for (int n : s.NotInExchange)
            inputs << QString::number(n);
        out << it.key() << QStringLiteral(": ") << s.Status << QStringLiteral("; последнее показание: ")
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
