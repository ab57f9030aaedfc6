// SPDX-License-Identifier: GPL-3.0-or-later
#include "workbench/Workbench.h"

#include "common/Blanks.h"
#include "complaint/DoNotSendList.h"
#include "header/HeaderField.h"
#include "header/HeaderParser.h"
#include "header/RelayAddress.h"
#include "mailbox/MessageText.h"
#include "resolve/ReverseLookup.h"
#include "trust/PublicSuffix.h"
#include "whois/AbuseHarvest.h"
#include "whois/AbuseRoles.h"
#include "whois/AnswerEvaluation.h"
#include "workbench/WorkbenchHost.h"

#include <exception>

using namespace Qt::StringLiterals;

namespace {

const QString NoRelayAddress = u"No relay address found in the header"_s;
const QString NoSourceHop =
    u"No relay to report: every relay in the header is your provider's or on a private network"_s;

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

// Sets a flag for as long as it lives.
class FlagScope
{
public:
    explicit FlagScope(bool& flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~FlagScope() { m_flag = false; }
    Q_DISABLE_COPY_MOVE(FlagScope)

private:
    bool& m_flag;
};

} // namespace

Workbench::Workbench(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_resolver(dependencies.resolver)
    , m_host(dependencies.host)
    , m_programDirectory(std::move(dependencies.programDirectory))
    , m_whois(std::move(dependencies.whois))
    , m_journal(std::move(dependencies.journalPath))
    , m_contacts({std::move(dependencies.rdap), std::move(dependencies.contactDb)})
{
    connectContactLookups();
    connect(&m_whois, &WhoisLookup::statusChanged, this, &Workbench::setStatus);
    connect(&m_whois, &WhoisLookup::trackingChanged, this, &Workbench::setTracking);
    connect(&m_whois, &WhoisLookup::busyChanged, this, [this](bool busy) { setBusyReason(LookingUpWhois, busy); });
    connect(&m_mail, &MailSession::busyChanged, this, [this](bool busy) {
        setBusyReason(UsingMail, busy);
        assign(m_state.mailBusy, busy, Field::MailBusy);
    });
}

// The traces, dropped ones that wait for their deletion included, go before
// the whois lookup they are connected to.
Workbench::~Workbench()
{
    qDeleteAll(findChildren<WhoisTrace*>(Qt::FindDirectChildrenOnly));
    if (!m_claimedFolder.isEmpty()) {
        m_journal.release(m_claimedFolder);
    }
}

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

// The reverse lookup lets pending events run once; a second click on Start
// that waited there would run a whole Start inside this one and list
// everything twice, so a Start under way ignores it.
void Workbench::Start()
{
    if (m_starting) {
        return;
    }
    const FlagScope starting(m_starting);
    try {
        runStart();
    } catch (const std::exception& error) {
        setStatus(SomethingBadHappened + descriptionOf(error));
    }
}

void Workbench::StartByHand()
{
    if (m_starting || m_batch.refuseStart()) {
        return;
    }
    m_state.blnUseOutlook = false;
    Start();
}

void Workbench::runStart()
{
    // Whatever the trace of an earlier Start still does ends here, so none of
    // its answers can be taken for this run's.
    dropTrace();
    m_notTraced.clear();
    assign(m_state.lstDomain, {}, Field::Domains);
    setTracking(QString());
    clearAbuse();
    m_state.blnReceivedMarked = false;
    m_refusal.reset();
    assign(m_state.reverseLookup, {}, Field::ReverseLookup);
    stopContactLookups();

    if (!parseIntoLists()) {
        return;
    }
    if (m_tracedRows.isEmpty()) {
        m_notTraced = NoSourceHop;
        setStatus(NoSourceHop);
        return;
    }
    startContactLookups();

    m_state.intIPIndex = static_cast<qint16>(m_tracedRows.first());
    const QString address = m_state.lstIPs.at(m_tracedRows.first());
    proposeAbuseAddress(address);
    m_state.strCurrentIP = address;
    if (m_traceEnabled) {
        startTrace();
    } else {
        m_notTraced = u"the trace is turned off"_s;
    }
}

// Parses txtIn into the parsed rows and the relay addresses. A header whose
// first parse gives no relay address is parsed a second time, without the "X"
// mark; when that gives none either, there is nothing to trace. With relay
// trust on the relay list is the `Received` chain's instead.
bool Workbench::parseIntoLists()
{
    planRelays();
    for (int parse = 1; parse <= 2; ++parse) {
        assign(m_state.lstIPs, {}, Field::IPs);
        if (m_state.txtIn.isEmpty()) {
            m_notTraced = m_state.txtBody.isEmpty() ? u"the message is empty"_s : u"the message has no header"_s;
            return false;
        }
        const ParsedHeader parsed = ParseHeader(m_state.txtIn, m_state.blnReceivedMarked);
        assign(m_state.lstOut, parsed.rows, Field::ParsedHeader);
        if (parsed.outcome == ParsedHeader::Outcome::TooLong) {
            m_notTraced = parsed.failure;
            setStatus(SomethingBadHappened + parsed.failure);
            return false;
        }
        if (!m_trustOptions.enabled) {
            m_tracedRows.clear();
            for (qsizetype row = 0; row < parsed.addresses.size(); ++row) {
                m_tracedRows.append(row);
            }
        }
        assign(m_state.lstIPs, m_trustOptions.enabled ? m_chainAddresses : parsed.addresses, Field::IPs);
        m_state.intIPCount = static_cast<qint16>(m_state.lstIPs.size());
        if (m_state.intIPCount != 0) {
            return true;
        }
        m_state.blnReceivedMarked = true;
    }
    m_notTraced = NoRelayAddress;
    setStatus(NoRelayAddress);
    return false;
}

// The `Received` chain is read for every run; with relay trust on it gives
// the relay list, the class of each row and the rows to trace.
void Workbench::planRelays()
{
    const RelayPlan plan = PlanRelays(m_state.txtIn, m_trustOptions, registeredDomain);
    m_state.relays = plan.hops;
    m_state.ipTrust = plan.addressTrust;
    m_state.sourceAddress = plan.sourceAddress();
    m_chainAddresses = plan.addresses;
    m_tracedRows = plan.tracedRows;
}

bool Workbench::isBeyondRow(qsizetype row) const
{
    return row >= 0 && row < m_state.ipTrust.size() && m_state.ipTrust[row] == HopTrust::Beyond;
}

// Only the first traced relay address is reverse-resolved; its domain gives the one
// abuse address that the run proposes before the whois answers come in.
void Workbench::proposeAbuseAddress(const QString& address)
{
    setBusyReason(ResolvingName, true);
    // With relay trust on the source may be an IPv6 address, which is looked
    // up too; the relay rules of trust off give IPv4 addresses only.
    const auto resolve = m_trustOptions.enabled ? ResolveAnyHostName : ResolveHostName;
    const ReverseLookupResult lookup = resolve(m_resolver, address, [this] { m_host.processPendingEvents(); });
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
        // A guess from the name, not an address any answer designates.
        appendAbuse(candidate, u"dns"_s, abuseRoleName(AbuseRole::Other));
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
    // A batch's message whose trace is under way is neither sent nor touched.
    const bool endsBatchTrace = m_batch.isRunning() && isTracing();
    if (endsBatchTrace) {
        dropTrace();
    }
    setHeaderText(QString());
    setBodyText(QString());
    setSubjectText(QString());
    assign(m_state.lstOut, {}, Field::ParsedHeader);
    m_state.relays.clear();
    m_state.ipTrust.clear();
    m_state.sourceAddress.clear();
    assign(m_state.lstIPs, {}, Field::IPs);
    assign(m_state.lstDomain, {}, Field::Domains);
    setTracking(QString());
    clearAbuse();
    stopContactLookups();
    assign(m_state.reverseLookup, {}, Field::ReverseLookup);
    setStatus(u"Cleared"_s);
    m_batch.clearResult(endsBatchTrace);
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

void Workbench::startTrace()
{
    m_trace = new WhoisTrace(m_whois, m_state.lstIPs, m_tracedRows, m_state.intIPCount, this);
    connect(m_trace, &WhoisTrace::moved, this, &Workbench::traceMoved);
    connect(m_trace, &WhoisTrace::status, this, &Workbench::setStatus);
    connect(m_trace, &WhoisTrace::finalAnswer, this, &Workbench::EvaluateAnswer);
    connect(m_trace, &WhoisTrace::ended, this, &Workbench::traceEnded);
    m_allowanceNote.clear();
    assign(m_state.whoisCache, {}, Field::Tracking);
    connect(m_trace, &WhoisTrace::answered, this, &Workbench::keepAnswer);
    m_trace->setQueryGate([this](RegistryId registry, const QString& query) { return permitLookup(registry, query); });
    m_trace->start();
}

// The trace may be dropped from inside one of its own signals, so it is
// deleted once control is back in the event loop.
void Workbench::dropTrace()
{
    m_waitingForContacts.reset();
    if (m_trace == nullptr) {
        return;
    }
    m_trace->disconnect(this);
    m_trace->cancel();
    m_trace->deleteLater();
    m_trace = nullptr;
}

void Workbench::traceMoved(qsizetype index, const QString& query)
{
    m_state.intIPIndex = static_cast<qint16>(index);
    m_state.strCurrentIP = query;
}

// A final answer of the current relay: its addresses go into the abuse list.
void Workbench::EvaluateAnswer(const QString& strIn)
{
    try {
        finishRelayAddress(strIn);
    } catch (const std::exception& error) {
        m_trace->fail(SomethingBadHappened + descriptionOf(error));
    }
}

void Workbench::finishRelayAddress(const QString& strIn)
{
    QStringList listed;
    listed.reserve(m_state.lstAbuse.size());
    for (const AbuseRow& row : std::as_const(m_state.lstAbuse)) {
        listed.append(row.address);
    }
    // One reading of the list serves every address of the answer.
    const DoNotSendFilter dontSend(readDoNotSendList(m_programDirectory));
    const auto refuses = [&dontSend](const QString& address) { return dontSend.refuses(address); };
    QStringList harvested = HarvestAddresses(strIn, listed, refuses);
    // Addresses the answer designates where the harvest cannot read them go
    // through the harvest's own steps.
    if (m_designated) {
        if (const QStringList designated = DesignatedBeyondHarvest(strIn); !designated.isEmpty()) {
            harvested += HarvestAddresses(designated.join(u'\n') + u'\n', listed + harvested, refuses);
        }
    }
    const QList<AddressRole> roles = ClassifyAbuseRoles(strIn);
    const auto roleOf = [&roles](const QString& address) {
        const auto found = std::find_if(roles.cbegin(), roles.cend(),
                                        [&address](const AddressRole& role) { return role.address == address; });
        return abuseRoleName(found == roles.cend() ? AbuseRole::Other : found->role);
    };
    // A hop older than the source may be forged: its rows wait for the user.
    const bool beyond = isBeyondRow(m_state.intIPIndex);
    // The registry that gave the answer, for the row's tip.
    const WhoisRegistry* registry = FindRegistry(m_trace->registry());
    const QString answeredBy = registry != nullptr ? registry->RegistryName.toString() : QString();
    for (const QString& address : harvested) {
        appendAbuse(address, u"whois"_s, roleOf(address), answeredBy, beyond);
    }
    // The relay's published contacts follow its whois rows, so the trace
    // waits for a lookup still under way.
    if (m_contacts.isPending(m_state.intIPIndex)) {
        m_waitingForContacts = m_state.intIPIndex;
        return;
    }
    advanceToNextRelay();
}

void Workbench::advanceToNextRelay()
{
    if (m_trace == nullptr) {
        return;
    }
    appendContactRows(m_trace->relayIndex());
    designateRelayRows();
    m_trace->nextRelay();
}

// Every end of a trace comes here, and from here to the batch.
void Workbench::traceEnded(WhoisTrace::End end, const QString& reason)
{
    const WhoisTrace* const trace = m_trace;
    m_state.intIPIndex = static_cast<qint16>(trace->relayIndex());
    if (end == WhoisTrace::End::Failed) {
        setStatus(reason);
    }
    if (!m_allowanceNote.isEmpty()) {
        setStatus(m_state.txtWhoStatus.isEmpty() ? m_allowanceNote : m_state.txtWhoStatus + u' ' + m_allowanceNote);
    }
    Q_EMIT traceFinished();
    // Whoever heard of the end may have started another run meanwhile; the
    // batch then has nothing more to do with this trace.
    if (m_trace != trace) {
        return;
    }
    m_batch.traceEnded(*trace, end, reason, m_refusal);
}

// The rows of the relay just traced, the reverse lookup's proposal with the
// first relay's, are ticked where the answers designate another desk.
void Workbench::designateRelayRows()
{
    const qsizetype first = std::min(m_relayRowsStart, m_state.lstAbuse.size());
    m_relayRowsStart = m_state.lstAbuse.size();
    if (!m_designated) {
        return;
    }
    static const QHash<QString, AbuseRole> byName{{abuseRoleName(AbuseRole::Abuse), AbuseRole::Abuse},
                                                  {abuseRoleName(AbuseRole::Remark), AbuseRole::Remark},
                                                  {abuseRoleName(AbuseRole::Registry), AbuseRole::Registry}};
    QList<AbuseRole> roles;
    QList<bool> ticks;
    for (qsizetype row = first; row < m_state.lstAbuse.size(); ++row) {
        roles.append(byName.value(m_state.lstAbuse[row].role, AbuseRole::Other));
        ticks.append(m_state.lstAbuse[row].ticked);
    }
    const QList<bool> decided = DesignatedTicks(roles, ticks);
    for (qsizetype at = 0; at < decided.size(); ++at) {
        m_state.lstAbuse[first + at].ticked = ticks[at] || decided[at];
    }
    Q_EMIT changed(Field::Abuse);
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

void Workbench::appendAbuse(const QString& address, const QString& source, const QString& role, const QString& server,
                            bool ticked)
{
    m_state.lstAbuse.append(AbuseRow{address, ticked, source, server, role});
    Q_EMIT changed(Field::Abuse);
}

void Workbench::appendDomain(const QString& domain)
{
    m_state.lstDomain.append(domain);
    Q_EMIT changed(Field::Domains);
}

void Workbench::clearAbuse()
{
    m_relayRowsStart = 0;
    assign(m_state.lstAbuse, {}, Field::Abuse);
}
