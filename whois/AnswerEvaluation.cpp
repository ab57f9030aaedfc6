// SPDX-License-Identifier: GPL-3.0-or-later
#include "whois/AnswerEvaluation.h"

QString FindNetworkBlock(const QString& strIn)
{
    const qsizetype open = strIn.indexOf(u'(');
    const qsizetype close = strIn.indexOf(u')');
    // A ")" before the first "(" encloses nothing: such an answer names no handle.
    if (open < 0 || close < open) {
        return {};
    }
    const qsizetype length = close - open - 1;
    if (length < MinimumHandleLength) {
        return {};
    }
    return strIn.mid(open + 1, length);
}

namespace {

const WhoisRegistry* findReferral(const QString& strIn)
{
    for (const WhoisRegistry& registry : RegistryTable()) {
        if (registry.id == Registry::ARIN) {
            continue;
        }
        // Only a marker that starts within the window counts, so the search never
        // needs to look further than that.
        const QStringView searched = QStringView(strIn).left(ReferralWindow - 1 + registry.ReferralMarker.size());
        if (searched.indexOf(registry.ReferralMarker, 0, Qt::CaseInsensitive) >= 0) {
            return &registry;
        }
    }
    return nullptr;
}

} // namespace

AnswerVerdict ClassifyAnswer(const QString& strIn)
{
    if (QString handle = FindNetworkBlock(strIn); !handle.isEmpty()) {
        return {AnswerVerdict::Kind::NetworkBlock, handle, nullptr};
    }
    if (const WhoisRegistry* registry = findReferral(strIn)) {
        return {AnswerVerdict::Kind::Referral, {}, registry};
    }
    return {};
}

bool IsQueryLimitRefusal(QStringView strIn)
{
    static constexpr QStringView Refusal = u"%ERROR:201";
    for (qsizetype at = strIn.indexOf(Refusal); at >= 0; at = strIn.indexOf(Refusal, at + 1)) {
        if (at == 0 || strIn[at - 1] == u'\n' || strIn[at - 1] == u'\r') {
            return true;
        }
    }
    return false;
}
