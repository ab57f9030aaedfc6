// SPDX-License-Identifier: GPL-3.0-or-later
// The workbench's use of the journal: sending a complaint (recorded before it
// is handed to the transport, its answer after), asking before a message is
// reported twice, a batch's claim on its folder, and the lookups it makes
// within the registries' daily allowances.
#include "common/Blanks.h"
#include "complaint/ComplaintText.h"
#include "mailbox/MailSettings.h"
#include "whois/AnswerEvaluation.h"
#include "whois/NetworkRange.h"
#include "workbench/Workbench.h"
#include "workbench/WorkbenchHost.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QString SpammerReported = u"Spammer successfully reported!"_s;

JournalComplaint answerOf(const MailSession::Sent& sent)
{
    JournalComplaint answer;
    answer.answeredAt = QDateTime::currentDateTimeUtc();
    answer.outcome = sent.error ? u"failed"_s : u"accepted"_s;
    answer.refused = sent.refused;
    answer.deferred = sent.deferred;
    answer.failure = sent.error ? sent.error.description : QString();
    return answer;
}

QString sentStatus(const MailSession::Sent& sent)
{
    QString status = SpammerReported;
    if (!sent.refused.isEmpty()) {
        status += u" Refused by the server: "_s + sent.refused.join(u", "_s);
    }
    if (!sent.deferred.isEmpty()) {
        status += u" Refused for now by the server: "_s + sent.deferred.join(u", "_s);
    }
    return status;
}

// The store and folder a batch works on, in one text: every spelling that
// opens the same folder gives the same text, so two batches cannot miss each
// other's claim.
QString folderClaimName(const MailSettings& settings)
{
    const foldername::Rules rules = settings.folderRules();
    const QString folder = foldername::isInbox(rules, settings.folder)
                               ? u"INBOX"_s
                               : foldername::levels(rules, settings.folder).join(u'/');
    return settings.storeUrl.toString(QUrl::RemovePassword | QUrl::NormalizePathSegments) + u" folder "_s + folder;
}

} // namespace

void Workbench::ReportSpammer()
{
    if (m_mail.isBusy() || !mayReportAgain()) {
        return;
    }
    SendComplaint([this](const MailSession::Sent& sent, bool) { Q_EMIT complaintSendEnded(sent.error.ok()); }, false);
}

// A message the journal has reported already is sent again only when the
// user says so; a journal that cannot be read does not stop a single report.
bool Workbench::mayReportAgain()
{
    const std::optional<std::optional<JournalComplaint>> earlier = m_journal.reported(messageKeyOf(m_state.txtIn));
    if (!earlier) {
        noteJournalNotKept();
        return true;
    }
    if (!*earlier || m_sendAgain) {
        return true;
    }
    const JournalComplaint& complaint = **earlier;
    const QString message = m_state.txtSubject.isEmpty() ? u"This message"_s : u'"' + m_state.txtSubject + u'"';
    const QString when = journalTimeText(complaint.handedAt);
    const QString to = complaint.recipients.join(u", "_s);
    if (m_host.askOkCancel(AlreadyReportedTitle.toString(),
                           u"%1 was reported on %2 to %3; send again?"_s.arg(message, when, to))) {
        return true;
    }
    setStatus(NotSentAgain + u"the message was reported on %1 to %2."_s.arg(when, to));
    // Announced from the event loop, as the end of a sending is.
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT complaintSendEnded(false); }, Qt::QueuedConnection);
    return false;
}

// One message to every unticked abuse address, with the texts as they stand
// when the command is given. Recipients the server refused while it took the
// message for others are named after the success text. The journal records
// the complaint before it is handed to the transport; when it cannot and
// `journalRequired`, nothing is sent and the call returns false.
bool Workbench::SendComplaint(std::function<void(const MailSession::Sent&, bool journalled)> done, bool journalRequired)
{
    const QString to = ComplaintRecipients(m_state.lstAbuse);
    const QString body = ComplaintBody(m_state.txtIn, m_state.txtBody);
    JournalComplaint complaint;
    complaint.handedAt = QDateTime::currentDateTimeUtc();
    complaint.message = messageKeyOf(m_state.txtIn);
    complaint.subject = m_state.txtSubject;
    complaint.recipients = to.split(u';', Qt::SkipEmptyParts);
    complaint.sourceAddress = m_trustOptions.enabled ? m_state.sourceAddress : QString();
    const std::optional<qint64> id = m_journal.handed(complaint);
    if (!id && journalRequired) {
        return false;
    }
    m_mail.Send(ComplaintTitle.toString(), to, body, [this, id, done = std::move(done)](const MailSession::Sent& sent) {
        const bool journalled = id && m_journal.answered(*id, answerOf(sent));
        if (sent.error) {
            mailFailed(sent.error);
        } else {
            setStatus(sentStatus(sent));
        }
        if (!journalled) {
            noteJournalNotKept();
        }
        done(sent, journalled);
    });
    return true;
}

// Said once in the status line, after what the command itself says.
void Workbench::noteJournalNotKept()
{
    if (const QString note = m_journal.noteNotKept(); !note.isEmpty()) {
        setStatus(m_state.txtWhoStatus.isEmpty() ? note : m_state.txtWhoStatus + u' ' + note);
    }
}

