// SPDX-License-Identifier: GPL-3.0-or-later
// The journal: the key of a message, the complaints, lookups, disposals and
// claims kept in SQLite, two journals on one file, and the schema's versions.
#include "journal/Journal.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QDateTime at(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

/// A plain connection to a journal file, for what the journal's own calls
/// cannot do: set up a file as another program or version left it.
class RawFile final
{
public:
    explicit RawFile(const QString& path)
        : m_name(u"raw-%1"_s.arg(++s_count))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
        db.setDatabaseName(path);
        if (!db.open()) {
            qFatal("cannot open %s", qPrintable(path));
        }
    }
    ~RawFile()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    Q_DISABLE_COPY_MOVE(RawFile)

    bool exec(const QString& sql, const QList<QVariant>& values = {})
    {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        query.prepare(sql);
        for (const QVariant& value : values) {
            query.addBindValue(value);
        }
        return query.exec();
    }
    QVariant value(const QString& sql)
    {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        return query.exec(sql) && query.next() ? query.value(0) : QVariant();
    }

private:
    static inline int s_count = 0;
    QString m_name;
};

QString processStart(qint64 pid)
{
    QFile file(u"/proc/%1/stat"_s.arg(pid));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray stat = file.readAll();
    return QString::fromLatin1(stat.sliced(stat.lastIndexOf(')') + 2).split(' ').value(19));
}

const QString Header = u"Received: from mx.example.org (mx.example.org [192.0.2.7])\r\n"
                       "\tby in.example.net; Mon, 1 Jan 2024 10:00:00 +0000\r\n"
                       "Message-ID: <abc@example.org>\r\n"
                       "Subject: a test\r\n"_s;

MessageKey key(const QString& id, const QString& hash)
{
    return MessageKey{id, hash};
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void messageKeys_data();
    void messageKeys();
    void hashIsOfTheCrLfBlock();
    void complaintRoundTrip();
    void findReported_data();
    void findReported();
    void complaintsNewestFirst();
    void queryWindows_data();
    void queryWindows();
    void disposalsOfOneMessage();
    void claims_data();
    void claims();
    void twoJournalsShareOneFile();
    void lockedFileWaitsThenFails();
    void newFileIsOwnersOnlyAndOpensOnFirstCall();
    void oldFileIsMigrated();
    void firstVersionKeepsItsLookups();
    void cachedAnswers_data();
    void cachedAnswers();
    void newerFileIsRefusedUnchanged();
    void unwritableLocations_data();
    void unwritableLocations();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestJournal::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(u"journal.sqlite"_s);
}

void TestJournal::messageKeys_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<bool>("sameHash");

    QString lf = Header;
    lf.replace(u"\r\n"_s, u"\n"_s);
    QTest::newRow("CR LF and LF alike") << Header << lf << u"abc@example.org"_s << true;
    QTest::newRow("blank lines and blanks at the end dropped")
        << Header + u"\r\n \t\r\n\r\n"_s << Header << u"abc@example.org"_s << true;
    QString twoBlanks = Header;
    twoBlanks.replace(u"a test"_s, u"a  test"_s);
    QTest::newRow("a blank inside a line counts") << Header << twoBlanks << u"abc@example.org"_s << false;
    QString otherHop = Header;
    otherHop.replace(u"192.0.2.7"_s, u"192.0.2.8"_s);
    QTest::newRow("same Message-ID, another Received line") << Header << otherHop << u"abc@example.org"_s << false;
    QTest::newRow("folded Message-ID") << u"From: a@example.org\r\nMessage-ID:\r\n <abc@example.org>\r\n"_s
                                       << u"From: a@example.org\r\nMessage-ID: <abc@example.org>\r\n"_s
                                       << u"abc@example.org"_s << false;
    QTest::newRow("folded Message-ID, LF alone")
        << u"From: a@example.org\nMessage-ID:\n\t<abc@example.org>\n"_s
        << u"From: a@example.org\r\nMessage-ID:\r\n\t<abc@example.org>"_s << u"abc@example.org"_s << true;
    QTest::newRow("no brackets, name in small letters")
        << u"message-id: abc@example.org \r\n"_s << u"message-id: abc@example.org"_s << u"abc@example.org"_s << true;
    QTest::newRow("blanks inside the brackets")
        << u"Message-ID: < abc@example.org >"_s << u"Message-ID: <abc@example.org>"_s << u"abc@example.org"_s << false;
    QTest::newRow("one pair of brackets taken off")
        << u"Message-ID: <<abc@example.org>>"_s << u"Message-ID: <abc@example.org>"_s << u"<abc@example.org>"_s
        << false;
    QTest::newRow("no Message-ID") << u"From: a@example.org\r\nSubject: x"_s << u"From: a@example.org"_s << QString()
                                   << false;
    QTest::newRow("a Message-ID after the header is not its")
        << u"From: a@example.org\r\n\r\nMessage-ID: <abc@example.org>"_s << u"From: a@example.org"_s << QString()
        << false;
}

