// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/MessageKey.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

/// A complaint handed to the transport, as the journal keeps it.
struct JournalComplaint
{
    qint64 id = 0;          ///< given by the journal
    QDateTime handedAt;     ///< when it was handed to the transport (UTC)
    QDateTime answeredAt;   ///< when the transport answered; invalid while none did
    MessageKey message;     ///< the spam's Message-ID and header hash
    QString subject;        ///< the spam's subject
    QStringList recipients; ///< every address it was sent to
    QString sourceAddress;  ///< the trace's source hop with relay trust on, else empty
    /// "handed" until the transport answers, then "accepted" or "failed".
    QString outcome = QStringLiteral("handed");
    QStringList refused;  ///< recipients the server refused for good
    QStringList deferred; ///< recipients the server refused for now
    QString failure;      ///< why the transport failed, with outcome "failed"
};

/// A lookup made at a registry, whois or RDAP.
struct JournalQuery
{
    QDateTime askedAt;
    QString kind;     ///< "whois" or "rdap"
    QString registry; ///< the registry's name in the whois table ("RIPE"), or RDAP's base URL
    QString server;   ///< the server asked ("whois.ripe.net", "127.0.0.1:4343")
    QString query;    ///< the query text
    QString answer;   ///< kept only when the answer cache is on; else empty
};

/// What a batch did with a message.
struct JournalDisposal
{
    QDateTime at;
    MessageKey message;
    QString subject;
    /// "deleted", "moved" (to `folder`), "set-aside" (to `folder`), "left" (in place, `reason` says why).
    QString how;
    QString folder;
    QString reason;
};

/// A batch's claim on its store and folder.
struct FolderClaim
{
    /// The claim is this process's now (it was free, or its holder is gone).
    bool taken = false;
    /// Who holds it when not taken: since when, and which process.
    QDateTime since;
    qint64 pid = 0;
    QString host;
};

/// The journal of reports and lookups: one SQLite database in WAL mode,
/// through Qt SQL's SQLite driver. Every write is a transaction of its own,
/// and a call that fails says why in `error()`; nothing is cached in memory,
/// so two programs sharing the file always see each other's writes.
///
/// The schema carries its version (`PRAGMA user_version`); opening a file of
/// an older version migrates it step by step, one transaction per step, and a
/// file of a newer version is refused rather than changed.
///
/// Every call on a journal that is not open opens it first, so a journal that
/// could not be opened at start (a full disk, a lock) works once the cause is
/// gone; until then each call fails with the reason the opening failed.
/// A journal is used from the thread that made it, as Qt SQL requires.
class Journal final
{
public:
    static constexpr int SchemaVersion = 2;

    /// $XDG_DATA_HOME/zelkor/journal.sqlite, or ~/.local/share/zelkor/journal.sqlite
    /// when the variable is unset or empty.
    static QString defaultPath();

    /// Does not open the file yet.
    explicit Journal(QString path);
    ~Journal();
    Q_DISABLE_COPY_MOVE(Journal)

    /// Opens (creating the folder and the file when missing) and migrates.
    /// A lock held by another program is waited for briefly (2 s), then the
    /// call fails. Opening an open journal does nothing and succeeds.
    bool open();
    bool isOpen() const;
    const QString& path() const { return m_path; }
    /// Why the last call that failed did, naming the file.
    const QString& error() const { return m_error; }

    // Complaints.
    /// Records a complaint about to be handed to the transport (outcome
    /// "handed"); its id, or nothing when it could not be written. An invalid
    /// `handedAt` is taken as now, as are the other times the journal records.
    std::optional<qint64> recordHanded(const JournalComplaint& complaint);
    /// Records the transport's answer to complaint `id`: `outcome`,
    /// `answeredAt`, `refused`, `deferred` and `failure` of `answer` are written.
    bool recordAnswer(qint64 id, const JournalComplaint& answer);
    /// The newest accepted complaint about the message with both this
    /// Message-ID and this header hash. The outer optional is empty when the
    /// journal could not be read; the inner one when the message was never
    /// reported (a complaint only handed, or failed, does not count).
    std::optional<std::optional<JournalComplaint>> findReported(const MessageKey& message);
    /// Every complaint handed at or after `since` (all when invalid), newest first.
    std::optional<QList<JournalComplaint>> complaints(const QDateTime& since = {});

    // Lookups.
    /// Records a lookup being made; its id, or nothing when it could not be written.
    std::optional<qint64> recordQuery(const JournalQuery& query);
    /// Keeps the answer of lookup `id` for the answer cache, with the network
    /// range a final answer states (16 bytes each, as `NetworkRange` has
    /// them; empty for none).
    bool recordQueryAnswer(qint64 id, const QString& answer, const QByteArray& rangeFirst = {},
                           const QByteArray& rangeLast = {});
    /// The newest answer kept at or after `since` of a lookup of `kind` at
    /// `registry` with the text `query`, or, when `address` (16 bytes) is
    /// given, of one whose range holds it. The outer optional is empty when
    /// the journal could not be read; the inner one when no answer is kept.
    /// The result has `askedAt`, `server`, `query` and `answer`.
    std::optional<std::optional<JournalQuery>> cachedAnswer(const QString& kind, const QString& registry,
                                                            const QString& query, const QByteArray& address,
                                                            const QDateTime& since);
    /// How many lookups of `kind` were made at `registry` at or after `since`.
    std::optional<qint64> countQueries(const QString& kind, const QString& registry, const QDateTime& since);
    /// When the lookup of `kind` at `registry` made at or after `since` with
    /// `skip` such lookups before it was made (0: the oldest); invalid when
    /// there are not that many.
    std::optional<QDateTime> queryTime(const QString& kind, const QString& registry, const QDateTime& since,
                                       qint64 skip);

    // Batches.
    bool recordDisposal(const JournalDisposal& disposal);
    /// Every disposal of the message with this key, oldest first.
    std::optional<QList<JournalDisposal>> disposals(const MessageKey& message);
    /// Claims `folder` (a text naming the store and the folder) for this
    /// process. A claim held by a process that is gone (on this host: no such
    /// process, or another one under its number, told apart by its start
    /// time) is taken over; one held by a live process, or by a process of
    /// another host, is not. This process's own claim is taken again.
    std::optional<FolderClaim> claimFolder(const QString& folder);
    /// Ends this process's claim on `folder`; another's stays.
    bool releaseFolder(const QString& folder);

private:
    QSqlDatabase database() const;
    bool ensureOpen();
    bool prepareOpened();
    bool migrate();
    bool readSchemaVersion(QSqlQuery& query, int& version);
    /// Prepares `sql`, binds `values` in their order and runs it; on failure
    /// sets the error, saying that `what` failed.
    bool run(QSqlQuery& query, const QString& sql, const QList<QVariant>& values, const QString& what);
    bool fail(const QString& what);
    bool fail(const QString& what, const QSqlError& error);

    QString m_path;
    QString m_connection;
    QString m_error;
};
