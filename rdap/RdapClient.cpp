// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/RdapClient.h"

#include "rdap/RdapAnswer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// RDAP answers for one network are a few kilobytes; this bounds what a broken
// or hostile server can make the program hold.
constexpr qint64 LargestAnswer = 1024 * 1024;
constexpr int MostRedirects = 3;
// Abuse entities without an e-mail address whose self link is fetched, per lookup.
constexpr qsizetype MostEntityFetches = 4;
// The bootstrap copy in the cache is fetched again when it is this old.
constexpr int BootstrapAgeDays = 30;
constexpr int RefreshTimeoutMs = 30 * 1000;

// The cached copies of both bootstrap files are refreshed from these, where
// IANA publishes them (RFC 9224 section 4).
const QString IanaBootstrapUrl = u"https://data.iana.org/rdap/ipv4.json"_s;
const QString IanaBootstrapUrl6 = u"https://data.iana.org/rdap/ipv6.json"_s;

QString zelkorCacheDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + u"/zelkor"_s;
}

QString describe(std::chrono::milliseconds limit)
{
    if (limit.count() % 1000 == 0) {
        return u"%1 s"_s.arg(limit.count() / 1000);
    }
    return u"%1 ms"_s.arg(limit.count());
}

QString standardReasonPhrase(int status)
{
    switch (status) {
    case 400:
        return u"Bad Request"_s;
    case 403:
        return u"Forbidden"_s;
    case 404:
        return u"Not Found"_s;
    case 429:
        return u"Too Many Requests"_s;
    case 500:
        return u"Internal Server Error"_s;
    case 502:
        return u"Bad Gateway"_s;
    case 503:
        return u"Service Unavailable"_s;
    case 504:
        return u"Gateway Timeout"_s;
    default:
        return {};
    }
}

// "HTTP 404 (Not Found)", with the server's reason phrase when it sent one.
QString describeStatus(int status, const QNetworkReply& reply)
{
    QString phrase = printableExcerpt(
        QString::fromLatin1(reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray()), 40);
    if (phrase.isEmpty()) {
        phrase = standardReasonPhrase(status);
    }
    return phrase.isEmpty() ? u"HTTP %1"_s.arg(status) : u"HTTP %1 (%2)"_s.arg(status).arg(phrase);
}

// The "title" of an RDAP error object sent along with an HTTP error, if any.
QString errorTitle(const QByteArray& body)
{
    return printableExcerpt(QJsonDocument::fromJson(body).object().value("title"_L1).toString());
}

QNetworkRequest rdapRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/rdap+json");
    // Qt stops at each redirect and asks (onRedirected): https only, or http on
    // loopback, and at most MostRedirects of them per request.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    return request;
}

// "<base>ip/<address>", with exactly one "/" between base and path.
QUrl queryUrl(const QUrl& base, const QString& address)
{
    QUrl url = base;
    url.setQuery(QString());
    url.setFragment(QString());
    QString path = base.path(QUrl::FullyEncoded);
    if (!path.endsWith(u'/')) {
        path += u'/';
    }
    url.setPath(path + u"ip/"_s + address, QUrl::TolerantMode);
    return url;
}

} // namespace

struct RdapClient::Lookup
{
    quint64 ticket = 0;
    RdapResult result;
    Ipv4 address = 0;
    /// Set for an IPv6 lookup, which then has no use for `address`.
    std::optional<Ipv6> address6;
    QUrl base;
    /// The server of the base URL: lookups queue and are refused per server.
    QString origin;
    /// The lookup has its server's turn.
    bool started = false;
    QTimer deadline;
    QNetworkReply* reply = nullptr;
    /// The reply is an abuse entity fetched by its self link, not the answer.
    bool fetchingEntity = false;
    int redirects = 0;
    QByteArray body;
    /// The URL whose answer is being read, after redirects.
    QUrl answerUrl;
    QList<QUrl> entityLinks;
    std::optional<Ipv4Range> range;
    std::optional<Ipv6Range> range6;
    /// Why an abuse entity could not be read; such a result is not cached.
    QString entityFailure;
};