void TestJournal::messageKeys()
{
    QFETCH(QString, header);
    QFETCH(QString, other);
    QFETCH(QString, messageId);
    QFETCH(bool, sameHash);

    const MessageKey key = messageKeyOf(header);
    QCOMPARE(key.messageId, messageId);
    QCOMPARE(key.headerHash == messageKeyOf(other).headerHash, sameHash);
}

void TestJournal::hashIsOfTheCrLfBlock()
{
    // printf 'From: a@example.org\r\nSubject: x' | sha256sum
    QCOMPARE(messageKeyOf(u"From: a@example.org\nSubject: x\n\n"_s).headerHash,
             u"6585a712ceba5a9dceded6bec4c42623ef980c31a1f5b33652c5516357cf09eb"_s);
}

void TestJournal::complaintRoundTrip()
{
    Journal journal(m_path);
    QVERIFY2(journal.open(), qPrintable(journal.error()));

    JournalComplaint handed;
    // An hour east of UTC: the journal gives the same instant back, in UTC.
    handed.handedAt = QDateTime(QDate(2024, 3, 1), QTime(10, 0, 0, 123), QTimeZone(3600));
    handed.message = messageKeyOf(Header);
    handed.subject = u"Grüße, a test"_s;
    handed.recipients = {u"abuse@net.example"_s, u"\"Desk, Abuse\"@net.example"_s, u"noc@net.example"_s};
    handed.sourceAddress = u"192.0.2.7"_s;
    const std::optional<qint64> id = journal.recordHanded(handed);
    QVERIFY2(id, qPrintable(journal.error()));

    std::optional<QList<JournalComplaint>> all = journal.complaints();
    QVERIFY(all);
    QCOMPARE(all->size(), 1);
    JournalComplaint read = all->front();
    QCOMPARE(read.id, *id);
    QCOMPARE(read.handedAt, handed.handedAt);
    QCOMPARE(read.handedAt.timeSpec(), Qt::UTC);
    QVERIFY(!read.answeredAt.isValid());
    QCOMPARE(read.message.messageId, handed.message.messageId);
    QCOMPARE(read.message.headerHash, handed.message.headerHash);
    QCOMPARE(read.subject, handed.subject);
    QCOMPARE(read.recipients, handed.recipients);
    QCOMPARE(read.sourceAddress, handed.sourceAddress);
    QCOMPARE(read.outcome, u"handed"_s);
    QCOMPARE(read.refused, QStringList());

    JournalComplaint answer;
    answer.answeredAt = at(1'709'287'300'456);
    answer.outcome = u"failed"_s;
    answer.refused = {u"noc@net.example"_s};
    answer.deferred = {u"abuse@net.example"_s};
    answer.failure = u"451 try later"_s;
    QVERIFY2(journal.recordAnswer(*id, answer), qPrintable(journal.error()));
    read = journal.complaints()->front();
    QCOMPARE(read.answeredAt, answer.answeredAt);
    QCOMPARE(read.outcome, answer.outcome);
    QCOMPARE(read.refused, answer.refused);
    QCOMPARE(read.deferred, answer.deferred);
    QCOMPARE(read.failure, answer.failure);
    QCOMPARE(read.recipients, handed.recipients);

    QVERIFY(!journal.recordAnswer(*id + 1, answer));
    QVERIFY2(journal.error().contains(m_path), qPrintable(journal.error()));
    answer.outcome = u"lost"_s;
    QVERIFY(!journal.recordAnswer(*id, answer));
    QVERIFY2(journal.error().contains(u"CHECK constraint"_s), qPrintable(journal.error()));
}

