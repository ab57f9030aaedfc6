// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

struct RdapResult;
struct WorkbenchState;

/// The workbench's lists and texts as one JSON object, with the complaint text
/// under "complaint" when asked for, and each relay's RDAP lookup under "rdap"
/// when RDAP was on.
QByteArray renderJson(const WorkbenchState& state, bool withComplaint = false, bool withRdap = false);

/// The complaint text of the run, exactly as Copy Complaint puts it on the
/// clipboard (CR LF line ends), in UTF-8.
QByteArray renderComplaint(const WorkbenchState& state);

/// The same as readable text, one section per list, named as the window labels
/// them; with RDAP on, each abuse address with its source and an RDAP section.
QByteArray renderText(const WorkbenchState& state, bool withRdap = false, bool withRoles = false);

/// One RDAP lookup in a line: the server and what it named, or why nothing came.
QString rdapSummary(const RdapResult& result);
