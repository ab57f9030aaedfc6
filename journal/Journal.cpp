// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/Journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <limits>
#include <signal.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

std::atomic<quint64> connectionCount{0};

/// Runs `statements` one after the other; stops at the first that fails,
/// whose error `query` keeps.
bool runAll(QSqlQuery& query, std::initializer_list<QString> statements)
{
    for (const QString& statement : statements) {
        if (!query.exec(statement)) {
            return false;
        }
    }
    return true;
}

// Step k brings a file of schema version k-1 to version k, inside the
// transaction that also sets user_version to k. A released step is never
// changed; a later change of the schema is a step of its own.
bool createFirstSchema(QSqlQuery& query)
{
    return runAll(query, {
                             // Times are milliseconds since the epoch, UTC. The lists of
                             // addresses are JSON arrays, which keep any text as it was.
                             u"CREATE TABLE complaints ("
                             "id INTEGER PRIMARY KEY, "
                             "handed_at INTEGER NOT NULL, "
                             "answered_at INTEGER, "
                             "message_id TEXT NOT NULL, "
                             "header_hash TEXT NOT NULL, "
                             "subject TEXT NOT NULL, "
                             "recipients TEXT NOT NULL, "
                             "source_address TEXT NOT NULL, "
                             "outcome TEXT NOT NULL CHECK (outcome IN ('handed', 'accepted', 'failed')), "
                             "refused TEXT NOT NULL, "
                             "deferred TEXT NOT NULL, "
                             "failure TEXT NOT NULL)"_s,
                             u"CREATE INDEX complaints_by_message ON complaints (header_hash, message_id)"_s,
                             u"CREATE INDEX complaints_by_time ON complaints (handed_at)"_s,
                             u"CREATE TABLE queries ("
                             "id INTEGER PRIMARY KEY, "
                             "asked_at INTEGER NOT NULL, "
                             "kind TEXT NOT NULL, "
                             "registry TEXT NOT NULL, "
                             "server TEXT NOT NULL, "
                             "query TEXT NOT NULL, "
                             "answer TEXT)"_s,
                             // The lookup window counts a registry's recent lookups.
                             u"CREATE INDEX queries_by_registry ON queries (kind, registry, asked_at)"_s,
                             u"CREATE TABLE disposals ("
                             "id INTEGER PRIMARY KEY, "
                             "at INTEGER NOT NULL, "
                             "message_id TEXT NOT NULL, "
                             "header_hash TEXT NOT NULL, "
                             "subject TEXT NOT NULL, "
                             "how TEXT NOT NULL CHECK (how IN ('deleted', 'moved', 'set-aside', 'left')), "
                             "folder TEXT NOT NULL, "
                             "reason TEXT NOT NULL)"_s,
                             u"CREATE INDEX disposals_by_message ON disposals (header_hash, message_id)"_s,
                             u"CREATE TABLE claims ("
                             "folder TEXT PRIMARY KEY, "
                             "pid INTEGER NOT NULL, "
                             "host TEXT NOT NULL, "
                             "process_start TEXT NOT NULL, "
                             "since INTEGER NOT NULL)"_s,
                         });
}

// The answer cache: a final answer's network range, so that it serves every
// address inside it.
bool addAnswerRanges(QSqlQuery& query)
{
    return runAll(query, {
                             u"ALTER TABLE queries ADD COLUMN range_first BLOB"_s,
                             u"ALTER TABLE queries ADD COLUMN range_last BLOB"_s,
                             u"CREATE INDEX queries_by_text ON queries (kind, registry, query, asked_at) "
                             "WHERE answer IS NOT NULL"_s,
                             u"CREATE INDEX queries_by_range ON queries (kind, registry, range_first) "
                             "WHERE range_first IS NOT NULL"_s,
                         });
}

using MigrationStep = bool (*)(QSqlQuery&);
constexpr MigrationStep MigrationSteps[] = {createFirstSchema, addAnswerRanges};
static_assert(std::size(MigrationSteps) == Journal::SchemaVersion, "one migration step per schema version");

