// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/MailSession.h"
#include "whois/WhoisLookup.h"
#include "workbench/BatchRun.h"
#include "workbench/JournalKeeper.h"
#include "workbench/RelayContactLookups.h"
#include "workbench/WhoisTrace.h"
#include "workbench/WorkbenchState.h"

#include <QHash>
#include <QObject>

#include <memory>
#include <optional>

/// The title of the question Report Spammer asks about a message the
/// journal has reported already.
inline constexpr QStringView AlreadyReportedTitle = u"Already reported";
/// Starts the status line when Report Spammer did not send again.
inline constexpr QStringView NotSentAgain = u"Not sent again: ";

class HostResolver;
class WorkbenchHost;
struct MessageText;

/// The report workbench without widgets: the state of the main window and its
/// commands. The window shows this state and forwards its clicks here; the
/// headless front end drives it the same way.
///
/// A run is synchronous up to the first whois lookup (`Start`); the trace then
/// goes on by itself on the event loop, one lookup per window, until
/// `traceFinished`.
class Workbench final : public QObject, private BatchRun::Bench
{
    Q_OBJECT

public:
    enum class Field
    {
        Header,
        Body,
        Subject,
        ParsedHeader,
        IPs,
        Domains,
        Tracking,
        Status,
        Abuse,
        Automate,
        MailBusy,
        Rdap,
        ContactDb,
        ReverseLookup
    };
    Q_ENUM(Field)

    /// How a batch run ended.
    enum class BatchEnd
    {
        Finished,  ///< the source folder is empty
        Cancelled, ///< the Inbox warning was answered Cancel
        Stopped,   ///< a failure or a message that needs the user; the status line says which
    };
    Q_ENUM(BatchEnd)

    struct Dependencies
    {
        HostResolver& resolver;
        WorkbenchHost& host;
        /// Where donotsend.txt lives.
        QString programDirectory;
        WhoisLookup::Options whois;
        /// How RDAP lookups are made once `setRdapEnabled` turns them on.
        RdapClient::Options rdap = {};
        /// The DNS servers and time limit of the contact database, once
        /// `setContactZone` names its zone.
        ContactDbClient::Options contactDb = {};
        /// The journal of complaints and lookups (Journal::defaultPath() in
        /// the programs); empty keeps none.
        QString journalPath = {};
    };

    explicit Workbench(Dependencies dependencies, QObject* parent = nullptr);
    ~Workbench() override;
    Q_DISABLE_COPY_MOVE(Workbench)

    const WorkbenchState& state() const override { return m_state; }

    /// Window load: starts the resolver; a failure is shown and loading goes on.
    void Load();
    /// Window unload: stops the resolver, ignoring any failure.
    void Unload();

    /// The Start command: parses the header, resolves the first relay address,
    /// proposes its abuse address and starts the whois trace at ARIN.
    void Start();
    /// The manual group's Start: the text in the boxes is the user's own, so the
    /// run is not tied to a message of the mailbox; then the Start command.
    void StartByHand();
    /// The Clear Result command: empties the texts and lists, "Cleared".
    void ClearResult();

    /// The mailbox group's Start: loads the mailbox's selected message and runs
    /// Start. The load goes on in the background; `mailboxLoadEnded` tells its end.
    /// With the batch box ticked this starts a batch run: at the end of each
    /// trace the complaint is sent, the message deleted and the next one
    /// loaded, until `batchEnded`. Ignored while another mail operation is under way.
    void StartFromMailbox();
    /// The Report Spammer command: sends the complaint by e-mail in the
    /// background; `complaintSendEnded` tells its end. Ignored while another
    /// mail operation is under way.
    void ReportSpammer();
    /// A click on the batch box: ticks or unticks it and says what that means.
    void AutomateClicked(bool ticked);

    /// Fills the header, body and subject boxes from a message; the subject is
    /// the header's Subject value, unfolded but not decoded.
    void LoadMessage(const MessageText& message);
    /// Shows a message of the program's own in the status line.
    void ShowStatus(const QString& text) { setStatus(text); }

    /// Without the trace the Start command ends after its own steps, with
    /// `strCurrentIP` set and no whois lookup made.
    void setTraceEnabled(bool enabled) { m_traceEnabled = enabled; }

