// SPDX-License-Identifier: GPL-3.0-or-later
#include "workbench/Workbench.h"

#include "common/Blanks.h"
#include "complaint/DoNotSendList.h"
#include "header/HeaderField.h"
#include "header/HeaderParser.h"
#include "header/RelayAddress.h"
#include "mailbox/MessageText.h"
#include "resolve/ReverseLookup.h"
#include "whois/AbuseHarvest.h"
#include "whois/AnswerEvaluation.h"
#include "workbench/WorkbenchHost.h"

#include <exception>

using namespace Qt::StringLiterals;

namespace {

const QString NoRelayAddress = u"No relay address found in the header"_s;

// The status line stays silent about the reverse lookup; this text goes where
// people look for it instead (the report's progress and JSON, a tool tip).
QString describeReverseLookup(const QString& address, const ReverseLookupResult& lookup)
{
    if (lookup.errorCode == ResolverError::None) {
        return address + u": "_s + lookup.hostName;
    }
    QString reason;
    switch (lookup.errorCode) {
    case ResolverError::HostNotFound:
        reason = u"no such name"_s;
        break;
    case ResolverError::TryAgain:
        reason = u"the DNS server failed or did not answer in time"_s;
        break;
    case ResolverError::NoData:
        reason = u"no name is recorded for the address"_s;
        break;
    default:
        reason = u"the lookup failed or timed out"_s;
        break;
    }
    return u"%1: %2 (%3)"_s.arg(address, reason).arg(lookup.errorCode);
}

QString descriptionOf(const std::exception& error)
{
    return QString::fromLocal8Bit(error.what());
}

QString lookupKey(RegistryId registry, const QString& query)
{
    return QString::number(registry) + u'\n' + trimBlanks(query);
}

} // namespace

