// SPDX-License-Identifier: GPL-3.0-or-later
// The workbench's mailbox commands: loading a message from the mail store,
// sending the complaint, and the batch run over the source folder.
#include "common/LineEnds.h"
#include "complaint/ComplaintText.h"
#include "mailbox/MailSettings.h"
#include "workbench/Workbench.h"
#include "workbench/WorkbenchHost.h"

using namespace Qt::StringLiterals;

namespace {

const QString Inbox = u"Inbox"_s;
const QString SpammerReported = u"Spammer successfully reported!"_s;

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

} // namespace

void Workbench::StartFromMailbox()
{
    if (refuseWhileBatchRuns() || m_mail.isBusy()) {
        return;
    }
    m_state.blnUseOutlook = true;
    m_batchRunning = m_state.chkAutomate;
    m_batchStopRequest.reset();
    loadAndStart();
}

// A batch owns the boxes from its mailbox Start to its end: another run would
// take its message's place in them.
bool Workbench::refuseWhileBatchRuns()
{
    if (!m_batchRunning) {
        return false;
    }
    setStatus(u"The batch is running, so Start is ignored. To stop the batch, untick its box or press Clear "
              u"Result."_s);
    return true;
}

// The trace of the message shown so far ends before another is loaded.
void Workbench::loadAndStart()
{
    dropTrace();
    ++m_loadSerial;
    m_loaded.clear();
    LoadSelectedEmail([this](LoadOutcome outcome) { afterLoad(outcome); });
}

void Workbench::afterLoad(LoadOutcome outcome)
{
    const bool loaded = outcome == LoadOutcome::Loaded;
    if (loaded && m_batchRunning && m_batchStopRequest) {
        Q_EMIT mailboxLoadEnded(loaded);
        stopBatch(u"Batch stopped before tracing %1: %2."_s.arg(loadedSubjects(), *m_batchStopRequest));
        return;
    }
    if (loaded) {
        Start();
    }
    Q_EMIT mailboxLoadEnded(loaded);
    if (!inBatch()) {
        if (m_batchRunning) {
            endBatch(BatchEnd::Stopped, u"the batch box was unticked"_s);
        }
        return;
    }
    switch (outcome) {
    case LoadOutcome::Loaded:
        // A message whose own Start started no trace never reaches the end of one.
        if (!isTracing()) {
            setAsideUnreportable(m_notTraced.isEmpty() ? u"no trace was started"_s : m_notTraced);
        }
        break;
    case LoadOutcome::Empty:
        endBatch(BatchEnd::Finished, u"No items left to process"_s);
        break;
    case LoadOutcome::Cancelled:
        endBatch(BatchEnd::Cancelled, u"the Inbox warning was answered Cancel"_s);
        break;
    case LoadOutcome::Failed:
        endBatch(BatchEnd::Stopped, m_state.txtWhoStatus);
        break;
    }
}

// Fills the boxes from the mailbox's selection. The Inbox warning comes before
// the selection is looked at, so it also shows when the folder is empty.
void Workbench::LoadSelectedEmail(std::function<void(LoadOutcome)> done)
{
    m_mail.ConnectOutlook([this, done = std::move(done)](const MailSession::Connected& connected) {
        if (connected.error) {
            mailFailed(connected.error);
            done(LoadOutcome::Failed);
            return;
        }
        if (connected.caption.contains(Inbox) && m_state.chkAutomate &&
            !m_host.askOkCancel(u"Warning"_s, u"Zelkor is about to process ALL items in Inbox!"_s)) {
            m_mail.DisconnectOutlook();
            done(LoadOutcome::Cancelled);
            return;
        }
        takeSelection(done);
    });
}

void Workbench::takeSelection(std::function<void(LoadOutcome)> done)
{
    m_mail.TakeSelection([this, done = std::move(done)](const MailSession::Selection& selection) {
        m_mail.DisconnectOutlook();
        if (selection.error) {
            mailFailed(selection.error);
            done(LoadOutcome::Failed);
            return;
        }
        if (selection.items.empty()) {
            m_host.showMessage(u"Finished"_s, u"No items left to process"_s);
            done(LoadOutcome::Empty);
            return;
        }
        done(showSelection(selection.items) ? LoadOutcome::Loaded : LoadOutcome::Failed);
    });
}

// Every selected e-mail overwrites the boxes in turn; the last one stays. A
// header that could not be read stops the walk with what was written so far.
bool Workbench::showSelection(const std::vector<MailSession::SelectedItem>& items)
{
    for (const MailSession::SelectedItem& selected : items) {
        const MailItem& item = selected.item;
        if (item.Class != MailItem::MailClass) {
            continue;
        }
        setStatus(u"Processing "_s + item.Subject);
        if (!selected.header.ok()) {
            mailFailed(selected.header.error());
            return false;
        }
        setHeaderText(selected.header.value());
        setSubjectText(item.Subject);
        setBodyText(toCrLf(item.HTMLBody.isEmpty() ? item.Body : item.HTMLBody));
        m_loaded.append({item.EntryID, item.Subject});
    }
    return true;
}