QString describe(const QSqlError& error)
{
    const QString database = error.databaseText();
    const QString driver = error.driverText();
    QString text = database.isEmpty() ? driver : driver.isEmpty() ? database : database + u" ("_s + driver + u')';
    if (text.isEmpty()) {
        text = u"unknown error"_s;
    }
    return text.replace(u'\n', u' ');
}

/// A null QString binds as SQL NULL; the text columns hold empty text instead,
/// so that an empty Message-ID matches an empty one.
QVariant textValue(const QString& text)
{
    return text.isNull() ? QVariant(u""_s) : QVariant(text);
}

QVariant timeValue(const QDateTime& time)
{
    return time.isValid() ? QVariant(time.toMSecsSinceEpoch()) : QVariant(QMetaType::fromType<qint64>());
}

QVariant timeOrNow(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();
}

/// The start of a window; an invalid one starts before every time kept.
QVariant windowStart(const QDateTime& since)
{
    return since.isValid() ? since.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

QDateTime timeFrom(const QVariant& value)
{
    return value.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(value.toLongLong(), Qt::UTC);
}

QVariant listValue(const QStringList& list)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact));
}

QStringList listFrom(const QVariant& value)
{
    QStringList list;
    const QJsonArray array = QJsonDocument::fromJson(value.toString().toUtf8()).array();
    for (const QJsonValue& item : array) {
        list.append(item.toString());
    }
    return list;
}

const QString ComplaintColumns = u"id, handed_at, answered_at, message_id, header_hash, subject, recipients, "
                                 "source_address, outcome, refused, deferred, failure"_s;

JournalComplaint complaintFrom(const QSqlQuery& query)
{
    JournalComplaint complaint;
    complaint.id = query.value(0).toLongLong();
    complaint.handedAt = timeFrom(query.value(1));
    complaint.answeredAt = timeFrom(query.value(2));
    complaint.message.messageId = query.value(3).toString();
    complaint.message.headerHash = query.value(4).toString();
    complaint.subject = query.value(5).toString();
    complaint.recipients = listFrom(query.value(6));
    complaint.sourceAddress = query.value(7).toString();
    complaint.outcome = query.value(8).toString();
    complaint.refused = listFrom(query.value(9));
    complaint.deferred = listFrom(query.value(10));
    complaint.failure = query.value(11).toString();
    return complaint;
}

/// Field 22 of /proc/PID/stat, the process's start in clock ticks since boot,
/// which tells a process apart from a later one under the same number; empty
/// when it cannot be read.
QString processStartOf(qint64 pid)
{
    QFile file(u"/proc/%1/stat"_s.arg(pid));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray stat = file.readAll();
    // The command name in parentheses may hold blanks and parentheses itself.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0) {
        return {};
    }
    const QList<QByteArray> fields = stat.sliced(close + 1).simplified().split(' ');
    constexpr qsizetype StartIndex = 22 - 3; // fields[0] is field 3, the state
    return fields.size() > StartIndex ? QString::fromLatin1(fields[StartIndex]) : QString();
}

const QString& ownHost()
{
    static const QString host = QSysInfo::machineHostName();
    return host;
}

const QString& ownStart()
{
    static const QString start = processStartOf(::getpid());
    return start;
}

/// Is the process `pid` of this host the one that started at `start`?
bool isLive(qint64 pid, const QString& start)
{
    // 0 and negative numbers would name process groups.
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) {
        return false;
    }
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) {
        return false;
    }
    const QString current = processStartOf(pid);
    return current.isEmpty() || start.isEmpty() || current == start;
}

} // namespace

QString Journal::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + u"/.local/share"_s;
    }
    return base + u"/zelkor/journal.sqlite"_s;
}

Journal::Journal(QString path)
    : m_path(std::move(path))
    , m_connection(u"zelkor-journal-%1"_s.arg(++connectionCount))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connection);
    db.setDatabaseName(m_path);
    // Another program's write lock is waited for this long before a call fails.
    db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=2000"_s);
}

