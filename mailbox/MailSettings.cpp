// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/MailSettings.h"

#include "common/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString loginName()
{
    if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_name != nullptr) {
        return QString::fromLocal8Bit(entry->pw_name);
    }
    return qEnvironmentVariable("USER");
}

MailError settingsError(const QString& fileName, const QString& section, const QString& key, const QString& what)
{
    return {MailFailure::Settings, u"%1: [%2] %3: %4"_s.arg(fileName, section, key, what)};
}

// localhost, 127.0.0.0/8 or ::1 (QUrl gives IPv4 hosts in dotted-quad form).
bool isLoopbackHost(const QString& host)
{
    if (host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0 || host == u"::1") {
        return true;
    }
    const QStringList parts = host.split(u'.');
    return parts.size() == 4 && parts.first() == u"127" &&
           std::all_of(parts.cbegin(), parts.cend(), [](const QString& part) {
               bool number = false;
               return part.toUInt(&number) <= 255 && number;
           });
}

bool isMaildirUrl(const QUrl& url)
{
    return url.scheme() == u"maildir" && (url.host().isEmpty() || url.host() == u"localhost") &&
           url.path().startsWith(u'/');
}

bool isStoreUrl(const QUrl& url)
{
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == u"imap" || scheme == u"imaps" || isMaildirUrl(url)) &&
           (scheme == u"maildir" || !url.host().isEmpty());
}

bool isTransportUrl(const QUrl& url)
{
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == u"smtp" || scheme == u"smtps" || scheme == u"sendmail") &&
           !url.host().isEmpty() && (scheme != u"sendmail" || url.host() == u"localhost");
}

// Why a [store] or [transport] url= value cannot be used, or empty text.
// `kind` names the addresses that would do, e.g. "an smtp:// or ...".
QString addressProblem(const QUrl& url, bool usable, QStringView kind)
{
    if (!usable) {
        return u"\"%1\" is not %2 address"_s.arg(url.toDisplayString(QUrl::RemovePassword), kind);
    }
    if (!url.password().isEmpty()) {
        return u"a password does not belong in the address"_s;
    }
    return {};
}

// The [store] folder keys that cannot be used together, or no error. Checked
// once every entry is read: the store url, which decides the folder rules, may
// come after the folders in the file.
MailError folderProblem(const MailSettings& settings, const QString& fileName)
{
    using namespace foldername;
    const Rules rules = settings.folderRules();
    const QString section = u"store"_s;
    const QString& source = settings.folder;
    if (levels(rules, source).isEmpty()) {
        return settingsError(fileName, section, u"folder"_s, u"\"%1\" names no folder"_s.arg(source));
    }
    const std::pair<QString, QString> destinations[] = {{u"trash"_s, settings.trashFolder},
                                                        {u"unreported"_s, settings.unreportedFolder}};
    for (const auto& [key, folder] : destinations) {
        if (folder.isEmpty()) {
            continue;
        }
        if (levels(rules, folder).isEmpty()) {
            return settingsError(fileName, section, key, u"\"%1\" names no folder"_s.arg(folder));
        }
        if (sameFolder(rules, folder, source)) {
            return settingsError(
                fileName, section, key,
                u"\"%1\" opens the source folder \"%2\": a message put there would be loaded again"_s.arg(folder,
                                                                                                          source));
        }
    }
    // Reported messages and those nobody was told about must stay apart.
    const QString& trash = settings.trashFolder;
    const QString& unreported = settings.unreportedFolder;
    if (!trash.isEmpty() && !unreported.isEmpty() &&
        (sameFolder(rules, trash, unreported) || isInside(rules, trash, unreported) ||
         isInside(rules, unreported, trash))) {
        return settingsError(fileName, section, u"unreported"_s,
                             u"\"%1\" and the trash folder \"%2\" are one, or one lies inside the other: the messages "
                             u"nobody was told about would mix with the reported ones"_s.arg(unreported, trash));
    }
    return {};
}

} // namespace

foldername::Rules MailSettings::folderRules() const
{
    return storeUrl.scheme() == u"maildir" ? foldername::Rules::Maildir : foldername::Rules::Imap;
}

