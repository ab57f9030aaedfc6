// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "whois/RegistryTable.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>
#include <optional>

class WhoisLookup;

/// One run's whois trace over its relay addresses: which relay is being traced,
/// what is asked of which registry, and how the trace ended. Every Start makes
/// a trace of its own and drops the one before, so an answer of an earlier run
/// can never be taken for this run's.
///
/// The trace asks ARIN about each relay in turn and follows network handles and
/// referrals. A final answer is handed to the owner (`finalAnswer`), which
/// harvests it and calls `nextRelay` when it is done with that relay.
class WhoisTrace final : public QObject
{
    Q_OBJECT

public:
    /// How a trace ended.
    enum class End
    {
        LastRelay,     ///< every relay address was traced
        RepeatedRelay, ///< the next relay is the text just asked, so the trace stops there
        Failed,        ///< an answer could not be evaluated; the reason says why
    };
    Q_ENUM(End)

    /// A lookup that got no answer (refused, closed before the first byte, silent).
    struct FailedLookup
    {
        QString registry; ///< the registry's server, "whois.arin.net"
        QString query;
        QString reason;
    };

    /// What the owner says of a lookup before it is made.
    struct Permission
    {
        /// Set when the lookup must not be made: the trace then fails with it.
        std::optional<QString> refusal = {};
        /// A status text shown once the lookup has started; may be empty.
        QString note = {};
        /// Set when a kept answer stands for the lookup: the trace takes it
        /// at once, without asking the registry.
        std::optional<QString> cachedAnswer = {};
    };
    using QueryGate = std::function<Permission(RegistryId registry, const QString& query)>;

    /// `relays` is the relay list as the window shows it, read as the trace
    /// moves on (Clear Result may empty it meanwhile; a missing entry reads as
    /// empty text, as the list box gives it); `rows` are the rows to trace, in
    /// order, and `count` is the list's length at Start.
    WhoisTrace(WhoisLookup& whois, const QStringList& relays, QList<qsizetype> rows, qsizetype count,
               QObject* parent = nullptr);
    ~WhoisTrace() override;
    Q_DISABLE_COPY_MOVE(WhoisTrace)

    /// Asked before every lookup of the trace; none lets every lookup go.
    void setQueryGate(QueryGate gate) { m_gate = std::move(gate); }
    /// Asks ARIN about the first relay address.
    void start();
    /// Stops the lookup under way; nothing of this trace is reported after this.
    void cancel();
    /// The owner is done with the current relay's final answer: trace the next one.
    void nextRelay();
    /// An error while the owner handled an answer ends the trace with `reason`.
    void fail(const QString& reason);

    bool isRunning() const { return m_running; }
    /// The row of the relay list being traced; once every row was traced, the
    /// row after the last.
    qsizetype relayIndex() const { return m_index; }
    const QString& currentQuery() const { return m_query; }
    /// The registry asked last: the one whose answer is final when `finalAnswer` comes.
    RegistryId registry() const { return m_registry; }
    /// Set when a registry refused a query because of its daily limit.
    const std::optional<QString>& queryLimitRefusal() const { return m_refusal; }
    /// Every lookup of this trace that got no answer, in order.
    const QList<FailedLookup>& failedLookups() const { return m_failures; }

Q_SIGNALS:
    /// The relay being traced or the query text has changed.
    void moved(qsizetype relayIndex, const QString& query);
    /// A status text of the trace's own ("Received Network Block answer").
    void status(const QString& text);
    /// The answer for the relay being traced is final: harvest it, then call `nextRelay`.
    void finalAnswer(const QString& answer);
    /// A registry answered a lookup of this trace (not the cache); `final`
    /// when the trace follows it no further. Comes before `finalAnswer`.
    void answered(const QString& answer, bool final);
    /// The trace has ended; no lookup of it runs any more.
    void ended(WhoisTrace::End end, const QString& reason);

private:
    void evaluateAnswer(const QString& answer);
    void takeAnswer(const QString& answer, bool fromRegistry);
    std::optional<RegistryId> followAnswer(const QString& answer);
    void noteFailure();
    void queryRegistry(RegistryId registry);
    void finish(End end, const QString& reason = {});

    WhoisLookup& m_whois;
    const QStringList& m_relays;
    const QList<qsizetype> m_rows;
    const qsizetype m_count;
    /// The position in `m_rows` of the relay being traced, and its row.
    qsizetype m_step = 0;
    qsizetype m_index = 0;
    QString m_query;
    RegistryId m_registry = Registry::ARIN;
    bool m_running = false;
    /// Registry and query of every lookup made for the relay being traced.
    QSet<QString> m_asked;
    std::optional<QString> m_refusal;
    QList<FailedLookup> m_failures;
    QueryGate m_gate;
};
