// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/MessageText.h"
#include "whois/WhoisServerMap.h"

#include <QString>

class QTextStream;
struct WorkbenchState;

/// What one headless run is asked to do.
struct ReportRequest
{
    MessageText message;
    bool trace = true;
    bool progress = false;
    QString programDirectory;
    QString dnsServers;
    WhoisServerMap whoisServers;
};

/// Loads the workbench, runs the Start command on the message and, unless told
/// not to, the whois trace to its end; then unloads. Returns the final state.
WorkbenchState runReport(const ReportRequest& request);
