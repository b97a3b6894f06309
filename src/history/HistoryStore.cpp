#include "history/HistoryStore.h"

#include "common/ProgramFolder.h"
#include "history/HistoryBlock.h"
#include "history/HistoryOutbox.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <optional>

namespace {

// A block is closed at the end of its day or at this many readings: SQLite rewrites a row whole,
// so the bytes a commit writes stay within a page or two.
constexpr qint64 kBlockReadings = 512;
constexpr int kSchemaVersion = 1;

QString NewConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("history-%1").arg(counter.fetch_add(1));
}

// The operator's reason for a failed statement, from SQLite's result code.
QString Reason(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xFF;
    QString reason;
    if (ok) {
        switch (code) {
        case 5:  // SQLITE_BUSY
        case 6:  // SQLITE_LOCKED
            reason = QStringLiteral("база занята другой программой");
            break;
        case 11:  // SQLITE_CORRUPT
        case 26:  // SQLITE_NOTADB
            reason = QStringLiteral("файл базы поврежден");
            break;
        case 13:  // SQLITE_FULL
            reason = QStringLiteral("диск переполнен");
            break;
        case 8:   // SQLITE_READONLY
        case 14:  // SQLITE_CANTOPEN
        case 23:  // SQLITE_AUTH
            reason = QStringLiteral("нет доступа к файлу базы");
            break;
        case 10:  // SQLITE_IOERR
            reason = QStringLiteral("ошибка ввода-вывода");
            break;
        default:
            break;
        }
    }
    if (reason.isEmpty())
        reason = QStringLiteral("ошибка базы истории");
    const QString detail = error.text().trimmed();
    return detail.isEmpty() ? reason : reason + QStringLiteral(" (") + detail + u')';
}

// The last block of an input: no readings but the ones of the batch being written.
struct TOpenBlock {
    qint64 Start = 0;  // seconds: the key of the block
    qint64 Count = 0;  // stored and batched readings
    // Stored in the current layout, exactly as Tail says: the batch is appended to it.
    bool Appendable = false;
    TBlockTail Tail;
    QVector<THistoryReading> Batch;
};

}  // namespace

struct THistoryStore::TData {
    QString Connection;
    QString Path;
    QString Error;
    // The last block of each input touched by Append.
    QHash<int, TOpenBlock> OpenBlocks;
    QSet<int> Dirty;  // inputs whose open block has a batch to write
    bool Outbox = false;
    // What every batch runs, parsed once per connection: parsed at every batch, they cost the
    // writer more than running them.
    std::optional<QSqlQuery> Begin, Commit, Update;

    QSqlDatabase Database() const { return QSqlDatabase::database(Connection, false); }

    bool Fail(const QString& what, const QSqlError& error)
    {
        Error = what + QStringLiteral(" «") + QDir::toNativeSeparators(Path) + QStringLiteral("»: ") + Reason(error)
                + u'.';
        return false;
    }

    bool Exec(QSqlQuery& query, const QString& what)
    {
        return query.exec() || Fail(what, query.lastError());
    }

    bool Exec(const QString& statement, const QString& what)
    {
        QSqlQuery query(Database());
        return query.exec(statement) || Fail(what, query.lastError());
    }

    // The statement kept in slot, prepared at its first use, run with these values.
    bool Exec(std::optional<QSqlQuery>& slot, const QString& statement, const QVariantList& values,
              const QString& what)
    {
        if (!slot) {
            slot.emplace(Database());
            if (!slot->prepare(statement)) {
                const QSqlError error = slot->lastError();
                slot.reset();
                return Fail(what, error);
            }
        }
        for (qsizetype i = 0; i < values.size(); ++i)
            slot->bindValue(static_cast<int>(i), values[i]);
        return Exec(*slot, what);
    }

    // The block a reading of this input goes into: the input's last one when the reading falls on
    // its day and it has room, else a new one keyed by the reading's time (or the stored block
    // already under that key).
    bool BlockFor(const THistoryReading& reading, TOpenBlock*& block);
    bool Load(int input, const QString& condition, qint64 value, TOpenBlock& block, bool& found);
    bool Store(int input, TOpenBlock& block);
    bool Rewrite(int input, TOpenBlock& block);
};

