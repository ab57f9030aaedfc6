// SPDX-License-Identifier: GPL-3.0-or-later
#include "whois/AbuseRoles.h"

#include "common/CaseMapping.h"
#include "whois/AbuseHarvest.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <optional>

namespace {

/// A registry: the domains of its own mail and the names it goes by in the
/// OrgName, org-name and netname of the networks it holds itself.
struct Registry
{
    std::array<QStringView, 3> domains;
    /// Names that stand as the first word of a name ("ARIN Operations",
    /// "RIPE-ERX-…"); upper case.
    std::array<QStringView, 3> shortNames;
    /// Full names found anywhere in a name; upper case.
    std::array<QStringView, 2> fullNames;
};

constexpr std::array<Registry, 12> Registries{{
    {{u"arin.net"}, {u"ARIN"}, {u"AMERICAN REGISTRY FOR INTERNET NUMBERS"}},
    {{u"ripe.net"}, {u"RIPE"}, {u"RIPE NETWORK COORDINATION CENTRE"}},
    {{u"apnic.net"}, {u"APNIC"}, {u"ASIA PACIFIC NETWORK INFORMATION CENTRE"}},
    {{u"lacnic.net"},
     {u"LACNIC"},
     {u"LATIN AMERICAN AND CARIBBEAN IP ADDRESS REGIONAL REGISTRY",
      u"LATIN AMERICAN AND CARIBBEAN INTERNET ADDRESSES"}},
    {{u"afrinic.net"}, {u"AFRINIC"}, {u"AFRICAN NETWORK INFORMATION CENT"}},
    {{u"nic.ad.jp"}, {u"JPNIC"}, {u"JAPAN NETWORK INFORMATION CENTER"}},
    {{u"nic.or.kr"}, {u"KRNIC", u"KISA"}, {u"KOREA INTERNET & SECURITY AGENCY", u"KOREA INTERNET AND SECURITY AGENCY"}},
    {{u"twnic.net.tw", u"twnic.tw"}, {u"TWNIC"}, {u"TAIWAN NETWORK INFORMATION CENTER"}},
    {{u"cnnic.cn", u"cnnic.net.cn"}, {u"CNNIC"}, {u"CHINA INTERNET NETWORK INFORMATION CENTER"}},
    {{u"vnnic.vn", u"vnnic.net.vn"}, {u"VNNIC"}, {u"VIETNAM INTERNET NETWORK INFORMATION CENTER"}},
    {{u"idnic.net"}, {u"IDNIC"}, {u"INDONESIA NETWORK INFORMATION CENTER"}},
    {{u"nic.br", u"registro.br", u"cert.br"}, {u"NIC.BR", u"NICBR", u"REGISTRO.BR"}, {}},
}};

using RegistryIndex = qsizetype;

/// The registry whose domain, or a subdomain of it, the address is at.
std::optional<RegistryIndex> registryOfAddress(QStringView address)
{
    QStringView domain = address.sliced(address.lastIndexOf(u'@') + 1);
    // The harvest keeps a full stop that ends a sentence.
    while (domain.endsWith(u'.')) {
        domain.chop(1);
    }
    for (RegistryIndex index = 0; index < RegistryIndex(Registries.size()); ++index) {
        for (const QStringView own : Registries[index].domains) {
            if (own.isEmpty() || !domain.endsWith(own, Qt::CaseInsensitive)) {
                continue;
            }
            if (domain.size() == own.size() || domain[domain.size() - own.size() - 1] == u'.') {
                return index;
            }
        }
    }
    return std::nullopt;
}

/// The registries that an OrgName, org-name or netname value names.
QList<RegistryIndex> registriesNamedBy(QStringView value)
{
    const QString upper = toUpperOneForOne(value.trimmed());
    qsizetype wordEnd = 0;
    while (wordEnd < upper.size() && upper[wordEnd] != u' ' && upper[wordEnd] != u'-' && upper[wordEnd] != u'_' &&
           upper[wordEnd] != u',' && upper[wordEnd] != u'\t') {
        ++wordEnd;
    }
    const QStringView firstWord = QStringView(upper).first(wordEnd);
    QList<RegistryIndex> named;
    for (RegistryIndex index = 0; index < RegistryIndex(Registries.size()); ++index) {
        bool names = false;
        for (const QStringView name : Registries[index].shortNames) {
            names = names || (!name.isEmpty() && firstWord == name);
        }
        for (const QStringView name : Registries[index].fullNames) {
            names = names || (!name.isEmpty() && upper.contains(name));
        }
        if (names) {
            named.append(index);
        }
    }
    return named;
}

/// The addresses of a text as the harvest reads them: words split at single
/// blanks, the leading run of address characters, an "@" and a "." in it.
QStringList addressesIn(QStringView text)
{
    QStringList found;
    for (const QStringView word : text.split(u' ', Qt::SkipEmptyParts)) {
        qsizetype length = 0;
        while (length < word.size() && IsAddressChar(word[length])) {
            ++length;
        }
        const QStringView run = word.first(length);
        if (IsValidAddress(run)) {
            found.append(toUpperOneForOne(run));
        }
    }
    return found;
}

/// The address quoted last in RIPE's "% Abuse contact for '…' is '…'", or
/// empty text.
QString quotedAbuseContact(QStringView line)
{
    static constexpr QStringView Opening = u"% Abuse contact for '";
    static constexpr QStringView Middle = u"' is '";
    if (!line.startsWith(Opening, Qt::CaseInsensitive)) {
        return {};
    }
    const qsizetype middle = line.indexOf(Middle, Opening.size(), Qt::CaseInsensitive);
    if (middle < 0) {
        return {};
    }
    const QStringView quoted = line.sliced(middle + Middle.size());
    qsizetype length = 0;
    while (length < quoted.size() && IsAddressChar(quoted[length])) {
        ++length;
    }
    // The address must fill the quotes, so that a comment cut off mid-address
    // designates nothing.
    if (length >= quoted.size() || quoted[length] != u'\'' || !IsValidAddress(quoted.first(length))) {
        return {};
    }
    return toUpperOneForOne(quoted.first(length));
}

/// One line split at its first colon: "key: value". The key is trimmed; a line
/// without a colon, or one whose would-be key holds an "@", has no key.
struct Attribute
{
    QStringView key;
    QStringView value;
};

Attribute attributeOf(QStringView line)
{
    const qsizetype colon = line.indexOf(u':');
    if (colon < 0 || line.first(colon).contains(u'@')) {
        return {{}, line};
    }
    return {line.first(colon).trimmed(), line.sliced(colon + 1)};
}

bool isKey(QStringView key, QStringView name)
{
    return key.compare(name, Qt::CaseInsensitive) == 0;
}

/// Ranks the roles by strength, Registry apart: a larger rank wins.
int strength(AbuseRole role)
{
    switch (role) {
    case AbuseRole::Abuse:
        return 2;
    case AbuseRole::Remark:
        return 1;
    case AbuseRole::Registry:
    case AbuseRole::Other:
        break;
    }
    return 0;
}

/// What the lines of an answer say about its addresses.
class RoleCollector
{
public:
    void note(const QString& address, AbuseRole role)
    {
        auto found = m_index.constFind(address);
        if (found == m_index.cend()) {
            found = m_index.insert(address, m_roles.size());
            m_roles.append({address, role});
            return;
        }
        AddressRole& entry = m_roles[*found];
        if (strength(role) > strength(entry.role)) {
            entry.role = role;
        }
    }