    /// Whether a whois trace is under way.
    bool isTracing() const { return m_trace != nullptr && m_trace->isRunning(); }
    /// Whether a batch run is under way: from the mailbox Start with the batch
    /// box ticked until `batchEnded`.
    bool isBatchRunning() const { return m_batch.isRunning(); }

    /// With relay trust on, a run is about the source hop alone: it is reverse-
    /// resolved and traced (and, when asked, the hops beyond it, whose rows
    /// arrive ticked); the relay list shows every hop of the `Received` chain.
    /// Off by default: every relay address is traced.
    void setTrust(TrustOptions options) { m_trustOptions = std::move(options); }

    /// With designated desks on, each relay's rows that its answers do not
    /// designate for abuse reports arrive ticked (see DesignatedTicks), and
    /// addresses an answer designates where the harvest cannot read them are
    /// added. Off by default: the rows are as the harvest makes them.
    void setDesignated(bool enabled) { m_designated = enabled; }
    bool isDesignated() const { return m_designated; }

    /// With RDAP on, Start also asks each relay address's registry over RDAP
    /// for the network's abuse contact, and the trace adds those addresses after
    /// the whois ones of that relay. Off by default: the results are the whois
    /// trace's alone.
    void setRdapEnabled(bool enabled);
    bool isRdapEnabled() const { return m_contacts.isRdapEnabled(); }

    /// With a zone named, Start also asks that DNS contact database for each
    /// traced relay address's abuse addresses, added after the relay's RDAP
    /// ones. Empty (the default) asks nothing.
    void setContactZone(const QString& zone);
    QString contactZone() const { return m_contacts.contactZone(); }

    /// The registries' whois allowances per 24 hours, counted from the
    /// journal: a batch makes no lookup that would pass one (it stops), a
    /// single run says so and asks all the same. The defaults until set.
    void setDailyLimits(DailyLimits limits) { m_journal.setDailyLimits(std::move(limits)); }
    /// Report Spammer about a message the journal has already reported asks
    /// before it sends again; with this set it sends without asking.
    void setSendAgain(bool again) { m_sendAgain = again; }
    /// With hours above 0, a whois answer kept in the journal younger than
    /// that stands for the same lookup (and a final answer for every address
    /// in the range it states), without asking the registry. 0 (the default):
    /// every lookup is asked.
    void setCacheHours(int hours) { m_cacheHours = std::chrono::hours(hours); }

    void setHeaderText(const QString& text);
    void setBodyText(const QString& text);
    void setSubjectText(const QString& text);
    void setAbuseTicked(qsizetype row, bool ticked);
    void setAutomate(bool ticked);

Q_SIGNALS:
    void changed(Workbench::Field field);
    /// The trace has ended: an evaluation started no further lookup.
    void traceFinished();
    /// The mailbox group's Start has ended: `loaded` when a message was loaded
    /// and the Start command has run on it.
    void mailboxLoadEnded(bool loaded);
    /// The complaint was handed to the transport (`sent`), or sending failed.
    void complaintSendEnded(bool sent);
    /// A batch run has ended; `reason` says why in words.
    void batchEnded(Workbench::BatchEnd end, const QString& reason);
    /// One line per message of a batch: subject, relays, recipients and what
    /// became of the message.
    void batchProgress(const QString& line);
    /// The RDAP lookup of relay address `index` has come back (see state().rdap).
    void rdapAnswered(qsizetype index);
    /// The contact-database lookup of relay address `index` has come back
    /// (see state().contactDb).
    void contactDbAnswered(qsizetype index);

private:
    void runStart();
    bool parseIntoLists();
    void planRelays();
    bool isBeyondRow(qsizetype row) const;
    bool refuseBatchWithoutMailHosts();
    void proposeAbuseAddress(const QString& address);
    void DescribeResolverError(int code);
    bool DontSend(const QString& address) const;

    enum BusyReason : unsigned
    {
        ResolvingName = 1U << 0U,
        LookingUpWhois = 1U << 1U,
        UsingMail = 1U << 2U,
    };
    /// The busy pointer shows while any reason holds.
    void setBusyReason(BusyReason reason, bool busy);

    using LoadOutcome = BatchRun::LoadOutcome;

