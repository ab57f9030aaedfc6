// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "trust/RelayPlan.h"

#include <QString>

/// The [trust] section of the settings file.
struct TrustSettings
{
    TrustOptions options;
    /// Empty, or why the section could not be read (the defaults apply then).
    QString error;
};

/// Reads [trust] from the settings file at `path`: `enabled=`, `mailhosts=`
/// and `trace_beyond=`. A missing file or section gives the defaults.
TrustSettings readTrustSettings(const QString& path);