void TestJournal::findReported_data()
{
    QTest::addColumn<QString>("storedId");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("askedId");
    QTest::addColumn<QString>("askedHash");
    QTest::addColumn<bool>("found");

    const QString hash = u"aa"_s;
    QTest::newRow("same Message-ID and hash, accepted") << u"id@x"_s << u"accepted"_s << u"id@x"_s << hash << true;
    QTest::newRow("same hash, forged Message-ID") << u"id@x"_s << u"accepted"_s << u"other@x"_s << hash << false;
    QTest::newRow("same Message-ID, another header") << u"id@x"_s << u"accepted"_s << u"id@x"_s << u"bb"_s << false;
    QTest::newRow("no Message-ID, same header") << QString() << u"accepted"_s << u""_s << hash << true;
    QTest::newRow("no Message-ID, another header") << QString() << u"accepted"_s << QString() << u"bb"_s << false;
    QTest::newRow("only handed") << u"id@x"_s << u"handed"_s << u"id@x"_s << hash << false;
    QTest::newRow("failed") << u"id@x"_s << u"failed"_s << u"id@x"_s << hash << false;
}

void TestJournal::findReported()
{
    QFETCH(QString, storedId);
    QFETCH(QString, outcome);
    QFETCH(QString, askedId);
    QFETCH(QString, askedHash);
    QFETCH(bool, found);

    Journal journal(m_path);
    JournalComplaint complaint;
    complaint.message = key(storedId, u"aa"_s);
    complaint.outcome = outcome;
    const std::optional<qint64> id = journal.recordHanded(complaint);
    QVERIFY2(id, qPrintable(journal.error()));

    const auto reported = journal.findReported(key(askedId, askedHash));
    QVERIFY2(reported, qPrintable(journal.error()));
    QCOMPARE(reported->has_value(), found);
    if (found) {
        QCOMPARE((*reported)->id, *id);
    }
}

void TestJournal::complaintsNewestFirst()
{
    Journal journal(m_path);
    const MessageKey message = key(u"id@x"_s, u"aa"_s);
    QList<qint64> ids;
    for (const qint64 ms : {2000, 3000, 1000}) {
        JournalComplaint complaint;
        complaint.handedAt = at(ms);
        complaint.message = message;
        complaint.outcome = u"accepted"_s;
        ids.append(journal.recordHanded(complaint).value_or(0));
    }
    QCOMPARE(journal.findReported(message)->value().id, ids[1]);

    const auto idsOf = [](const QList<JournalComplaint>& list) {
        QList<qint64> result;
        for (const JournalComplaint& complaint : list) {
            result.append(complaint.id);
        }
        return result;
    };
    QCOMPARE(idsOf(journal.complaints().value()), (QList<qint64>{ids[1], ids[0], ids[2]}));
    QCOMPARE(idsOf(journal.complaints(at(2000)).value()), (QList<qint64>{ids[1], ids[0]}));
    QCOMPARE(idsOf(journal.complaints(at(3001)).value()), QList<qint64>());
}

