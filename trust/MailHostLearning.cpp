// SPDX-License-Identifier: GPL-3.0-or-later
#include "trust/MailHostLearning.h"

#include <QHash>
#include <QHostAddress>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// How many `by` names an evidence line shows before it counts the rest.
constexpr qsizetype ShownWriters = 3;

// A hop as the learning sees it.
struct Hop
{
    QString address; // in QHostAddress's spelling, IPv4-mapped IPv6 as IPv4
    QString domain;  // the registered domain of a vouched-for reverse name, or empty
    QString by;      // lower case, without a trailing dot
    bool writtenBySameDomain = false;
};

QString plainAddress(const QHostAddress& address)
{
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped && address.protocol() == QAbstractSocket::IPv6Protocol ? QHostAddress(ipv4).toString()
                                                                         : address.toString();
}

QString hostName(QStringView name)
{
    QString lower = name.trimmed().toString().toLower();
    while (lower.endsWith(u'.')) {
        lower.chop(1);
    }
    return lower;
}

// The hops of one message from public addresses, newest first.
QList<Hop> publicHops(const QList<ReceivedHop>& chain, const RegisteredDomainOf& registeredDomain)
{
    QList<Hop> hops;
    for (const ReceivedHop& received : chain) {
        const QHostAddress address(received.address);
        if (address.isNull() || isPrivateAddress(address)) {
            continue;
        }
        Hop hop;
        hop.address = plainAddress(address);
        hop.by = hostName(received.by);
        if (received.reverseVerified && !received.reverseName.isEmpty()) {
            hop.domain = registeredDomain(hostName(received.reverseName));
            hop.writtenBySameDomain =
                !hop.domain.isEmpty() && !hop.by.isEmpty() && registeredDomain(hop.by) == hop.domain;
        }
        hops.append(hop);
    }
    return hops;
}

// What the walks found for one address or domain.
struct Tally
{
    bool suffix = false;
    QString entry;
    /// The messages whose walk reached it.
    int messages = 0;
    /// For an address: the messages where no candidate domain covered it.
    int uncovered = 0;
    qsizetype order = 0; // when it was first met, for a stable order of entries
    QStringList addresses;
    QHash<QString, int> writers;
    QStringList writerOrder;
};

struct Walk
{
    QHash<QString, Tally> tallies; // by "a:" + address or "d:" + domain
};

// Counts a hop reached by a walk for `key`, once per message in `counted`.
Tally& record(Walk& result, const QString& key, const Hop& hop, QSet<QString>& counted)
{
    const bool known = result.tallies.contains(key);
    Tally& tally = result.tallies[key];
    if (!known) {
        tally.suffix = key.startsWith(u'd');
        tally.entry = key.sliced(2);
        tally.order = result.tallies.size();
    }
    if (!counted.contains(key)) {
        counted.insert(key);
        ++tally.messages;
    }
    if (!tally.addresses.contains(hop.address)) {
        tally.addresses.append(hop.address);
    }
    if (!hop.by.isEmpty()) {
        if (!tally.writers.contains(hop.by)) {
            tally.writerOrder.append(hop.by);
        }
        ++tally.writers[hop.by];
    }
    return tally;
}

// Walks every chain from the top while its hops are candidates. Every hop
// reached counts for its address, also where a domain covers it: should the
// domain drop out, the address may still stand alone.
Walk walk(const QList<QList<Hop>>& chains, const QSet<QString>& addresses, const QSet<QString>& domains)
{
    Walk result;
    for (const QList<Hop>& chain : chains) {
        QSet<QString> counted;
        QSet<QString> uncounted;
        for (const Hop& hop : chain) {
            const bool covered = !hop.domain.isEmpty() && domains.contains(hop.domain);
            if (!covered && !addresses.contains(hop.address)) {
                break; // outside mail entered here
            }
            Tally& address = record(result, u"a:"_s + hop.address, hop, counted);
            if (covered) {
                record(result, u"d:"_s + hop.domain, hop, counted);
            } else if (!uncounted.contains(hop.address)) {
                uncounted.insert(hop.address);
                ++address.uncovered;
            }
        }
    }
    return result;
}

