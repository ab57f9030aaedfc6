// SPDX-License-Identifier: GPL-3.0-or-later
// The hops of a header's Received fields and their classes: every address taken
// must be one that QHostAddress reads as well, so the parser's own check never
// lets text through that only looks like an address; every hop gets one class,
// and at most one is the source. The mail hosts learnt from the chains (the
// input split at form feeds into messages, or one message and the chains that
// its older hops alone would make) are a list the settings reader takes, hold
// no private address, and each entry recurred as often as the rule demands.
#include "common/TextCodec.h"
#include "header/ReceivedChain.h"
#include "trust/MailHostLearning.h"
#include "trust/PublicSuffix.h"
#include "trust/RelayTrust.h"

#include <QHostAddress>

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString header = decodeTextFile(QByteArrayView(data, static_cast<qsizetype>(size)));
    const QList<ReceivedHop> hops = ParseReceivedChain(header);
    for (const ReceivedHop& hop : hops) {
        if (QHostAddress(hop.address).isNull()) {
            __builtin_trap();
        }
    }
    const QList<HopTrust> classes = ClassifyHops(hops, {}, registeredDomain);
    if (classes.size() != hops.size() || classes.count(HopTrust::Source) > 1) {
        __builtin_trap();
    }

    QList<QList<ReceivedHop>> chains;
    const QStringList messages = header.split(u'\f');
    for (const QString& message : messages.first(std::min<qsizetype>(messages.size(), 20))) {
        chains.append(ParseReceivedChain(message));
    }
    if (chains.size() == 1) {
        for (qsizetype older = 1; older < std::min<qsizetype>(hops.size(), 8); ++older) {
            chains.append(hops.sliced(older));
        }
    }
    const MailHostProposal proposal = proposeMailHosts(chains, registeredDomain);
    const std::optional<MailHosts> learnt = parseMailHosts(proposal.mailHostsValue());
    if (!learnt || (proposal.messages < 2 && !proposal.entries.isEmpty())) {
        __builtin_trap();
    }
    for (const MailHostEvidence& evidence : proposal.entries) {
        if (evidence.messages < proposal.minimum ||
            (!evidence.suffix && isPrivateAddress(QHostAddress(evidence.entry)))) {
            __builtin_trap();
        }
    }
    if (!renderMailHostProposal(proposal).startsWith(u"mailhosts="_s + proposal.mailHostsValue() + u'\n') &&
        !proposal.entries.isEmpty()) {
        __builtin_trap();
    }
    return 0;
}
