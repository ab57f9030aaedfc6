// SPDX-License-Identifier: GPL-3.0-or-later
#include "trust/PublicSuffix.h"

#include <libpsl.h>

namespace {

// The newer of the list compiled into libpsl and the system's copy; loaded
// once, read-only afterwards, and never freed (it lives as long as the program).
const psl_ctx_t* suffixList()
{
    static const psl_ctx_t* const list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest != nullptr ? latest : psl_builtin();
    }();
    return list;
}

} // namespace

QString registeredDomain(QStringView hostName)
{
    QString name = hostName.toString().toLower();
    while (name.endsWith(u'.')) {
        name.chop(1);
    }
    if (name.isEmpty() || suffixList() == nullptr) {
        return {};
    }
    const QByteArray utf8 = name.toUtf8();
    const char* domain = psl_registrable_domain(suffixList(), utf8.constData());
    return domain != nullptr ? QString::fromUtf8(domain) : QString();
}
