// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactdb/ContactDbClient.h"
#include "rdap/RdapClient.h"
#include "trust/RelayTrust.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>

/// The lookups a run makes beside the whois trace, one of each kind per traced
/// relay address: the registry's RDAP service and the DNS contact database,
/// each when turned on. Every relay address is asked at once, so that the
/// answers are normally in long before the trace needs them.
class RelayContactLookups final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        /// How RDAP lookups are made once `setRdapEnabled` turns them on.
        RdapClient::Options rdap = {};
        /// The servers and time limit of the contact database; its zone is set
        /// by `setContactZone`.
        ContactDbClient::Options contactDb = {};
    };

    explicit RelayContactLookups(Options options, QObject* parent = nullptr);
    ~RelayContactLookups() override;
    Q_DISABLE_COPY_MOVE(RelayContactLookups)

    void setRdapEnabled(bool enabled);
    bool isRdapEnabled() const { return m_rdap != nullptr; }
    /// Empty turns the contact database off (the default).
    void setContactZone(const QString& zone);
    QString contactZone() const { return m_contactDb ? m_options.contactDb.zone : QString(); }

    /// Asks for the rows `traced` of `relays`; every other row gets "not
    /// asked: " and the description of its hop class in `trust`.
    void start(const QStringList& relays, const QList<qsizetype>& traced, const QList<HopTrust>& trust);
    /// Drops the lookups under way and the results; none of them arrives after this.
    /// Whether there were results to drop.
    bool stop();
    /// Whether a lookup of row `row` is still under way.
    bool isPending(qsizetype row) const;

    /// One entry per relay row while on, empty while off.
    const QList<RdapResult>& rdap() const { return m_rdapResults; }
    const QList<ContactDbResult>& contactDb() const { return m_contactDbResults; }

Q_SIGNALS:
    void rdapAnswered(qsizetype row);
    void contactDbAnswered(qsizetype row);
    /// An RDAP request went out to a server.
    void rdapAsked(const QUrl& url, const QString& address);

private:
    void rdapFinished(quint64 ticket, const RdapResult& result);
    void contactDbFinished(quint64 ticket, const ContactDbResult& result);

    Options m_options;
    std::unique_ptr<RdapClient> m_rdap;
    std::unique_ptr<ContactDbClient> m_contactDb;
    QList<RdapResult> m_rdapResults;
    QList<ContactDbResult> m_contactDbResults;
    /// The lookups of the current run, by ticket: the row each is for.
    QHash<quint64, qsizetype> m_rdapTickets;
    QHash<quint64, qsizetype> m_contactDbTickets;
};
