// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/MailError.h"

#include <QString>

#include <optional>

struct MailSettings;

/// Which account's password.
enum class MailRole
{
    Store,
    Transport,
};

/// The password for the store's or the transport's URL, first found of: the
/// settings file's password= key; the desktop's secret store (one entry per
/// URL, service "zelkor"); ZELKOR_SMTP_PASSWORD (transport only);
/// ZELKOR_MAIL_PASSWORD. Nothing when the account needs none (a Maildir,
/// sendmail, a URL without a user name) or none is found.
///
/// The secret store is asked over D-Bus, and QtKeychain answers through Qt
/// events: the call runs a local event loop on the calling thread until the
/// answer comes (the worker thread is fine; it needs no loop of its own). No
/// D-Bus session (DBUS_SESSION_BUS_ADDRESS unset) means no secret store.
std::optional<QString> lookupMailPassword(MailRole role, const MailSettings& settings);

/// Stores `password` for the role's URL in the desktop's secret store
/// (zelkor-report --set-password). Same event-loop note as above.
MailError storeMailPassword(MailRole role, const MailSettings& settings, const QString& password);

/// The secret store's key for a URL: scheme, user, host and port, no path.
QString mailPasswordKey(MailRole role, const MailSettings& settings);
