#include "LivePages.h"

#include "GridCells.h"
#include "Views.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUrlQuery>
#include <QWebSocket>

namespace {

constexpr qint64 kTokenLifeMs = 24LL * 3600 * 1000;
constexpr qsizetype kMostTokens = 10000;
constexpr int kMostPages = 500;
constexpr quint64 kLargestRequest = 16 * 1024;
constexpr qsizetype kLongestName = 100;  // of who acknowledges

QByteArray Compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

}  // namespace

struct TLivePages::TPage {
    std::unique_ptr<QWebSocket> Socket;
    QString Station;  // the station page shown, empty for the overview and the alarm list
    int Input = 0;    // whose readings it shows
};

TLivePages::TLivePages(TFleet& fleet, QObject* parent) : QObject(parent), Fleet_(fleet) {}

TLivePages::~TLivePages()
{
    for (const auto& page : Pages_)
        page->Socket->disconnect(this);
}

QByteArray TLivePages::IssueToken(qint64 now)
{
    if (Tokens_.size() >= kMostTokens) {
        Tokens_.removeIf([now](const auto& token) { return token.value() < now; });
        // A flood of requests: the pages open now take new ones when they reconnect.
        if (Tokens_.size() >= kMostTokens)
            Tokens_.clear();
    }
    QByteArray bytes(16, '\0');
    QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(bytes.data()),
                                         reinterpret_cast<quint32*>(bytes.data() + bytes.size()));
    const QByteArray token = bytes.toHex();
    Tokens_.insert(token, now + kTokenLifeMs);
    return token;
}

bool TLivePages::TokenValid(const QByteArray& token, qint64 now) const
{
    const auto found = Tokens_.constFind(token);
    return found != Tokens_.cend() && *found >= now;
}

void TLivePages::Accept(std::unique_ptr<QWebSocket> socket, qint64 now)
{
    const QByteArray token = QUrlQuery(socket->requestUrl()).queryItemValue(QStringLiteral("token")).toLatin1();
    if (!TokenValid(token, now) || int(Pages_.size()) >= kMostPages) {
        // The page asks for a new token and comes again.
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("token"));
        socket.release()->deleteLater();
        return;
    }
    socket->setMaxAllowedIncomingMessageSize(kLargestRequest);
    auto page = std::make_unique<TPage>();
    page->Socket = std::move(socket);
    TPage* p = page.get();
    connect(p->Socket.get(), &QWebSocket::textMessageReceived, this,
            [this, p](const QString& text) { Received(*p, text, QDateTime::currentMSecsSinceEpoch()); });
    // Later: a page that goes while the list is walked is taken out after the walk.
    connect(p->Socket.get(), &QWebSocket::disconnected, this, [this, p] { Remove(p); }, Qt::QueuedConnection);
    Pages_.push_back(std::move(page));
    Send(*p, Compact({{QStringLiteral("type"), QStringLiteral("hello")},
                      {QStringLiteral("tiles"), TilesJson(Fleet_, now)},
                      {QStringLiteral("alarms"), AlarmsJson(Fleet_.Alarms())},
                      {QStringLiteral("headers"), QJsonArray::fromStringList(GridHeaders())},
                      {QStringLiteral("service"), Service()}}));
}

void TLivePages::Remove(TPage* page)
{
    const auto found = std::find_if(Pages_.begin(), Pages_.end(), [page](const auto& p) { return p.get() == page; });
    if (found == Pages_.end())
        return;
    (*found)->Socket->disconnect(this);
    (*found)->Socket.release()->deleteLater();
    Pages_.erase(found);
}

void TLivePages::Send(TPage& page, const QByteArray& message) { page.Socket->sendTextMessage(QString::fromUtf8(message)); }

QJsonObject TLivePages::Service() const
{
    return {{QStringLiteral("brokerConnected"), BrokerConnected_},
            {QStringLiteral("brokerReason"), BrokerReason_},
            {QStringLiteral("malformed"), double(Fleet_.Skipped().Malformed)},
            {QStringLiteral("unknownSchema"), double(Fleet_.Skipped().UnknownSchema)}};
}

void TLivePages::SetBroker(bool connected, const QString& reason)
{
    BrokerConnected_ = connected;
    BrokerReason_ = reason;
}

QJsonObject TLivePages::StationMessage(const QString& station, int input, qint64 now) const
{
    const TStation* s = Fleet_.Find(station);
    if (!s)
        return {{QStringLiteral("type"), QStringLiteral("station")}, {QStringLiteral("station"), station},
                {QStringLiteral("missing"), true}};
    QJsonObject o = StationJson(Fleet_, *s, now);
    o[QStringLiteral("type")] = QStringLiteral("station");
    o[QStringLiteral("input")] = input;
    o[QStringLiteral("readings")] = ReadingsJson(*s, input);
    return o;
}

