// SPDX-License-Identifier: GPL-3.0-or-later
// The workbench's RDAP lookups: one per relay address, started with the trace
// and joined to it relay by relay.
#include "common/CaseMapping.h"
#include "complaint/DoNotSendList.h"
#include "whois/AbuseRoles.h"
#include "workbench/Workbench.h"

using namespace Qt::StringLiterals;

void Workbench::setRdapEnabled(bool enabled)
{
    if (enabled == isRdapEnabled()) {
        return;
    }
    stopRdapLookups();
    if (!enabled) {
        m_rdap.reset();
        return;
    }
    m_rdap = std::make_unique<RdapClient>(m_rdapOptions);
    connect(m_rdap.get(), &RdapClient::finished, this, &Workbench::rdapFinished);
}

// Every relay address that is traced is asked at once, beside the whois trace, so that the
// answers are normally in long before the trace needs them.
void Workbench::startRdapLookups()
{
    if (!m_rdap) {
        return;
    }
    m_state.rdap.clear();
    for (qsizetype index = 0; index < m_state.lstIPs.size(); ++index) {
        m_state.rdap.append(RdapResult{m_state.lstIPs[index], {}, {}, {}, false});
        if (m_tracedRows.contains(index)) {
            m_rdapTickets.insert(m_rdap->lookup(m_state.lstIPs[index]), index);
        } else {
            m_state.rdap.last().error = u"not asked: "_s + describeHopTrust(m_state.ipTrust.value(index));
        }
    }
    Q_EMIT changed(Field::Rdap);
}

// Answers of an earlier run never arrive after this. A trace that waits for
// one goes on without it.
void Workbench::stopRdapLookups()
{
    if (m_rdap) {
        m_rdap->cancelAll();
    }
    m_rdapTickets.clear();
    if (!m_state.rdap.isEmpty()) {
        m_state.rdap.clear();
        Q_EMIT changed(Field::Rdap);
    }
    if (m_waitingForRdap) {
        m_waitingForRdap.reset();
        advanceToNextRelay();
    }
}

bool Workbench::isRdapPending(qsizetype index) const
{
    return std::find(m_rdapTickets.cbegin(), m_rdapTickets.cend(), index) != m_rdapTickets.cend();
}

void Workbench::rdapFinished(quint64 ticket, const RdapResult& result)
{
    const auto found = m_rdapTickets.constFind(ticket);
    if (found == m_rdapTickets.cend()) {
        return;
    }
    const qsizetype index = found.value();
    m_rdapTickets.erase(found);
    if (index < m_state.rdap.size()) {
        m_state.rdap[index] = result;
        Q_EMIT changed(Field::Rdap);
    }
    if (result.refused && !m_refusal) {
        m_refusal = u"the RDAP server %1 refused queries (HTTP 429, too many requests). Registries limit how often "
                    u"a client may ask; run the batch again later."_s.arg(result.server);
    }
    Q_EMIT rdapAnswered(index);
    if (m_waitingForRdap == index) {
        m_waitingForRdap.reset();
        advanceToNextRelay();
    }
}

// The relay's published abuse contacts, upper-cased as every address of the
// list, unless listed already or refused by the do-not-send list.
void Workbench::appendRdapRows(qsizetype index)
{
    if (index < 0 || index >= m_state.rdap.size()) {
        return;
    }
    const RdapResult& result = m_state.rdap[index];
    if (result.abuse.isEmpty()) {
        return;
    }
    // One reading of the list serves every address of the relay.
    const DoNotSendFilter dontSend(readDoNotSendList(m_programDirectory));
    for (const QString& found : result.abuse) {
        const QString address = toUpperOneForOne(found);
        const bool listed = std::any_of(m_state.lstAbuse.cbegin(), m_state.lstAbuse.cend(),
                                        [&](const AbuseRow& row) { return row.address == address; });
        if (!listed && !dontSend.refuses(address)) {
            // The published entity has the abuse role.
            appendAbuse(address, u"rdap"_s, abuseRoleName(AbuseRole::Abuse), result.server, isBeyondRow(index));
        }
    }
}
