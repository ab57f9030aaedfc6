// SPDX-License-Identifier: GPL-3.0-or-later
#include "workbench/BatchRun.h"

#include "complaint/ComplaintText.h"
#include "journal/MessageKey.h"
#include "mailbox/MailSettings.h"
#include "workbench/JournalKeeper.h"

using namespace Qt::StringLiterals;

namespace {

const QString Unticked = u"the batch box was unticked"_s;

// Failures that sending the same message again would meet again: the message
// cannot be reported. Every other failure is the transport's, or temporary.
bool isMessageFailure(MailFailure kind)
{
    return kind == MailFailure::NoRecipients || kind == MailFailure::RecipientsRefused ||
           kind == MailFailure::ContentRefused;
}

QString describeFailedLookups(const QList<WhoisTrace::FailedLookup>& failures)
{
    QStringList parts;
    for (const WhoisTrace::FailedLookup& failure : failures) {
        parts.append(u"%1 about %2: %3"_s.arg(failure.registry, failure.query, failure.reason));
    }
    return parts.join(u"; "_s);
}

// What became of a sent message, and the desks that refused it for now.
QString withDeferred(const QString& outcome, const QStringList& deferred)
{
    return deferred.isEmpty() ? outcome : outcome + u"; refused for now by "_s + deferred.join(u", "_s);
}

} // namespace

BatchRun::BatchRun(Bench& bench, MailSession& mail, JournalKeeper& journal)
    : m_bench(bench)
    , m_mail(mail)
    , m_journal(journal)
{}

void BatchRun::begin()
{
    m_running = m_bench.state().chkAutomate;
    m_stopRequest.reset();
}

bool BatchRun::isBatchTicked() const
{
    const WorkbenchState& state = m_bench.state();
    return state.blnUseOutlook && state.chkAutomate;
}

bool BatchRun::refuseStart()
{
    if (!m_running) {
        return false;
    }
    m_bench.setStatus(u"The batch is running, so Start is ignored. To stop the batch, untick its box or press Clear "
                      u"Result."_s);
    return true;
}

void BatchRun::clearResult(bool endedTrace)
{
    if (!m_running) {
        return;
    }
    if (endedTrace) {
        stop(u"Batch stopped: Clear Result was pressed while %1 was traced. Nothing was sent, and the message "
             u"stays in the folder."_s.arg(loadedSubjects()));
        return;
    }
    m_stopRequest = u"Clear Result was pressed"_s;
}

// Only a batch that still runs acts on its load: one that a command stopped
// while the message was being loaded leaves it alone.
void BatchRun::loadEnded(LoadOutcome outcome, bool traced, const QString& notTraced)
{
    if (!m_running) {
        return;
    }
    if (outcome == LoadOutcome::Loaded && m_stopRequest) {
        stop(u"Batch stopped before tracing %1: %2."_s.arg(loadedSubjects(), *m_stopRequest));
        return;
    }
    if (!isBatchTicked()) {
        end(End::Stopped, Unticked);
        return;
    }
    switch (outcome) {
    case LoadOutcome::Loaded:
        // A message whose own Start started no trace never reaches the end of one.
        if (!traced) {
            setAsideUnreportable(notTraced.isEmpty() ? u"no trace was started"_s : notTraced);
        }
        break;
    case LoadOutcome::Empty:
        end(End::Finished, u"No items left to process"_s);
        break;
    case LoadOutcome::Cancelled:
        end(End::Cancelled, u"the Inbox warning was answered Cancel"_s);
        break;
    case LoadOutcome::Failed:
        end(End::Stopped, m_bench.state().txtWhoStatus);
        break;
    }
}

