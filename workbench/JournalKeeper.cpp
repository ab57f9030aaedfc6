// SPDX-License-Identifier: GPL-3.0-or-later
#include "workbench/JournalKeeper.h"

using namespace Qt::StringLiterals;

namespace {

constexpr auto Day = std::chrono::hours(24);

} // namespace

JournalKeeper::JournalKeeper(QString path)
    : m_path(std::move(path))
    , m_limits(defaultDailyLimits())
{}

JournalKeeper::~JournalKeeper() = default;

Journal* JournalKeeper::journal()
{
    if (!m_journal) {
        m_journal = std::make_unique<Journal>(m_path);
    }
    if (!m_journal->open()) {
        m_error = m_journal->error();
        return nullptr;
    }
    return m_journal.get();
}

// Remembers the journal's reason, so the caller can say why.
template <typename T>
std::optional<T> JournalKeeper::failed()
{
    m_error = m_journal ? m_journal->error() : m_error;
    return std::nullopt;
}

QString JournalKeeper::noteNotKept()
{
    if (m_notKeptSaid || m_error.isEmpty()) {
        return {};
    }
    m_notKeptSaid = true;
    return u"The journal is not kept: "_s + m_error;
}

std::optional<std::optional<JournalComplaint>> JournalKeeper::reported(const MessageKey& message)
{
    if (m_path.isEmpty()) {
        return std::optional<JournalComplaint>();
    }
    Journal* const journal = this->journal();
    if (journal == nullptr) {
        return std::nullopt;
    }
    auto found = journal->findReported(message);
    if (!found) {
        return failed<std::optional<JournalComplaint>>();
    }
    m_notKeptSaid = false;
    return found;
}

std::optional<qint64> JournalKeeper::handed(const JournalComplaint& complaint)
{
    if (m_path.isEmpty()) {
        return qint64(0);
    }
    Journal* const journal = this->journal();
    if (journal == nullptr) {
        return std::nullopt;
    }
    const std::optional<qint64> id = journal->recordHanded(complaint);
    return id ? id : failed<qint64>();
}

bool JournalKeeper::answered(qint64 id, const JournalComplaint& answer)
{
    if (m_path.isEmpty()) {
        return true;
    }
    Journal* const journal = this->journal();
    if (journal == nullptr || !journal->recordAnswer(id, answer)) {
        failed<bool>();
        return false;
    }
    return true;
}

bool JournalKeeper::disposed(const JournalDisposal& disposal)
{
    if (m_path.isEmpty()) {
        return true;
    }
    Journal* const journal = this->journal();
    if (journal == nullptr || !journal->recordDisposal(disposal)) {
        failed<bool>();
        return false;
    }
    return true;
}

// A registry without a limit is never counted, so a journal that fails
// matters only for the registries that have one.
JournalKeeper::Allowance JournalKeeper::allowance(const QString& registry, const QDateTime& now)
{
    const qint64 limit = m_limits.value(registry.toUpper(), 0);
    if (limit <= 0 || m_path.isEmpty()) {
        return {};
    }
    Journal* const journal = this->journal();
    const QDateTime since = now.addDuration(-Day);
    const std::optional<qint64> used = journal ? journal->countQueries(u"whois"_s, registry, since) : std::nullopt;
    if (!used) {
        failed<bool>();
        return {.exceeded = {},
                .uncounted =
                    u"the lookups at %1 cannot be counted against its daily allowance: %2"_s.arg(registry, m_error)};
    }
    if (*used < limit) {
        return {};
    }
    // The allowance frees up when enough of the counted lookups are 24 hours old.
    const std::optional<QDateTime> oldest = journal->queryTime(u"whois"_s, registry, since, *used - limit);
    const QString frees = oldest && oldest->isValid() ? journalTimeText(oldest->addDuration(Day)) : u"later"_s;
    return {.exceeded = u"%1 allows %2 whois lookups in 24 hours ([whois] daily_limit=), and %3 were made; its "
                        u"allowance frees up at %4"_s.arg(registry)
                            .arg(limit)
                            .arg(*used)
                            .arg(frees),
            .uncounted = {}};
}

std::optional<qint64> JournalKeeper::asked(const JournalQuery& query)
{
    if (m_path.isEmpty()) {
        return qint64(0);
    }
    Journal* const journal = this->journal();
    const std::optional<qint64> id = journal ? journal->recordQuery(query) : std::nullopt;
    return id ? id : failed<qint64>();
}

namespace {

QByteArray bytesOf(const Ipv6Bytes& address)
{
    return {reinterpret_cast<const char*>(address.data()), qsizetype(address.size())};
}

} // namespace

bool JournalKeeper::keepAnswer(qint64 id, const QString& answer, const std::optional<NetworkRange>& range)
{
    if (m_path.isEmpty() || id <= 0) {
        return true;
    }
    Journal* const journal = this->journal();
    if (journal == nullptr || !journal->recordQueryAnswer(id, answer, range ? bytesOf(range->first) : QByteArray(),
                                                          range ? bytesOf(range->last) : QByteArray())) {
        failed<bool>();
        return false;
    }
    return true;
}

std::optional<JournalQuery> JournalKeeper::cachedAnswer(const QString& registry, const QString& query,
                                                        std::chrono::hours maxAge, const QDateTime& now)
{
    if (m_path.isEmpty() || maxAge.count() <= 0) {
        return std::nullopt;
    }
    Journal* const journal = this->journal();
    const std::optional<Ipv6Bytes> address = addressBytes(query);
    const auto found = journal
                           ? journal->cachedAnswer(u"whois"_s, registry, query,
                                                   address ? bytesOf(*address) : QByteArray(), now.addDuration(-maxAge))
                           : std::nullopt;
    if (!found) {
        failed<bool>();
        return std::nullopt;
    }
    return *found;
}

std::optional<FolderClaim> JournalKeeper::claim(const QString& folder)
{
    if (m_path.isEmpty()) {
        return FolderClaim{.taken = true, .since = {}, .pid = 0, .host = {}};
    }
    Journal* const journal = this->journal();
    if (journal == nullptr) {
        return std::nullopt;
    }
    const std::optional<FolderClaim> claim = journal->claimFolder(folder);
    return claim ? claim : failed<FolderClaim>();
}

void JournalKeeper::release(const QString& folder)
{
    if (Journal* const journal = m_path.isEmpty() ? nullptr : this->journal()) {
        journal->releaseFolder(folder);
    }
}

QString journalTimeText(const QDateTime& when)
{
    return when.toUTC().toString(u"yyyy-MM-dd HH:mm"_s) + u" UTC"_s;
}
