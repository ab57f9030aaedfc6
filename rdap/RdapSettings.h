// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// The [abuse-contacts] section of the settings file.
struct AbuseContactSettings
{
    /// Ask each relay's registry over RDAP for the network's abuse contact.
    bool rdap = false;
    /// Tick each relay's rows that its answers do not designate for abuse reports.
    bool designated = false;
    /// The DNS zone of a published abuse-contact database to ask; empty asks none.
    QString contactZone;
    /// Empty, or why the section could not be read (the defaults apply then).
    QString error;
};

/// Reads [abuse-contacts] from the settings file at `path`; a missing file or
/// section gives the defaults.
AbuseContactSettings readAbuseContactSettings(const QString& path);