THistoryStore::THistoryStore() : Data_(new TData) {}

THistoryStore::~THistoryStore()
{
    Close();
    delete Data_;
}

bool THistoryStore::Open(const QString& path)
{
    Close();
    Data_->Path = path;
    Data_->Error.clear();
    const QString failure = QStringLiteral("Не удалось открыть базу истории");
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        Data_->Error = failure + QStringLiteral(" «") + QDir::toNativeSeparators(path)
                       + QStringLiteral("»: не удалось создать папку.");
        return false;
    }
    Data_->Connection = NewConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Data_->Connection);
        db.setDatabaseName(path);
        // A writer holding the file only briefly is waited for; one that keeps it is a failure.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        if (!db.open()) {
            Data_->Fail(failure, db.lastError());
            Close();
            return false;
        }
    }
    // The first statement reads the header: a file that is not a database fails here.
    QSqlQuery version(Data_->Database());
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next()) {
        Data_->Fail(failure, version.lastError());
        version = QSqlQuery();
        Close();
        return false;
    }
    const int stored = version.value(0).toInt();
    version = QSqlQuery();
    if (stored > kSchemaVersion) {
        Data_->Error = failure + QStringLiteral(" «") + QDir::toNativeSeparators(path)
                       + QStringLiteral("»: база записана более новой версией программы.");
        Close();
        return false;
    }
    // WAL: a killed process loses at most the batch it was writing; NORMAL syncs at checkpoints.
    QSqlQuery wal(Data_->Database());
    const bool walOk = wal.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && wal.next()
                       && wal.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) == 0;
    const QSqlError walError = wal.lastError();
    wal = QSqlQuery();
    if (!walOk) {
        Data_->Fail(failure, walError);
        Close();
        return false;
    }
    if (!Data_->Exec(QStringLiteral("PRAGMA synchronous=NORMAL"), failure)
        || !Data_->Exec(QStringLiteral("CREATE TABLE IF NOT EXISTS block("
                                       "input INTEGER NOT NULL, start INTEGER NOT NULL, "
                                       "count INTEGER NOT NULL, data BLOB NOT NULL, "
                                       "PRIMARY KEY(input, start))"),
                        failure)
        || (stored < kSchemaVersion
            && !Data_->Exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion), failure))) {
        Close();
        return false;
    }
    if (Data_->Outbox && !CreateOutboxTables(Data_->Database(), Data_->Error)) {
        Close();
        return false;
    }
    return true;
}

void THistoryStore::KeepOutbox(bool on) { Data_->Outbox = on; }

