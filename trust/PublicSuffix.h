// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

/// The registered domain of a host name by the Public Suffix List (libpsl,
/// with the system's newest list): "example.co.uk" for "mx.example.co.uk".
/// Empty text for a name that is itself a public suffix, or none at all.
QString registeredDomain(QStringView hostName);
