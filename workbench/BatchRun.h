// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/Journal.h"
#include "mailbox/MailSession.h"
#include "workbench/WhoisTrace.h"
#include "workbench/WorkbenchState.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

/// The batch run over the mailbox's source folder: at the end of each loaded
/// message's trace the complaint is sent, exactly that message is deleted or
/// moved, and the next one is loaded, until the folder is empty or something
/// stops the batch. Only the messages the last load recorded are touched, and
/// only once their complaint is out.
class JournalKeeper;

class BatchRun final
{
public:
    /// How a batch run ended.
    enum class End
    {
        Finished,  ///< the source folder is empty
        Cancelled, ///< the Inbox warning was answered Cancel
        Stopped,   ///< a failure or a message that needs the user; the status line says which
    };

    /// How a mailbox load ended.
    enum class LoadOutcome
    {
        Loaded,
        Empty,
        Cancelled,
        Failed
    };

    /// A message that the boxes were filled from, for the batch to dispose of.
    struct LoadedMessage
    {
        QString entryId;
        QString subject;
    };

    /// What the batch needs of the workbench that runs it.
    class Bench
    {
    public:
        virtual const WorkbenchState& state() const = 0;
        virtual void setStatus(const QString& text) = 0;
        /// The messages the last mailbox load filled the boxes from.
        virtual const QList<LoadedMessage>& loadedMessages() const = 0;
        /// Sends the complaint as Report Spammer does, once the journal has
        /// recorded it; false when it could not (nothing is sent then).
        /// `journalled` tells whether the journal recorded the transport's answer.
        virtual bool sendComplaint(std::function<void(const MailSession::Sent&, bool journalled)> done) = 0;
        /// Loads the source folder's next message and runs Start on it.
        virtual void loadNextMessage() = 0;
        virtual void endOfBatch(End end, const QString& reason) = 0;
        virtual void progressOfBatch(const QString& line) = 0;

    protected:
        ~Bench() = default;
    };

    BatchRun(Bench& bench, MailSession& mail, JournalKeeper& journal);

    /// From the mailbox Start with the batch box ticked to the batch's end.
    bool isRunning() const { return m_running; }
    void begin();

    /// A Start while the batch works would take its message's place in the
    /// boxes: it is refused, and the status line says so.
    bool refuseStart();

    /// Clear Result, after the boxes were emptied: when it ended the trace of
    /// the batch's message (`endedTrace`), nothing is sent or touched and the
    /// batch stops at once; a mail step under way finishes first, and the
    /// batch stops after it.
    void clearResult(bool endedTrace);

    /// Whether the batch stops before the Start on the message just loaded.
    bool stopsBeforeTracing() const { return m_running && m_stopRequest.has_value(); }
    /// A mailbox load has ended; `traced` tells whether the Start on the loaded
    /// message started a trace, `notTraced` why not.
    void loadEnded(LoadOutcome outcome, bool traced, const QString& notTraced);

    /// The trace of the text in the boxes has ended; `rdapRefusal` is set when
    /// an RDAP server of the run refused queries.
    void traceEnded(const WhoisTrace& trace, WhoisTrace::End end, const QString& reason,
                    const std::optional<QString>& rdapRefusal);

private:
    bool isBatchTicked() const;
    void ProcessNextEmail(const WhoisTrace& trace, const std::optional<QString>& rdapRefusal);
    std::optional<QString> whyNotToSend(const WhoisTrace& trace, const std::optional<QString>& rdapRefusal) const;
    void sendOrSkip();
    void disposeReported(const QString& sentTo, const QStringList& deferred,
                         const std::optional<JournalComplaint>& earlier = {});
    void journalDisposal(const QString& how, const QString& folder = {}, const QString& reason = {});
    void stopAfterSending(const MailError& error, const QString& sentTo, const QStringList& deferred);
    void setAsideUnreportable(const QString& reason, const QString& triedTo = {});
    void goOn();
    void mailFailed(const MailError& error);
    void stop(const QString& status);
    void end(End end, const QString& reason);
    void tellProgress(const QString& outcome, const QString& sentTo = {});
    QString loadedSubjects() const;
    QStringList loadedEntryIds() const;

    Bench& m_bench;
    MailSession& m_mail;
    JournalKeeper& m_journal;
    bool m_running = false;
    /// Set when the batch was told to stop while a mail step was under way.
    std::optional<QString> m_stopRequest;
};
