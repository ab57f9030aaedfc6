// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/MessageText.h"
#include "trust/RelayPlan.h"
#include "whois/WhoisServerMap.h"
#include "whois/WhoisSettings.h"

#include <QString>

class QTextStream;
struct WorkbenchState;

/// What one headless run is asked to do.
struct ReportRequest
{
    MessageText message;
    /// Take the message from the mailbox (its Start command) instead of `message`.
    bool mailbox = false;
    /// Send the complaint once the run went through (Report Spammer).
    bool send = false;
    /// With `mailbox`: work through the source folder (the batch box ticked).
    bool batch = false;
    /// Answer OK to the Inbox warning.
    bool yes = false;
    /// Send even when the journal says the message was reported already.
    bool again = false;
    /// The journal of complaints and lookups; empty keeps none.
    QString journalPath;
    /// The registries' whois allowances per 24 hours.
    DailyLimits dailyLimits = defaultDailyLimits();
    /// How long a kept whois answer stands for a lookup; 0: not at all.
    int cacheHours = 0;
    /// Ask each relay's registry over RDAP for the network's abuse contact.
    bool rdap = false;
    /// Tick the rows the answers do not designate for abuse reports.
    bool designated = false;
    /// The DNS contact database to ask beside whois; empty asks none.
    QString contactZone;
    /// Relay trust: trace and report the source hop only.
    TrustOptions trust;
    bool trace = true;
    bool progress = false;
    QString programDirectory;
    QString dnsServers;
    WhoisServerMap whoisServers;
};

/// Loads the workbench, runs the Start command on the message (or the mailbox
/// group's Start) and, unless told not to, the whois trace to its end; sends the
/// complaint when asked and the run went through; then unloads. Returns the
/// final state.
WorkbenchState runReport(const ReportRequest& request);

/// How a batch run went: finished (the folder is empty), or why it did not.
struct BatchReport
{
    bool finished = false;
    QString reason;
};

/// Works through the mailbox's source folder as the window's batch does: each
/// message is loaded, traced, reported and deleted until the folder is empty
/// or the batch stops. With `request.progress` a line per message goes to
/// standard error.
BatchReport runBatch(const ReportRequest& request);
