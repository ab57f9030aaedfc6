// SPDX-License-Identifier: GPL-3.0-or-later
// RDAP lookups of relay addresses against test servers on loopback: the real
// registry answers of tests/data/rdap, failures, limits, the cache and the
// bootstrap file.
#include "rdap/RdapAnswer.h"
#include "rdap/RdapBootstrap.h"
#include "rdap/RdapCache.h"
#include "rdap/RdapClient.h"
#include "tests/support/TestHttpServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Response = TestHttpServer::Response;

namespace {

const QString DataDirectory = QStringLiteral(ZELKOR_TEST_DATA_DIR "/rdap");
// Asked in place of a fixture's address when the fixture does not record it.
const QString AnyAddress = u"198.51.100.7"_s;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
           file.write(content) == content.size();
}

QByteArray bootstrapJson(const QList<std::pair<QStringList, QString>>& services)
{
    QJsonArray list;
    for (const auto& [prefixes, url] : services) {
        list.append(QJsonArray{QJsonArray::fromStringList(prefixes), QJsonArray{url}});
    }
    return QJsonDocument(QJsonObject{{u"version"_s, u"1.0"_s}, {u"services"_s, list}}).toJson();
}

QByteArray target(const QString& address)
{
    return "/ip/" + address.toLatin1();
}

// A network answer for 192.0.2.0/24 whose one abuse entity has no e-mail
// address, only a self link.
QByteArray answerWithAbuseLink(const QString& link)
{
    return QByteArray(R"({"objectClassName": "ip network", "startAddress": "192.0.2.0", "endAddress": "192.0.2.255",
        "entities": [{"roles": ["abuse"], "vcardArray": ["vcard", [["fn", {}, "text", "Desk"]]],
                      "links": [{"rel": "self", "href": "LINK"}]}]})")
        .replace("LINK", link.toUtf8());
}

QByteArray abuseEntity(const QByteArray& email)
{
    return R"({"roles": ["abuse"], "vcardArray": ["vcard", [["email", {}, "text", ")" + email + "\"]]]}";
}

const QByteArray AbuseDeskEntity = R"({"objectClassName": "entity", "handle": "DESK",
    "vcardArray": ["vcard", [["version", {}, "text", "4.0"], ["email", {}, "text", "Abuse@Desk.example"]]]})";

// A temporary $XDG_CACHE_HOME and bootstrap files that send the given
// prefixes to the given base URLs (without IPv6 services, the built-in IPv6
// table serves), or every address of both families to one test server.
struct Scene
{
    QTemporaryDir directory;
    RdapClient::Options options;

    explicit Scene(const QList<std::pair<QStringList, QString>>& services,
                   const QList<std::pair<QStringList, QString>>& services6 = {})
    {
        qputenv("XDG_CACHE_HOME", QFile::encodeName(directory.filePath(u"cache"_s)));
        options.bootstrapFile = directory.filePath(u"bootstrap.json"_s);
        writeFile(options.bootstrapFile, bootstrapJson(services));
        if (!services6.isEmpty()) {
            options.bootstrapFile6 = directory.filePath(u"bootstrap6.json"_s);
            writeFile(options.bootstrapFile6, bootstrapJson(services6));
        }
    }
    explicit Scene(const TestHttpServer& server)
        : Scene({{{u"0.0.0.0/1"_s, u"128.0.0.0/1"_s}, server.url().toString()}},
                {{{u"::/1"_s, u"8000::/1"_s}, server.url().toString()}})
    {}

    QString cacheDirectory() const { return directory.filePath(u"cache/zelkor/rdap"_s); }
    QString bootstrapCopy() const { return directory.filePath(u"cache/zelkor/ipv4.json"_s); }
    QString bootstrapCopy6() const { return directory.filePath(u"cache/zelkor/ipv6.json"_s); }
    QStringList cacheFiles() const { return QDir(cacheDirectory()).entryList(QDir::Files); }
};

// Looks `relay` up and waits for its result, which must come from the event
// loop, not before lookup() returns.
bool ask(RdapClient& client, const QString& relay, RdapResult& result)
{
    QSignalSpy spy(&client, &RdapClient::finished);
    const quint64 ticket = client.lookup(relay);
    if (!spy.isEmpty()) {
        qWarning("the result came before lookup() returned");
        return false;
    }
    if (!spy.wait(5000) || spy.size() != 1 || spy[0][0].value<quint64>() != ticket) {
        qWarning("no result, or not one for the ticket");
        return false;
    }
    result = spy[0][1].value<RdapResult>();
    return true;
}

QList<QByteArray> targets(const TestHttpServer& server)
{
    QList<QByteArray> list;
    for (const TestHttpServer::Request& request : server.requests()) {
        list.append(request.target);
    }
    return list;
}

// A reason fit for one line in a window: no control characters, not long.
bool isOneLine(const QString& reason)
{
    return !reason.isEmpty() && reason.size() <= 200 &&
           std::none_of(reason.begin(), reason.end(), [](QChar c) { return !c.isPrint(); });
}

} // namespace