RdapClient::RdapClient(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_network(new QNetworkAccessManager(this))
    , m_cache(m_options.cacheDirectory.isEmpty() ? zelkorCacheDirectory() + u"/rdap"_s : m_options.cacheDirectory)
{
    loadBootstrap();
}

RdapClient::~RdapClient()
{
    cancelAll();
}

void RdapClient::loadBootstrap()
{
    const QString named =
        m_options.bootstrapFile.isEmpty() ? qEnvironmentVariable("ZELKOR_RDAP_BOOTSTRAP") : m_options.bootstrapFile;
    loadBootstrap(RdapBootstrap::Family::IPv4, named, true);
    const QString named6 =
        m_options.bootstrapFile6.isEmpty() ? qEnvironmentVariable("ZELKOR_RDAP_BOOTSTRAP6") : m_options.bootstrapFile6;
    // An IPv4 file named by hand (tests, a machine without access to IANA)
    // keeps the IPv6 table to what is on this machine as well.
    loadBootstrap(RdapBootstrap::Family::IPv6, named6, named.isEmpty());
}

void RdapClient::loadBootstrap(RdapBootstrap::Family family, const QString& named, bool mayRefresh)
{
    const bool v6 = family == RdapBootstrap::Family::IPv6;
    std::optional<RdapBootstrap>& table = bootstrap(family);
    QString& tableError = bootstrapError(family);
    const QString label = v6 ? u"the IPv6 RDAP bootstrap file"_s : u"the RDAP bootstrap file"_s;
    QString why;
    if (!named.isEmpty()) {
        table = RdapBootstrap::load(named, &why, family);
        if (!table) {
            tableError = u"%1 %2 cannot be used: %3"_s.arg(label, QDir::toNativeSeparators(named), why);
        }
        return;
    }

    // The copy in the cache is IANA's file as last fetched; the one compiled in
    // serves until the first fetch has succeeded.
    const QString copyPath = zelkorCacheDirectory() + (v6 ? u"/ipv6.json"_s : u"/ipv4.json"_s);
    const QFileInfo copy(copyPath);
    if (copy.exists()) {
        table = RdapBootstrap::load(copyPath, nullptr, family);
    }
    const bool current = table && copy.lastModified() > QDateTime::currentDateTime().addDays(-BootstrapAgeDays);
    if (!table) {
        table = RdapBootstrap::load(v6 ? RdapBootstrap::BuiltInFile6 : RdapBootstrap::BuiltInFile, &why, family);
        if (!table) {
            tableError = u"%1 built into the program cannot be used: %2"_s.arg(label, why);
        }
    }
    if (current || !mayRefresh) {
        return;
    }
    QString source = qEnvironmentVariable(v6 ? "ZELKOR_RDAP_BOOTSTRAP6_URL" : "ZELKOR_RDAP_BOOTSTRAP_URL");
    if (source.isEmpty()) {
        // A mirror named for IPv4 alone means IANA is not to be asked for IPv6 either.
        if (v6 && !qEnvironmentVariableIsEmpty("ZELKOR_RDAP_BOOTSTRAP_URL")) {
            return;
        }
        source = v6 ? IanaBootstrapUrl6 : IanaBootstrapUrl;
    }
    refreshBootstrap(family, QUrl(source, QUrl::StrictMode), copyPath);
}

std::optional<RdapBootstrap>& RdapClient::bootstrap(RdapBootstrap::Family family)
{
    return family == RdapBootstrap::Family::IPv6 ? m_bootstrap6 : m_bootstrap;
}

QString& RdapClient::bootstrapError(RdapBootstrap::Family family)
{
    return family == RdapBootstrap::Family::IPv6 ? m_bootstrapError6 : m_bootstrapError;
}

void RdapClient::refreshBootstrap(RdapBootstrap::Family family, const QUrl& url, const QString& copyPath)
{
    if (!url.isValid() || !isAcceptableScheme(url)) {
        return;
    }
    QNetworkRequest request(url);
    request.setMaximumRedirectsAllowed(MostRedirects);
    request.setTransferTimeout(RefreshTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    auto body = std::make_shared<QByteArray>();
    const auto take = [reply, body] {
        if (body->size() + reply->bytesAvailable() > LargestAnswer) {
            reply->abort();
            return false;
        }
        *body += reply->readAll();
        return true;
    };
    connect(reply, &QNetworkReply::readyRead, this, take);
    // A refresh that fails in any way keeps the old copy and says nothing: the
    // copy in use still serves.
    connect(reply, &QNetworkReply::finished, this, [this, family, reply, body, copyPath, take] {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError || !take()) {
            return;
        }
        std::optional<RdapBootstrap> fetched = RdapBootstrap::parse(*body, nullptr, family);
        if (!fetched || !QDir().mkpath(QFileInfo(copyPath).absolutePath())) {
            return;
        }
        QSaveFile file(copyPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(*body) != body->size() || !file.commit()) {
            return;
        }
        bootstrap(family) = std::move(fetched);
        bootstrapError(family).clear();
    });
}

quint64 RdapClient::lookup(const QString& relay)
{
    const quint64 ticket = ++m_lastTicket;
    auto created = std::make_unique<Lookup>();
    Lookup& lookup = *created;
    m_lookups.emplace(ticket, std::move(created));
    lookup.ticket = ticket;
    lookup.result.address = relay;
    lookup.deadline.setSingleShot(true);
    // A coarse timer may fire up to 5% early, cutting a slow answer short.
    lookup.deadline.setTimerType(Qt::PreciseTimer);
    connect(&lookup.deadline, &QTimer::timeout, this, [this, ticket] {
        if (Lookup* timedOut = find(ticket)) {
            fail(*timedOut,
                 u"%1: no answer within %2"_s.arg(serverName(timedOut->answerUrl), describe(m_options.limit)));
        }
    });

    std::optional<Ipv4> address = parseDottedQuad(relay);
    std::optional<Ipv6> address6 = address ? std::nullopt : parseIpv6(relay);
    if (address6 && mappedIpv4(*address6)) {
        address = mappedIpv4(*address6);
        address6.reset();
    }
    if (!address && !address6) {
        lookup.result.error =
            u"\"%1\" is neither an IPv4 address in dotted-quad form nor an IPv6 address; RDAP is not asked"_s.arg(
                printableExcerpt(relay, 60));
        finishLater(ticket);
        return ticket;
    }
    const std::optional<RdapBootstrap>& table = address6 ? m_bootstrap6 : m_bootstrap;
    if (!table) {
        lookup.result.error = address6 ? m_bootstrapError6 : m_bootstrapError;
        finishLater(ticket);
        return ticket;
    }
    // The registry's block: its base URL, and how a reason names it.
    QUrl base;
    QString block;
    if (address6) {
        if (const RdapBootstrap::Entry6* entry = table->find(*address6)) {
            base = entry->base;
            block = formatIpv6(entry->network) + u'/' + QString::number(entry->prefixLength);
        }
    } else if (const RdapBootstrap::Entry* entry = table->find(*address)) {
        base = entry->base;
        block = formatDottedQuad(entry->network) + u'/' + QString::number(entry->prefixLength);
    }
    if (block.isEmpty()) {
        lookup.result.error = u"%1 is in no registry's address blocks (a private, loopback or reserved address); "
                              u"RDAP is not asked"_s.arg(relay);
        finishLater(ticket);
        return ticket;
    }
    if (base.isEmpty()) {
        lookup.result.error = u"the registry of %1 offers no https RDAP service"_s.arg(block);
        finishLater(ticket);
        return ticket;
    }
    lookup.address = address.value_or(0);
    lookup.address6 = address6;
    lookup.base = base;
    lookup.origin = originOf(base);
    lookup.answerUrl = base;
    lookup.result.server = base.toString();
    m_waiting[lookup.origin].append(ticket);
    QMetaObject::invokeMethod(
        this, [this, origin = lookup.origin] { startNext(origin); }, Qt::QueuedConnection);
    return ticket;
}

void RdapClient::cancelAll()
{
    const auto lookups = std::exchange(m_lookups, {});
    m_waiting.clear();
    m_busy.clear();
    for (const auto& [ticket, lookup] : lookups) {
        if (lookup->reply) {
            lookup->reply->disconnect(this);
            lookup->reply->abort();
            lookup->reply->deleteLater();
        }
    }
}

RdapClient::Lookup* RdapClient::find(quint64 ticket) const
{
    const auto found = m_lookups.find(ticket);
    return found == m_lookups.end() ? nullptr : found->second.get();
}

void RdapClient::startNext(const QString& origin)
{
    if (m_busy.contains(origin)) {
        return;
    }
    const auto queue = m_waiting.find(origin);
    Lookup* lookup = nullptr;
    while (queue != m_waiting.end() && !queue->isEmpty() && !lookup) {
        lookup = find(queue->takeFirst());
    }
    if (queue != m_waiting.end() && queue->isEmpty()) {
        m_waiting.erase(queue);
    }
    if (!lookup) {
        return;
    }
    const auto answerFromCache = [this, lookup](const auto& cached) {
        if (!cached) {
            return false;
        }
        lookup->result.server = cached->server;
        lookup->result.abuse = cached->abuse;
        finish(lookup->ticket);
        return true;
    };
    if (lookup->address6 ? answerFromCache(m_cache.find(*lookup->address6))
                         : answerFromCache(m_cache.find(lookup->address))) {
        return;
    }
    if (m_refused.contains(origin)) {
        lookup->result.refused = true;
        lookup->result.error =
            u"%1 refused earlier in this run for asking too often (HTTP 429); it is not asked again"_s.arg(
                serverName(lookup->base));
        finish(lookup->ticket);
        return;
    }
    lookup->started = true;
    m_busy.insert(origin);
    lookup->deadline.start(m_options.limit);
    send(*lookup,
         queryUrl(lookup->base, lookup->address6 ? formatIpv6(*lookup->address6) : formatDottedQuad(lookup->address)));
}

void RdapClient::send(Lookup& lookup, const QUrl& url, bool redirected)
{
    lookup.body.clear();
    if (!redirected) {
        lookup.redirects = 0;
    }
    lookup.answerUrl = url;
    Q_EMIT asked(url, lookup.result.address);
    QNetworkReply* reply = m_network->get(rdapRequest(url));
    lookup.reply = reply;
    const quint64 ticket = lookup.ticket;
    connect(reply, &QNetworkReply::redirected, this,
            [this, ticket](const QUrl& target) { onRedirected(ticket, target); });
    connect(reply, &QNetworkReply::readyRead, this, [this, ticket] { onReadyRead(ticket); });
    connect(reply, &QNetworkReply::finished, this, [this, ticket] { onReplyFinished(ticket); });
}

void RdapClient::onRedirected(quint64 ticket, const QUrl& target)
{
    Lookup* lookup = find(ticket);
    if (!lookup || !lookup->reply) {
        return;
    }
    const QString from = serverName(lookup->answerUrl);
    if (++lookup->redirects > MostRedirects) {
        fail(*lookup, u"%1: more than %2 redirects"_s.arg(from).arg(MostRedirects));
        return;
    }
    if (!isAcceptableScheme(target)) {
        fail(*lookup, u"%1: a redirect to an address without https was refused"_s.arg(from));
        return;
    }
    // The redirect goes out as a request of its own rather than by
    // redirectAllowed(): Qt 6.4 sends a followed redirect on the connection the
    // server is closing and then sends it again, several times over.
    QNetworkReply* redirecting = std::exchange(lookup->reply, nullptr);
    redirecting->disconnect(this);
    redirecting->abort();
    redirecting->deleteLater();
    send(*lookup, target, true);
}

void RdapClient::onReadyRead(quint64 ticket)
{
    if (Lookup* lookup = find(ticket); lookup && lookup->reply) {
        takeAvailable(*lookup);
    }
}

bool RdapClient::takeAvailable(Lookup& lookup)
{
    const QVariant length = lookup.reply->header(QNetworkRequest::ContentLengthHeader);
    if ((length.isValid() && length.toLongLong() > LargestAnswer) ||
        lookup.body.size() + lookup.reply->bytesAvailable() > LargestAnswer) {
        fail(lookup, u"%1: the answer is larger than 1 MiB"_s.arg(serverName(lookup.answerUrl)));
        return false;
    }
    lookup.body += lookup.reply->readAll();
    return true;
}

void RdapClient::onReplyFinished(quint64 ticket)
{
    Lookup* lookup = find(ticket);
    if (!lookup || !lookup->reply) {
        return;
    }
    if (!takeAvailable(*lookup)) {
        return;
    }
    QNetworkReply* reply = std::exchange(lookup->reply, nullptr);
    reply->deleteLater();
    const QByteArray body = std::exchange(lookup->body, {});
    const QString server = serverName(lookup->answerUrl);
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;

    if (status == 429) {
        // LACNIC, for one, bans an address for minutes when it asks past its
        // rate; asking again would only prolong that.
        m_refused.insert(lookup->origin);
        lookup->result.refused = true;
        fail(*lookup, u"%1: HTTP 429 (Too Many Requests): the server refuses for asking too often and is not asked "
                      u"again in this run"_s.arg(server));
        return;
    }
    QString failure;
    if (status >= 400) {
        failure = describeStatus(status, *reply);
        const QString title = errorTitle(body);
        if (!title.isEmpty()) {
            failure += u": "_s + title;
        }
    } else if (reply->error() != QNetworkReply::NoError) {
        failure = printableExcerpt(reply->errorString());
    } else if (status < 200 || status > 299) {
        failure = describeStatus(status, *reply);
    }

    if (lookup->fetchingEntity) {
        if (!failure.isEmpty()) {
            lookup->entityFailure = u"%1: the abuse contact could not be read: %2"_s.arg(server, failure);
            fetchNextEntity(*lookup);
            return;
        }
        takeEntity(*lookup, body);
        return;
    }
    if (!failure.isEmpty()) {
        fail(*lookup, server + u": "_s + failure);
        return;
    }
    takeAnswer(*lookup, body);
}

void RdapClient::takeAnswer(Lookup& lookup, const QByteArray& body)
{
    const RdapAnswer answer = parseRdapAnswer(body, lookup.answerUrl);
    if (!answer.error.isEmpty()) {
        fail(lookup, serverName(lookup.answerUrl) + u": "_s + answer.error);
        return;
    }
    lookup.result.abuse = answer.abuse;
    // An answer for a network that does not hold the address asked is cached
    // for that address alone, so that it cannot stand for other addresses.
    if (lookup.address6) {
        const Ipv6& address = *lookup.address6;
        lookup.range6 =
            answer.range6 && answer.range6->contains(address) ? *answer.range6 : Ipv6Range{address, address};
    } else {
        lookup.range = answer.range && answer.range->contains(lookup.address)
                           ? *answer.range
                           : Ipv4Range{lookup.address, lookup.address};
    }
    // Abuse entities are fetched only from the server that gave the answer, so
    // that an answer cannot send the program elsewhere.
    const QString answeringOrigin = originOf(lookup.answerUrl);
    for (const QUrl& link : answer.abuseLinks) {
        if (lookup.entityLinks.size() < MostEntityFetches && originOf(link) == answeringOrigin &&
            isAcceptableScheme(link)) {
            lookup.entityLinks.append(link);
        }
    }
    fetchNextEntity(lookup);
}

void RdapClient::takeEntity(Lookup& lookup, const QByteArray& body)
{
    const RdapAnswer entity = parseRdapEntity(body);
    if (!entity.error.isEmpty()) {
        lookup.entityFailure =
            u"%1: the abuse contact could not be read: %2"_s.arg(serverName(lookup.answerUrl), entity.error);
    }
    for (const QString& address : entity.abuse) {
        appendOnce(lookup.result.abuse, address);
    }
    fetchNextEntity(lookup);
}

void RdapClient::fetchNextEntity(Lookup& lookup)
{
    if (lookup.entityLinks.isEmpty()) {
        succeed(lookup);
        return;
    }
    lookup.fetchingEntity = true;
    send(lookup, lookup.entityLinks.takeFirst());
}

void RdapClient::succeed(Lookup& lookup)
{
    if (!lookup.entityFailure.isEmpty()) {
        lookup.result.error = lookup.entityFailure;
    } else if (lookup.address6) {
        m_cache.store(RdapCache::Entry6{lookup.range6.value_or(Ipv6Range{*lookup.address6, *lookup.address6}),
                                        lookup.result.server, lookup.result.abuse});
    } else {
        m_cache.store({lookup.range.value_or(Ipv4Range{lookup.address, lookup.address}), lookup.result.server,
                       lookup.result.abuse});
    }
    finish(lookup.ticket);
}

void RdapClient::fail(Lookup& lookup, const QString& reason)
{
    lookup.result.error = reason;
    finish(lookup.ticket);
}

void RdapClient::finishLater(quint64 ticket)
{
    QMetaObject::invokeMethod(
        this, [this, ticket] { finish(ticket); }, Qt::QueuedConnection);
}

void RdapClient::finish(quint64 ticket)
{
    const auto found = m_lookups.find(ticket);
    if (found == m_lookups.end()) {
        return;
    }
    std::unique_ptr<Lookup> lookup = std::move(found->second);
    m_lookups.erase(found);
    if (lookup->reply) {
        lookup->reply->disconnect(this);
        lookup->reply->abort();
        lookup->reply->deleteLater();
    }
    if (!lookup->origin.isEmpty()) {
        if (lookup->started) {
            m_busy.remove(lookup->origin);
        }
        // The next lookup for this server gets its turn from the event loop, after
        // this result has been delivered.
        QMetaObject::invokeMethod(
            this, [this, origin = lookup->origin] { startNext(origin); }, Qt::QueuedConnection);
    }
    const RdapResult result = std::move(lookup->result);
    lookup.reset();
    Q_EMIT finished(ticket, result);
}
