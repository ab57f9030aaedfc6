// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report/ReportOutput.h"

#include "common/LineEnds.h"
#include "complaint/ComplaintText.h"
#include "workbench/WorkbenchState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

QString trustWord(const std::optional<HopTrust>& trust)
{
    return trust ? hopTrustName(*trust) : QString();
}

QJsonArray relaysJson(const WorkbenchState& state)
{
    QJsonArray relays;
    for (const PlannedHop& planned : state.relays) {
        relays.append(QJsonObject{{u"address"_s, planned.hop.address},
                                  {u"trust"_s, trustWord(planned.trust)},
                                  {u"by"_s, planned.hop.by},
                                  {u"rdns"_s, planned.hop.reverseName},
                                  {u"helo"_s, planned.hop.helo}});
    }
    return relays;
}

} // namespace

QByteArray renderJson(const WorkbenchState& state, bool withComplaint, bool withRdap, bool withContactDb)
{
    QJsonArray abuse;
    for (const AbuseRow& row : state.lstAbuse) {
        abuse.append(QJsonObject{
            {u"address"_s, row.address}, {u"ticked"_s, row.ticked}, {u"source"_s, row.source}, {u"role"_s, row.role}});
    }
    QJsonObject report{
        {u"subject"_s, state.txtSubject},
        {u"parsedHeader"_s, QJsonArray::fromStringList(state.lstOut)},
        {u"ips"_s, QJsonArray::fromStringList(state.lstIPs)},
        {u"domains"_s, QJsonArray::fromStringList(state.lstDomain)},
        {u"abuse"_s, abuse},
        {u"tracking"_s, state.txtWhoIsOut},
        {u"status"_s, state.txtWhoStatus},
        {u"reverseLookup"_s, state.reverseLookup},
        {u"relays"_s, relaysJson(state)},
        {u"source"_s, state.sourceAddress},
    };
    if (withRdap) {
        QJsonArray rdap;
        for (const RdapResult& result : state.rdap) {
            rdap.append(QJsonObject{{u"address"_s, result.address},
                                    {u"server"_s, result.server},
                                    {u"abuse"_s, QJsonArray::fromStringList(result.abuse)},
                                    {u"error"_s, result.error}});
        }
        report.insert(u"rdap"_s, rdap);
    }
    if (withContactDb) {
        QJsonArray contactDb;
        for (const ContactDbResult& result : state.contactDb) {
            contactDb.append(QJsonObject{{u"address"_s, result.address},
                                         {u"zone"_s, result.zone},
                                         {u"abuse"_s, QJsonArray::fromStringList(result.abuse)},
                                         {u"error"_s, result.error}});
        }
        report.insert(u"contactDb"_s, contactDb);
    }
    // Present only when the answer cache stood for a lookup.
    if (!state.whoisCache.isEmpty()) {
        QJsonArray cached;
        for (const CachedWhoisAnswer& answer : state.whoisCache) {
            cached.append(QJsonObject{{u"registry"_s, answer.registry},
                                      {u"query"_s, answer.query},
                                      {u"received"_s, answer.receivedAt.toUTC().toString(Qt::ISODateWithMs)}});
        }
        report.insert(u"whoisCache"_s, cached);
    }
    if (withComplaint) {
        report.insert(u"complaint"_s, ComplaintText(state.lstAbuse, state.txtIn, state.txtBody));
    }
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

QByteArray renderComplaint(const WorkbenchState& state)
{
    return ComplaintText(state.lstAbuse, state.txtIn, state.txtBody).toUtf8();
}

namespace {

void appendSection(QString& out, QStringView title, const QStringList& lines)
{
    out += title + u"\n";
    for (const QString& line : lines) {
        out += u"    " + line + u"\n";
    }
    out += u"\n";
}

} // namespace

QByteArray renderText(const WorkbenchState& state, bool withRdap, bool withRoles, bool withContactDb)
{
    QStringList abuse;
    for (const AbuseRow& row : state.lstAbuse) {
        QStringList notes;
        if (withRdap || withContactDb) {
            notes.append(row.source);
        }
        if (withRoles) {
            notes.append(row.role);
        }
        const QString noted = notes.isEmpty() ? QString() : u"  ("_s + notes.join(u", "_s) + u')';
        abuse.append((row.ticked ? u"[x] "_s : u"[ ] "_s) + row.address + noted);
    }
    QString out;
    appendSection(out, u"Parsed Header", state.lstOut);
    appendSection(out, u"List of IP Addresses", state.lstIPs);
    if (!state.ipTrust.isEmpty()) {
        QStringList relays;
        for (const PlannedHop& planned : state.relays) {
            relays.append(u"%1  %2  by %3"_s.arg(planned.hop.address, trustWord(planned.trust), planned.hop.by));
        }
        appendSection(out, u"Relays (newest first)", relays);
    }
    appendSection(out, u"Domain", state.lstDomain);
    appendSection(out, u"Abuse Addresses", abuse);
    appendSection(out, u"Tracking", crLfToLf(state.txtWhoIsOut).split(u'\n'));
    appendSection(out, u"Status", {state.txtWhoStatus});
    if (withRdap) {
        QStringList rdap;
        for (const RdapResult& result : state.rdap) {
            rdap.append(result.address + u"  "_s + rdapSummary(result));
        }
        appendSection(out, u"RDAP", rdap);
    }
    if (withContactDb) {
        QStringList contactDb;
        for (const ContactDbResult& result : state.contactDb) {
            contactDb.append(result.address + u"  "_s + contactDbSummary(result));
        }
        appendSection(out, u"Contact database", contactDb);
    }
    return out.toUtf8();
}

namespace {

QString publishedSummary(const QString& server, const QStringList& abuse, const QString& error)
{
    if (!error.isEmpty()) {
        return error;
    }
    return server + u": "_s + (abuse.isEmpty() ? u"no abuse contact"_s : abuse.join(u", "_s));
}

} // namespace

QString rdapSummary(const RdapResult& result)
{
    return publishedSummary(result.server, result.abuse, result.error);
}

QString contactDbSummary(const ContactDbResult& result)
{
    return publishedSummary(result.zone, result.abuse, result.error);
}
