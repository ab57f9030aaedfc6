// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// zelkor-report --set-password ROLE: reads a password from standard input
/// (without echo on a terminal) and keeps it in the desktop's secret store for
/// the store's or the transport's address of the settings file. ROLE is "store"
/// or "transport". Returns the exit status; failures go to standard error.
int setMailPassword(const QString& role);
