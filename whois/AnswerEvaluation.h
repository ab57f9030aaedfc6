// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "whois/RegistryTable.h"

#include <QString>

/// A referral marker counts only when it starts within this many characters.
inline constexpr qsizetype ReferralWindow = 319;

/// A parenthesised text counts as a network handle from this length on.
inline constexpr qsizetype MinimumHandleLength = 9;

/// The text between the first "(" and the first ")" of an answer when it has at
/// least nine characters; empty text otherwise, and also when the first ")"
/// stands before the first "(".
QString FindNetworkBlock(const QString& strIn);

/// What a whois answer asks the trace to do next.
struct AnswerVerdict
{
    enum class Kind
    {
        NetworkBlock,
        Referral,
        Final
    };

    Kind kind = Kind::Final;
    /// NetworkBlock: the handle to look up at ARIN.
    QString handle;
    /// Referral: the registry to ask the same query.
    const WhoisRegistry* registry = nullptr;
};

/// Classifies an answer: a network handle first; then, for RIPE to NIC.BR in id
/// order, a referral marker (any letter case) starting within the first 319
/// characters; otherwise the answer is final.
AnswerVerdict ClassifyAnswer(const QString& strIn);

/// Whether the answer is a registry's refusal to answer a client that asked too
/// often: a line that begins with "%ERROR:201" ("%ERROR:201: access denied" of
/// RIPE, APNIC and AFRINIC, whose servers limit queries per client and day).
bool IsQueryLimitRefusal(QStringView strIn);
