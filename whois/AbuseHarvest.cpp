// SPDX-License-Identifier: GPL-3.0-or-later
#include "whois/AbuseHarvest.h"

#include "common/CaseMapping.h"

#include <QSet>

#include <algorithm>
#include <array>

namespace {

// Registries whose own addresses are never complained to; ARIN's and NIC.BR's
// names are not among them.
constexpr std::array<QStringView, 5> RegistryNames{u"RIPE", u"LACNIC", u"AUNIC", u"APNIC", u"KRNIC"};

// `candidate` is upper-cased and ASCII (address characters only), so an exact
// search finds the names in any letter case.
bool namesRegistry(QStringView candidate)
{
    for (const QStringView name : RegistryNames) {
        if (candidate.contains(name, Qt::CaseSensitive)) {
            return true;
        }
    }
    return false;
}

QStringView leadingAddressRun(QStringView word)
{
    qsizetype length = 0;
    while (length < word.size() && IsAddressChar(word[length])) {
        ++length;
    }
    return word.first(length);
}

} // namespace

bool IsAddressChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u'-' || u == u'_' ||
           u == u'.' || u == u'@';
}

bool IsValidAddress(QStringView text)
{
    return text.contains(u'@') && text.contains(u'.');
}

QStringView EndedLines(QStringView answer)
{
    const qsizetype lastBreak = std::max(answer.lastIndexOf(u'\n'), answer.lastIndexOf(u'\r'));
    return answer.first(lastBreak + 1);
}

QStringList HarvestAddresses(const QString& answer, const QStringList& listed, const AddressFilter& dontSend)
{
    QStringList found;
    QSet<QString> seen(listed.cbegin(), listed.cend());
    for (const QStringView word : EndedLines(answer).split(u' ', Qt::SkipEmptyParts)) {
        // The run is part of the word, so a word without "@" or "." is passed
        // over before the run is looked for.
        if (!IsValidAddress(word)) {
            continue;
        }
        const QStringView run = leadingAddressRun(word);
        if (!IsValidAddress(run)) {
            continue;
        }
        const QString candidate = toUpperOneForOne(run);
        if (namesRegistry(candidate) || seen.contains(candidate) || (dontSend && dontSend(candidate))) {
            continue;
        }
        seen.insert(candidate);
        found.append(candidate);
    }
    return found;
}
