// SPDX-License-Identifier: GPL-3.0-or-later
// The workbench's lookups beside the whois trace (RDAP and the DNS contact
// database): started with the trace and joined to it relay by relay.
#include "common/CaseMapping.h"
#include "complaint/DoNotSendList.h"
#include "whois/AbuseRoles.h"
#include "workbench/Workbench.h"

using namespace Qt::StringLiterals;

void Workbench::connectContactLookups()
{
    connect(&m_contacts, &RelayContactLookups::rdapAnswered, this, [this](qsizetype row) {
        assign(m_state.rdap, m_contacts.rdap(), Field::Rdap);
        const RdapResult& result = m_state.rdap[row];
        if (result.refused && !m_refusal) {
            m_refusal = u"the RDAP server %1 refused queries (HTTP 429, too many requests). Registries limit how "
                        u"often a client may ask; run the batch again later."_s.arg(result.server);
        }
        Q_EMIT rdapAnswered(row);
        contactLookupEnded(row);
    });
    connect(&m_contacts, &RelayContactLookups::rdapAsked, this, &Workbench::journalRdapLookup);
    connect(&m_contacts, &RelayContactLookups::contactDbAnswered, this, [this](qsizetype row) {
        assign(m_state.contactDb, m_contacts.contactDb(), Field::ContactDb);
        Q_EMIT contactDbAnswered(row);
        contactLookupEnded(row);
    });
}

void Workbench::setRdapEnabled(bool enabled)
{
    stopContactLookups();
    m_contacts.setRdapEnabled(enabled);
}

void Workbench::setContactZone(const QString& zone)
{
    stopContactLookups();
    m_contacts.setContactZone(zone);
}

void Workbench::startContactLookups()
{
    m_contacts.start(m_state.lstIPs, m_tracedRows, m_state.ipTrust);
    assign(m_state.rdap, m_contacts.rdap(), Field::Rdap);
    assign(m_state.contactDb, m_contacts.contactDb(), Field::ContactDb);
}

// Answers of an earlier run never arrive after this. A trace that waits for
// one goes on without it.
void Workbench::stopContactLookups()
{
    if (m_contacts.stop()) {
        assign(m_state.rdap, {}, Field::Rdap);
        assign(m_state.contactDb, {}, Field::ContactDb);
    }
    if (m_waitingForContacts) {
        m_waitingForContacts.reset();
        advanceToNextRelay();
    }
}

// The trace waits for the relay's last lookup to come back (each client ends
// its lookups within its time limit); a failed one adds nothing and stops nothing.
void Workbench::contactLookupEnded(qsizetype row)
{
    if (m_waitingForContacts == row && !m_contacts.isPending(row)) {
        m_waitingForContacts.reset();
        advanceToNextRelay();
    }
}

// The relay's published abuse contacts, RDAP's then the contact database's,
// upper-cased as every address of the list, unless listed already or refused
// by the do-not-send list. Both name the network's abuse desk, unless the
// address is a registry's own.
void Workbench::appendContactRows(qsizetype row)
{
    const bool beyond = isBeyondRow(row);
    std::optional<DoNotSendFilter> dontSend;
    const auto append = [&](const QStringList& published, const QString& source, const QString& server) {
        for (const QString& found : published) {
            if (!dontSend) {
                // One reading of the list serves every address of the relay.
                dontSend.emplace(readDoNotSendList(m_programDirectory));
            }
            const QString address = toUpperOneForOne(found);
            const bool listed = std::any_of(m_state.lstAbuse.cbegin(), m_state.lstAbuse.cend(),
                                            [&](const AbuseRow& entry) { return entry.address == address; });
            if (!listed && !dontSend->refuses(address)) {
                appendAbuse(address, source, abuseRoleName(publishedContactRole(address)), server, beyond);
            }
        }
    };
    if (row >= 0 && row < m_state.rdap.size()) {
        append(m_state.rdap[row].abuse, u"rdap"_s, m_state.rdap[row].server);
    }
    if (row >= 0 && row < m_state.contactDb.size()) {
        append(m_state.contactDb[row].abuse, u"dns-db"_s, m_state.contactDb[row].zone);
    }
}
