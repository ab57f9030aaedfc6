// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/MailPasswords.h"

#include "mailbox/MailSettings.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <qt6keychain/keychain.h>

using namespace Qt::StringLiterals;

namespace {

const QString keychainService = u"zelkor"_s;

const QUrl& urlOf(MailRole role, const MailSettings& settings)
{
    return role == MailRole::Store ? settings.storeUrl : settings.transportUrl;
}

bool needsPassword(const QUrl& url)
{
    return url.scheme() != u"maildir" && url.scheme() != u"sendmail" && !url.userName().isEmpty();
}

// QtKeychain needs a QCoreApplication (its D-Bus connection lives there) and a
// session bus to talk to; without either there is no secret store to ask.
bool secretStoreReachable()
{
    return QCoreApplication::instance() != nullptr && !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
}

// Runs a QtKeychain job to its end on this thread.
void runJob(QKeychain::Job& job)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    loop.exec();
}

std::optional<QString> environmentPassword(const char* name)
{
    if (!qEnvironmentVariableIsSet(name)) {
        return std::nullopt;
    }
    return qEnvironmentVariable(name);
}

} // namespace

QString mailPasswordKey(MailRole role, const MailSettings& settings)
{
    return urlOf(role, settings)
        .adjusted(QUrl::RemovePassword | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
        .toString();
}

std::optional<QString> lookupMailPassword(MailRole role, const MailSettings& settings)
{
    if (!needsPassword(urlOf(role, settings))) {
        return std::nullopt;
    }
    if (const auto& fromFile = role == MailRole::Store ? settings.storePassword : settings.transportPassword) {
        return fromFile;
    }
    if (secretStoreReachable()) {
        QKeychain::ReadPasswordJob job(keychainService);
        job.setKey(mailPasswordKey(role, settings));
        runJob(job);
        if (job.error() == QKeychain::NoError) {
            return job.textData();
        }
    }
    if (role == MailRole::Transport) {
        if (auto password = environmentPassword("ZELKOR_SMTP_PASSWORD")) {
            return password;
        }
    }
    return environmentPassword("ZELKOR_MAIL_PASSWORD");
}

MailError storeMailPassword(MailRole role, const MailSettings& settings, const QString& password)
{
    const QUrl& url = urlOf(role, settings);
    if (!needsPassword(url)) {
        return {MailFailure::Settings,
                u"%1 needs no password (no user name in the address)"_s.arg(url.toDisplayString(QUrl::RemovePassword))};
    }
    if (!secretStoreReachable()) {
        return {MailFailure::Other, u"no secret store is running (no D-Bus session): set the password in "
                                    u"ZELKOR_MAIL_PASSWORD or ZELKOR_SMTP_PASSWORD instead"_s};
    }
    QKeychain::WritePasswordJob job(keychainService);
    job.setKey(mailPasswordKey(role, settings));
    job.setTextData(password);
    runJob(job);
    if (job.error() != QKeychain::NoError) {
        // The job's text is about the secret store, never about the password.
        return {MailFailure::Other, u"the secret store refused the password: "_s + job.errorString()};
    }
    return {};
}