void Workbench::ReportSpammer()
{
    if (m_mail.isBusy()) {
        return;
    }
    SendComplaint([this](const MailSession::Sent& sent) { Q_EMIT complaintSendEnded(sent.error.ok()); });
}

// One message to every unticked abuse address, with the texts as they stand
// when the command is given. Recipients the server refused while it took the
// message for others are named after the success text.
void Workbench::SendComplaint(std::function<void(const MailSession::Sent&)> done)
{
    const QString to = ComplaintRecipients(m_state.lstAbuse);
    const QString body = ComplaintBody(m_state.txtIn, m_state.txtBody);
    m_mail.Send(ComplaintTitle.toString(), to, body, [this, done = std::move(done)](const MailSession::Sent& sent) {
        if (sent.error) {
            mailFailed(sent.error);
            done(sent);
            return;
        }
        QString status = SpammerReported;
        if (!sent.refused.isEmpty()) {
            status += u" Refused by the server: "_s + sent.refused.join(u", "_s);
        }
        if (!sent.deferred.isEmpty()) {
            status += u" Refused for now by the server: "_s + sent.deferred.join(u", "_s);
        }
        setStatus(status);
        done(sent);
    });
}

void Workbench::mailFailed(const MailError& error)
{
    setStatus(SomethingBadHappened + error.description);
}

// The end of a message's trace in a batch: send the complaint, then take the
// message out of the folder and go on with the next. Only the messages this run
// was loaded from are touched, and only once the complaint is out.
void Workbench::ProcessNextEmail()
{
    if (!m_state.blnUseOutlook) {
        return;
    }
    if (m_loaded.isEmpty()) {
        stopBatch(u"Batch stopped: the text in the boxes was not loaded from the mailbox, so nothing is sent "
                  u"or deleted."_s);
        return;
    }
    if (m_trace == nullptr || m_traceLoad != m_loadSerial) {
        stopBatch(u"Batch stopped: the trace that ended was not started for %1, so nothing is sent or deleted."_s.arg(
            loadedSubjects()));
        return;
    }
    if (const std::optional<QString> reason = whyNotToSend()) {
        tellBatchProgress(u"stopped before sending, left in the folder"_s);
        stopBatch(*reason);
        return;
    }
    const QString sentTo = ComplaintRecipients(m_state.lstAbuse);
    SendComplaint([this, sentTo](const MailSession::Sent& sent) {
        const MailError& error = sent.error;
        if (error.ok()) {
            disposeReported(sentTo, sent.deferred);
        } else if (isMessageFailure(error.kind)) {
            setAsideUnreportable(error.description, sentTo);
        } else {
            // The transport is at fault, or refused for now, not the message:
            // nothing is moved, and the next run tries again.
            tellBatchProgress(u"stopped, left in the folder: "_s + error.description, sentTo);
            endBatch(BatchEnd::Stopped, m_state.txtWhoStatus);
        }
    });
}

// Why the batch stops before sending the complaint of the loaded message: a
// registry that refused this run's queries, or a lookup that got no answer, so
// that the complaint would miss a desk it should reach. The message stays for
// the next run.
std::optional<QString> Workbench::whyNotToSend() const
{
    const std::optional<QString>& refusal = m_refusal ? m_refusal : m_trace->queryLimitRefusal();
    if (refusal) {
        return u"Batch stopped before the next message: "_s + *refusal;
    }
    if (const auto& failures = m_trace->failedLookups(); !failures.isEmpty()) {
        return u"Batch stopped at %1: a whois lookup got no answer (%2), so the complaint would miss a network's "
               u"desk. Nothing was sent; the message stays in the folder and the next run tries again."_s.arg(
                   loadedSubjects(), describeFailedLookups(failures));
    }
    return std::nullopt;
}

