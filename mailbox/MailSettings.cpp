// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/MailSettings.h"

#include "common/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// The value of a "key=value" line: quoted values are taken as written (with \"
// and \\ escapes); bare values end at a comment that follows a blank.
std::optional<QString> unquote(QStringView raw)
{
    const QStringView value = raw.trimmed();
    if (!value.startsWith(u'"')) {
        qsizetype end = value.size();
        for (qsizetype i = 1; i < value.size(); ++i) {
            if ((value[i] == u';' || value[i] == u'#') && value[i - 1].isSpace()) {
                end = i;
                break;
            }
        }
        return value.first(end).trimmed().toString();
    }
    QString result;
    for (qsizetype i = 1; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            result += value[++i];
        } else if (c == u'"') {
            const QStringView rest = value.sliced(i + 1).trimmed();
            if (rest.isEmpty() || rest.startsWith(u';') || rest.startsWith(u'#')) {
                return result;
            }
            return std::nullopt;
        } else {
            result += c;
        }
    }
    return std::nullopt; // no closing quote
}

MailError settingsError(const QString& fileName, const QString& section, const QString& key, const QString& what)
{
    return {MailFailure::Settings, u"%1: [%2] %3: %4"_s.arg(fileName, section, key, what)};
}

std::optional<bool> parseBool(const QString& text)
{
    const QString lower = text.toLower();
    if (lower == u"true" || lower == u"yes" || lower == u"on" || lower == u"1") {
        return true;
    }
    if (lower == u"false" || lower == u"no" || lower == u"off" || lower == u"0") {
        return false;
    }
    return std::nullopt;
}

bool isMaildirUrl(const QUrl& url)
{
    return url.scheme() == u"maildir" && (url.host().isEmpty() || url.host() == u"localhost") &&
           url.path().startsWith(u'/');
}

} // namespace

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
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) {
        config = QDir::homePath() + u"/.config"_s;
    }
    return config + u"/zelkor/zelkor.conf"_s;
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

MailResult<MailSettings> MailSettings::parse(QByteArrayView text, const QString& fileName, bool ownerOnly)
{
    MailSettings settings = defaults();
    const QString all = decodeTextFile(text);
    QString section;
    qsizetype lineNumber = 0;
    for (QStringView line : QStringTokenizer(all, u'\n')) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) {
            continue;
        }
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']')) {
                return MailError{
                    MailFailure::Settings,
                    u"%1: line %2: a section name lacks its closing \"]\""_s.arg(fileName).arg(lineNumber)};
            }
            section = line.sliced(1, line.size() - 2).trimmed().toString().toLower();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0) {
            if (section == u"store" || section == u"transport" || section == u"tls" || section == u"network") {
                return MailError{MailFailure::Settings,
                                 u"%1: line %2: [%3] expected key=value"_s.arg(fileName).arg(lineNumber).arg(section)};
            }
            continue;
        }
        const QString key = line.first(equals).trimmed().toString().toLower();
        const std::optional<QString> parsed = unquote(line.sliced(equals + 1));
        if (!parsed) {
            return settingsError(fileName, section, key, u"the closing double quote is missing"_s);
        }
        const QString& value = *parsed;
        if (key == u"password" && (section == u"store" || section == u"transport")) {
            if (!ownerOnly) {
                return settingsError(fileName, section, key,
                                     u"refused: the file is readable by others than its owner (chmod 600 it, or use "
                                     u"the secret store)"_s);
            }
            (section == u"store" ? settings.storePassword : settings.transportPassword) = value;
        } else if (section == u"store" && key == u"url") {
            const QUrl url(value, QUrl::StrictMode);
            const QString scheme = url.scheme();
            if (!url.isValid() || !(scheme == u"imap" || scheme == u"imaps" || isMaildirUrl(url)) ||
                (scheme != u"maildir" && url.host().isEmpty())) {
                return settingsError(fileName, section, key,
                                     u"\"%1\" is not an imap://, imaps:// or maildir://localhost/PATH address"_s.arg(
                                         url.toDisplayString(QUrl::RemovePassword)));
            }
            if (!url.password().isEmpty()) {
                return settingsError(fileName, section, key, u"a password does not belong in the address"_s);
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
            const QString scheme = url.scheme();
            if (!url.isValid() || !(scheme == u"smtp" || scheme == u"smtps" || scheme == u"sendmail") ||
                url.host().isEmpty() || (scheme == u"sendmail" && url.host() != u"localhost")) {
                return settingsError(fileName, section, key,
                                     u"\"%1\" is not an smtp://, smtps:// or sendmail://localhost address"_s.arg(
                                         url.toDisplayString(QUrl::RemovePassword)));
            }
            if (!url.password().isEmpty()) {
                return settingsError(fileName, section, key, u"a password does not belong in the address"_s);
            }
            settings.transportUrl = url;
        } else if (section == u"transport" && key == u"from") {
            if (value.isEmpty()) {
                return settingsError(fileName, section, key, u"the sender is empty"_s);
            }
            settings.from = value;
        } else if (section == u"tls" && key == u"required") {
            const std::optional<bool> required = parseBool(value);
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
    return settings;
}
