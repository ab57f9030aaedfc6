// SPDX-License-Identifier: GPL-3.0-or-later
#include "workbench/WhoisTrace.h"

#include "common/Blanks.h"
#include "whois/AnswerEvaluation.h"
#include "whois/WhoisLookup.h"
#include "workbench/WorkbenchState.h"

#include <exception>

using namespace Qt::StringLiterals;

namespace {

QString lookupKey(RegistryId registry, const QString& query)
{
    return QString::number(registry) + u'\n' + trimBlanks(query);
}

QString serverName(RegistryId id)
{
    const WhoisRegistry* registry = FindRegistry(id);
    return registry ? WhoisServerHost(*registry) : QString::number(id);
}

} // namespace

WhoisTrace::WhoisTrace(WhoisLookup& whois, const QStringList& relays, QList<qsizetype> rows, qsizetype count,
                       QObject* parent)
    : QObject(parent)
    , m_whois(whois)
    , m_relays(relays)
    , m_rows(std::move(rows))
    , m_count(count)
{}

WhoisTrace::~WhoisTrace()
{
    cancel();
}

void WhoisTrace::start()
{
    if (m_rows.isEmpty()) {
        return;
    }
    connect(&m_whois, &WhoisLookup::answerComplete, this, &WhoisTrace::evaluateAnswer);
    m_running = true;
    m_step = 0;
    m_index = m_rows.first();
    m_query = m_relays.value(m_index);
    Q_EMIT moved(m_index, m_query);
    queryRegistry(Registry::ARIN);
}

void WhoisTrace::cancel()
{
    disconnect(&m_whois, nullptr, this, nullptr);
    if (m_running) {
        m_running = false;
        m_whois.cancel();
    }
}

void WhoisTrace::queryRegistry(RegistryId registry)
{
    m_registry = registry;
    m_asked.insert(lookupKey(registry, m_query));
    const Permission permission = m_gate ? m_gate(registry, m_query) : Permission{};
    if (permission.refusal) {
        // The trace ends from the event loop, as after a lookup, so that the
        // Start that began it has returned first.
        QMetaObject::invokeMethod(
            this, [this, reason = *permission.refusal] { fail(reason); }, Qt::QueuedConnection);
        return;
    }
    if (permission.cachedAnswer) {
        QMetaObject::invokeMethod(
            this,
            [this, answer = *permission.cachedAnswer] {
                if (m_running) {
                    takeAnswer(answer, false);
                }
            },
            Qt::QueuedConnection);
    } else {
        m_whois.QueryRegistry(registry, m_query);
    }
    if (!permission.note.isEmpty()) {
        Q_EMIT status(permission.note);
    }
}

void WhoisTrace::evaluateAnswer(const QString& answer)
{
    if (!m_running) {
        return;
    }
    noteFailure();
    takeAnswer(answer, true);
}

// An answer of the registry asked last, or the cache's for it.
void WhoisTrace::takeAnswer(const QString& answer, bool fromRegistry)
{
    if (!m_refusal && IsQueryLimitRefusal(answer)) {
        m_refusal = u"%1 refused a query (%ERROR:201, access denied). The registry limits whois queries per client "
                    u"and day; run the batch again tomorrow."_s.arg(serverName(m_registry));
    }
    std::optional<RegistryId> next;
    try {
        next = followAnswer(answer);
    } catch (const std::exception& error) {
        fail(SomethingBadHappened + QString::fromLocal8Bit(error.what()));
        return;
    }
    // Told before the next lookup starts, so the answer is kept as this lookup's.
    if (fromRegistry) {
        Q_EMIT answered(answer, !next);
    }
    if (next) {
        queryRegistry(*next);
    } else {
        Q_EMIT finalAnswer(answer);
    }
}

void WhoisTrace::noteFailure()
{
    if (const QString& reason = m_whois.lastFailure(); !reason.isEmpty()) {
        m_failures.append({serverName(m_registry), m_query, reason});
    }
}

// The registry to ask next: ARIN for a network handle, the registry a
// referral names; nothing for a final answer. A step that would repeat a lookup already made for this relay address is
// not taken: the answer then counts as final, so that no answer can keep the trace asking the same registry the same
// thing once a second forever.
std::optional<RegistryId> WhoisTrace::followAnswer(const QString& answer)
{
    const AnswerVerdict verdict = ClassifyAnswer(answer);
    switch (verdict.kind) {
    case AnswerVerdict::Kind::NetworkBlock:
        if (m_asked.contains(lookupKey(Registry::ARIN, verdict.handle))) {
            return std::nullopt;
        }
        m_query = verdict.handle;
        Q_EMIT moved(m_index, m_query);
        Q_EMIT status(u"Received Network Block answer"_s);
        return Registry::ARIN;
    case AnswerVerdict::Kind::Referral:
        if (m_asked.contains(lookupKey(verdict.registry->id, m_query))) {
            return std::nullopt;
        }
        Q_EMIT status(u"Referred to "_s + verdict.registry->ReferralMarker);
        return verdict.registry->id;
    case AnswerVerdict::Kind::Final:
        return std::nullopt;
    }
    return std::nullopt;
}

void WhoisTrace::nextRelay()
{
    if (!m_running) {
        return;
    }
    if (m_step + 1 >= m_rows.size()) {
        ++m_index; // past the last row traced
        finish(End::LastRelay);
        return;
    }
    m_index = m_rows[++m_step];
    const QString next = m_relays.value(m_index);
    if (next == m_query) {
        finish(End::RepeatedRelay,
               u"relay address %1 of %2 is the text just asked (%3), so the trace ended there"_s.arg(m_index + 1)
                   .arg(m_count)
                   .arg(next));
        return;
    }
    m_query = next;
    m_asked.clear();
    Q_EMIT moved(m_index, m_query);
    queryRegistry(Registry::ARIN);
}

void WhoisTrace::fail(const QString& reason)
{
    if (m_running) {
        finish(End::Failed, reason);
    }
}

void WhoisTrace::finish(End end, const QString& reason)
{
    cancel();
    Q_EMIT ended(end, reason);
}
