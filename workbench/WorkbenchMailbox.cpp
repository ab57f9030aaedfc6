// SPDX-License-Identifier: GPL-3.0-or-later
// The workbench's mailbox commands: loading a message from the mail store and
// sending the complaint. The batch run over the source folder is BatchRun's.
#include "common/LineEnds.h"
#include "complaint/ComplaintText.h"
#include "workbench/Workbench.h"
#include "workbench/WorkbenchHost.h"

using namespace Qt::StringLiterals;

namespace {

const QString Inbox = u"Inbox"_s;

} // namespace

void Workbench::StartFromMailbox()
{
    if (m_batch.refuseStart() || m_mail.isBusy() || refuseBatchWithoutMailHosts()) {
        return;
    }
    if (m_state.chkAutomate && !claimSourceFolder()) {
        return;
    }
    m_state.blnUseOutlook = true;
    m_batch.begin();
    loadAndStart();
}

// Without configured mail hosts the source is inferred from the registered
// domain of the final server, which takes a forwarder for the source in some
// messages: a batch, which sends unattended, does not start on that guess.
bool Workbench::refuseBatchWithoutMailHosts()
{
    if (!m_state.chkAutomate || !m_trustOptions.enabled || !m_trustOptions.mailHosts.isEmpty()) {
        return false;
    }
    const QString reason = u"Relay trust is on but no mail hosts are configured, so the batch does not start. Name "
                           u"your provider's mail hosts in [trust] mailhosts= of the settings file, or learn them "
                           u"with zelkor-report --learn-mailhosts --write."_s;
    setStatus(reason);
    Q_EMIT batchEnded(BatchEnd::Stopped, reason);
    return true;
}

// The trace of the message shown so far ends before another is loaded.
void Workbench::loadAndStart()
{
    dropTrace();
    m_loaded.clear();
    LoadSelectedEmail([this](LoadOutcome outcome) { afterLoad(outcome); });
}

void Workbench::afterLoad(LoadOutcome outcome)
{
    const bool loaded = outcome == LoadOutcome::Loaded;
    if (loaded && !m_batch.stopsBeforeTracing()) {
        Start();
    }
    Q_EMIT mailboxLoadEnded(loaded);
    m_batch.loadEnded(outcome, isTracing(), m_notTraced);
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

void Workbench::mailFailed(const MailError& error)
{
    setStatus(SomethingBadHappened + error.description);
}

void Workbench::endOfBatch(BatchRun::End end, const QString& reason)
{
    if (!m_claimedFolder.isEmpty()) {
        m_journal.release(m_claimedFolder);
        m_claimedFolder.clear();
    }
    switch (end) {
    case BatchRun::End::Finished:
        Q_EMIT batchEnded(BatchEnd::Finished, reason);
        return;
    case BatchRun::End::Cancelled:
        Q_EMIT batchEnded(BatchEnd::Cancelled, reason);
        return;
    case BatchRun::End::Stopped:
        Q_EMIT batchEnded(BatchEnd::Stopped, reason);
        return;
    }
}
