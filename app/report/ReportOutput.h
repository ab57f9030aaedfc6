// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

struct ContactDbResult;
struct RdapResult;
struct WorkbenchState;

/// The workbench's lists and texts as one JSON object, with the complaint text
/// under "complaint" when asked for, each relay's RDAP lookup under "rdap"
/// when RDAP was on, and its contact-database lookup under "contactDb" when a
/// zone was set.
QByteArray renderJson(const WorkbenchState& state, bool withComplaint = false, bool withRdap = false,
                      bool withContactDb = false);

/// The complaint text of the run, exactly as Copy Complaint puts it on the
/// clipboard (CR LF line ends), in UTF-8.
QByteArray renderComplaint(const WorkbenchState& state);

/// The same as readable text, one section per list, named as the window labels
/// them; with RDAP or the contact database on, each abuse address with its
/// source and a section for each.
QByteArray renderText(const WorkbenchState& state, bool withRdap = false, bool withRoles = false,
                      bool withContactDb = false);

/// One RDAP lookup in a line: the server and what it named, or why nothing came.
QString rdapSummary(const RdapResult& result);
/// The same for a contact-database lookup.
QString contactDbSummary(const ContactDbResult& result);