Journal::~Journal()
{
    // The temporary handle is gone before the connection is removed, so Qt
    // does not warn that it is still in use.
    database().close();
    QSqlDatabase::removeDatabase(m_connection);
}

QSqlDatabase Journal::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool Journal::isOpen() const
{
    return database().isOpen();
}

bool Journal::ensureOpen()
{
    return isOpen() || open();
}

bool Journal::fail(const QString& what)
{
    m_error = u"journal %1: %2"_s.arg(m_path, what);
    return false;
}

bool Journal::fail(const QString& what, const QSqlError& error)
{
    return fail(what + u": "_s + describe(error));
}

bool Journal::run(QSqlQuery& query, const QString& sql, const QList<QVariant>& values, const QString& what)
{
    if (!query.prepare(sql)) {
        return fail(what, query.lastError());
    }
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        return fail(what, query.lastError());
    }
    return true;
}

bool Journal::open()
{
    if (isOpen()) {
        return true;
    }
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder)) {
            return fail(u"could not create the folder %1"_s.arg(folder));
        }
        // The journal holds addresses and subjects: its owner's alone.
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // SQLite would create the file readable by all; made here first, it is
    // the owner's alone, and so are the -wal and -shm files SQLite gives its
    // permissions to.
    const QByteArray name = QFile::encodeName(m_path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    } else if (errno != EEXIST) {
        return fail(u"could not create the file: "_s + QString::fromLocal8Bit(std::strerror(errno)));
    }

    QSqlDatabase db = database();
    if (!db.open()) {
        return fail(u"could not open it"_s, db.lastError());
    }
    if (!prepareOpened()) {
        db.close();
        return false;
    }
    return true;
}

bool Journal::readSchemaVersion(QSqlQuery& query, int& version)
{
    if (!query.exec(u"PRAGMA user_version"_s) || !query.next()) {
        return fail(u"could not read the schema version"_s, query.lastError());
    }
    version = query.value(0).toInt();
    query.finish();
    if (version < 0) {
        return fail(u"the schema version %1 is none this program wrote; left as it is"_s.arg(version));
    }
    if (version > SchemaVersion) {
        return fail(u"written by a newer version of the program (schema version %1, this one knows up to %2); "
                    "left as it is"_s.arg(version)
                        .arg(SchemaVersion));
    }
    return true;
}

bool Journal::prepareOpened()
{
    QSqlQuery query(database());
    // Read before anything else: a file of a newer version is not touched,
    // not even switched to WAL.
    int version = 0;
    if (!readSchemaVersion(query, version)) {
        return false;
    }
    if (!query.exec(u"PRAGMA journal_mode=WAL"_s) || !query.next()) {
        return fail(u"could not switch to WAL mode"_s, query.lastError());
    }
    const QString mode = query.value(0).toString();
    query.finish();
    if (mode.compare(u"wal"_s, Qt::CaseInsensitive) != 0) {
        return fail(u"could not switch to WAL mode (the journal mode is \"%1\")"_s.arg(mode));
    }
    // NORMAL: in WAL mode a commit survives the program being killed at any
    // moment, which is what a batch must survive; only a power failure may
    // lose the last commits, and then a complaint is sent a second time, the
    // lesser harm. FULL would wait for the disk at every one of a message's
    // writes.
    if (!query.exec(u"PRAGMA synchronous=NORMAL"_s)) {
        return fail(u"could not set synchronous writes"_s, query.lastError());
    }
    return version == SchemaVersion || migrate();
}

bool Journal::migrate()
{
    QSqlDatabase db = database();
    for (;;) {
        QSqlQuery query(db);
        // The write lock first, then the version again: another program may
        // have migrated the file meanwhile.
        if (!query.exec(u"BEGIN IMMEDIATE"_s)) {
            return fail(u"could not lock for migrating the schema"_s, query.lastError());
        }
        int version = 0;
        if (!readSchemaVersion(query, version)) {
            query.exec(u"ROLLBACK"_s);
            return false;
        }
        if (version == SchemaVersion) {
            query.exec(u"ROLLBACK"_s);
            return true;
        }
        const int next = version + 1;
        if (!MigrationSteps[version](query) || !query.exec(u"PRAGMA user_version = %1"_s.arg(next)) ||
            !query.exec(u"COMMIT"_s)) {
            const QSqlError error = query.lastError();
            QSqlQuery(db).exec(u"ROLLBACK"_s);
            return fail(u"could not bring the schema from version %1 to %2"_s.arg(version).arg(next), error);
        }
    }
}