void TestJournal::queryWindows_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("registry");
    QTest::addColumn<qint64>("since");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<qint64>("skip");
    QTest::addColumn<qint64>("time"); // -1: none

    const QString whois = u"whois"_s;
    const QString ripe = u"RIPE"_s;
    QTest::newRow("every lookup, the oldest") << whois << ripe << qint64(0) << qint64(4) << qint64(0) << qint64(1000);
    QTest::newRow("one at exactly since counts")
        << whois << ripe << qint64(2000) << qint64(3) << qint64(0) << qint64(2000);
    QTest::newRow("a millisecond later it does not")
        << whois << ripe << qint64(2001) << qint64(2) << qint64(0) << qint64(3000);
    QTest::newRow("skip to the newest") << whois << ripe << qint64(2000) << qint64(3) << qint64(2) << qint64(4000);
    QTest::newRow("skip past the newest") << whois << ripe << qint64(2000) << qint64(3) << qint64(3) << qint64(-1);
    QTest::newRow("another kind at the same registry")
        << u"rdap"_s << ripe << qint64(0) << qint64(1) << qint64(0) << qint64(3500);
    QTest::newRow("another registry") << whois << u"ARIN"_s << qint64(0) << qint64(1) << qint64(0) << qint64(2500);
    QTest::newRow("a registry never asked") << whois << u"APNIC"_s << qint64(0) << qint64(0) << qint64(0) << qint64(-1);
}

void TestJournal::queryWindows()
{
    QFETCH(QString, kind);
    QFETCH(QString, registry);
    QFETCH(qint64, since);
    QFETCH(qint64, count);
    QFETCH(qint64, skip);
    QFETCH(qint64, time);

    Journal journal(m_path);
    const struct
    {
        qint64 ms;
        const char* kind;
        const char* registry;
    } lookups[] = {{3000, "whois", "RIPE"}, {1000, "whois", "RIPE"}, {2500, "whois", "ARIN"},
                   {4000, "whois", "RIPE"}, {3500, "rdap", "RIPE"},  {2000, "whois", "RIPE"}};
    for (const auto& lookup : lookups) {
        const JournalQuery query{at(lookup.ms),
                                 QString::fromLatin1(lookup.kind),
                                 QString::fromLatin1(lookup.registry),
                                 u"whois.example"_s,
                                 u"192.0.2.7"_s,
                                 QString()};
        QVERIFY2(journal.recordQuery(query), qPrintable(journal.error()));
    }

    QCOMPARE(journal.countQueries(kind, registry, at(since)), count);
    QCOMPARE(journal.queryTime(kind, registry, at(since), skip), time < 0 ? QDateTime() : at(time));
}

void TestJournal::disposalsOfOneMessage()
{
    Journal journal(m_path);
    const MessageKey message = key(u"id@x"_s, u"aa"_s);
    const JournalDisposal moved{at(2000), message, u"first"_s, u"moved"_s, u"Junk/reported"_s, QString()};
    const JournalDisposal left{at(1000), message, u"first"_s, u"left"_s, QString(), u"no abuse address"_s};
    const JournalDisposal otherId{at(1500), key(u"other@x"_s, u"aa"_s), u"second"_s, u"deleted"_s, {}, {}};
    for (const JournalDisposal& disposal : {moved, left, otherId}) {
        QVERIFY2(journal.recordDisposal(disposal), qPrintable(journal.error()));
    }
    QVERIFY(!journal.recordDisposal(JournalDisposal{at(1), message, {}, u"burnt"_s, {}, {}}));

    const QList<JournalDisposal> read = journal.disposals(message).value();
    QCOMPARE(read.size(), 2);
    QCOMPARE(read[0].at, left.at);
    QCOMPARE(read[0].how, left.how);
    QCOMPARE(read[0].reason, left.reason);
    QCOMPARE(read[1].how, moved.how);
    QCOMPARE(read[1].folder, moved.folder);
    QCOMPARE(read[1].message.messageId, message.messageId);
    QCOMPARE(read[1].message.headerHash, message.headerHash);
}

void TestJournal::claims_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<bool>("taken");

    QTest::newRow("free") << u"none"_s << true;
    QTest::newRow("held by a live process") << u"live"_s << false;
    QTest::newRow("held by a process that is gone") << u"dead"_s << true;
    QTest::newRow("its number taken by a later process") << u"reused"_s << true;
    QTest::newRow("held on another host") << u"other host"_s << false;
    QTest::newRow("held by this process") << u"self"_s << true;
    QTest::newRow("held by an earlier process under this one's number") << u"self restarted"_s << true;
}