// Every end of a trace comes here, so a batch either goes on with its message
// or stops with the reason.
void BatchRun::traceEnded(const WhoisTrace& trace, WhoisTrace::End end, const QString& reason,
                          const std::optional<QString>& rdapRefusal)
{
    if (m_running && !isBatchTicked()) {
        this->end(End::Stopped, Unticked);
        return;
    }
    if (!m_bench.state().chkAutomate) {
        return;
    }
    if (end == WhoisTrace::End::Failed) {
        if (isBatchTicked()) {
            tellProgress(u"stopped, left in the folder: "_s + reason);
            journalDisposal(u"left"_s, {}, reason);
            this->end(End::Stopped, reason);
        }
        return;
    }
    ProcessNextEmail(trace, rdapRefusal);
}

// The end of a message's trace in a batch: send the complaint, then take the
// message out of the folder and go on with the next. Only the messages this run
// was loaded from are touched, and only once the complaint is out.
void BatchRun::ProcessNextEmail(const WhoisTrace& trace, const std::optional<QString>& rdapRefusal)
{
    if (!m_bench.state().blnUseOutlook) {
        return;
    }
    if (m_bench.loadedMessages().isEmpty()) {
        stop(u"Batch stopped: the text in the boxes was not loaded from the mailbox, so nothing is sent "
             u"or deleted."_s);
        return;
    }
    m_running = true;
    if (const std::optional<QString> reason = whyNotToSend(trace, rdapRefusal)) {
        tellProgress(u"stopped before sending, left in the folder"_s);
        journalDisposal(u"left"_s, {}, *reason);
        stop(*reason);
        return;
    }
    sendOrSkip();
}

// A message the journal has reported already is disposed of as reported,
// without a second complaint. The complaint of any other is recorded before
// it is handed to the transport and its acceptance before the message is
// disposed of, so that a batch killed in between sends it again rather than
// deleting it unreported; a journal that cannot do so stops the batch.
void BatchRun::sendOrSkip()
{
    const std::optional<std::optional<JournalComplaint>> earlier =
        m_journal.reported(messageKeyOf(m_bench.state().txtIn));
    if (!earlier) {
        tellProgress(u"stopped before sending, left in the folder"_s);
        stop(u"Batch stopped at %1: the journal cannot be read (%2), so it is not known whether the message was "
             u"reported already. Nothing was sent; the message stays in the folder."_s.arg(loadedSubjects(),
                                                                                           m_journal.error()));
        return;
    }
    if (*earlier) {
        disposeReported((*earlier)->recipients.join(u';'), {}, *earlier);
        return;
    }
    const QString sentTo = ComplaintRecipients(m_bench.state().lstAbuse);
    const bool handed = m_bench.sendComplaint([this, sentTo](const MailSession::Sent& sent, bool journalled) {
        const MailError& error = sent.error;
        if (error.ok() && !journalled) {
            tellProgress(u"sent, but left in the folder: the journal could not record it"_s, sentTo);
            stop(u"Batch stopped after the complaint about %1 was sent: the journal could not record it (%2). The "
                 u"message stays in the folder rather than go unrecorded; the next run reports it again."_s.arg(
                     loadedSubjects(), m_journal.error()));
            return;
        }
        if (error.ok()) {
            disposeReported(sentTo, sent.deferred);
        } else if (isMessageFailure(error.kind)) {
            setAsideUnreportable(error.description, sentTo);
        } else {
            // The transport is at fault, or refused for now, not the message:
            // nothing is moved, and the next run tries again.
            tellProgress(u"stopped, left in the folder: "_s + error.description, sentTo);
            journalDisposal(u"left"_s, {}, error.description);
            end(End::Stopped, m_bench.state().txtWhoStatus);
        }
    });
    if (!handed) {
        tellProgress(u"stopped before sending, left in the folder"_s, sentTo);
        stop(u"Batch stopped at %1: the journal cannot record the complaint (%2), and a complaint it does not hold "
             u"could be sent twice. Nothing was sent; the message stays in the folder."_s.arg(loadedSubjects(),
                                                                                              m_journal.error()));
    }
}