std::optional<qint64> Journal::recordHanded(const JournalComplaint& complaint)
{
    if (!ensureOpen()) {
        return std::nullopt;
    }
    QSqlQuery query(database());
    if (!run(query,
             u"INSERT INTO complaints (handed_at, answered_at, message_id, header_hash, subject, recipients, "
             "source_address, outcome, refused, deferred, failure) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
             {timeOrNow(complaint.handedAt), timeValue(complaint.answeredAt), textValue(complaint.message.messageId),
              textValue(complaint.message.headerHash), textValue(complaint.subject), listValue(complaint.recipients),
              textValue(complaint.sourceAddress), complaint.outcome, listValue(complaint.refused),
              listValue(complaint.deferred), textValue(complaint.failure)},
             u"could not record the complaint"_s)) {
        return std::nullopt;
    }
    return query.lastInsertId().toLongLong();
}

bool Journal::recordAnswer(qint64 id, const JournalComplaint& answer)
{
    if (!ensureOpen()) {
        return false;
    }
    QSqlQuery query(database());
    const QString what = u"could not record the answer to complaint %1"_s.arg(id);
    if (!run(query,
             u"UPDATE complaints SET answered_at = ?, outcome = ?, refused = ?, deferred = ?, failure = ? "
             "WHERE id = ?"_s,
             {timeOrNow(answer.answeredAt), answer.outcome, listValue(answer.refused), listValue(answer.deferred),
              textValue(answer.failure), id},
             what)) {
        return false;
    }
    if (query.numRowsAffected() == 0) {
        return fail(what + u": there is no such complaint"_s);
    }
    return true;
}

std::optional<std::optional<JournalComplaint>> Journal::findReported(const MessageKey& message)
{
    if (!ensureOpen()) {
        return std::nullopt;
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!run(query,
             u"SELECT "_s + ComplaintColumns +
                 u" FROM complaints WHERE header_hash = ? AND message_id = ? AND outcome = 'accepted' "
                 "ORDER BY handed_at DESC, id DESC LIMIT 1"_s,
             {textValue(message.headerHash), textValue(message.messageId)},
             u"could not look for an earlier complaint"_s)) {
        return std::nullopt;
    }
    if (!query.next()) {
        if (query.lastError().isValid()) {
            fail(u"could not look for an earlier complaint"_s, query.lastError());
            return std::nullopt;
        }
        return std::optional<JournalComplaint>();
    }
    return std::optional<JournalComplaint>(complaintFrom(query));
}