void TestJournal::claims()
{
    QFETCH(QString, holder);
    QFETCH(bool, taken);

    const QString folder = u"imap://spam@mail.example/Junk"_s;
    const QString host = QSysInfo::machineHostName();
    QProcess child;
    qint64 pid = 0;
    QString start;
    QString holderHost = host;
    if (holder == u"live"_s || holder == u"reused"_s || holder == u"other host"_s) {
        child.start(u"sleep"_s, {u"30"_s});
        QVERIFY(child.waitForStarted());
        pid = child.processId();
        start = holder == u"reused"_s ? u"1"_s : processStart(pid);
        QVERIFY(!start.isEmpty());
        if (holder == u"other host"_s) {
            holderHost = u"elsewhere.example"_s;
        }
    } else if (holder == u"dead"_s) {
        pid = 0x3fffffff; // above any pid_max
        start = u"12345"_s;
    } else if (holder == u"self"_s || holder == u"self restarted"_s) {
        pid = ::getpid();
        start = holder == u"self"_s ? processStart(pid) : u"1"_s;
    }

    Journal journal(m_path);
    QVERIFY2(journal.open(), qPrintable(journal.error()));
    RawFile raw(m_path);
    if (holder != u"none"_s) {
        QVERIFY(raw.exec(u"INSERT INTO claims (folder, pid, host, process_start, since) VALUES (?, ?, ?, ?, 5000)"_s,
                         {folder, pid, holderHost, start}));
    }

    const std::optional<FolderClaim> claim = journal.claimFolder(folder);
    QVERIFY2(claim, qPrintable(journal.error()));
    QCOMPARE(claim->taken, taken);
    if (!taken) {
        QCOMPARE(claim->since, at(5000));
        QCOMPARE(claim->pid, pid);
        QCOMPARE(claim->host, holderHost);
    }
    QCOMPARE(raw.value(u"SELECT pid FROM claims"_s).toLongLong(), taken ? qint64(::getpid()) : pid);
    // Taken once, the claim is this process's own and taken again.
    if (taken) {
        QVERIFY(journal.claimFolder(folder)->taken);
    }

    QVERIFY2(journal.releaseFolder(folder), qPrintable(journal.error()));
    QCOMPARE(raw.value(u"SELECT COUNT(*) FROM claims"_s).toInt(), taken ? 0 : 1);

    if (child.state() != QProcess::NotRunning) {
        child.kill();
        child.waitForFinished();
    }
}

void TestJournal::twoJournalsShareOneFile()
{
    Journal first(m_path);
    Journal second(m_path);
    QVERIFY(first.recordQuery(JournalQuery{at(1000), u"whois"_s, u"RIPE"_s, {}, u"192.0.2.7"_s, {}}));
    QCOMPARE(second.countQueries(u"whois"_s, u"RIPE"_s, at(0)), qint64(1));

    JournalComplaint complaint;
    complaint.message = key(u"id@x"_s, u"aa"_s);
    const std::optional<qint64> id = second.recordHanded(complaint);
    QVERIFY(id);
    QVERIFY(!first.findReported(complaint.message)->has_value());
    complaint.outcome = u"accepted"_s;
    QVERIFY(first.recordAnswer(*id, complaint));
    QCOMPARE(second.findReported(complaint.message)->value().outcome, u"accepted"_s);
}