// Why the batch stops before sending the complaint of the loaded message: a
// registry that refused this run's queries, or a lookup that got no answer, so
// that the complaint would miss a desk it should reach. The message stays for
// the next run.
std::optional<QString> BatchRun::whyNotToSend(const WhoisTrace& trace, const std::optional<QString>& rdapRefusal) const
{
    const std::optional<QString>& refusal = rdapRefusal ? rdapRefusal : trace.queryLimitRefusal();
    if (refusal) {
        return u"Batch stopped before the next message: "_s + *refusal;
    }
    if (const auto& failures = trace.failedLookups(); !failures.isEmpty()) {
        return u"Batch stopped at %1: a whois lookup got no answer (%2), so the complaint would miss a network's "
               u"desk. Nothing was sent; the message stays in the folder and the next run tries again."_s.arg(
                   loadedSubjects(), describeFailedLookups(failures));
    }
    return std::nullopt;
}

// Deletes the reported messages, or moves them to the trash folder of the
// settings; `earlier` is the journal's complaint about a message reported
// before, which is not sent again.
void BatchRun::disposeReported(const QString& sentTo, const QStringList& deferred,
                               const std::optional<JournalComplaint>& earlier)
{
    const QString reported =
        earlier ? u"already reported on %1 (not sent again)"_s.arg(journalTimeText(earlier->handedAt)) : u"sent"_s;
    m_mail.ConnectOutlook([this, sentTo, deferred, reported](const MailSession::Connected& connected) {
        if (connected.error) {
            stopAfterSending(connected.error, sentTo, deferred);
            return;
        }
        const QString trash = connected.trashFolder;
        const QString subject = m_bench.loadedMessages().constLast().subject;
        m_bench.setStatus(trash.isEmpty() ? u"Deleting "_s + subject : u"Moving %1 to %2"_s.arg(subject, trash));
        m_mail.Dispose(
            loadedEntryIds(), trash, [this, sentTo, deferred, trash, reported](const MailSession::Disposed& disposed) {
                m_mail.DisconnectOutlook();
                if (disposed.error) {
                    stopAfterSending(disposed.error, sentTo, deferred);
                    return;
                }
                if (!disposed.gone.isEmpty()) {
                    m_bench.setStatus(u"Sent; %1 was no longer in the folder, going on with the next message"_s.arg(
                        loadedSubjects()));
                    tellProgress(withDeferred(reported + u"; it was no longer in the folder"_s, deferred), sentTo);
                    journalDisposal(u"left"_s, {}, u"it was no longer in the folder"_s);
                } else {
                    const QString outcome =
                        reported + (trash.isEmpty() ? u" and deleted"_s : QString(u" and moved to "_s + trash));
                    journalDisposal(trash.isEmpty() ? u"deleted"_s : u"moved"_s, trash);
                    tellProgress(withDeferred(outcome, deferred), sentTo);
                    if (!deferred.isEmpty()) {
                        m_bench.setStatus(
                            u"%1: %2; refused for now by %3"_s.arg(loadedSubjects(), outcome, deferred.join(u", "_s)));
                    }
                }
                goOn();
            });
    });
}

// The complaint went out, but the store failed: the message stays where it
// is, and the next run finds it again.
void BatchRun::stopAfterSending(const MailError& error, const QString& sentTo, const QStringList& deferred)
{
    mailFailed(error);
    tellProgress(withDeferred(u"sent, but left in the folder: "_s + error.description, deferred), sentTo);
    journalDisposal(u"left"_s, {}, error.description);
    end(End::Stopped, m_bench.state().txtWhoStatus);
}

