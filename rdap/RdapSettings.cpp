// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/RdapSettings.h"

#include "common/SettingsFile.h"

#include <QFile>

using namespace Qt::StringLiterals;

AbuseContactSettings readAbuseContactSettings(const QString& path)
{
    AbuseContactSettings settings;
    QFile file(path);
    if (!file.exists()) {
        return settings;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        settings.error = u"%1: cannot be read: %2"_s.arg(path, file.errorString());
        return settings;
    }
    const SettingsText text = readSettingsText(file.readAll(), path);
    if (!text.error.isEmpty()) {
        settings.error = text.error;
        return settings;
    }
    for (const SettingsEntry& entry : text.entries) {
        if (entry.section != u"abuse-contacts" || entry.key != u"rdap") {
            continue;
        }
        const std::optional<bool> rdap = parseSettingsBool(entry.value);
        if (!rdap) {
            settings.error = u"%1: [abuse-contacts] rdap: \"%2\" is neither true nor false"_s.arg(path, entry.value);
            return AbuseContactSettings{false, settings.error};
        }
        settings.rdap = *rdap;
    }
    return settings;
}