MailSettings MailSettings::defaults()
{
    MailSettings settings;
    settings.storeUrl = QUrl::fromLocalFile(QDir::homePath() + u"/Maildir"_s);
    settings.storeUrl.setScheme(u"maildir"_s);
    settings.storeUrl.setHost(u"localhost"_s);
    settings.folder = u"Junk"_s;
    settings.transportUrl = QUrl(u"sendmail://localhost"_s);
    settings.from = loginName();
    return settings;
}

QString MailSettings::defaultPath()
{
    return settingsFilePath();
}

MailResult<MailSettings> MailSettings::load(const QString& path)
{
    QFile file(path);
    if (!file.exists()) {
        return defaults();
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return MailError{MailFailure::Settings, u"%1: cannot be read: %2"_s.arg(path, file.errorString())};
    }
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::ReadOther;
    return parse(file.readAll(), path, (file.permissions() & others) == 0);
}

MailResult<MailSettings> MailSettings::parse(QByteArrayView bytes, const QString& fileName, bool ownerOnly)
{
    MailSettings settings = defaults();
    const SettingsText text = readSettingsText(bytes, fileName, {u"store"_s, u"transport"_s, u"tls"_s, u"network"_s});
    if (!text.error.isEmpty()) {
        return MailError{MailFailure::Settings, text.error};
    }
    for (const SettingsEntry& entry : text.entries) {
        const QString& section = entry.section;
        const QString& key = entry.key;
        const QString& value = entry.value;
        if (key == u"password" && (section == u"store" || section == u"transport")) {
            if (!ownerOnly) {
                return settingsError(fileName, section, key,
                                     u"refused: the file is readable by others than its owner (chmod 600 it, or use "
                                     u"the secret store)"_s);
            }
            (section == u"store" ? settings.storePassword : settings.transportPassword) = value;
        } else if (section == u"store" && key == u"url") {
            const QUrl url(value, QUrl::StrictMode);
            if (const QString problem =
                    addressProblem(url, isStoreUrl(url), u"an imap://, imaps:// or maildir://localhost/PATH");
                !problem.isEmpty()) {
                return settingsError(fileName, section, key, problem);
            }
            settings.storeUrl = url;
        } else if (section == u"store" && key == u"folder") {
            if (value.isEmpty()) {
                return settingsError(fileName, section, key, u"the folder name is empty"_s);
            }
            settings.folder = value;
        } else if (section == u"store" && key == u"unreported") {
            settings.unreportedFolder = value;
        } else if (section == u"store" && key == u"trash") {
            settings.trashFolder = value;
        } else if (section == u"transport" && key == u"url") {
            const QUrl url(value, QUrl::StrictMode);
            if (const QString problem =
                    addressProblem(url, isTransportUrl(url), u"an smtp://, smtps:// or sendmail://localhost");
                !problem.isEmpty()) {
                return settingsError(fileName, section, key, problem);
            }
            settings.transportUrl = url;
        } else if (section == u"transport" && key == u"from") {
            if (value.isEmpty()) {
                return settingsError(fileName, section, key, u"the sender is empty"_s);
            }
            settings.from = value;
        } else if (section == u"tls" && key == u"required") {
            const std::optional<bool> required = parseSettingsBool(value);
            if (!required) {
                return settingsError(fileName, section, key, u"\"%1\" is neither true nor false"_s.arg(value));
            }
            settings.tlsRequired = *required;
        } else if (section == u"tls" && key == u"ca_file") {
            if (!value.isEmpty() && !QFileInfo(value).isReadable()) {
                return settingsError(fileName, section, key, u"\"%1\" cannot be read"_s.arg(value));
            }
            settings.caFile = value;
        } else if (section == u"network" && key == u"timeout") {
            bool isNumber = false;
            const double seconds = value.toDouble(&isNumber);
            if (!isNumber || !std::isfinite(seconds) || seconds <= 0 || seconds > 3600) {
                return settingsError(fileName, section, key,
                                     u"\"%1\" is not a number of seconds between 0 and 3600"_s.arg(value));
            }
            settings.timeoutMs = std::max(1, static_cast<int>(std::lround(seconds * 1000)));
        }
        // Other keys and sections belong to other parts of the program.
    }
    if (MailError error = folderProblem(settings, fileName)) {
        return error;
    }
    return settings;
}

bool mustSwitchToTls(const QUrl& url, bool tlsRequired)
{
    if (tlsRequired || url.userName().isEmpty()) {
        return tlsRequired;
    }
    return !isLoopbackHost(url.host());
}
