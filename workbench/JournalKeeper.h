// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/Journal.h"
#include "whois/NetworkRange.h"
#include "whois/WhoisSettings.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

/// The workbench's side of the journal: the complaints it hands to the
/// transport, the lookups it makes and the registries' daily allowances, and a
/// batch's messages and claim. It opens the journal when first needed and
/// again after a failure, so a journal that was locked for a moment is kept
/// again once it is free.
///
/// What a failure means is the caller's to decide: a batch stops before it
/// sends; a single run goes on, and `noteNotKept` says so once.
class JournalKeeper final
{
public:
    /// `path` empty keeps no journal (the workbench of a test that does not
    /// look at one); every call then succeeds and finds nothing.
    explicit JournalKeeper(QString path);
    ~JournalKeeper();
    Q_DISABLE_COPY_MOVE(JournalKeeper)

    void setDailyLimits(DailyLimits limits) { m_limits = std::move(limits); }
    const QString& path() const { return m_path; }
    /// Why the last call that failed did.
    const QString& error() const { return m_error; }

    /// "The journal is not kept: …", the first time it is asked after a
    /// failure; empty otherwise (once said, until the journal works again).
    QString noteNotKept();

    /// The newest accepted complaint about this message. Nothing (with
    /// `error()`) when the journal cannot be read; an empty inner value when the
    /// message was never reported.
    std::optional<std::optional<JournalComplaint>> reported(const MessageKey& message);
    /// Records a complaint about to be handed to the transport; its id (0 when
    /// no journal is kept), or nothing when it could not be written.
    std::optional<qint64> handed(const JournalComplaint& complaint);
    bool answered(qint64 id, const JournalComplaint& answer);
    bool disposed(const JournalDisposal& disposal);

    /// What a whois lookup at a registry may do within its daily allowance.
    struct Allowance
    {
        /// Set when the lookup would pass the allowance: the registry's name,
        /// its limit and when it frees up.
        std::optional<QString> exceeded;
        /// Set when the allowance could not be counted (the journal failed).
        std::optional<QString> uncounted;
    };
    /// Counts the lookups at `registry` of the last 24 hours against its
    /// daily limit. Pure in effect: records nothing.
    Allowance allowance(const QString& registry, const QDateTime& now);
    /// Records a lookup that is being made; its id (0 when no journal is
    /// kept), or nothing when it could not be written.
    std::optional<qint64> asked(const JournalQuery& query);
    /// Keeps the answer of lookup `id` for the answer cache, with the network
    /// range a final answer states.
    bool keepAnswer(qint64 id, const QString& answer, const std::optional<NetworkRange>& range);
    /// The newest whois answer of `registry` for `query` (or, for an address,
    /// a final answer whose range holds it) received within `maxAge`; nothing
    /// when there is none or the journal cannot be read.
    std::optional<JournalQuery> cachedAnswer(const QString& registry, const QString& query, std::chrono::hours maxAge,
                                             const QDateTime& now);

    std::optional<FolderClaim> claim(const QString& folder);
    void release(const QString& folder);

private:
    Journal* journal();
    template <typename T>
    std::optional<T> failed();

    QString m_path;
    std::unique_ptr<Journal> m_journal;
    DailyLimits m_limits;
    QString m_error;
    bool m_notKeptSaid = false;
};

/// "2026-12-07 23:05 UTC": how the journal's times are shown.
QString journalTimeText(const QDateTime& when);
