// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/RdapSettings.h"

#include "common/SettingsFile.h"
#include "contactdb/ContactZone.h"

using namespace Qt::StringLiterals;

AbuseContactSettings readAbuseContactSettings(const QString& path)
{
    AbuseContactSettings settings;
    const SettingsText text = readSettingsFile(path);
    if (!text.error.isEmpty()) {
        settings.error = text.error;
        return settings;
    }
    for (const SettingsEntry& entry : text.entries) {
        if (entry.section != u"abuse-contacts") {
            continue;
        }
        if (entry.key == u"dns_zone") {
            if (!entry.value.isEmpty() && !isContactZoneName(entry.value)) {
                AbuseContactSettings defaults;
                defaults.error =
                    u"%1: [abuse-contacts] dns_zone: \"%2\" is not a DNS zone name"_s.arg(path, entry.value);
                return defaults;
            }
            settings.contactZone = entry.value;
            continue;
        }
        if (entry.key != u"rdap" && entry.key != u"designated") {
            continue;
        }
        const std::optional<bool> value = parseSettingsBool(entry.value);
        if (!value) {
            AbuseContactSettings defaults;
            defaults.error =
                u"%1: [abuse-contacts] %2: \"%3\" is neither true nor false"_s.arg(path, entry.key, entry.value);
            return defaults;
        }
        (entry.key == u"rdap" ? settings.rdap : settings.designated) = *value;
    }
    return settings;
}