void TestJournal::lockedFileWaitsThenFails()
{
    Journal journal(m_path);
    QVERIFY2(journal.open(), qPrintable(journal.error()));
    RawFile other(m_path);
    QVERIFY(other.exec(u"BEGIN IMMEDIATE"_s));

    QElapsedTimer timer;
    timer.start();
    QVERIFY(!journal.recordQuery(JournalQuery{at(1000), u"whois"_s, u"RIPE"_s, {}, u"192.0.2.7"_s, {}}));
    QVERIFY2(timer.elapsed() >= 1500, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(journal.error().contains(m_path), qPrintable(journal.error()));
    QVERIFY2(journal.error().contains(u"database is locked"_s), qPrintable(journal.error()));

    QVERIFY(other.exec(u"COMMIT"_s));
    QVERIFY2(journal.recordQuery(JournalQuery{at(1000), u"whois"_s, u"RIPE"_s, {}, u"192.0.2.7"_s, {}}),
             qPrintable(journal.error()));
}

void TestJournal::newFileIsOwnersOnlyAndOpensOnFirstCall()
{
    const QString folder = m_dir->filePath(u"new/zelkor"_s);
    const QString path = folder + u"/journal.sqlite"_s;
    Journal journal(path);
    QVERIFY(!journal.isOpen());
    QVERIFY2(journal.recordQuery(JournalQuery{at(1000), u"whois"_s, u"RIPE"_s, {}, u"192.0.2.7"_s, {}}),
             qPrintable(journal.error()));
    QVERIFY(journal.isOpen());

    const QFile::Permissions others =
        QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    for (const QString& file : QStringList{path, path + u"-wal"_s, folder}) {
        QVERIFY2(QFileInfo::exists(file), qPrintable(file));
        QCOMPARE(QFileInfo(file).permissions() & others, QFile::Permissions());
    }
    QCOMPARE(RawFile(path).value(u"PRAGMA journal_mode"_s).toString(), u"wal"_s);
}

void TestJournal::oldFileIsMigrated()
{
    {
        RawFile raw(m_path);
        QVERIFY(raw.exec(u"CREATE TABLE scratch (x)"_s));
        QVERIFY(raw.exec(u"DROP TABLE scratch"_s));
    }
    Journal journal(m_path);
    QVERIFY2(journal.open(), qPrintable(journal.error()));
    RawFile raw(m_path);
    QCOMPARE(raw.value(u"PRAGMA user_version"_s).toInt(), Journal::SchemaVersion);
    QCOMPARE(raw.value(u"SELECT group_concat(name, ' ') FROM (SELECT name FROM sqlite_master "
                       "WHERE type = 'table' ORDER BY name)"_s)
                 .toString(),
             u"claims complaints disposals queries"_s);
}

// A file of the first version, as that version wrote it: its lookups stay,
// and get the columns of the answer cache.
void TestJournal::firstVersionKeepsItsLookups()
{
    {
        RawFile raw(m_path);
        QVERIFY(
            raw.exec(u"CREATE TABLE queries (id INTEGER PRIMARY KEY, asked_at INTEGER NOT NULL, kind TEXT NOT NULL, "
                     "registry TEXT NOT NULL, server TEXT NOT NULL, query TEXT NOT NULL, answer TEXT)"_s));
        QVERIFY(raw.exec(u"INSERT INTO queries (asked_at, kind, registry, server, query) VALUES (?, 'whois', "
                         "'RIPE', 'whois.ripe.net:43', '192.0.2.7')"_s,
                         {QDateTime::currentMSecsSinceEpoch()}));
        QVERIFY(raw.exec(u"PRAGMA user_version = 1"_s));
    }
    Journal journal(m_path);
    QVERIFY2(journal.open(), qPrintable(journal.error()));
    QCOMPARE(RawFile(m_path).value(u"PRAGMA user_version"_s).toInt(), Journal::SchemaVersion);
    const QDateTime hourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600);
    QCOMPARE(journal.countQueries(u"whois"_s, u"RIPE"_s, hourAgo), std::optional<qint64>(1));
    // A lookup without a kept answer answers nothing from the cache.
    const auto none = journal.cachedAnswer(u"whois"_s, u"RIPE"_s, u"192.0.2.7"_s, {}, hourAgo);
    QVERIFY(none && !*none);
}

