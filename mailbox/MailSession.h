// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/MailError.h"
#include "mailbox/MailItem.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

class MailStore;

/// The mail layer as the workbench uses it: every operation runs on a thread of
/// its own, one after another in the order asked, and its end comes back as a
/// call of `done` on the thread that asked, from its event loop. The window's
/// thread never waits for a mail server.
///
/// Each operation reads the settings file afresh, so an edited account counts
/// from the next operation on.
class MailSession final : public QObject
{
    Q_OBJECT

public:
    /// The store's session is open; its foremost folder is named by `caption`.
    struct Connected
    {
        MailError error;
        QString caption;
        /// Where reported messages go instead of being deleted (empty: deleted).
        QString trashFolder;
        /// Where the batch puts messages it cannot report (empty: nowhere).
        QString unreportedFolder;
    };

    /// One selected message: its texts and its header block as received.
    struct SelectedItem
    {
        MailItem item;
        MailResult<QString> header = MailError{MailFailure::Other, QString()};
    };

    struct Selection
    {
        MailError error;
        std::vector<SelectedItem> items;
    };

    /// The messages left the source folder, but for those already gone.
    struct Disposed
    {
        MailError error;
        QStringList gone;
    };

    struct Sent
    {
        MailError error;
        /// Recipients the server refused while it took the message for others.
        QStringList refused;
        /// Recipients the server refused for now while it took the message for others.
        QStringList deferred;
    };

    explicit MailSession(QObject* parent = nullptr);
    ~MailSession() override;
    Q_DISABLE_COPY_MOVE(MailSession)

    /// Opens a session on the configured store and its source folder; a new
    /// connection replaces an earlier one.
    void ConnectOutlook(std::function<void(Connected)> done);

    /// The source folder's selection, each item with its header
    /// (GetMessage), read on the session that ConnectOutlook opened.
    void TakeSelection(std::function<void(Selection)> done);

    /// Releases the store's session; nothing is expunged.
    void DisconnectOutlook();

    /// Deletes the messages from the source folder, or moves them to `folder`
    /// (created when missing) when it is not empty, on the session that
    /// ConnectOutlook opened. A message that is no longer there is listed in
    /// `gone`; any other failure stops at that message.
    void Dispose(const QStringList& entryIds, const QString& folder, std::function<void(Disposed)> done);

    /// Sends one message through the configured transport; no store is opened.
    void Send(const QString& subject, const QString& to, const QString& body, std::function<void(Sent)> done);

    /// Whether an operation is asked for and has not come back yet.
    bool isBusy() const { return m_pending > 0; }

Q_SIGNALS:
    /// The first operation was asked for, or the last one came back.
    void busyChanged(bool busy);

private:
    /// Runs `operation` on the mail thread and `done` with its result here.
    template <typename Result>
    void post(std::function<Result()> operation, std::function<void(Result)> done);
    void operationEnded();

    QThread m_thread;
    /// Lives on the mail thread: the queued operations are delivered to it.
    QObject* m_worker = nullptr;
    /// The store's session, touched only by operations on the mail thread.
    std::shared_ptr<std::unique_ptr<MailStore>> m_store;
    int m_pending = 0;
};