// Entries whose count stays below the minimum (or a domain seen with fewer than
// two addresses) leave the candidates; true when any did.
bool prune(const Walk& walked, int minimum, QSet<QString>& addresses, QSet<QString>& domains)
{
    bool changed = false;
    for (auto it = addresses.begin(); it != addresses.end();) {
        const Tally tally = walked.tallies.value(u"a:"_s + *it);
        if (tally.messages < minimum) {
            it = addresses.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    for (auto it = domains.begin(); it != domains.end();) {
        const Tally tally = walked.tallies.value(u"d:"_s + *it);
        if (tally.messages < minimum || tally.addresses.size() < 2) {
            it = domains.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    return changed;
}

MailHostEvidence evidenceOf(const Tally& tally)
{
    MailHostEvidence evidence{tally.entry, tally.suffix, tally.messages, tally.addresses, tally.writerOrder};
    std::stable_sort(evidence.writtenBy.begin(), evidence.writtenBy.end(), [&](const QString& a, const QString& b) {
        return tally.writers.value(a) > tally.writers.value(b);
    });
    return evidence;
}

} // namespace

QString MailHostProposal::mailHostsValue() const
{
    QStringList written;
    for (const MailHostEvidence& evidence : entries) {
        written.append(evidence.entry);
    }
    return written.join(u',');
}

MailHostProposal proposeMailHosts(const QList<QList<ReceivedHop>>& chains, const RegisteredDomainOf& registeredDomain)
{
    MailHostProposal proposal;
    QList<QList<Hop>> prepared;
    for (const QList<ReceivedHop>& chain : chains) {
        QList<Hop> hops = publicHops(chain, registeredDomain);
        if (!hops.isEmpty()) {
            prepared.append(std::move(hops));
        }
    }
    proposal.messages = static_cast<int>(prepared.size());
    proposal.minimum = std::max(2, (proposal.messages + 3) / 4);
    if (proposal.messages < 2) {
        return proposal;
    }

    // The candidates: what recurs anywhere in the chains. Walking from the top
    // then keeps those that recur above the point where outside mail entered;
    // dropping one can end other walks sooner, so the walk is repeated until
    // nothing more drops.
    QHash<QString, int> addressMessages;
    QHash<QString, int> domainMessages;
    QHash<QString, QSet<QString>> domainAddresses;
    for (const QList<Hop>& chain : prepared) {
        QSet<QString> seenAddresses;
        QSet<QString> seenDomains;
        for (const Hop& hop : chain) {
            seenAddresses.insert(hop.address);
            if (hop.writtenBySameDomain) {
                seenDomains.insert(hop.domain);
                domainAddresses[hop.domain].insert(hop.address);
            }
        }
        for (const QString& address : std::as_const(seenAddresses)) {
            ++addressMessages[address];
        }
        for (const QString& domain : std::as_const(seenDomains)) {
            ++domainMessages[domain];
        }
    }
    QSet<QString> addresses;
    for (auto it = addressMessages.cbegin(); it != addressMessages.cend(); ++it) {
        if (it.value() >= proposal.minimum) {
            addresses.insert(it.key());
        }
    }
    QSet<QString> domains;
    for (auto it = domainMessages.cbegin(); it != domainMessages.cend(); ++it) {
        if (it.value() >= proposal.minimum && domainAddresses.value(it.key()).size() >= 2) {
            domains.insert(it.key());
        }
    }

    Walk walked = walk(prepared, addresses, domains);
    while (prune(walked, proposal.minimum, addresses, domains)) {
        walked = walk(prepared, addresses, domains);
    }

    // An address is proposed only where a proposed domain leaves some of its
    // hops uncovered (a name not vouched for).
    QList<Tally> kept;
    for (const Tally& tally : std::as_const(walked.tallies)) {
        if (tally.suffix ? domains.contains(tally.entry) : addresses.contains(tally.entry) && tally.uncovered > 0) {
            kept.append(tally);
        }
    }
    std::sort(kept.begin(), kept.end(), [](const Tally& a, const Tally& b) {
        return a.messages != b.messages ? a.messages > b.messages : a.order < b.order;
    });
    for (const Tally& tally : std::as_const(kept)) {
        proposal.entries.append(evidenceOf(tally));
    }
    return proposal;
}

QString renderMailHostProposal(const MailHostProposal& proposal)
{
    if (proposal.entries.isEmpty()) {
        return {};
    }
    QString text = u"mailhosts="_s + proposal.mailHostsValue() + u'\n';
    for (const MailHostEvidence& evidence : proposal.entries) {
        text += u"# %1: at the top of %2 of %3 messages"_s.arg(evidence.entry)
                    .arg(evidence.messages)
                    .arg(proposal.messages);
        if (evidence.suffix) {
            text += u", from %1 addresses"_s.arg(evidence.addresses.size());
        }
        if (!evidence.writtenBy.isEmpty()) {
            text += u", written by "_s +
                    evidence.writtenBy.first(std::min(ShownWriters, evidence.writtenBy.size())).join(u", "_s);
            if (evidence.writtenBy.size() > ShownWriters) {
                text += u" and %1 more"_s.arg(evidence.writtenBy.size() - ShownWriters);
            }
        }
        text += u'\n';
    }
    return text;
}