    void loadAndStart();
    void afterLoad(LoadOutcome outcome);
    void LoadSelectedEmail(std::function<void(LoadOutcome)> done);
    void takeSelection(std::function<void(LoadOutcome)> done);
    bool showSelection(const std::vector<MailSession::SelectedItem>& items);
    bool SendComplaint(std::function<void(const MailSession::Sent&, bool journalled)> done, bool journalRequired);
    bool mayReportAgain();
    void mailFailed(const MailError& error);
    bool claimSourceFolder();
    WhoisTrace::Permission permitLookup(RegistryId registry, const QString& query);
    void journalRdapLookup(const QUrl& url, const QString& address);
    std::optional<WhoisTrace::Permission> cachedLookup(const QString& registry, const QString& query);
    void keepAnswer(const QString& answer, bool final);
    void noteJournalNotKept();

    // What the batch asks of the workbench.
    void setStatus(const QString& text) override;
    const QList<BatchRun::LoadedMessage>& loadedMessages() const override { return m_loaded; }
    bool sendComplaint(std::function<void(const MailSession::Sent&, bool journalled)> done) override
    {
        return SendComplaint(std::move(done), true);
    }
    void loadNextMessage() override { loadAndStart(); }
    void endOfBatch(BatchRun::End end, const QString& reason) override;
    void progressOfBatch(const QString& line) override { Q_EMIT batchProgress(line); }

    void startTrace();
    void dropTrace();
    void traceMoved(qsizetype index, const QString& query);
    void EvaluateAnswer(const QString& strIn);
    void finishRelayAddress(const QString& strIn);
    void advanceToNextRelay();
    void traceEnded(WhoisTrace::End end, const QString& reason);

    void connectContactLookups();
    void startContactLookups();
    void stopContactLookups();
    void contactLookupEnded(qsizetype row);
    void appendContactRows(qsizetype row);

    void setTracking(const QString& text);
    void appendAbuse(const QString& address, const QString& source, const QString& role, const QString& server = {},
                     bool ticked = false);
    void designateRelayRows();
    void appendDomain(const QString& domain);
    void clearAbuse();

    /// Changes one piece of the state and announces it.
    template <typename T>
    void assign(T& slot, const T& value, Field field)
    {
        slot = value;
        Q_EMIT changed(field);
    }

    WorkbenchState m_state;
    HostResolver& m_resolver;
    WorkbenchHost& m_host;
    QString m_programDirectory;
    WhoisLookup m_whois;
    MailSession m_mail;
    /// The messages the last mailbox load filled the boxes from.
    QList<BatchRun::LoadedMessage> m_loaded;
    /// The trace of the last Start: none before the first, when that Start
    /// found nothing to trace, or once a mailbox load began. A new Start drops it,
    /// so the trace that ends is always the one of the text in the boxes.
    WhoisTrace* m_trace = nullptr;
    /// With relay trust on, the `Received` chain's addresses: the relay list.
    QStringList m_chainAddresses;
    /// The rows of lstIPs the last Start traces, in order.
    QList<qsizetype> m_tracedRows;
    TrustOptions m_trustOptions;
    bool m_designated = false;
    /// The first row of the abuse list that belongs to the relay being traced.
    qsizetype m_relayRowsStart = 0;
    /// Why the last Start started no trace.
    QString m_notTraced;
    /// Why the batch must stop before the next message: an RDAP server of this
    /// run refused to answer because of too many queries.
    std::optional<QString> m_refusal;
    JournalKeeper m_journal;
    /// The source folder the running batch claimed in the journal.
    QString m_claimedFolder;
    bool m_sendAgain = false;
    /// What a single run said of a lookup past a registry's allowance; shown
    /// again when the trace ends, as the lookups' own texts replace it.
    QString m_allowanceNote;
    std::chrono::hours m_cacheHours{0};
    /// The journal's id and the query text of the whois lookup under way.
    qint64 m_lookupId = 0;
    QString m_lookupQuery;
    BatchRun m_batch{*this, m_mail, m_journal};
    bool m_starting = false;
    RelayContactLookups m_contacts;
    /// The relay address whose trace waits for its RDAP or contact-database
    /// lookup to come back.
    std::optional<qsizetype> m_waitingForContacts;
    unsigned m_busyReasons = 0;
    bool m_traceEnabled = true;
};
