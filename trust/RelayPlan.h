// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "header/ReceivedChain.h"
#include "trust/RelayTrust.h"

#include <QList>
#include <QStringList>

#include <optional>

/// How a run treats the relays of a message.
struct TrustOptions
{
    /// The run is about the source hop: only it is reverse-resolved and traced.
    bool enabled = false;
    /// The user's own provider's hosts.
    MailHosts mailHosts;
    /// Also trace the hops older than the source.
    bool traceBeyond = false;
};

/// One `Received` hop of a message and, with trust on, its class.
struct PlannedHop
{
    ReceivedHop hop;
    std::optional<HopTrust> trust;
};

/// What a run does with the relays of one header.
struct RelayPlan
{
    /// Every hop with a sending address, newest first.
    QList<PlannedHop> hops;
    /// With trust on: each hop's address once, in header order (the relay list
    /// the window shows), and the class of each.
    QStringList addresses;
    QList<HopTrust> addressTrust;
    /// The row of `addresses` that is the source, if any.
    std::optional<qsizetype> sourceRow;
    /// The rows to trace, in order: the source, then (when asked) the beyond hops.
    QList<qsizetype> tracedRows;

    QString sourceAddress() const { return sourceRow ? addresses.at(*sourceRow) : QString(); }
};

/// Reads the `Received` chain of `header` and, with trust on, classes its hops
/// and chooses the rows to trace. An address that recurs keeps the class of its
/// newest hop, except that the source's address is always the source. Own and
/// private rows are never traced. With trust off only `hops` is filled, without
/// classes.
RelayPlan PlanRelays(QStringView header, const TrustOptions& options, const RegisteredDomainOf& registeredDomain);