    void read(QStringView answer);

    /// Every address with its role, the registry rule applied last.
    QList<AddressRole> finish();

    QStringList quoted() const { return m_quoted; }

private:
    void endBlock();

    QList<AddressRole> m_roles;
    QHash<QString, qsizetype> m_index;
    QSet<RegistryIndex> m_holders;
    QStringList m_quoted;
    QSet<QString> m_quotedSeen;
    // Handles that an abuse-c names, the e-mail addresses of every object that
    // defines a handle, and the objects of each handle; matched at the end, for
    // the abuse-c may come before or after. An object is kept once however many
    // handles it has, so the work stays in proportion to the answer.
    QSet<QString> m_abuseHandles;
    QList<QStringList> m_mailOfObject;
    QHash<QString, QList<qsizetype>> m_objectsOfHandle;
    // The object being read: its handles and its e-mail addresses.
    QStringList m_blockHandles;
    QStringList m_blockMail;
};

void RoleCollector::endBlock()
{
    if (!m_blockHandles.isEmpty() && !m_blockMail.isEmpty()) {
        m_mailOfObject.append(m_blockMail);
        for (const QString& handle : std::as_const(m_blockHandles)) {
            m_objectsOfHandle[handle].append(m_mailOfObject.size() - 1);
        }
    }
    m_blockHandles.clear();
    m_blockMail.clear();
}

void RoleCollector::read(QStringView answer)
{
    bool inNetworkAbuseSection = false;
    qsizetype start = 0;
    while (start < answer.size()) {
        qsizetype end = start;
        while (end < answer.size() && answer[end] != u'\n' && answer[end] != u'\r') {
            ++end;
        }
        const QStringView line = answer.sliced(start, end - start);
        // CR LF is one break; CR or LF alone is one too.
        start = end + ((end + 1 < answer.size() && answer[end] == u'\r' && answer[end + 1] == u'\n') ? 2 : 1);

        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty()) {
            endBlock();
            continue;
        }
        // KRNIC writes its contacts as "[ … ]" headed sections of "Name : value"
        // lines, in Korean and again in English.
        if (trimmed.startsWith(u'[')) {
            inNetworkAbuseSection =
                trimmed.contains(u"Network Abuse", Qt::CaseInsensitive) || trimmed.contains(u"네트워크 어뷰즈");
        } else if (trimmed.startsWith(u'#') || trimmed.startsWith(u'%')) {
            inNetworkAbuseSection = false;
        }

        const QString quoted = quotedAbuseContact(trimmed);
        if (!quoted.isEmpty()) {
            note(quoted, AbuseRole::Abuse);
            if (!m_quotedSeen.contains(quoted)) {
                m_quotedSeen.insert(quoted);
                m_quoted.append(quoted);
            }
        }

        const Attribute attribute = attributeOf(trimmed);
        const QStringList addresses = addressesIn(trimmed);
        AbuseRole role = AbuseRole::Other;
        if (isKey(attribute.key, u"OrgAbuseEmail") || isKey(attribute.key, u"RAbuseEmail") ||
            isKey(attribute.key, u"abuse-mailbox") ||
            (inNetworkAbuseSection && (isKey(attribute.key, u"E-Mail") || isKey(attribute.key, u"전자우편")))) {
            role = AbuseRole::Abuse;
        } else if ((isKey(attribute.key, u"remarks") || isKey(attribute.key, u"Comment")) &&
                   (attribute.value.contains(u"abuse", Qt::CaseInsensitive) ||
                    attribute.value.contains(u"spam", Qt::CaseInsensitive))) {
            role = AbuseRole::Remark;
        }
        for (const QString& address : addresses) {
            note(address, role);
        }

        if (isKey(attribute.key, u"nic-hdl") || isKey(attribute.key, u"nic-hdl-br")) {
            m_blockHandles.append(toUpperOneForOne(attribute.value.trimmed()));
        } else if (isKey(attribute.key, u"abuse-c")) {
            m_abuseHandles.insert(toUpperOneForOne(attribute.value.trimmed()));
        } else if (isKey(attribute.key, u"e-mail")) {
            m_blockMail.append(addressesIn(attribute.value));
        } else if (isKey(attribute.key, u"OrgName") || isKey(attribute.key, u"org-name") ||
                   isKey(attribute.key, u"netname")) {
            for (const RegistryIndex index : registriesNamedBy(attribute.value)) {
                m_holders.insert(index);
            }
        }
    }
    endBlock();
}