class TestRdap : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        // No client of these tests may fetch the bootstrap file from IANA.
        qputenv("ZELKOR_RDAP_BOOTSTRAP_URL", m_refreshServer.url("/ipv4.json").toEncoded());
        qunsetenv("ZELKOR_RDAP_BOOTSTRAP");
        qunsetenv("ZELKOR_RDAP_BOOTSTRAP6");
        qunsetenv("ZELKOR_RDAP_BOOTSTRAP6_URL");
    }

    void bootstrapChoice_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("base"); // "-" for no entry

        const QByteArray builtIn = readFile(RdapBootstrap::BuiltInFile);
        QTest::newRow("built in, RIPE") << builtIn << u"93.198.203.20"_s << u"https://rdap.db.ripe.net/"_s;
        QTest::newRow("built in, ARIN") << builtIn << u"3.3.3.3"_s << u"https://rdap.arin.net/registry/"_s;
        QTest::newRow("built in, private") << builtIn << u"10.1.2.3"_s << u"-"_s;

        const QByteArray made = bootstrapJson({{{u"0.0.0.0/1"_s}, u"https://wide.example/"_s},
                                               {{u"93.0.0.0/8"_s}, u"https://narrow.example/rdap/"_s},
                                               {{u"94.0.0.0/8"_s}, u"http://insecure.example/"_s},
                                               {{u"95.0.0.0/8"_s}, u"http://127.0.0.1:8080/"_s}});
        QTest::newRow("longest prefix") << made << u"93.1.2.3"_s << u"https://narrow.example/rdap/"_s;
        QTest::newRow("http only") << made << u"94.1.2.3"_s << u""_s;
        QTest::newRow("http on loopback") << made << u"95.1.2.3"_s << u"http://127.0.0.1:8080/"_s;
        QTest::newRow("not covered") << made << u"200.1.2.3"_s << u"-"_s;

        // IPv6 rows: the address has a colon, and the file is read as an IPv6 table.
        const QByteArray builtIn6 = readFile(RdapBootstrap::BuiltInFile6);
        QTest::newRow("built in IPv6, ARIN")
            << builtIn6 << u"2001:4860:4860::8888"_s << u"https://rdap.arin.net/registry/"_s;
        QTest::newRow("built in IPv6, RIPE")
            << builtIn6 << u"2a00:1450:4001:82b::200e"_s << u"https://rdap.db.ripe.net/"_s;
        QTest::newRow("built in IPv6, APNIC /19") << builtIn6 << u"2001:9fff::1"_s << u"https://rdap.apnic.net/"_s;
        QTest::newRow("built in IPv6, returned 6bone block") << builtIn6 << u"3ffe::1"_s << u"-"_s;

        const QByteArray made6 = bootstrapJson({{{u"::/0"_s}, u"https://all.example/"_s},
                                                {{u"2001:db8::/32"_s}, u"https://b32.example/"_s},
                                                {{u"2001:db8:0:1::/64"_s}, u"https://b64.example/"_s},
                                                {{u"2001:db8:0:1:8000::/65"_s}, u"https://b65.example/"_s},
                                                {{u"2001:db8::25/128"_s}, u"https://host.example/"_s},
                                                {{u"2001:db9::ff/16"_s}, u"https://bits.example/"_s},
                                                {{u"192.0.2.0/24"_s, u"2001:dbb::/129"_s}, u"https://bad.example/"_s}});
        QTest::newRow("IPv6 /64, not the /65 in it") << made6 << u"2001:db8:0:1:7fff::1"_s << u"https://b64.example/"_s;
        QTest::newRow("IPv6 /65") << made6 << u"2001:db8:0:1:ffff::1"_s << u"https://b65.example/"_s;
        QTest::newRow("IPv6 /32, every bit after it set")
            << made6 << u"2001:db8:ffff:ffff:ffff:ffff:ffff:ffff"_s << u"https://b32.example/"_s;
        QTest::newRow("IPv6 /128") << made6 << u"2001:db8::25"_s << u"https://host.example/"_s;
        QTest::newRow("IPv6 next to the /128") << made6 << u"2001:db8::24"_s << u"https://b32.example/"_s;
        QTest::newRow("IPv6 prefix with host bits set") << made6 << u"2001::1"_s << u"https://bits.example/"_s;
        QTest::newRow("IPv6 prefix over 128 bits passed over")
            << made6 << u"2001:dbb::"_s << u"https://bits.example/"_s;
        QTest::newRow("IPv6 ::/0") << made6 << u"3000::1"_s << u"https://all.example/"_s;
    }
    void bootstrapChoice()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, address);
        QFETCH(QString, base);
        if (address.contains(u':')) {
            const std::optional<RdapBootstrap> bootstrap =
                RdapBootstrap::parse(file, nullptr, RdapBootstrap::Family::IPv6);
            QVERIFY(bootstrap);
            const RdapBootstrap::Entry6* entry = bootstrap->find(*parseIpv6(address));
            QCOMPARE(entry ? entry->base.toString() : u"-"_s, base);
            return;
        }
        const std::optional<RdapBootstrap> bootstrap = RdapBootstrap::parse(file);
        QVERIFY(bootstrap);
        const RdapBootstrap::Entry* entry = bootstrap->find(*parseDottedQuad(address));
        QCOMPARE(entry ? entry->base.toString() : u"-"_s, base);
    }

    // Every answer of tests/data/rdap, IPv6 ones included, gives the abuse addresses that
    // SOURCES.md lists for it.
    void registryAnswers_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("abuse");
        QTest::addColumn<bool>("errorAnswer");
        QTest::addColumn<bool>("listed");

        QHash<QString, QStringList> rows;
        const QList<QByteArray> lines = readFile(DataDirectory + u"/SOURCES.md"_s).split('\n');
        for (const QByteArray& line : lines) {
            const QStringList cells = QString::fromUtf8(line).split(u'|');
            if (cells.size() > 9) {
                rows.insert(cells[1].trimmed(), cells.mid(1));
            }
        }
        const QStringList files = QDir(DataDirectory).entryList({u"*.json"_s}, QDir::Files);
        for (const QString& file : files) {
            const QStringList row = rows.value(file);
            const QString queried = row.value(6).trimmed();
            const bool ipv6 = parseIpv6(queried).has_value();
            const QString abuseCell = row.value(7).trimmed();
            const QStringList abuse =
                abuseCell.startsWith(u"none"_s) ? QStringList() : abuseCell.split(u", "_s, Qt::SkipEmptyParts);
            QTest::newRow(qPrintable(file)) << file << (parseDottedQuad(queried) || ipv6 ? queried : AnyAddress)
                                            << abuse << abuseCell.contains(u"error answer"_s) << rows.contains(file);
        }
    }
    void registryAnswers()
    {
        QFETCH(QString, file);
        QFETCH(QString, address);
        QFETCH(QStringList, abuse);
        QFETCH(bool, errorAnswer);
        QFETCH(bool, listed);
        QVERIFY2(listed, "the file has no row in SOURCES.md");

        TestHttpServer server;
        server.setResponse(target(address),
                           Response::page(readFile(DataDirectory + u'/' + file), "application/rdap+json"));
        Scene scene(server);
        RdapClient client(scene.options);
        RdapResult result;
        QVERIFY(ask(client, address, result));
        QCOMPARE(result.abuse, abuse);
        QCOMPARE(result.error.isEmpty(), !errorAnswer);
        QCOMPARE(result.address, address);
        QCOMPARE(result.server, server.url().toString());
        QVERIFY(!result.refused);
        QCOMPARE(targets(server), QList<QByteArray>{target(address)});
        QCOMPARE(server.requests().first().headers.value("accept"), QByteArray("application/rdap+json"));
    }

    void abuseEntityLink_data()
    {
        QTest::addColumn<QString>("link"); // PORT and OTHER stand for the two servers' ports
        QTest::addColumn<QStringList>("abuse");
        QTest::addColumn<QList<QByteArray>>("asked");
        QTest::addColumn<QString>("error");

        const QStringList desk{u"Abuse@Desk.example"_s};
        const QList<QByteArray> answerOnly{"/ip/192.0.2.1"};
        const QList<QByteArray> followed{"/ip/192.0.2.1", "/entity/DESK"};
        QTest::newRow("same server") << u"http://127.0.0.1:PORT/entity/DESK"_s << desk << followed << u""_s;
        QTest::newRow("relative") << u"/entity/DESK"_s << desk << followed << u""_s;
        QTest::newRow("other port") << u"http://127.0.0.1:OTHER/entity/DESK"_s << QStringList() << answerOnly << u""_s;
        QTest::newRow("other host name") << u"http://localhost:PORT/entity/DESK"_s << QStringList() << answerOnly
                                         << u""_s;
        QTest::newRow("entity missing") << u"http://127.0.0.1:PORT/entity/GONE"_s << QStringList()
                                        << QList<QByteArray>{"/ip/192.0.2.1", "/entity/GONE"}
                                        << u"the abuse contact could not be read: HTTP 404 (Not Found)"_s;
    }
    // An abuse entity without an e-mail address is fetched by its self link
    // from the server that answered, and from nowhere else.
    void abuseEntityLink()
    {
        QFETCH(QString, link);
        QFETCH(QStringList, abuse);
        QFETCH(QList<QByteArray>, asked);
        QFETCH(QString, error);

        TestHttpServer server;
        TestHttpServer other;
        link.replace(u"PORT"_s, QString::number(server.port())).replace(u"OTHER"_s, QString::number(other.port()));
        server.setResponse("/ip/192.0.2.1", Response::page(answerWithAbuseLink(link), "application/rdap+json"));
        server.setResponse("/entity/DESK", Response::page(AbuseDeskEntity, "application/rdap+json"));
        other.setDefaultResponse(Response::page(AbuseDeskEntity, "application/rdap+json"));
        Scene scene(server);
        RdapClient client(scene.options);
        RdapResult result;
        QVERIFY(ask(client, u"192.0.2.1"_s, result));
        QCOMPARE(result.abuse, abuse);
        QCOMPARE(targets(server), asked);
        QVERIFY(other.requests().isEmpty());
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
        QCOMPARE(result.error.isEmpty(), error.isEmpty());
        // A lookup whose abuse contact could not be read is asked again next time.
        QCOMPARE(scene.cacheFiles().isEmpty(), !error.isEmpty());
    }

    // Entities nest inside entities; the walk goes deep enough for the
    // registries' shapes and stops before a hostile depth.
    void nestedEntities()
    {
        // Level 3 as ARIN nests it, and level 401 under registrants.
        const QByteArray third = R"({"roles": ["registrant"], "entities": [{"roles": ["technical"], "entities": [)" +
                                 abuseEntity("Third@Level.example") + "]}]}";
        const QByteArray deepest = QByteArray(R"({"roles": ["registrant"], "entities": [)").repeated(400) +
                                   abuseEntity("too-deep@x.example") + QByteArray("]}").repeated(400);
        const QByteArray network = "{\"entities\": [" + third + ',' + abuseEntity("third@level.EXAMPLE") + ',' +
                                   deepest + ',' + abuseEntity("first@level.example") + "]}";
        TestHttpServer server;
        server.setDefaultResponse(Response::page(network));
        Scene scene(server);
        RdapClient client(scene.options);
        RdapResult result;
        QVERIFY(ask(client, u"192.0.2.1"_s, result));
        QCOMPARE(result.abuse, (QStringList{u"Third@Level.example"_s, u"first@level.example"_s}));
        QCOMPARE(result.error, QString());
    }

    void failedAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason");

        const QByteArray ripeError = readFile(DataDirectory + u"/ripe_error-404-nameservers-2020.json"_s);
        QTest::newRow("RDAP error object") << 200 << ripeError << u"RDAP error 404 (nameservers not found)"_s;
        QTest::newRow("RDAP error code as text")
            << 200 << readFile(DataDirectory + u"/apnic_error-400-bad-request-2020.json"_s)
            << u"RDAP error 400 (Bad Request)"_s;
        QTest::newRow("HTTP 404 with RDAP error")
            << 404 << ripeError << u"HTTP 404 (Not Found): nameservers not found"_s;
        QTest::newRow("HTTP 500") << 500 << QByteArray("<html>oops</html>") << u"HTTP 500 (Internal Server Error)"_s;
        QTest::newRow("malformed JSON") << 200 << QByteArray(R"({"entities": [)") << u"not valid JSON"_s;
        QTest::newRow("JSON array") << 200 << QByteArray("[]") << u"not an RDAP object"_s;
        QTest::newRow("100,000 nested arrays")
            << 200 << QByteArray(100000, '[') + QByteArray(100000, ']') << u"not valid JSON"_s;
        QTest::newRow("larger than 1 MiB")
            << 200 << "{\"x\": \"" + QByteArray(1024 * 1024, 'a') + "\"}" << u"the answer is larger than 1 MiB"_s;
        QTest::newRow("hostile title") << 200
                                       << "{\"errorCode\": 400, \"title\": \"bad\\u0007\\r\\nthing " +
                                              QByteArray(500, 'x') + "\"}"
                                       << u"RDAP error 400 (bad thing xxx"_s;
    }
    // A failed answer gives no address and one line that says why, naming the server.
    void failedAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);

        TestHttpServer server;
        server.setDefaultResponse({status, body, {{"Content-Type", "application/rdap+json"}}});
        Scene scene(server);
        RdapClient client(scene.options);
        RdapResult result;
        QVERIFY(ask(client, u"192.0.2.1"_s, result));
        QVERIFY(result.abuse.isEmpty());
        QVERIFY(!result.refused);
        QVERIFY2(result.error.startsWith(u"127.0.0.1:%1: "_s.arg(server.port())), qPrintable(result.error));
        QVERIFY2(result.error.contains(reason), qPrintable(result.error));
        QVERIFY2(isOneLine(result.error), qPrintable(result.error));
        QVERIFY(scene.cacheFiles().isEmpty());
    }

    // A server that never answers: the lookup ends at its time limit, and a
    // cancelled lookup never reports.
    void silentServer()
    {
        TestHttpServer server;
        server.setDefaultResponse(Response::silence());
        Scene scene(server);
        scene.options.limit = 300ms;
        RdapClient client(scene.options);
        QElapsedTimer clock;
        clock.start();
        RdapResult result;
        QVERIFY(ask(client, u"192.0.2.1"_s, result));
        QVERIFY2(clock.elapsed() >= 299 && clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(result.error, u"127.0.0.1:%1: no answer within 300 ms"_s.arg(server.port()));
        QTRY_COMPARE(server.openConnections(), 0);

        QSignalSpy spy(&client, &RdapClient::finished);
        client.lookup(u"192.0.2.2"_s);
        QTRY_COMPARE(server.requests().size(), 2);
        client.lookup(u"192.0.2.1 "_s); // its result would come from the event loop
        client.cancelAll();
        QTRY_COMPARE(server.openConnections(), 0);
        QTest::qWait(400);
        QVERIFY(spy.isEmpty());
    }

    void redirects_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("finalTarget");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("requests");
        QTest::newRow("one") << 1 << QByteArray() << u""_s << 2;
        QTest::newRow("three") << 3 << QByteArray() << u""_s << 4;
        QTest::newRow("four") << 4 << QByteArray() << u"more than 3 redirects"_s << 4;
        QTest::newRow("to http elsewhere") << 1 << QByteArray("http://0.0.0.0:PORT/r1/192.0.2.1")
                                           << u"a redirect to an address without https was refused"_s << 1;
    }
    void redirects()
    {
        QFETCH(int, count);
        QFETCH(QByteArray, finalTarget);
        QFETCH(QString, error);
        QFETCH(int, requests);

        TestHttpServer server;
        const QByteArray answer = readFile(DataDirectory + u"/ripe_ripencc-2020_193.0.6.139.json"_s);
        const QList<int> codes{301, 302, 307, 308};
        QByteArray from = "/ip/192.0.2.1";
        for (int step = 1; step <= count; ++step) {
            const QByteArray to = "/r" + QByteArray::number(step) + "/192.0.2.1";
            const QByteArray location = step == count && !finalTarget.isEmpty()
                                            ? QByteArray(finalTarget).replace("PORT", QByteArray::number(server.port()))
                                            : to;
            server.setResponse(from, Response::redirect(codes[(step - 1) % codes.size()], location));
            from = to;
        }
        server.setResponse(from, Response::page(answer, "application/rdap+json"));
        Scene scene(server);
        RdapClient client(scene.options);
        RdapResult result;
        QVERIFY(ask(client, u"192.0.2.1"_s, result));
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
        QCOMPARE(result.abuse, (error.isEmpty() ? QStringList{u"ops@ripe.net"_s, u"abuse@ripe.net"_s} : QStringList()));
        QCOMPARE(server.requests().size(), requests);
    }

    // HTTP 429: that server is not asked again while the client lives; other
    // servers still are.
    void tooManyRequests()
    {
        TestHttpServer limited;
        TestHttpServer open;
        limited.setDefaultResponse(Response::withStatus(429));
        open.setDefaultResponse(Response::page(readFile(DataDirectory + u"/ripe_ripencc-2020_193.0.6.139.json"_s)));
        Scene scene({{{u"0.0.0.0/1"_s}, limited.url().toString()}, {{u"128.0.0.0/1"_s}, open.url().toString()}});
        RdapClient client(scene.options);
        QSignalSpy spy(&client, &RdapClient::finished);
        // Lookups for one server run one after another: the second waits and
        // learns of the refusal without asking.
        client.lookup(u"45.1.1.1"_s);
        client.lookup(u"46.2.2.2"_s);
        QTRY_COMPARE(spy.size(), 2);
        for (const QList<QVariant>& arguments : std::as_const(spy)) {
            const RdapResult result = arguments[1].value<RdapResult>();
            QVERIFY(result.refused);
            QVERIFY(result.abuse.isEmpty());
            QVERIFY2(result.error.contains(u"429"_s), qPrintable(result.error));
            QCOMPARE(result.server, limited.url().toString());
        }
        RdapResult result;
        QVERIFY(ask(client, u"47.3.3.3"_s, result));
        QVERIFY(result.refused);
        QCOMPARE(limited.requests().size(), 1);
        QVERIFY(ask(client, u"193.0.6.139"_s, result));
        QVERIFY(!result.refused);
        QCOMPARE(result.abuse, (QStringList{u"ops@ripe.net"_s, u"abuse@ripe.net"_s}));
    }

    void notAsked_data()
    {
        QTest::addColumn<QString>("relay");
        QTest::newRow("IPv6 literal") << u"IPv6:2001:db8::1"_s;
        QTest::newRow("full-width digit") << u"\uff11.2.3.4"_s;
        QTest::newRow("above 255") << u"999.1.1.1"_s;
        QTest::newRow("leading zero") << u"01.2.3.4"_s;
        QTest::newRow("bracketed text") << u"[abc]"_s;
        QTest::newRow("trailing blank") << u"1.2.3.4 "_s;
        QTest::newRow("line break") << u"1.2.3.4\r\nHost: x"_s;
        QTest::newRow("empty") << u""_s;
        QTest::newRow("private") << u"10.1.2.3"_s;
        QTest::newRow("loopback") << u"127.0.0.1"_s;
        // The built-in IPv6 table serves these; it holds 2a00::/12.
        QTest::newRow("IPv6 outside every block") << u"3ffe::1"_s;
        QTest::newRow("IPv6 loopback") << u"::1"_s;
        QTest::newRow("IPv6 with a zone index") << u"2a00:1450::1%eth0"_s;
        QTest::newRow("IPv6 in brackets") << u"[2a00:1450::1]"_s;
        QTest::newRow("IPv6 with a prefix length") << u"2a00:1450::/32"_s;
        QTest::newRow("IPv6, two double colons") << u"2a00::1::2"_s;
        QTest::newRow("IPv6, trailing blank") << u"2a00:1450::1 "_s;
        QTest::newRow("IPv6, NUL inside") << u"2a00:1450::1\0:1"_s;
        QTest::newRow("IPv4-mapped private") << u"::ffff:10.1.2.3"_s;
    }
    void notAsked()
    {
        QFETCH(QString, relay);
        TestHttpServer server;
        // Everything but 8.0.0.0/5 (holding 10/8) and 96.0.0.0/3 (holding 127/8).
        Scene scene({{{u"0.0.0.0/5"_s, u"64.0.0.0/3"_s, u"128.0.0.0/1"_s}, server.url().toString()}});
        RdapClient client(scene.options);
        RdapResult result;
        QVERIFY(ask(client, relay, result));
        QCOMPARE(result.address, relay);
        QCOMPARE(result.server, QString());
        QVERIFY(result.abuse.isEmpty());
        QVERIFY2(isOneLine(result.error), qPrintable(result.error));
        QTest::qWait(50);
        QVERIFY(server.requests().isEmpty());
    }

    void cacheRanges_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("cacheFile");
        QTest::addColumn<QString>("sameNetwork");
        QTest::addColumn<QString>("otherNetwork");

        QTest::newRow("RIPE /32 suffixes") << u"ripe_de-telekom-land-2018_93.198.203.20.json"_s << u"93.198.203.20"_s
                                           << u"93.192.0.0-93.223.255.255.json"_s << u"93.192.0.1"_s << u"93.224.0.0"_s;
        QTest::newRow("ARIN leading zeros")
            << u"arin_google-ipwhois-2015_74.125.225.229.json"_s << u"74.125.225.229"_s
            << u"74.125.0.0-74.125.255.255.json"_s << u"74.125.0.0"_s << u"74.124.255.255"_s;
        QTest::newRow("answer for another network")
            << u"ripe_de-telekom-land-2018_93.198.203.20.json"_s << u"10.0.0.1"_s << u"10.0.0.1-10.0.0.1.json"_s
            << u"10.0.0.1"_s << u"93.198.203.20"_s;
        const QString google6 = u"arin_google-ipv6-2021_2001-4860-4860--8888.json"_s;
        const QString google6Block = u"2001:4860::-2001:4860:ffff:ffff:ffff:ffff:ffff:ffff.json"_s;
        QTest::newRow("ARIN IPv6") << google6 << u"2001:4860:4860::8888"_s << google6Block << u"2001:4860::1"_s
                                   << u"2001:4861::"_s;
        QTest::newRow("ARIN IPv6 in full form, capitals")
            << u"arin_google-ipv6-ipwhois-2015_2001-4860-4860--8888.json"_s << u"2001:4860:4860::8888"_s << google6Block
            << u"2001:4860:ffff:ffff:ffff:ffff:ffff:ffff"_s << u"2001:485f:ffff:ffff:ffff:ffff:ffff:ffff"_s;
        QTest::newRow("IPv6 answer for another network")
            << google6 << u"2a00:1450::1"_s << u"2a00:1450::1-2a00:1450::1.json"_s << u"2a00:1450::1"_s
            << u"2001:4860::1"_s;
        QTest::newRow("IPv4-mapped IPv6 kept as IPv4")
            << u"ripe_de-telekom-land-2018_93.198.203.20.json"_s << u"::ffff:93.198.203.20"_s
            << u"93.192.0.0-93.223.255.255.json"_s << u"93.192.0.1"_s << u"93.224.0.0"_s;
    }
    // An answer is kept under its network's range: a second client asks
    // nothing for an address in it, and asks for one outside it.
    void cacheRanges()
    {
        QFETCH(QString, file);
        QFETCH(QString, asked);
        QFETCH(QString, cacheFile);
        QFETCH(QString, sameNetwork);
        QFETCH(QString, otherNetwork);

        TestHttpServer server;
        server.setDefaultResponse(Response::page(readFile(DataDirectory + u'/' + file)));
        Scene scene(server);
        RdapResult first;
        {
            RdapClient client(scene.options);
            QVERIFY(ask(client, asked, first));
        }
        QVERIFY(first.error.isEmpty());
        QCOMPARE(scene.cacheFiles(), QStringList{cacheFile});

        RdapClient client(scene.options);
        RdapResult cached;
        QVERIFY(ask(client, sameNetwork, cached));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(cached.abuse, first.abuse);
        QCOMPARE(cached.server, first.server);

        RdapResult fresh;
        QVERIFY(ask(client, otherNetwork, fresh));
        QCOMPARE(targets(server).last(), target(otherNetwork));
    }

    void cacheNarrowest_data()
    {
        QTest::addColumn<QStringList>("ranges"); // stored in this order, "first-last"
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("narrowest");

        QTest::newRow("IPv4") << QStringList{u"93.198.0.0-93.198.255.255"_s, u"93.0.0.0-93.255.255.255"_s}
                              << u"93.198.1.1"_s << 0;
        QTest::newRow("IPv6 /32 and /48") << QStringList{u"2001:db8::-2001:db8:ffff:ffff:ffff:ffff:ffff:ffff"_s,
                                                         u"2001:db8:1::-2001:db8:1:ffff:ffff:ffff:ffff:ffff"_s}
                                          << u"2001:db8:1::5"_s << 1;
        QTest::newRow("IPv6 /96 and /112")
            << QStringList{u"2001:db8::1:0-2001:db8::1:ffff"_s, u"2001:db8::-2001:db8::ffff:ffff"_s}
            << u"2001:db8::1:5"_s << 0;
        // 2^17 addresses across the middle of the address against a /96.
        QTest::newRow("IPv6 range across the halves") << QStringList{u"2001:db8:0:1::-2001:db8:0:1::ffff:ffff"_s,
                                                                     u"2001:db8::ffff:ffff:ffff:0-2001:db8:0:1::ffff"_s}
                                                      << u"2001:db8:0:1::5"_s << 1;
    }
    // Of the current entries that hold an address, the narrowest answers.
    void cacheNarrowest()
    {
        QFETCH(QStringList, ranges);
        QFETCH(QString, address);
        QFETCH(int, narrowest);
        QTemporaryDir directory;
        const RdapCache cache(directory.path());
        for (qsizetype at = 0; at < ranges.size(); ++at) {
            const QString first = ranges[at].section(u'-', 0, 0);
            const QString last = ranges[at].section(u'-', 1);
            const QString server = u"https://r%1.example/"_s.arg(at);
            QVERIFY(address.contains(u':')
                        ? cache.store(RdapCache::Entry6{{*parseIpv6(first), *parseIpv6(last)}, server, {}})
                        : cache.store(RdapCache::Entry{{*parseDottedQuad(first), *parseDottedQuad(last)}, server, {}}));
        }
        QCOMPARE(QDir(directory.path()).entryList(QDir::Files).size(), ranges.size());
        QString found;
        if (const auto entry6 = address.contains(u':') ? cache.find(*parseIpv6(address)) : std::nullopt) {
            found = entry6->server;
        } else if (const auto entry = address.contains(u':') ? std::nullopt : cache.find(*parseDottedQuad(address))) {
            found = entry->server;
        }
        QCOMPARE(found, u"https://r%1.example/"_s.arg(narrowest));
    }

    // Lookups for one network started together ask once: the later ones wait
    // for their server and then find the first one's answer in the cache.
    void batchAsksOnce()
    {
        TestHttpServer server;
        server.setDefaultResponse(Response::late(
            Response::page(readFile(DataDirectory + u"/ripe_de-telekom-land-2018_93.198.203.20.json"_s)), 50ms));
        Scene scene(server);
        RdapClient client(scene.options);
        QSignalSpy spy(&client, &RdapClient::finished);
        const QList<quint64> tickets{client.lookup(u"93.198.203.20"_s), client.lookup(u"93.198.1.1"_s),
                                     client.lookup(u"93.200.0.9"_s)};
        QTRY_COMPARE(spy.size(), 3);
        for (qsizetype at = 0; at < spy.size(); ++at) {
            QCOMPARE(spy[at][0].value<quint64>(), tickets[at]);
            QCOMPARE(spy[at][1].value<RdapResult>().abuse, QStringList{u"abuse@telekom.de"_s});
        }
        QCOMPARE(server.requests().size(), 1);
    }

    // Cache files that hold no current entry are passed over; the next answer
    // for the range replaces them.
    void unusableCacheEntries()
    {
        TestHttpServer server;
        server.setDefaultResponse(
            Response::page(readFile(DataDirectory + u"/ripe_de-telekom-land-2018_93.198.203.20.json"_s)));
        Scene scene(server);
        const QByteArray expired = R"({"first": "93.198.203.0", "last": "93.198.203.255", "server": "x",
            "abuse": ["stale@x.example"], "stored": )" +
                                   QByteArray::number(QDateTime::currentSecsSinceEpoch() - 25 * 3600) + '}';
        const QString corrupt = scene.cacheDirectory() + u"/93.192.0.0-93.223.255.255.json"_s;
        QVERIFY(writeFile(corrupt, QByteArray("\x00\xff garbage", 10)));
        QVERIFY(writeFile(scene.cacheDirectory() + u"/93.198.203.0-93.198.203.255.json"_s, expired));

        for (int client = 0; client < 2; ++client) {
            RdapClient rdap(scene.options);
            RdapResult result;
            QVERIFY(ask(rdap, u"93.198.203.20"_s, result));
            QCOMPARE(result.abuse, QStringList{u"abuse@telekom.de"_s});
            QCOMPARE(server.requests().size(), 1);
        }
        QVERIFY(readFile(corrupt).contains("abuse@telekom.de"));
    }

    void bootstrapRefresh_data()
    {
        QTest::addColumn<QString>("family"); // the copy under test: "ipv4" or "ipv6"
        QTest::addColumn<QString>("copy");   // "missing", "old" (31 days) or "current" (29 days)
        QTest::addColumn<QString>("named");  // the family whose file is named in the environment, or ""
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("replaced");

        const QString v4 = u"ipv4"_s;
        const QString v6 = u"ipv6"_s;
        const QByteArray valid = bootstrapJson({{{u"0.0.0.0/0"_s}, u"https://fresh.example/"_s}});
        QTest::newRow("missing copy is fetched") << v4 << u"missing"_s << u""_s << 200 << valid << true << true;
        QTest::newRow("failed download keeps the old copy") << v4 << u"old"_s << u""_s << 500 << valid << true << false;
        QTest::newRow("download that is no bootstrap file keeps the old copy")
            << v4 << u"old"_s << u""_s << 200 << QByteArray(R"({"services": []})") << true << false;
        QTest::newRow("current copy is not fetched") << v4 << u"current"_s << u""_s << 200 << valid << false << false;
        QTest::newRow("named file is never refreshed") << v4 << u"missing"_s << v4 << 200 << valid << false << false;

        const QByteArray valid6 = bootstrapJson({{{u"2000::/3"_s}, u"https://fresh.example/"_s}});
        QTest::newRow("IPv6: missing copy is fetched") << v6 << u"missing"_s << u""_s << 200 << valid6 << true << true;
        QTest::newRow("IPv6: an IPv4 table keeps the old copy")
            << v6 << u"old"_s << u""_s << 200 << valid << true << false;
        QTest::newRow("IPv6: current copy is not fetched")
            << v6 << u"current"_s << u""_s << 200 << valid6 << false << false;
        QTest::newRow("IPv6: named file is never refreshed")
            << v6 << u"missing"_s << v6 << 200 << valid6 << false << false;
        QTest::newRow("IPv6: not refreshed beside a named IPv4 file")
            << v6 << u"old"_s << v4 << 200 << valid6 << false << false;
    }
    void bootstrapRefresh()
    {
        QFETCH(QString, family);
        QFETCH(QString, copy);
        QFETCH(QString, named);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, asked);
        QFETCH(bool, replaced);

        const bool v6 = family == u"ipv6"_s;
        TestHttpServer iana;
        const QByteArray path = v6 ? "/rdap/ipv6.json" : "/rdap/ipv4.json";
        iana.setResponse(path, {status, body, {{"Content-Type", "application/json"}}});
        qputenv("ZELKOR_RDAP_BOOTSTRAP_URL", iana.url("/rdap/ipv4.json").toEncoded());
        if (v6) {
            qputenv("ZELKOR_RDAP_BOOTSTRAP6_URL", iana.url("/rdap/ipv6.json").toEncoded());
        }
        Scene scene(iana);
        RdapClient::Options options = scene.options;
        options.bootstrapFile.clear();
        options.bootstrapFile6.clear();
        if (named == u"ipv4"_s) {
            qputenv("ZELKOR_RDAP_BOOTSTRAP", QFile::encodeName(scene.options.bootstrapFile));
        } else if (named == u"ipv6"_s) {
            qputenv("ZELKOR_RDAP_BOOTSTRAP6", QFile::encodeName(scene.options.bootstrapFile6));
        }
        const auto writeCopy = [](const QString& file, const QByteArray& content, int ageDays) {
            QFile written(file);
            return writeFile(file, content) && written.open(QIODevice::ReadWrite) &&
                   written.setFileTime(QDateTime::currentDateTime().addDays(-ageDays),
                                       QFileDevice::FileModificationTime);
        };
        const QByteArray oldCopy = v6 ? bootstrapJson({{{u"2001:db8::/32"_s}, u"https://old.example/"_s}})
                                      : bootstrapJson({{{u"93.0.0.0/8"_s}, u"https://old.example/"_s}});
        const QString copyPath = v6 ? scene.bootstrapCopy6() : scene.bootstrapCopy();
        if (copy != u"missing"_s) {
            QVERIFY(writeCopy(copyPath, oldCopy, copy == u"old"_s ? 31 : 29));
        }
        // The IPv4 copy is not what an IPv6 row is about: a current one asks nothing.
        if (v6) {
            QVERIFY(
                writeCopy(scene.bootstrapCopy(), bootstrapJson({{{u"93.0.0.0/8"_s}, u"https://v4.example/"_s}}), 1));
        }

        RdapClient client(options);
        if (asked) {
            QTRY_COMPARE(iana.requests().size(), 1);
            QTRY_COMPARE(iana.openConnections(), 0);
        }
        if (replaced) {
            QTRY_COMPARE(readFile(copyPath), body);
        } else {
            QTest::qWait(100);
            QCOMPARE(readFile(copyPath), copy == u"missing"_s ? QByteArray() : oldCopy);
        }
        QCOMPARE(iana.requests().size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(iana.requests().first().target, path);
        }
        QVERIFY(m_refreshServer.requests().isEmpty());
    }

    // An IPv6 relay goes by the IPv6 table to its registry, which is asked for
    // "<base>ip/<address>" in the form of RFC 5952.
    void ipv6Lookup_data()
    {
        QTest::addColumn<QString>("relay");
        QTest::addColumn<QByteArray>("asked");
        QTest::newRow("compressed") << u"2001:db8:1::25"_s << QByteArray("/rdap/ip/2001:db8:1::25");
        QTest::newRow("full form in capitals")
            << u"2001:0DB8:0001:0000:0000:0000:0000:0025"_s << QByteArray("/rdap/ip/2001:db8:1::25");
        QTest::newRow("ending in a dotted quad")
            << u"2001:db8:1::192.0.2.1"_s << QByteArray("/rdap/ip/2001:db8:1::c000:201");
    }
    void ipv6Lookup()
    {
        QFETCH(QString, relay);
        QFETCH(QByteArray, asked);
        TestHttpServer registry;
        const QByteArray answer = R"({"objectClassName": "ip network", "startAddress": "2001:db8:1::",
            "endAddress": "2001:db8:1:ffff:ffff:ffff:ffff:ffff", "entities": [)" +
                                  abuseEntity("abuse@v6.example") + "]}";
        registry.setResponse(asked, Response::page(answer, "application/rdap+json"));
        Scene scene({{{u"0.0.0.0/0"_s}, registry.url().toString()}},
                    {{{u"2001:db8:1::/48"_s}, registry.url("/rdap").toString()}});
        RdapClient client(scene.options);
        RdapResult result;
        QVERIFY(ask(client, relay, result));
        QCOMPARE(result.error, QString());
        QCOMPARE(result.abuse, QStringList{u"abuse@v6.example"_s});
        QCOMPARE(result.server, registry.url("/rdap").toString());
        QCOMPARE(targets(registry), QList<QByteArray>{asked});
    }

private:
    TestHttpServer m_refreshServer;
};

QTEST_GUILESS_MAIN(TestRdap)
#include "tst_rdap.moc"
