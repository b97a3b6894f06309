#include "DispatchService.h"

#include "AlarmStore.h"
#include "AlertRunner.h"
#include "BrokerFeed.h"
#include "DispatchServer.h"
#include "Fleet.h"
#include "LivePages.h"
#include "Views.h"

#include "common/ProgramFolder.h"
#include "common/StopSignals.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTextStream>
#include <QTimer>

namespace {

// How often the pages get what changed: well inside the second a change may take.
constexpr int kPushMs = 100;
constexpr int kTickMs = 1000;

qint64 Now() { return QDateTime::currentMSecsSinceEpoch(); }

void Tell(const QString& line) { QTextStream(stderr) << line << u'\n'; }

}  // namespace

int RunDispatchService(const TDispatchSettings& settings)
{
    TFleet fleet(settings.Broker.Root, settings.StaleMinutes);
    TAlarmBook& book = fleet.Alarms();
    if (!settings.AlertCommand.isEmpty())
        book.WantsAlert = [&settings](const TAlarm& a) {
            return (settings.AlertKinds.isEmpty() || settings.AlertKinds.contains(a.Kind))
                   && (settings.AlertStations.isEmpty() || settings.AlertStations.contains(a.Station));
        };

    TAlarmStore store;
    QString reason;
    const QString storePath = ProgramFolder() + QStringLiteral("DATA/dispatch.sqlite");
    const bool stored = store.Open(storePath, reason);
    if (stored)
        book.Load(store.Load());
    else
        Tell(QStringLiteral("Список тревог и подтверждения не сохраняются: ") + reason);

    TAlertRunner alerts(settings.AlertCommand, settings.AlertRetrySeconds * 1000);
    alerts.OnSent = [&book](const QString& key, bool began) { book.AlertSent(key, began); };

    TLivePages pages(fleet);
    TDispatchServer server(settings, fleet, pages);
    if (!server.Start(reason)) {
        Tell(QStringLiteral("Страница диспетчера не открыта: ") + reason);
        return 1;
    }
    Tell(QStringLiteral("Страница диспетчера: %1://%2:%3/")
             .arg(settings.Tls() ? QStringLiteral("https") : QStringLiteral("http"),
                  settings.ListenAddress.protocol() == QAbstractSocket::IPv6Protocol
                      ? u'[' + settings.ListenAddress.toString() + u']'
                      : settings.ListenAddress.toString())
             .arg(server.Port()));

    TBrokerFeed feed(settings.Broker, settings.ClientId());
    feed.OnMessages = [&fleet](QVector<TBrokerMessage>& messages) {
        const qint64 now = Now();
        for (const TBrokerMessage& m : messages)
            fleet.Take(m.Topic, m.Payload, now);
    };
    const QString where = settings.Broker.Host + u':' + QString::number(settings.Broker.Port);
    feed.OnState = [&pages, where](bool connected, const QString& why) {
        pages.SetBroker(connected, why);
        Tell(connected ? QStringLiteral("Соединение с брокером MQTT %1 установлено").arg(where)
                       : QStringLiteral("Нет соединения с брокером MQTT %1: %2").arg(where, why));
    };
    feed.Start();

    QSet<QString> unsaved;  // kept for the next try when a write failed
    bool saveFailed = false;
    QTimer push;
    QObject::connect(&push, &QTimer::timeout, [&] {
        const qint64 now = Now();
        pages.Push(now);
        for (const auto& [key, began] : book.TakeAlerts())
            if (const TAlarm* a = book.Find(key))
                alerts.Add(key, began, AlertJson(*a, began), a->Station + QStringLiteral(": ") + a->Text);
        if (!stored)
            return;
        unsaved.unite(book.TakeUnsaved());
        QString why;
        if (store.Save(book, unsaved, why)) {
            unsaved.clear();
            if (saveFailed)
                Tell(QStringLiteral("Список тревог снова сохраняется"));
            saveFailed = false;
        } else if (!saveFailed) {
            Tell(QStringLiteral("Список тревог не сохранен: ") + why);
            saveFailed = true;
        }
    });
    push.start(kPushMs);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&fleet] { fleet.Tick(Now()); });
    tick.start(kTickMs);

    WatchStopSignals(QCoreApplication::instance(), [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    // The last changes, acknowledgements among them, are kept.
    if (stored)
        store.Save(book, unsaved.unite(book.TakeUnsaved()), reason);
    return 0;
}