Workbench::Workbench(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_resolver(dependencies.resolver)
    , m_host(dependencies.host)
    , m_programDirectory(std::move(dependencies.programDirectory))
    , m_whois(std::move(dependencies.whois))
    , m_rdapOptions(std::move(dependencies.rdap))
{
    connect(&m_whois, &WhoisLookup::statusChanged, this, &Workbench::setStatus);
    connect(&m_whois, &WhoisLookup::trackingChanged, this, &Workbench::setTracking);
    connect(&m_whois, &WhoisLookup::busyChanged, this, [this](bool busy) { setBusyReason(LookingUpWhois, busy); });
    connect(&m_mail, &MailSession::busyChanged, this, [this](bool busy) {
        setBusyReason(UsingMail, busy);
        assign(m_state.mailBusy, busy, Field::MailBusy);
    });
    connect(&m_whois, &WhoisLookup::answerComplete, this, &Workbench::EvaluateAnswer);
}

Workbench::~Workbench() = default;

void Workbench::Load()
{
    m_state.blnUseOutlook = false;
    const int failure = m_resolver.startup();
    if (failure != 0) {
        m_host.showStartupFailure(StartupFailureMessage(failure));
    }
}

void Workbench::Unload()
{
    m_resolver.cleanup();
}

void Workbench::Start()
{
    try {
        runStart();
    } catch (const std::exception& error) {
        setStatus(SomethingBadHappened + descriptionOf(error));
    }
}

void Workbench::StartByHand()
{
    m_state.blnUseOutlook = false;
    Start();
}

void Workbench::runStart()
{
    assign(m_state.lstDomain, {}, Field::Domains);
    setTracking(QString());
    clearAbuse();
    m_state.blnReceivedMarked = false;
    m_refusal.reset();
    assign(m_state.reverseLookup, {}, Field::ReverseLookup);
    // A trace of the earlier run that waits for an RDAP answer ends here.
    m_waitingForRdap.reset();
    stopRdapLookups();

    if (!parseIntoLists()) {
        return;
    }
    startRdapLookups();

    m_state.intIPIndex = 0;
    const QString address = m_state.lstIPs.first();
    proposeAbuseAddress(address);
    m_state.strCurrentIP = address;
    m_askedForRelay.clear();
    if (m_traceEnabled) {
        queryRegistry(Registry::ARIN);
    }
}

// Parses txtIn into the parsed rows and the relay addresses. A header whose
// first parse gives no relay address is parsed a second time, without the "X"
// mark; when that gives none either, there is nothing to trace.
bool Workbench::parseIntoLists()
{
    for (int parse = 1; parse <= 2; ++parse) {
        assign(m_state.lstIPs, {}, Field::IPs);
        if (m_state.txtIn.isEmpty()) {
            return false;
        }
        const ParsedHeader parsed = ParseHeader(m_state.txtIn, m_state.blnReceivedMarked);
        assign(m_state.lstOut, parsed.rows, Field::ParsedHeader);
        if (parsed.outcome == ParsedHeader::Outcome::TooLong) {
            setStatus(SomethingBadHappened + parsed.failure);
            return false;
        }
        assign(m_state.lstIPs, parsed.addresses, Field::IPs);
        m_state.intIPCount = static_cast<qint16>(m_state.lstIPs.size());
        if (m_state.intIPCount != 0) {
            return true;
        }
        m_state.blnReceivedMarked = true;
    }
    setStatus(NoRelayAddress);
    return false;
}

// Only the first relay address is reverse-resolved; its domain gives the one
// abuse address that the run proposes before the whois answers come in.
void Workbench::proposeAbuseAddress(const QString& address)
{
    setBusyReason(ResolvingName, true);
    const ReverseLookupResult lookup = ResolveHostName(m_resolver, address, [this] { m_host.processPendingEvents(); });
    setBusyReason(ResolvingName, false);
    assign(m_state.reverseLookup, describeReverseLookup(address, lookup), Field::ReverseLookup);
    if (lookup.errorCode != ResolverError::None) {
        DescribeResolverError(lookup.errorCode);
    }
    if (lookup.hostName.isEmpty()) {
        return;
    }
    const QString domain = GetDomainFromHost(lookup.hostName);
    appendDomain(domain);
    const QString candidate = u"ABUSE@"_s + domain;
    if (!DontSend(candidate)) {
        appendAbuse(candidate, u"dns"_s);
    }
}

void Workbench::DescribeResolverError(int code)
{
    if (code == ResolverError::NoData) {
        appendDomain(u"N/A"_s);
    }
}

bool Workbench::DontSend(const QString& address) const
{
    return ::DontSend(address, m_programDirectory);
}

void Workbench::ClearResult()
{
    setHeaderText(QString());
    setBodyText(QString());
    setSubjectText(QString());
    assign(m_state.lstOut, {}, Field::ParsedHeader);
    assign(m_state.lstIPs, {}, Field::IPs);
    assign(m_state.lstDomain, {}, Field::Domains);
    setTracking(QString());
    clearAbuse();
    stopRdapLookups();
    assign(m_state.reverseLookup, {}, Field::ReverseLookup);
    setStatus(u"Cleared"_s);
}

void Workbench::AutomateClicked(bool ticked)
{
    setAutomate(ticked);
    setStatus(ticked ? u"Warning: This will process ALL email items in the current folder.  Do not use your Inbox!"_s
                     : u"Zelkor set to process each item manually."_s);
}

void Workbench::LoadMessage(const MessageText& message)
{
    setHeaderText(message.header);
    setBodyText(message.body);
    setSubjectText(UnfoldedFieldValue(message.header, u"Subject"));
}

void Workbench::queryRegistry(RegistryId registry)
{
    m_tracing = true;
    m_currentRegistry = registry;
    m_askedForRelay.insert(lookupKey(registry, m_state.strCurrentIP));
    m_whois.QueryRegistry(registry, m_state.strCurrentIP);
}

void Workbench::EvaluateAnswer(const QString& strIn)
{
    if (!m_refusal && IsQueryLimitRefusal(strIn)) {
        const WhoisRegistry* registry = FindRegistry(m_currentRegistry);
        const QString name = registry ? WhoisServerHost(*registry) : QString::number(m_currentRegistry);
        m_refusal = u"%1 refused a query (%ERROR:201, access denied). The registry limits whois queries per client "
                    u"and day; run the batch again tomorrow."_s.arg(name);
    }
    try {
        if (!followAnswer(strIn)) {
            finishRelayAddress(strIn);
        }
    } catch (const std::exception& error) {
        setStatus(SomethingBadHappened + descriptionOf(error));
        endTrace();
        if (inBatch()) {
            endBatch(BatchEnd::Stopped, m_state.txtWhoStatus);
        }
    }
}

// Follows a network handle to ARIN or a referral to another registry. A step
// that would repeat a lookup already made for this relay address is not taken:
// the answer then counts as final, so that no answer can keep the trace asking
// the same registry the same thing once a second forever.
bool Workbench::followAnswer(const QString& strIn)
{
    const AnswerVerdict verdict = ClassifyAnswer(strIn);
    switch (verdict.kind) {
    case AnswerVerdict::Kind::NetworkBlock:
        if (m_askedForRelay.contains(lookupKey(Registry::ARIN, verdict.handle))) {
            return false;
        }
        m_state.strCurrentIP = verdict.handle;
        setStatus(u"Received Network Block answer"_s);
        queryRegistry(Registry::ARIN);
        return true;
    case AnswerVerdict::Kind::Referral:
        if (m_askedForRelay.contains(lookupKey(verdict.registry->id, m_state.strCurrentIP))) {
            return false;
        }
        setStatus(u"Referred to "_s + verdict.registry->ReferralMarker);
        queryRegistry(verdict.registry->id);
        return true;
    case AnswerVerdict::Kind::Final:
        return false;
    }
    return false;
}

// A final answer: its addresses go into the abuse list and the trace moves on to
// the next relay address, again at ARIN.
void Workbench::finishRelayAddress(const QString& strIn)
{
    QStringList listed;
    listed.reserve(m_state.lstAbuse.size());
    for (const AbuseRow& row : std::as_const(m_state.lstAbuse)) {
        listed.append(row.address);
    }
    // One reading of the list serves every address of the answer.
    const DoNotSendFilter dontSend(readDoNotSendList(m_programDirectory));
    const QStringList harvested =
        HarvestAddresses(strIn, listed, [&dontSend](const QString& address) { return dontSend.refuses(address); });
    for (const QString& address : harvested) {
        appendAbuse(address, u"whois"_s);
    }
    // The relay's RDAP contacts follow its whois rows, so the trace waits for
    // a lookup still under way (the client ends each within its time limit).
    if (isRdapPending(m_state.intIPIndex)) {
        m_waitingForRdap = m_state.intIPIndex;
        return;
    }
    advanceToNextRelay();
}

void Workbench::advanceToNextRelay()
{
    appendRdapRows(m_state.intIPIndex);
    ++m_state.intIPIndex;
    if (m_state.intIPIndex >= m_state.intIPCount) {
        endTraceOfMessage();
        return;
    }
    // The list may have been cleared meanwhile (Clear Result during a trace);
    // a missing entry reads as empty text, as the list box gives it.
    const QString next = m_state.lstIPs.value(m_state.intIPIndex);
    if (next == m_state.strCurrentIP) {
        endTrace();
        return;
    }
    m_state.strCurrentIP = next;
    m_askedForRelay.clear();
    queryRegistry(Registry::ARIN);
}

void Workbench::endTrace()
{
    m_tracing = false;
    Q_EMIT traceFinished();
}

// The relay list is done: a batch completes the message and goes on with the next.
void Workbench::endTraceOfMessage()
{
    endTrace();
    if (m_state.chkAutomate) {
        ProcessNextEmail();
    }
}

void Workbench::setHeaderText(const QString& text)
{
    assign(m_state.txtIn, text, Field::Header);
}

void Workbench::setBodyText(const QString& text)
{
    assign(m_state.txtBody, text, Field::Body);
}

void Workbench::setSubjectText(const QString& text)
{
    assign(m_state.txtSubject, text, Field::Subject);
}

void Workbench::setAbuseTicked(qsizetype row, bool ticked)
{
    if (row >= 0 && row < m_state.lstAbuse.size()) {
        assign(m_state.lstAbuse[row].ticked, ticked, Field::Abuse);
    }
}

void Workbench::setAutomate(bool ticked)
{
    assign(m_state.chkAutomate, ticked, Field::Automate);
}

void Workbench::setBusyReason(BusyReason reason, bool busy)
{
    const bool wasBusy = m_busyReasons != 0;
    m_busyReasons = busy ? (m_busyReasons | reason) : (m_busyReasons & ~unsigned{reason});
    if (wasBusy != (m_busyReasons != 0)) {
        m_host.setBusy(!wasBusy);
    }
}

void Workbench::setStatus(const QString& text)
{
    assign(m_state.txtWhoStatus, text, Field::Status);
}

void Workbench::setTracking(const QString& text)
{
    assign(m_state.txtWhoIsOut, text, Field::Tracking);
}

void Workbench::appendAbuse(const QString& address, const QString& source, const QString& server)
{
    m_state.lstAbuse.append(AbuseRow{address, false, source, server});
    Q_EMIT changed(Field::Abuse);
}

void Workbench::appendDomain(const QString& domain)
{
    m_state.lstDomain.append(domain);
    Q_EMIT changed(Field::Domains);
}

void Workbench::clearAbuse()
{
    assign(m_state.lstAbuse, {}, Field::Abuse);
}