void TestJournal::cachedAnswers_data()
{
    QTest::addColumn<QString>("registry");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<int>("maxAgeHours");
    QTest::addColumn<QString>("answer");

    const QByteArray inside = QByteArray::fromHex("00000000000000000000ffffc0000263");  // 192.0.2.99
    const QByteArray outside = QByteArray::fromHex("00000000000000000000ffffc0000363"); // 192.0.3.99
    QTest::newRow("the same query") << u"ARIN"_s << u"NET-192-0-2-0-1"_s << QByteArray() << 5 << u"handle"_s;
    QTest::newRow("the newest of two") << u"ARIN"_s << u"192.0.2.7"_s << QByteArray() << 5 << u"newer"_s;
    QTest::newRow("an address inside the range") << u"ARIN"_s << u"192.0.2.99"_s << inside << 5 << u"newer"_s;
    QTest::newRow("an address outside") << u"ARIN"_s << u"192.0.3.99"_s << outside << 5 << QString();
    QTest::newRow("too old") << u"ARIN"_s << u"192.0.2.7"_s << QByteArray() << 1 << QString();
    QTest::newRow("another registry's") << u"RIPE"_s << u"192.0.2.7"_s << inside << 5 << QString();
    QTest::newRow("a lookup whose answer is not kept")
        << u"ARIN"_s << u"198.51.100.1"_s << QByteArray() << 5 << QString();
}

void TestJournal::cachedAnswers()
{
    QFETCH(QString, registry);
    QFETCH(QString, query);
    QFETCH(QByteArray, address);
    QFETCH(int, maxAgeHours);
    QFETCH(QString, answer);
    Journal journal(m_path);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QByteArray first = QByteArray::fromHex("00000000000000000000ffffc0000200");
    const QByteArray last = QByteArray::fromHex("00000000000000000000ffffc00002ff");
    const auto keep = [&](const QString& text, const QString& kept, int hoursAgo, bool ranged) {
        const std::optional<qint64> id =
            journal.recordQuery({now.addSecs(-3600 * hoursAgo), u"whois"_s, u"ARIN"_s, u"127.0.0.1:43"_s, text, {}});
        QVERIFY2(id, qPrintable(journal.error()));
        if (!kept.isEmpty()) {
            QVERIFY(journal.recordQueryAnswer(*id, kept, ranged ? first : QByteArray(), ranged ? last : QByteArray()));
        }
    };
    keep(u"NET-192-0-2-0-1"_s, u"handle"_s, 2, false);
    keep(u"192.0.2.7"_s, u"older"_s, 3, true);
    keep(u"192.0.2.7"_s, u"newer"_s, 2, true);
    keep(u"198.51.100.1"_s, {}, 0, false);
    const auto found = journal.cachedAnswer(u"whois"_s, registry, query, address, now.addSecs(-3600 * maxAgeHours));
    QVERIFY2(found, qPrintable(journal.error()));
    QCOMPARE(found->has_value() ? (*found)->answer : QString(), answer);
}

void TestJournal::newerFileIsRefusedUnchanged()
{
    {
        RawFile raw(m_path);
        QVERIFY(raw.exec(u"PRAGMA user_version = 99"_s));
    }
    const auto contents = [this] {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = contents();
    QVERIFY(!before.isEmpty());

    Journal journal(m_path);
    QVERIFY(!journal.open());
    QVERIFY2(journal.error().contains(m_path), qPrintable(journal.error()));
    QVERIFY2(journal.error().contains(u"written by a newer version of the program"_s), qPrintable(journal.error()));
    // A later call tries again and is refused again.
    QVERIFY(!journal.complaints());
    QVERIFY(!journal.isOpen());
    QCOMPARE(contents(), before);
    QVERIFY(!QFileInfo::exists(m_path + u"-wal"_s));
}

void TestJournal::unwritableLocations_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("a folder that cannot be made") << u"/proc/zelkor-test/journal.sqlite"_s;
    QTest::newRow("a file that cannot be made") << u"/proc/zelkor-journal.sqlite"_s;
    QTest::newRow("a folder under a file") << u"/dev/null/journal.sqlite"_s;
}

void TestJournal::unwritableLocations()
{
    QFETCH(QString, path);

    Journal journal(path);
    QVERIFY(!journal.open());
    QVERIFY2(journal.error().startsWith(u"journal "_s + path + u": "_s), qPrintable(journal.error()));
    QVERIFY(!journal.recordQuery(JournalQuery{at(1000), u"whois"_s, u"RIPE"_s, {}, u"192.0.2.7"_s, {}}));
    QVERIFY(!journal.isOpen());
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
