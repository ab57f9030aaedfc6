// SPDX-License-Identifier: GPL-3.0-or-later
#include "whois/RegistryTable.h"

const std::array<WhoisRegistry, 7>& RegistryTable()
{
    static constexpr std::array<WhoisRegistry, 7> Table{{
        {Registry::ARIN, u"ARIN", u"ARIN DOES NOT HAVE ONE", u"ARIN Error Winsock Error number - "},
        {Registry::RIPE, u"RIPE", u"    RIPE Network Coordination Centre", u"RIPE Error Winsock Error number - "},
        {Registry::LACNIC, u"LACNIC", u"    Latin American and Caribbean IP address Regional Registry",
         u"LACNIC Error Winsock Error number - "},
        {Registry::AUNIC, u"AUNIC", u"    whois.ausregistry.net.au", u"AUNIC Error Winsock Error number - "},
        {Registry::APNIC, u"APNIC", u"    Asia Pacific Network Information Centre",
         u"APNIC Error Winsock Error number - "},
        {Registry::KRNIC, u"KRNIC", u"    Korea Network Information Center", u"KRNIC Error Winsock Error number - "},
        {Registry::NICBR, u"NIC.BR", u"    Comite Gestor da Internet no Brasil",
         u"NICBR Error Winsock Error number - "},
    }};
    return Table;
}

const WhoisRegistry* FindRegistry(RegistryId id)
{
    for (const WhoisRegistry& registry : RegistryTable()) {
        if (registry.id == id) {
            return &registry;
        }
    }
    return nullptr;
}

QString WhoisServerHost(const WhoisRegistry& registry)
{
    return WhoisHostPrefix.toString() + registry.RegistryName + WhoisHostSuffix;
}