QList<AddressRole> RoleCollector::finish()
{
    QSet<qsizetype> abuseObjects;
    for (const QString& handle : std::as_const(m_abuseHandles)) {
        for (const qsizetype object : m_objectsOfHandle.value(handle)) {
            abuseObjects.insert(object);
        }
    }
    for (const qsizetype object : std::as_const(abuseObjects)) {
        for (const QString& address : std::as_const(m_mailOfObject[object])) {
            note(address, AbuseRole::Abuse);
        }
    }
    for (AddressRole& entry : m_roles) {
        const std::optional<RegistryIndex> registry = registryOfAddress(entry.address);
        // A registry's address is never complained to, except its own abuse desk
        // in an answer for a network it holds itself.
        if (registry && !(entry.role == AbuseRole::Abuse && m_holders.contains(*registry))) {
            entry.role = AbuseRole::Registry;
        }
    }
    return m_roles;
}

} // namespace

QList<AddressRole> ClassifyAbuseRoles(QStringView answer)
{
    RoleCollector collector;
    collector.read(EndedLines(answer));
    return collector.finish();
}

QStringList DesignatedBeyondHarvest(QStringView answer)
{
    RoleCollector collector;
    collector.read(EndedLines(answer));
    const QStringList quoted = collector.quoted();
    const QList<AddressRole> roles = collector.finish();
    if (quoted.isEmpty()) {
        return {};
    }
    const QStringList harvestedList = HarvestAddresses(EndedLines(answer).toString(), {}, {});
    const QSet<QString> harvested(harvestedList.cbegin(), harvestedList.cend());
    QSet<QString> designated;
    for (const AddressRole& entry : roles) {
        if (entry.role == AbuseRole::Abuse) {
            designated.insert(entry.address);
        }
    }
    QStringList beyond;
    for (const QString& address : quoted) {
        // The harvest's own rules (the registry names) still apply: an address
        // it would drop even when written plainly is not added either.
        if (designated.contains(address) && !harvested.contains(address) &&
            !HarvestAddresses(address + u'\n', {}, {}).isEmpty()) {
            beyond.append(address);
        }
    }
    return beyond;
}