// A message the batch cannot report (no relay address, no one to send to) goes
// to the folder for unreported messages when the settings name one; otherwise
// the batch stops on it and it stays where it is.
void BatchRun::setAsideUnreportable(const QString& reason, const QString& triedTo)
{
    m_mail.ConnectOutlook([this, reason, triedTo](const MailSession::Connected& connected) {
        if (connected.error) {
            mailFailed(connected.error);
            end(End::Stopped, m_bench.state().txtWhoStatus);
            return;
        }
        const QString folder = connected.unreportedFolder;
        if (folder.isEmpty()) {
            m_mail.DisconnectOutlook();
            tellProgress(u"cannot be reported (%1); left in the folder"_s.arg(reason), triedTo);
            journalDisposal(u"left"_s, {}, reason);
            stop(u"Batch stopped at %1: it cannot be reported (%2). It stays in the folder; with "
                 u"[store] unreported=FOLDER in %3 the batch moves such messages there and goes on."_s.arg(
                     loadedSubjects(), reason, MailSettings::defaultPath()));
            return;
        }
        m_mail.Dispose(loadedEntryIds(), folder,
                       [this, reason, triedTo, folder](const MailSession::Disposed& disposed) {
                           m_mail.DisconnectOutlook();
                           if (disposed.error) {
                               mailFailed(disposed.error);
                               end(End::Stopped, m_bench.state().txtWhoStatus);
                               return;
                           }
                           m_bench.setStatus(
                               u"Moved %1 to %2: it cannot be reported (%3)"_s.arg(loadedSubjects(), folder, reason));
                           tellProgress(u"cannot be reported (%1); moved to %2"_s.arg(reason, folder), triedTo);
                           journalDisposal(u"set-aside"_s, folder, reason);
                           goOn();
                       });
    });
}

// The batch box may have been unticked meanwhile, or Clear Result pressed:
// then the batch ends here.
void BatchRun::goOn()
{
    if (!m_bench.state().chkAutomate) {
        end(End::Stopped, Unticked);
        return;
    }
    if (m_stopRequest) {
        stop(u"Batch stopped after %1: %2."_s.arg(loadedSubjects(), *m_stopRequest));
        return;
    }
    m_bench.loadNextMessage();
}

void BatchRun::mailFailed(const MailError& error)
{
    m_bench.setStatus(SomethingBadHappened + error.description);
}

void BatchRun::stop(const QString& status)
{
    m_bench.setStatus(status);
    end(End::Stopped, status);
}

void BatchRun::end(End end, const QString& reason)
{
    m_running = false;
    m_stopRequest.reset();
    m_bench.endOfBatch(end, reason);
}

void BatchRun::tellProgress(const QString& outcome, const QString& sentTo)
{
    const WorkbenchState& state = m_bench.state();
    const QString relays = state.lstIPs.isEmpty() ? u"none"_s : state.lstIPs.join(u", "_s);
    const QStringList addresses = sentTo.split(u';', Qt::SkipEmptyParts);
    const QString recipients = addresses.isEmpty() ? u"nobody"_s : addresses.join(u", "_s);
    m_bench.progressOfBatch(u"%1: relays %2; to %3; %4"_s.arg(loadedSubjects(), relays, recipients, outcome));
}

// What became of the loaded message, for the journal's history. A failure
// here loses nothing: the message's fate is already decided.
void BatchRun::journalDisposal(const QString& how, const QString& folder, const QString& reason)
{
    const QString subject =
        m_bench.loadedMessages().isEmpty() ? QString() : m_bench.loadedMessages().constLast().subject;
    m_journal.disposed({.at = QDateTime::currentDateTimeUtc(),
                        .message = messageKeyOf(m_bench.state().txtIn),
                        .subject = subject,
                        .how = how,
                        .folder = folder,
                        .reason = reason});
}

QString BatchRun::loadedSubjects() const
{
    QStringList subjects;
    for (const LoadedMessage& message : m_bench.loadedMessages()) {
        subjects.append(u'"' + message.subject + u'"');
    }
    return subjects.join(u", "_s);
}

QStringList BatchRun::loadedEntryIds() const
{
    QStringList ids;
    for (const LoadedMessage& message : m_bench.loadedMessages()) {
        ids.append(message.entryId);
    }
    return ids;
}
