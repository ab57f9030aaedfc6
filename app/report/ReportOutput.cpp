// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report/ReportOutput.h"

#include "common/LineEnds.h"
#include "complaint/ComplaintText.h"
#include "workbench/WorkbenchState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

QByteArray renderJson(const WorkbenchState& state, bool withComplaint)
{
    QJsonArray abuse;
    for (const AbuseRow& row : state.lstAbuse) {
        abuse.append(QJsonObject{{u"address"_s, row.address}, {u"ticked"_s, row.ticked}});
    }
    QJsonObject report{
        {u"subject"_s, state.txtSubject},
        {u"parsedHeader"_s, QJsonArray::fromStringList(state.lstOut)},
        {u"ips"_s, QJsonArray::fromStringList(state.lstIPs)},
        {u"domains"_s, QJsonArray::fromStringList(state.lstDomain)},
        {u"abuse"_s, abuse},
        {u"tracking"_s, state.txtWhoIsOut},
        {u"status"_s, state.txtWhoStatus},
    };
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

QByteArray renderText(const WorkbenchState& state)
{
    QStringList abuse;
    for (const AbuseRow& row : state.lstAbuse) {
        abuse.append((row.ticked ? u"[x] "_s : u"[ ] "_s) + row.address);
    }
    QString out;
    appendSection(out, u"Parsed Header", state.lstOut);
    appendSection(out, u"List of IP Addresses", state.lstIPs);
    appendSection(out, u"Domain", state.lstDomain);
    appendSection(out, u"Abuse Addresses", abuse);
    appendSection(out, u"Tracking", crLfToLf(state.txtWhoIsOut).split(u'\n'));
    appendSection(out, u"Status", {state.txtWhoStatus});
    return out.toUtf8();
}