void TLivePages::Received(TPage& page, const QString& text, qint64 now)
{
    const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString type = o.value(QStringLiteral("type")).toString();
    if (type == QStringLiteral("watch")) {
        page.Station = o.value(QStringLiteral("station")).toString();
        page.Input = qBound(0, o.value(QStringLiteral("input")).toInt(), kInputs);
        if (!page.Station.isEmpty())
            Send(page, Compact(StationMessage(page.Station, page.Input, now)));
    } else if (type == QStringLiteral("ack")) {
        const QString name = o.value(QStringLiteral("name")).toString().simplified().left(kLongestName);
        // Every open page shows it at once, not at the next round.
        if (!name.isEmpty() && Fleet_.Alarms().Acknowledge(o.value(QStringLiteral("key")).toString(), name, now))
            Push(now);
    }
}

void TLivePages::Push(qint64 now)
{
    const TFleet::TChanges changes = Fleet_.TakeChanges();
    // A page opened later gets everything in its greeting.
    if (Pages_.empty()) {
        SentTiles_.clear();
        SentService_ = {};
        return;
    }
    const QJsonObject service = Service();
    if (!changes.Any() && changes.Rows.isEmpty() && changes.Readings.isEmpty() && changes.Signatures.isEmpty()
        && service == SentService_)
        return;

    QJsonArray tiles, goneTiles, alarms, goneAlarms;
    for (const QString& name : changes.Tiles) {
        const TStation* s = Fleet_.Find(name);
        if (!s) {
            if (SentTiles_.remove(name))
                goneTiles.append(name);
            continue;
        }
        const QJsonObject tile = TileJson(Fleet_, *s, now);
        QByteArray& sent = SentTiles_[name];
        const QByteArray bytes = Compact(tile);
        if (bytes == sent)
            continue;
        sent = bytes;
        tiles.append(tile);
    }
    for (const QString& key : changes.Alarms) {
        if (const TAlarm* a = Fleet_.Alarms().Find(key))
            alarms.append(AlarmJson(*a));
        else
            goneAlarms.append(key);
    }
    QJsonObject update{{QStringLiteral("type"), QStringLiteral("update")}};
    if (!tiles.isEmpty() || !goneTiles.isEmpty()) {
        update[QStringLiteral("tiles")] = tiles;
        update[QStringLiteral("goneTiles")] = goneTiles;
    }
    if (!alarms.isEmpty() || !goneAlarms.isEmpty()) {
        update[QStringLiteral("alarms")] = alarms;
        update[QStringLiteral("goneAlarms")] = goneAlarms;
    }
    if (service != SentService_) {
        update[QStringLiteral("service")] = service;
        SentService_ = service;
    }
    const QByteArray broadcast = update.size() > 1 ? Compact(update) : QByteArray();

    // Each station shown gets its message made once, whatever the number of pages on it.
    QHash<QString, QByteArray> stationUpdates;
    const auto stationUpdate = [&](const QString& name) -> const QByteArray& {
        const auto made = stationUpdates.constFind(name);
        if (made != stationUpdates.cend())
            return *made;
        QJsonObject o{{QStringLiteral("type"), QStringLiteral("rows")}, {QStringLiteral("station"), name}};
        const TStation* s = Fleet_.Find(name);
        if (s) {
            const auto rows = changes.Rows.constFind(name);
            if (rows != changes.Rows.cend()) {
                QJsonArray list;
                for (int n = 1; n <= kInputs; ++n)
                    if (rows->test(n - 1))
                        list.append(QJsonArray{n, RowJson(Fleet_, *s, n)});
                o[QStringLiteral("rows")] = list;
            }
            if (changes.Signatures.contains(name))
                o[QStringLiteral("controller")] = ControllerJson(*s);
            if (changes.Tiles.contains(name))
                o[QStringLiteral("alarms")] = StationAlarmsJson(Fleet_, name);
        }
        return *stationUpdates.insert(name, o.size() > 2 ? Compact(o) : QByteArray());
    };
    for (const auto& page : Pages_) {
        if (!broadcast.isEmpty())
            Send(*page, broadcast);
        if (page->Station.isEmpty())
            continue;
        if (const QByteArray& rows = stationUpdate(page->Station); !rows.isEmpty())
            Send(*page, rows);
        if (const TStation* s = Fleet_.Find(page->Station); s && changes.Readings.contains({page->Station, page->Input}))
            Send(*page, Compact({{QStringLiteral("type"), QStringLiteral("readings")},
                                 {QStringLiteral("station"), page->Station},
                                 {QStringLiteral("input"), page->Input},
                                 {QStringLiteral("readings"), ReadingsJson(*s, page->Input)}}));
    }
}
