// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "complaint/AbuseRow.h"
#include "contactdb/ContactDbResult.h"
#include "rdap/RdapResult.h"
#include "trust/RelayPlan.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

/// Starts every failure shown in the status line; the failure's description follows.
inline constexpr QStringView SomethingBadHappened = u"Something bad happened ";

/// A whois lookup of a run that the answer cache stood for.
struct CachedWhoisAnswer
{
    QString registry; ///< "RIPE"
    QString query;
    QDateTime receivedAt; ///< when the registry gave the answer
};

/// Everything the main window shows and the variables that tie one run together.
/// Multi-line texts hold CR LF line breaks.
struct WorkbenchState
{
    QString txtIn;            ///< "SMTP Header In"
    QString txtBody;          ///< "Email Message Body"
    QString txtSubject;       ///< "Email Subject"
    QStringList lstOut;       ///< "Parsed Header"
    QStringList lstIPs;       ///< "List of IP Addresses"
    QStringList lstDomain;    ///< "Domain"
    QString txtWhoIsOut;      ///< "Tracking"
    QString txtWhoStatus;     ///< "Status"
    QList<AbuseRow> lstAbuse; ///< "Abuse Addresses"
    /// How the reverse lookup of the first relay address went, in one line
    /// ("192.0.2.7: mx.example.org", or why no name came); empty before a run.
    QString reverseLookup;
    /// Every `Received` hop of the header that names a sending address, newest
    /// first, with its class when relay trust is on.
    QList<PlannedHop> relays;
    /// With relay trust on: the class of each row of lstIPs. Empty when off.
    QList<HopTrust> ipTrust;
    /// With relay trust on: the source hop's address; empty when off or when
    /// the header has none.
    QString sourceAddress;
    /// With RDAP on: one entry per row of lstIPs, its lookup's outcome (address
    /// alone while the lookup runs). Empty with RDAP off.
    QList<RdapResult> rdap;
    /// With a contact-database zone set: the same for its lookups. Empty when unset.
    QList<ContactDbResult> contactDb;
    /// With the answer cache on: the lookups of the last Start that it
    /// answered, in order. Empty when it answered none.
    QList<CachedWhoisAnswer> whoisCache;
    bool chkAutomate = false; ///< batch processing of a mail folder
    /// A mail operation is under way: the mailbox group's Start and Report
    /// Spammer wait for it.
    bool mailBusy = false;

    bool blnReceivedMarked = false;
    qint16 intIPCount = 0;
    qint16 intIPIndex = 0;
    QString strCurrentIP;
    bool blnUseOutlook = false;
};