AbuseRole publishedContactRole(QStringView address)
{
    return registryOfAddress(address) ? AbuseRole::Registry : AbuseRole::Abuse;
}

QString abuseRoleName(AbuseRole role)
{
    switch (role) {
    case AbuseRole::Abuse:
        return QStringLiteral("abuse");
    case AbuseRole::Remark:
        return QStringLiteral("remark");
    case AbuseRole::Registry:
        return QStringLiteral("registry");
    case AbuseRole::Other:
        break;
    }
    return QStringLiteral("other");
}

QList<bool> DesignatedTicks(const QList<AbuseRole>& rolesOfOneRelay, const QList<bool>& ticksAsMade)
{
    const bool anyAbuse = rolesOfOneRelay.contains(AbuseRole::Abuse);
    const bool anyRemark = rolesOfOneRelay.contains(AbuseRole::Remark);
    QList<bool> ticks = ticksAsMade;
    for (qsizetype row = 0; row < std::min(ticks.size(), rolesOfOneRelay.size()); ++row) {
        switch (rolesOfOneRelay[row]) {
        case AbuseRole::Registry:
            ticks[row] = true;
            break;
        case AbuseRole::Abuse:
            break;
        case AbuseRole::Remark:
            ticks[row] = ticks[row] || anyAbuse;
            break;
        case AbuseRole::Other:
            ticks[row] = ticks[row] || anyAbuse || anyRemark;
            break;
        }
    }
    return ticks;
}