void THistoryStore::Close()
{
    Data_->OpenBlocks.clear();
    // Statements let go of the connection before it closes.
    Data_->Begin.reset();
    Data_->Commit.reset();
    Data_->Update.reset();
    if (Data_->Connection.isEmpty())
        return;
    {
        QSqlDatabase db = Data_->Database();
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(Data_->Connection);
    Data_->Connection.clear();
}

bool THistoryStore::IsOpen() const { return !Data_->Connection.isEmpty(); }

QString THistoryStore::ErrorText() const { return Data_->Error; }

QVector<THistoryReading> THistoryStore::Query(int input, qint64 from, qint64 to) const
{
    QVector<THistoryReading> result;
    if (!IsOpen() || from > to)
        return result;
    QSqlQuery query(Data_->Database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT count, data FROM block WHERE input=? AND start>=? AND start<? ORDER BY start"));
    query.addBindValue(input);
    // Every reading of a block lies on the block's day, but not always after its start: a clock
    // set back within the day appends earlier readings to the day's open block. So every block of
    // the days from..to is read, not only those that start before to.
    query.addBindValue(DayOf(Seconds(from)) * kSecondsPerDay);
    query.addBindValue((DayOf(Seconds(to)) + 1) * kSecondsPerDay);
    if (!query.exec()) {
        Data_->Fail(QStringLiteral("Не удалось прочитать историю"), query.lastError());
        return result;
    }
    QVector<THistoryReading> block;
    while (query.next()) {
        // A damaged block is skipped; the others still show.
        if (!DecodeBlock(query.value(1).toByteArray(), query.value(0).toLongLong(), input, block))
            continue;
        for (const THistoryReading& r : block)
            if (r.Time >= from && r.Time <= to)
                result.append(r);
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const THistoryReading& a, const THistoryReading& b) { return a.Time < b.Time; });
    return result;
}

bool THistoryStore::TData::Load(int input, const QString& condition, qint64 value, TOpenBlock& block, bool& found)
{
    found = false;
    QSqlQuery query(Database());
    query.prepare(QStringLiteral("SELECT start, count, data FROM block WHERE input=? AND ") + condition);
    query.addBindValue(input);
    query.addBindValue(value);
    if (!Exec(query, QStringLiteral("Не удалось прочитать историю")))
        return false;
    if (!query.next())
        return true;
    block.Start = query.value(0).toLongLong();
    block.Count = query.value(1).toLongLong();
    // Any other block (older layout, damaged) is rewritten when the batch joins it.
    block.Appendable = ReadTail(query.value(2).toByteArray(), block.Count, block.Tail);
    found = true;
    return true;
}

bool THistoryStore::TData::BlockFor(const THistoryReading& reading, TOpenBlock*& block)
{
    const qint64 seconds = Seconds(reading.Time);
    auto it = OpenBlocks.find(reading.Input);
    if (it == OpenBlocks.end()) {
        TOpenBlock last;
        bool found = false;
        if (!Load(reading.Input, QStringLiteral("start<=? ORDER BY start DESC LIMIT 1"), seconds, last, found))
            return false;
        if (found)
            it = OpenBlocks.insert(reading.Input, std::move(last));
    }
    if (it != OpenBlocks.end() && DayOf(it->Start) == DayOf(seconds) && it->Count < kBlockReadings) {
        block = &*it;
        return true;
    }
    // The block being left is written before the cache lets it go.
    if (it != OpenBlocks.end() && Dirty.remove(reading.Input) && !Store(reading.Input, *it))
        return false;
    TOpenBlock fresh;
    fresh.Start = seconds;
    bool found = false;
    if (!Load(reading.Input, QStringLiteral("start=?"), seconds, fresh, found))
        return false;
    block = &*OpenBlocks.insert(reading.Input, std::move(fresh));
    return true;
}

// Appends the batch's bytes to the stored ones and puts the new check in the header. The
// stored count and size must still be what this connection wrote last: another writer's
// changes are never built on, the block is rewritten instead.
bool THistoryStore::TData::Store(int input, TOpenBlock& block)
{
    if (!block.Appendable)
        return Rewrite(input, block);
    TBlockTail tail = block.Tail;
    QByteArray added;
    for (const THistoryReading& r : block.Batch)
        AppendReading(added, tail, r);
    // The operands of || are joined byte for byte; CAST keeps the result a blob.
    static const QString kAppend =
        QStringLiteral("UPDATE block SET data=CAST(? || substr(data, %1) || ? AS BLOB), count=? "
                       "WHERE input=? AND start=? AND count=? AND length(data)=?")
            .arg(kBlockHeaderSize + 1);
    if (!Exec(Update, kAppend,
              {BlockHeader(tail), added, tail.Count, input, block.Start, block.Tail.Count, block.Tail.Size},
              QStringLiteral("Не удалось записать историю")))
        return false;
    if (Update->numRowsAffected() != 1)
        return Rewrite(input, block);
    block.Tail = tail;
    block.Batch.clear();
    return true;
}

// The block as stored (a damaged one as empty) with the batch after it, written whole in the
// current layout.
bool THistoryStore::TData::Rewrite(int input, TOpenBlock& block)
{
    const QString failure = QStringLiteral("Не удалось записать историю");
    QSqlQuery query(Database());
    query.prepare(QStringLiteral("SELECT count, data FROM block WHERE input=? AND start=?"));
    query.addBindValue(input);
    query.addBindValue(block.Start);
    if (!Exec(query, failure))
        return false;
    QVector<THistoryReading> readings;
    if (query.next() && !DecodeBlock(query.value(1).toByteArray(), query.value(0).toLongLong(), input, readings))
        readings.clear();
    query.finish();
    readings += block.Batch;
    TBlockTail tail;
    const QByteArray data = EncodeBlock(readings, &tail);
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO block(input, start, count, data) VALUES(?, ?, ?, ?)"));
    query.addBindValue(input);
    query.addBindValue(block.Start);
    query.addBindValue(tail.Count);
    query.addBindValue(data);
    if (!Exec(query, failure))
        return false;
    block.Count = tail.Count;
    block.Tail = tail;
    block.Appendable = true;
    block.Batch.clear();
    return true;
}

bool THistoryStore::Append(const QVector<THistoryReading>& readings)
{
    if (!IsOpen()) {
        if (Data_->Error.isEmpty())
            Data_->Error = QStringLiteral("База истории не открыта.");
        return false;
    }
    if (readings.isEmpty())
        return true;
    // The statements themselves rather than the driver's transaction calls: their errors keep
    // SQLite's result code, which names the reason for the operator.
    const QString failure = QStringLiteral("Не удалось записать историю");
    // IMMEDIATE: the write lock is waited for at the start. A deferred transaction that reads
    // first fails outright when another connection (the publisher's) wrote meanwhile.
    if (!Data_->Exec(Data_->Begin, QStringLiteral("BEGIN IMMEDIATE"), {}, failure))
        return false;
    bool ok = true;
    for (const THistoryReading& reading : readings) {
        TOpenBlock* block = nullptr;
        if (!(ok = Data_->BlockFor(reading, block)))
            break;
        block->Batch.append(reading);
        ++block->Count;
        Data_->Dirty.insert(reading.Input);
    }
    for (auto it = Data_->Dirty.cbegin(); ok && it != Data_->Dirty.cend(); ++it)
        ok = Data_->Store(*it, Data_->OpenBlocks[*it]);
    Data_->Dirty.clear();
    if (ok && Data_->Outbox)
        ok = AppendOutboxReadings(Data_->Database(), readings, Data_->Error);
    if (ok)
        ok = Data_->Exec(Data_->Commit, QStringLiteral("COMMIT"), {}, failure);
    if (!ok) {
        QSqlQuery(Data_->Database()).exec(QStringLiteral("ROLLBACK"));
        // The cache may hold what was rolled back: the next batch reads the blocks again.
        Data_->OpenBlocks.clear();
    }
    return ok;
}

bool THistoryStore::Prune(qint64 before)
{
    if (!IsOpen())
        return false;
    QSqlQuery query(Data_->Database());
    query.prepare(QStringLiteral("DELETE FROM block WHERE start<?"));
    // A block may hold readings up to the end of its day: it goes only when that day is over.
    query.addBindValue(DayOf(Seconds(before)) * kSecondsPerDay);
    Data_->OpenBlocks.clear();
    return Data_->Exec(query, QStringLiteral("Не удалось удалить старую историю"))
           && (!Data_->Outbox || PruneOutbox(Data_->Database(), before, Data_->Error));
}

std::optional<qint64> THistoryStore::Newest() const
{
    if (!IsOpen())
        return std::nullopt;
    QSqlQuery query(Data_->Database());
    if (!query.exec(QStringLiteral("SELECT MAX(start) FROM block")) || !query.next() || query.value(0).isNull()) {
        if (query.lastError().isValid())
            Data_->Fail(QStringLiteral("Не удалось прочитать историю"), query.lastError());
        return std::nullopt;
    }
    return query.value(0).toLongLong() * 1000;
}

QString HistoryPath() { return ProgramFolder() + QStringLiteral("DATA/history.sqlite"); }
