// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "header/ReceivedChain.h"
#include "trust/RelayTrust.h"

#include <QList>
#include <QString>
#include <QStringList>

/// How many of a folder's newest messages zelkor-report learns from.
constexpr qsizetype MailHostLearningMessages = 100;

/// One entry of a proposed `mailhosts=` list and the evidence for it.
struct MailHostEvidence
{
    /// A bare address, or a registered domain taken as a host-name suffix.
    QString entry;
    bool suffix = false;
    /// In how many messages it recurred at the top of the chain.
    int messages = 0;
    /// The sending addresses of those hops, in the order first met.
    QStringList addresses;
    /// The servers that wrote those lines (their `by` names, lower case), most
    /// frequent first.
    QStringList writtenBy;
};

/// What the newest messages of the user's own mail tell about their provider.
struct MailHostProposal
{
    /// The messages with at least one hop from a public address: the base of
    /// the share an entry must reach.
    int messages = 0;
    /// In how many of them an entry had to recur.
    int minimum = 0;
    /// Most messages first.
    QList<MailHostEvidence> entries;

    /// The entries as `parseMailHosts` reads them: "provider.example,198.18.0.1".
    QString mailHostsValue() const;
};

/// Proposes the user's mail hosts from the `Received` chains of their own mail
/// (each newest hop first), as `MailHosts` would hold them.
///
/// The rule: walking down each chain from the top, a hop is the provider's
/// while its sending address, or the registered domain of a reverse name the
/// receiving server vouched for, recurs at the top of at least `minimum`
/// messages (a quarter of the messages with a public hop, rounded up, and
/// never fewer than 2). The first hop that does not recur is where outside
/// mail entered, and the walk of that chain ends there. A domain stands for a
/// provider with many servers: it counts only when its servers hand mail to
/// each other (a line with such a name written by a server of the same
/// registered domain) in `minimum` messages and at least two of its addresses
/// are met at the top, so a large outside sender such as a webmail service,
/// whose many servers hand mail to the provider, is not taken for the provider.
/// An address is proposed beside a domain only for hops the domain does not
/// cover (their name was not vouched for).
/// Private addresses (`isPrivateAddress`) are passed over and never proposed.
/// Fewer than 2 messages with a public hop propose nothing.
///
/// What recurs is not always the provider: a forwarder or a mailing list that
/// brings a quarter of the mail is proposed too, which is what the evidence
/// (the servers that wrote the lines) is for.
MailHostProposal proposeMailHosts(const QList<QList<ReceivedHop>>& chains, const RegisteredDomainOf& registeredDomain);

/// The proposal as text: the line "mailhosts=a,b,c", then one comment line of
/// evidence per entry ("# a: at the top of 9 of 10 messages, written by
/// mx.provider.example"), each line ending in LF. Empty text when nothing is
/// proposed.
QString renderMailHostProposal(const MailHostProposal& proposal);
