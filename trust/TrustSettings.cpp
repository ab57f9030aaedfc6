// SPDX-License-Identifier: GPL-3.0-or-later
#include "trust/TrustSettings.h"

#include "common/SettingsFile.h"

using namespace Qt::StringLiterals;

namespace {

TrustSettings failed(const QString& error)
{
    TrustSettings defaults;
    defaults.error = error;
    return defaults;
}

} // namespace

TrustSettings readTrustSettings(const QString& path)
{
    const SettingsText text = readSettingsFile(path);
    if (!text.error.isEmpty()) {
        return failed(text.error);
    }
    TrustSettings settings;
    for (const SettingsEntry& entry : text.entries) {
        if (entry.section != u"trust") {
            continue;
        }
        const QString where = u"%1: line %2: [trust] %3"_s.arg(path).arg(entry.line).arg(entry.key);
        if (entry.key == u"enabled" || entry.key == u"trace_beyond") {
            const std::optional<bool> value = parseSettingsBool(entry.value);
            if (!value) {
                return failed(u"%1: \"%2\" is neither true nor false"_s.arg(where, entry.value));
            }
            (entry.key == u"enabled" ? settings.options.enabled : settings.options.traceBeyond) = *value;
        } else if (entry.key == u"mailhosts") {
            QString error;
            const std::optional<MailHosts> hosts = parseMailHosts(entry.value, &error);
            if (!hosts) {
                return failed(u"%1: %2"_s.arg(where, error));
            }
            settings.options.mailHosts = *hosts;
        }
    }
    return settings;
}