// A batch claims its store and folder in the journal before it loads
// anything, so that a second batch on the same folder (another window, a cron
// run that overlaps) stops at once instead of reporting the same messages.
bool Workbench::claimSourceFolder()
{
    const MailResult<MailSettings> settings = MailSettings::load(MailSettings::defaultPath());
    if (!settings.ok()) {
        return true; // the load fails on the same settings and says why
    }
    const QString folder = folderClaimName(settings.value());
    const std::optional<FolderClaim> claim = m_journal.claim(folder);
    QString reason;
    if (!claim) {
        reason = u"The batch does not start: the journal cannot be written (%1), and a batch keeps every complaint "
                 u"in it so that none is sent twice."_s.arg(m_journal.error());
    } else if (!claim->taken) {
        reason = u"The batch does not start: another batch works on the folder %1 since %2 (process %3 on %4)."_s.arg(
            settings.value().folder, journalTimeText(claim->since), QString::number(claim->pid), claim->host);
    } else {
        m_claimedFolder = folder;
        return true;
    }
    setStatus(reason);
    Q_EMIT batchEnded(BatchEnd::Stopped, reason);
    return false;
}

// Every whois lookup is recorded, so that the registries' daily allowances
// are counted across runs. A batch makes none that would pass one, nor any
// that it cannot count or record; a single run asks all the same and says so.
WhoisTrace::Permission Workbench::permitLookup(RegistryId id, const QString& asked)
{
    const QString query = trimBlanks(asked).toString();
    const WhoisRegistry* registry = FindRegistry(id);
    const QString name = registry ? registry->RegistryName.toString() : QString::number(id);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (std::optional<WhoisTrace::Permission> cached = cachedLookup(name, query)) {
        return *cached;
    }
    const JournalKeeper::Allowance allowance = m_journal.allowance(name, now);
    const bool batch = m_batch.isRunning();
    const auto refusal = [](const QString& why) {
        return WhoisTrace::Permission{
            .refusal = u"Batch stopped: no whois lookup was made, because %1. Nothing was sent for this message; it "
                       u"stays in the folder."_s.arg(why),
            .note = {}};
    };
    if (batch && allowance.exceeded) {
        return refusal(*allowance.exceeded);
    }
    if (batch && allowance.uncounted) {
        return refusal(*allowance.uncounted);
    }
    const WhoisEndpoint endpoint =
        m_whois.options().servers.endpointFor(registry ? WhoisServerHost(*registry) : name, WhoisPort);
    const std::optional<qint64> lookupId =
        m_journal.asked({.askedAt = now,
                         .kind = u"whois"_s,
                         .registry = name,
                         .server = QString(endpoint.host + u':' + QString::number(endpoint.port)),
                         .query = query,
                         .answer = {}});
    const bool recorded = lookupId.has_value();
    m_lookupId = lookupId.value_or(0);
    m_lookupQuery = query;
    if (batch && !recorded) {
        return refusal(u"the journal cannot record it ("_s + m_journal.error() + u')');
    }
    if (allowance.exceeded) {
        m_allowanceNote = u"Asked all the same: "_s + *allowance.exceeded + u'.';
        return {.refusal = {}, .note = m_allowanceNote};
    }
    return {.refusal = {}, .note = recorded && !allowance.uncounted ? QString() : m_journal.noteNotKept()};
}

// With the cache on, a kept answer stands for the lookup: no registry is
// asked and no allowance counted. The tracking box, the status line and the
// state say where it came from.
std::optional<WhoisTrace::Permission> Workbench::cachedLookup(const QString& registry, const QString& query)
{
    m_lookupId = 0;
    if (m_cacheHours.count() <= 0) {
        return std::nullopt;
    }
    const std::optional<JournalQuery> kept =
        m_journal.cachedAnswer(registry, query, m_cacheHours, QDateTime::currentDateTimeUtc());
    if (!kept) {
        return std::nullopt;
    }
    const QString when = journalTimeText(kept->askedAt);
    QList<CachedWhoisAnswer> cached = m_state.whoisCache;
    cached.append({registry, query, kept->askedAt});
    assign(m_state.whoisCache, cached, Field::Tracking);
    setTracking(u"(%1's answer from the cache, received %2)\r\n"_s.arg(registry, when) + kept->answer);
    return WhoisTrace::Permission{.refusal = {},
                                  .note = u"%1 answered from the cache (received %2)"_s.arg(registry, when),
                                  .cachedAnswer = kept->answer};
}

// With the cache on, a registry's answer is kept for later lookups; a final
// one with the range it states. A lookup that failed or was refused is not.
void Workbench::keepAnswer(const QString& answer, bool final)
{
    if (m_cacheHours.count() <= 0 || m_lookupId <= 0 || answer.isEmpty() || !m_whois.lastFailure().isEmpty() ||
        IsQueryLimitRefusal(answer)) {
        return;
    }
    const std::optional<Ipv6Bytes> address = addressBytes(m_lookupQuery);
    const std::optional<NetworkRange> range =
        final && address ? statedNetworkRange(answer, *address) : std::optional<NetworkRange>();
    if (!m_journal.keepAnswer(m_lookupId, answer, range)) {
        noteJournalNotKept();
    }
    m_lookupId = 0;
}

void Workbench::journalRdapLookup(const QUrl& url, const QString& address)
{
    if (!m_journal.asked({.askedAt = QDateTime::currentDateTimeUtc(),
                          .kind = u"rdap"_s,
                          .registry = url.host(),
                          .server = url.toString(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveUserInfo),
                          .query = address,
                          .answer = {}})) {
        noteJournalNotKept();
    }
}
