// SPDX-License-Identifier: GPL-3.0-or-later
#include "workbench/RelayContactLookups.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool hasRow(const QHash<quint64, qsizetype>& tickets, qsizetype row)
{
    return std::find(tickets.cbegin(), tickets.cend(), row) != tickets.cend();
}

} // namespace

RelayContactLookups::RelayContactLookups(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{}

RelayContactLookups::~RelayContactLookups() = default;

void RelayContactLookups::setRdapEnabled(bool enabled)
{
    if (enabled == isRdapEnabled()) {
        return;
    }
    stop();
    if (!enabled) {
        m_rdap.reset();
        return;
    }
    m_rdap = std::make_unique<RdapClient>(m_options.rdap);
    connect(m_rdap.get(), &RdapClient::finished, this, &RelayContactLookups::rdapFinished);
    connect(m_rdap.get(), &RdapClient::asked, this, &RelayContactLookups::rdapAsked);
}

void RelayContactLookups::setContactZone(const QString& zone)
{
    if (zone == contactZone()) {
        return;
    }
    stop();
    m_contactDb.reset();
    m_options.contactDb.zone = zone;
    if (zone.isEmpty()) {
        return;
    }
    m_contactDb = std::make_unique<ContactDbClient>(m_options.contactDb);
    connect(m_contactDb.get(), &ContactDbClient::finished, this, &RelayContactLookups::contactDbFinished);
}

void RelayContactLookups::start(const QStringList& relays, const QList<qsizetype>& traced, const QList<HopTrust>& trust)
{
    stop();
    for (qsizetype row = 0; row < relays.size(); ++row) {
        const QString& relay = relays[row];
        const bool asked = traced.contains(row);
        const QString notAsked = asked ? QString() : u"not asked: "_s + describeHopTrust(trust.value(row));
        if (m_rdap) {
            m_rdapResults.append(RdapResult{relay, {}, {}, notAsked, false});
            if (asked) {
                m_rdapTickets.insert(m_rdap->lookup(relay), row);
            }
        }
        if (m_contactDb) {
            m_contactDbResults.append(ContactDbResult{relay, {}, {}, notAsked});
            if (asked) {
                m_contactDbTickets.insert(m_contactDb->lookup(relay), row);
            }
        }
    }
}

bool RelayContactLookups::stop()
{
    if (m_rdap) {
        m_rdap->cancelAll();
    }
    if (m_contactDb) {
        m_contactDb->cancelAll();
    }
    m_rdapTickets.clear();
    m_contactDbTickets.clear();
    const bool hadResults = !m_rdapResults.isEmpty() || !m_contactDbResults.isEmpty();
    m_rdapResults.clear();
    m_contactDbResults.clear();
    return hadResults;
}

bool RelayContactLookups::isPending(qsizetype row) const
{
    return hasRow(m_rdapTickets, row) || hasRow(m_contactDbTickets, row);
}

void RelayContactLookups::rdapFinished(quint64 ticket, const RdapResult& result)
{
    const qsizetype row = m_rdapTickets.value(ticket, -1);
    if (!m_rdapTickets.remove(ticket) || row >= m_rdapResults.size()) {
        return;
    }
    m_rdapResults[row] = result;
    Q_EMIT rdapAnswered(row);
}

void RelayContactLookups::contactDbFinished(quint64 ticket, const ContactDbResult& result)
{
    const qsizetype row = m_contactDbTickets.value(ticket, -1);
    if (!m_contactDbTickets.remove(ticket) || row >= m_contactDbResults.size()) {
        return;
    }
    m_contactDbResults[row] = result;
    Q_EMIT contactDbAnswered(row);
}
