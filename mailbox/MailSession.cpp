// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/MailSession.h"

#include "mailbox/MailPasswords.h"
#include "mailbox/MailSettings.h"
#include "mailbox/MailStore.h"
#include "mailbox/MailTransport.h"

using namespace Qt::StringLiterals;

namespace {

MailResult<MailSettings> currentSettings()
{
    return MailSettings::load(MailSettings::defaultPath());
}

MailSession::Connected openStore(std::unique_ptr<MailStore>& store)
{
    store.reset();
    const MailResult<MailSettings> settings = currentSettings();
    if (!settings.ok()) {
        return {settings.error(), {}, {}, {}};
    }
    auto opened = std::make_unique<MailStore>(settings.value(), lookupMailPassword(MailRole::Store, settings.value()));
    if (MailError error = opened->open()) {
        return {std::move(error), {}, {}, {}};
    }
    store = std::move(opened);
    return {{}, store->caption(), settings.value().trashFolder, settings.value().unreportedFolder};
}

MailSession::Disposed dispose(MailStore* store, const QStringList& entryIds, const QString& folder)
{
    if (store == nullptr || !store->isOpen()) {
        return {{MailFailure::Other, u"no mail session is open"_s}, {}};
    }
    MailSession::Disposed disposed;
    for (const QString& entryId : entryIds) {
        MailError error = folder.isEmpty() ? store->Delete(entryId) : store->Move(entryId, folder);
        if (error.kind == MailFailure::MessageGone) {
            disposed.gone.append(entryId);
        } else if (error) {
            disposed.error = std::move(error);
            break;
        }
    }
    return disposed;
}

MailSession::Selection readSelection(MailStore* store)
{
    if (store == nullptr || !store->isOpen()) {
        return {{MailFailure::Other, u"no mail session is open"_s}, {}};
    }
    MailResult<std::vector<MailItem>> selected = store->selection();
    if (!selected.ok()) {
        return {selected.error(), {}};
    }
    MailSession::Selection selection;
    for (MailItem& item : selected.value()) {
        MailResult<QString> header = store->GetMessage(item.EntryID);
        selection.items.push_back({std::move(item), std::move(header)});
    }
    return selection;
}

MailSession::Sent sendMessage(const QString& subject, const QString& to, const QString& body)
{
    const MailResult<MailSettings> settings = currentSettings();
    if (!settings.ok()) {
        return {settings.error(), {}, {}};
    }
    MailTransport transport(settings.value(), lookupMailPassword(MailRole::Transport, settings.value()));
    const MailResult<SendOutcome> outcome = transport.send(subject, to, body);
    if (!outcome.ok()) {
        return {outcome.error(), {}, {}};
    }
    return {{}, outcome.value().refused, outcome.value().deferred};
}

} // namespace

MailSession::MailSession(QObject* parent)
    : QObject(parent)
    , m_worker(new QObject)
    , m_store(std::make_shared<std::unique_ptr<MailStore>>())
{
    m_thread.setObjectName(u"mail"_s);
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

// Waits for the operation under way (at most the network timeout) and ends the
// store's session on the mail thread, where it was opened.
MailSession::~MailSession()
{
    QMetaObject::invokeMethod(m_worker, [store = m_store] { store->reset(); });
    m_thread.quit();
    m_thread.wait();
}

template <typename Result>
void MailSession::post(std::function<Result()> operation, std::function<void(Result)> done)
{
    if (m_pending++ == 0) {
        Q_EMIT busyChanged(true);
    }
    // The session outlives every operation (its destructor waits for the mail
    // thread); a result that comes back while it is being destroyed is dropped
    // with the session's posted events.
    QMetaObject::invokeMethod(m_worker, [this, operation = std::move(operation), done = std::move(done)] {
        Result result = operation();
        QMetaObject::invokeMethod(
            this,
            [this, done, result = std::move(result)] {
                operationEnded();
                if (done) {
                    done(result);
                }
            },
            Qt::QueuedConnection);
    });
}

void MailSession::operationEnded()
{
    if (--m_pending == 0) {
        Q_EMIT busyChanged(false);
    }
}

void MailSession::ConnectOutlook(std::function<void(Connected)> done)
{
    post<Connected>([store = m_store] { return openStore(*store); }, std::move(done));
}

void MailSession::TakeSelection(std::function<void(Selection)> done)
{
    post<Selection>([store = m_store] { return readSelection(store->get()); }, std::move(done));
}

void MailSession::DisconnectOutlook()
{
    post<bool>(
        [store = m_store] {
            store->reset();
            return true;
        },
        {});
}

void MailSession::Dispose(const QStringList& entryIds, const QString& folder, std::function<void(Disposed)> done)
{
    post<Disposed>([store = m_store, entryIds, folder] { return dispose(store->get(), entryIds, folder); },
                   std::move(done));
}

void MailSession::Send(const QString& subject, const QString& to, const QString& body, std::function<void(Sent)> done)
{
    post<Sent>([subject, to, body] { return sendMessage(subject, to, body); }, std::move(done));
}
