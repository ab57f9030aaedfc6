// SPDX-License-Identifier: GPL-3.0-or-later
#include "trust/RelayPlan.h"

namespace {

void addRow(RelayPlan& plan, const QString& address, HopTrust trust)
{
    const qsizetype row = plan.addresses.indexOf(address);
    if (row < 0) {
        plan.addresses.append(address);
        plan.addressTrust.append(trust);
    } else if (trust == HopTrust::Source) {
        plan.addressTrust[row] = trust;
    }
}

} // namespace

RelayPlan PlanRelays(QStringView header, const TrustOptions& options, const RegisteredDomainOf& registeredDomain)
{
    RelayPlan plan;
    const QList<ReceivedHop> hops = ParseReceivedChain(header);
    if (!options.enabled) {
        for (const ReceivedHop& hop : hops) {
            plan.hops.append({hop, std::nullopt});
        }
        return plan;
    }
    const QList<HopTrust> classes = ClassifyHops(hops, options.mailHosts, registeredDomain);
    for (qsizetype i = 0; i < hops.size(); ++i) {
        plan.hops.append({hops[i], classes[i]});
        addRow(plan, hops[i].address, classes[i]);
    }
    for (qsizetype row = 0; row < plan.addresses.size(); ++row) {
        const HopTrust trust = plan.addressTrust[row];
        if (trust == HopTrust::Source) {
            plan.sourceRow = row;
            plan.tracedRows.prepend(row);
        } else if (trust == HopTrust::Beyond && options.traceBeyond) {
            plan.tracedRows.append(row);
        }
    }
    return plan;
}