// Deletes the reported messages, or moves them to the trash folder of the settings.
void Workbench::disposeReported(const QString& sentTo, const QStringList& deferred)
{
    m_mail.ConnectOutlook([this, sentTo, deferred](const MailSession::Connected& connected) {
        if (connected.error) {
            mailFailed(connected.error);
            tellBatchProgress(
                sentToOutcome(u"sent, but left in the folder: "_s + connected.error.description, deferred), sentTo);
            endBatch(BatchEnd::Stopped, m_state.txtWhoStatus);
            return;
        }
        const QString trash = connected.trashFolder;
        const QString subject = m_loaded.constLast().subject;
        setStatus(trash.isEmpty() ? u"Deleting "_s + subject : u"Moving %1 to %2"_s.arg(subject, trash));
        m_mail.Dispose(loadedEntryIds(), trash, [this, sentTo, deferred, trash](const MailSession::Disposed& disposed) {
            m_mail.DisconnectOutlook();
            if (disposed.error) {
                mailFailed(disposed.error);
                tellBatchProgress(
                    sentToOutcome(u"sent, but left in the folder: "_s + disposed.error.description, deferred), sentTo);
                endBatch(BatchEnd::Stopped, m_state.txtWhoStatus);
                return;
            }
            if (!disposed.gone.isEmpty()) {
                setStatus(
                    u"Sent; %1 was no longer in the folder, going on with the next message"_s.arg(loadedSubjects()));
                tellBatchProgress(sentToOutcome(u"sent; it was no longer in the folder"_s, deferred), sentTo);
            } else {
                const QString outcome = trash.isEmpty() ? u"sent and deleted"_s : u"sent and moved to "_s + trash;
                tellBatchProgress(sentToOutcome(outcome, deferred), sentTo);
                if (!deferred.isEmpty()) {
                    setStatus(
                        u"%1: %2; refused for now by %3"_s.arg(loadedSubjects(), outcome, deferred.join(u", "_s)));
                }
            }
            goOnWithBatch();
        });
    });
}

// A message the batch cannot report (no relay address, no one to send to) goes
// to the folder for unreported messages when the settings name one; otherwise
// the batch stops on it and it stays where it is.
void Workbench::setAsideUnreportable(const QString& reason, const QString& triedTo)
{
    m_mail.ConnectOutlook([this, reason, triedTo](const MailSession::Connected& connected) {
        if (connected.error) {
            mailFailed(connected.error);
            endBatch(BatchEnd::Stopped, m_state.txtWhoStatus);
            return;
        }
        const QString folder = connected.unreportedFolder;
        if (folder.isEmpty()) {
            m_mail.DisconnectOutlook();
            tellBatchProgress(u"cannot be reported (%1); left in the folder"_s.arg(reason), triedTo);
            stopBatch(u"Batch stopped at %1: it cannot be reported (%2). It stays in the folder; with "
                      u"[store] unreported=FOLDER in %3 the batch moves such messages there and goes on."_s.arg(
                          loadedSubjects(), reason, MailSettings::defaultPath()));
            return;
        }
        m_mail.Dispose(
            loadedEntryIds(), folder, [this, reason, triedTo, folder](const MailSession::Disposed& disposed) {
                m_mail.DisconnectOutlook();
                if (disposed.error) {
                    mailFailed(disposed.error);
                    endBatch(BatchEnd::Stopped, m_state.txtWhoStatus);
                    return;
                }
                setStatus(u"Moved %1 to %2: it cannot be reported (%3)"_s.arg(loadedSubjects(), folder, reason));
                tellBatchProgress(u"cannot be reported (%1); moved to %2"_s.arg(reason, folder), triedTo);
                goOnWithBatch();
            });
    });
}

// The batch box may have been unticked meanwhile, or Clear Result pressed:
// then the batch ends here.
void Workbench::goOnWithBatch()
{
    if (!m_state.chkAutomate) {
        endBatch(BatchEnd::Stopped, u"the batch box was unticked"_s);
        return;
    }
    if (m_batchStopRequest) {
        stopBatch(u"Batch stopped after %1: %2."_s.arg(loadedSubjects(), *m_batchStopRequest));
        return;
    }
    loadAndStart();
}

void Workbench::stopBatch(const QString& status)
{
    setStatus(status);
    endBatch(BatchEnd::Stopped, status);
}

void Workbench::endBatch(BatchEnd end, const QString& reason)
{
    m_batchRunning = false;
    m_batchStopRequest.reset();
    Q_EMIT batchEnded(end, reason);
}

void Workbench::tellBatchProgress(const QString& outcome, const QString& sentTo)
{
    const QString relays = m_state.lstIPs.isEmpty() ? u"none"_s : m_state.lstIPs.join(u", "_s);
    const QStringList addresses = sentTo.split(u';', Qt::SkipEmptyParts);
    const QString recipients = addresses.isEmpty() ? u"nobody"_s : addresses.join(u", "_s);
    Q_EMIT batchProgress(u"%1: relays %2; to %3; %4"_s.arg(loadedSubjects(), relays, recipients, outcome));
}

// What became of a sent message, and the desks that refused it for now.
QString Workbench::sentToOutcome(const QString& outcome, const QStringList& deferred) const
{
    return deferred.isEmpty() ? outcome : outcome + u"; refused for now by "_s + deferred.join(u", "_s);
}

QString Workbench::loadedSubjects() const
{
    QStringList subjects;
    for (const LoadedMessage& message : m_loaded) {
        subjects.append(u'"' + message.subject + u'"');
    }
    return subjects.join(u", "_s);
}

QStringList Workbench::loadedEntryIds() const
{
    QStringList ids;
    for (const LoadedMessage& message : m_loaded) {
        ids.append(message.entryId);
    }
    return ids;
}
