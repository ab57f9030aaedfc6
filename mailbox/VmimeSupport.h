// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Private to the mail layer: the glue between vmime and the layer's own types.

#include "mailbox/MailError.h"

#include <QString>
#include <QUrl>

#include <exception>
#include <functional>
#include <optional>
#include <vmime/vmime.hpp>

namespace vmimesupport {

/// Sets vmime's platform handler once per process (any thread may call it).
void initialise();

/// Text for vmime, which works on UTF-8 bytes.
vmime::string toUtf8(const QString& text);
QString fromUtf8(const vmime::string& text);

/// A session whose services time out after `timeoutMs` of silence and verify
/// certificates against the system's CA store plus `caFile`.
struct ServiceOptions
{
    int timeoutMs = 30000;
    QString caFile;
};

/// Sets up `service` for `url`: the options above, the log-in of the URL's user
/// with `password`, and STARTTLS on imap:// and smtp:// where `mustSwitchToTls`
/// demands it (required by `tlsRequired`, or to keep a password off the network).
void configureService(const vmime::shared_ptr<vmime::net::service>& service, const QUrl& url, bool tlsRequired,
                      const ServiceOptions& options, const std::optional<QString>& password);

/// Turns the exception in flight into a MailError that says what failed
/// (`action`, e.g. "Could not log in") and where (`where`, "HOST:PORT").
MailError describeException(std::exception_ptr error, const QString& where, int timeoutMs);

/// Runs `work` and catches every vmime or standard exception into a MailError.
MailError guarded(const QString& where, int timeoutMs, const std::function<void()>& work);

} // namespace vmimesupport