std::optional<QList<JournalComplaint>> Journal::complaints(const QDateTime& since)
{
    if (!ensureOpen()) {
        return std::nullopt;
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    const QString what = u"could not read the complaints"_s;
    if (!run(query,
             u"SELECT "_s + ComplaintColumns +
                 u" FROM complaints WHERE handed_at >= ? ORDER BY handed_at DESC, id DESC"_s,
             {windowStart(since)}, what)) {
        return std::nullopt;
    }
    QList<JournalComplaint> list;
    while (query.next()) {
        list.append(complaintFrom(query));
    }
    if (query.lastError().isValid()) {
        fail(what, query.lastError());
        return std::nullopt;
    }
    return list;
}

std::optional<qint64> Journal::recordQuery(const JournalQuery& lookup)
{
    if (!ensureOpen()) {
        return std::nullopt;
    }
    QSqlQuery query(database());
    // An answer not kept is NULL, which tells it from an empty answer kept.
    if (!run(query,
             u"INSERT INTO queries (asked_at, kind, registry, server, query, answer) VALUES (?, ?, ?, ?, ?, ?)"_s,
             {timeOrNow(lookup.askedAt), textValue(lookup.kind), textValue(lookup.registry), textValue(lookup.server),
              textValue(lookup.query),
              lookup.answer.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(lookup.answer)},
             u"could not record the lookup"_s)) {
        return std::nullopt;
    }
    return query.lastInsertId().toLongLong();
}

bool Journal::recordQueryAnswer(qint64 id, const QString& answer, const QByteArray& rangeFirst,
                                const QByteArray& rangeLast)
{
    if (!ensureOpen()) {
        return false;
    }
    const auto blob = [](const QByteArray& bytes) {
        return bytes.isEmpty() ? QVariant(QMetaType::fromType<QByteArray>()) : QVariant(bytes);
    };
    QSqlQuery query(database());
    return run(query, u"UPDATE queries SET answer = ?, range_first = ?, range_last = ? WHERE id = ?"_s,
               {answer, blob(rangeFirst), blob(rangeLast), id}, u"could not keep the answer of a lookup"_s);
}

std::optional<std::optional<JournalQuery>> Journal::cachedAnswer(const QString& kind, const QString& registry,
                                                                 const QString& text, const QByteArray& address,
                                                                 const QDateTime& since)
{
    if (!ensureOpen()) {
        return std::nullopt;
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    const QString what = u"could not read the kept answers of %1"_s.arg(registry);
    // SQLite compares blobs byte by byte, which is the order of the 16-byte addresses.
    const QVariant at = address.isEmpty() ? QVariant(QMetaType::fromType<QByteArray>()) : QVariant(address);
    if (!run(query,
             u"SELECT asked_at, server, query, answer FROM queries WHERE kind = ? AND registry = ? AND asked_at >= ? "
             "AND answer IS NOT NULL AND (query = ? OR (range_first <= ? AND range_last >= ?)) "
             "ORDER BY asked_at DESC LIMIT 1"_s,
             {textValue(kind), textValue(registry), windowStart(since), textValue(text), at, at}, what)) {
        return std::nullopt;
    }
    if (!query.next()) {
        if (query.lastError().isValid()) {
            fail(what, query.lastError());
            return std::nullopt;
        }
        return std::optional<JournalQuery>();
    }
    JournalQuery found;
    found.askedAt = timeFrom(query.value(0));
    found.kind = kind;
    found.registry = registry;
    found.server = query.value(1).toString();
    found.query = query.value(2).toString();
    found.answer = query.value(3).toString();
    return std::optional(found);
}

std::optional<qint64> Journal::countQueries(const QString& kind, const QString& registry, const QDateTime& since)
{
    if (!ensureOpen()) {
        return std::nullopt;
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    const QString what = u"could not count the lookups at %1"_s.arg(registry);
    if (!run(query, u"SELECT COUNT(*) FROM queries WHERE kind = ? AND registry = ? AND asked_at >= ?"_s,
             {textValue(kind), textValue(registry), windowStart(since)}, what)) {
        return std::nullopt;
    }
    if (!query.next()) {
        fail(what, query.lastError());
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

std::optional<QDateTime> Journal::queryTime(const QString& kind, const QString& registry, const QDateTime& since,
                                            qint64 skip)
{
    if (!ensureOpen()) {
        return std::nullopt;
    }
    if (skip < 0) {
        return QDateTime();
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    const QString what = u"could not read the lookups at %1"_s.arg(registry);
    if (!run(query,
             u"SELECT asked_at FROM queries WHERE kind = ? AND registry = ? AND asked_at >= ? "
             "ORDER BY asked_at LIMIT 1 OFFSET ?"_s,
             {textValue(kind), textValue(registry), windowStart(since), skip}, what)) {
        return std::nullopt;
    }
    if (!query.next()) {
        if (query.lastError().isValid()) {
            fail(what, query.lastError());
            return std::nullopt;
        }
        return QDateTime();
    }
    return timeFrom(query.value(0));
}

bool Journal::recordDisposal(const JournalDisposal& disposal)
{
    if (!ensureOpen()) {
        return false;
    }
    QSqlQuery query(database());
    return run(query,
               u"INSERT INTO disposals (at, message_id, header_hash, subject, how, folder, reason) "
               "VALUES (?, ?, ?, ?, ?, ?, ?)"_s,
               {timeOrNow(disposal.at), textValue(disposal.message.messageId), textValue(disposal.message.headerHash),
                textValue(disposal.subject), disposal.how, textValue(disposal.folder), textValue(disposal.reason)},
               u"could not record what was done with a message"_s);
}

std::optional<QList<JournalDisposal>> Journal::disposals(const MessageKey& message)
{
    if (!ensureOpen()) {
        return std::nullopt;
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    const QString what = u"could not read what was done with a message"_s;
    if (!run(query,
             u"SELECT at, message_id, header_hash, subject, how, folder, reason FROM disposals "
             "WHERE header_hash = ? AND message_id = ? ORDER BY at, id"_s,
             {textValue(message.headerHash), textValue(message.messageId)}, what)) {
        return std::nullopt;
    }
    QList<JournalDisposal> list;
    while (query.next()) {
        JournalDisposal disposal;
        disposal.at = timeFrom(query.value(0));
        disposal.message.messageId = query.value(1).toString();
        disposal.message.headerHash = query.value(2).toString();
        disposal.subject = query.value(3).toString();
        disposal.how = query.value(4).toString();
        disposal.folder = query.value(5).toString();
        disposal.reason = query.value(6).toString();
        list.append(disposal);
    }
    if (query.lastError().isValid()) {
        fail(what, query.lastError());
        return std::nullopt;
    }
    return list;
}

std::optional<FolderClaim> Journal::claimFolder(const QString& folder)
{
    if (!ensureOpen()) {
        return std::nullopt;
    }
    QSqlDatabase db = database();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString what = u"could not claim %1"_s.arg(folder);
    // The write lock before the read, so that two programs finding the claim
    // free cannot both take it.
    if (!query.exec(u"BEGIN IMMEDIATE"_s)) {
        fail(what, query.lastError());
        return std::nullopt;
    }
    const auto rollBack = [&db] { QSqlQuery(db).exec(u"ROLLBACK"_s); };
    if (!run(query, u"SELECT pid, host, process_start, since FROM claims WHERE folder = ?"_s, {textValue(folder)},
             what)) {
        rollBack();
        return std::nullopt;
    }
    if (query.next()) {
        FolderClaim holder;
        holder.pid = query.value(0).toLongLong();
        holder.host = query.value(1).toString();
        const QString start = query.value(2).toString();
        holder.since = timeFrom(query.value(3));
        query.finish();
        const bool own = holder.host == ownHost() && holder.pid == ::getpid() && start == ownStart();
        // Whether a process of another host lives cannot be told from here.
        if (!own && (holder.host != ownHost() || isLive(holder.pid, start))) {
            rollBack();
            return holder;
        }
    } else if (query.lastError().isValid()) {
        fail(what, query.lastError());
        rollBack();
        return std::nullopt;
    }
    query.finish();

    FolderClaim claim;
    claim.taken = true;
    claim.since = QDateTime::currentDateTimeUtc();
    claim.pid = ::getpid();
    claim.host = ownHost();
    if (!run(query, u"INSERT OR REPLACE INTO claims (folder, pid, host, process_start, since) VALUES (?, ?, ?, ?, ?)"_s,
             {textValue(folder), claim.pid, textValue(claim.host), textValue(ownStart()),
              claim.since.toMSecsSinceEpoch()},
             what)) {
        rollBack();
        return std::nullopt;
    }
    if (!query.exec(u"COMMIT"_s)) {
        fail(what, query.lastError());
        rollBack();
        return std::nullopt;
    }
    return claim;
}

bool Journal::releaseFolder(const QString& folder)
{
    if (!ensureOpen()) {
        return false;
    }
    QSqlQuery query(database());
    return run(query, u"DELETE FROM claims WHERE folder = ? AND pid = ? AND host = ? AND process_start = ?"_s,
               {textValue(folder), qint64(::getpid()), textValue(ownHost()), textValue(ownStart())},
               u"could not release %1"_s.arg(folder));
}
