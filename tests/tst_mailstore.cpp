// SPDX-License-Identifier: GPL-3.0-or-later
// The mail store against a Dovecot IMAP server on 127.0.0.1 and Maildir
// folders in temporary directories.
#include "mailbox/FolderName.h"
#include "mailbox/MailStore.h"
#include "mailbox/MessageText.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/MailTestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString user = u"alice"_s;
const QString password = u"s3cret;pass"_s;

enum class Backend
{
    Imap,  // STARTTLS on the plain port
    Imaps, // TLS from the start
    Maildir,
};

enum class Disposal
{
    Delete,
    Move,
};

} // namespace

Q_DECLARE_METATYPE(Backend)
Q_DECLARE_METATYPE(Disposal)

class TestMailStore final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MailTestEnvironment> m_environment;
    std::unique_ptr<DovecotServer> m_dovecot;
    std::unique_ptr<DovecotServer> m_withoutUidPlus; // a server that cannot expunge one message alone
    int m_folderCount = 0;

    // Every test function gets a folder of its own, so no test sees another's messages.
    QString freshFolder() { return u"Test%1"_s.arg(++m_folderCount); }

    QString maildirRoot() const { return m_environment->path() + u"/Maildir"_s; }

    DovecotServer& dovecot(bool uidPlus) const { return uidPlus ? *m_dovecot : *m_withoutUidPlus; }

    MailSettings settingsFor(Backend backend, const QString& folder, bool uidPlus = true) const
    {
        MailSettings settings = MailSettings::defaults();
        settings.folder = folder;
        settings.timeoutMs = 5000;
        settings.caFile = dovecot(uidPlus).certificates().caFile;
        switch (backend) {
        case Backend::Imap:
            settings.storeUrl = QUrl(u"imap://%1@localhost:%2"_s.arg(user).arg(dovecot(uidPlus).imapPort()));
            break;
        case Backend::Imaps:
            settings.storeUrl = QUrl(u"imaps://%1@localhost:%2"_s.arg(user).arg(dovecot(uidPlus).imapsPort()));
            break;
        case Backend::Maildir:
            settings.storeUrl = QUrl(u"maildir://localhost"_s + maildirRoot());
            break;
        }
        return settings;
    }

    QString maildirFolder(const QString& folder) const { return foldername::maildirDirectory(maildirRoot(), folder); }

    void deliver(Backend backend, const QString& folder, const QString& name, const QByteArray& message,
                 bool uidPlus = true)
    {
        if (backend == Backend::Maildir) {
            deliverToMaildir(maildirFolder(folder), name, message);
        } else {
            dovecot(uidPlus).deliver(folder, name, message);
        }
    }

    QStringList files(Backend backend, const QString& folder, bool uidPlus = true) const
    {
        if (backend != Backend::Maildir) {
            return dovecot(uidPlus).messageFiles(folder);
        }
        QStringList names;
        for (const QString& sub : {u"/cur"_s, u"/new"_s}) {
            names += QDir(maildirFolder(folder) + sub).entryList(QDir::Files);
        }
        names.sort();
        return names;
    }

    static void addBackendRows(const char* name)
    {
        QTest::newRow(qPrintable(u"imap "_s + QLatin1StringView(name))) << Backend::Imap;
        QTest::newRow(qPrintable(u"imaps "_s + QLatin1StringView(name))) << Backend::Imaps;
        QTest::newRow(qPrintable(u"maildir "_s + QLatin1StringView(name))) << Backend::Maildir;
    }

    static QString entryOf(const MailResult<std::vector<MailItem>>& selection)
    {
        return selection.ok() && !selection.value().empty() ? selection.value().front().EntryID : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_environment = std::make_unique<MailTestEnvironment>();
        m_dovecot = std::make_unique<DovecotServer>(user, password);
        QVERIFY2(m_dovecot->errorString().isEmpty(), qPrintable(m_dovecot->errorString()));
        m_withoutUidPlus = std::make_unique<DovecotServer>(user, password, DovecotServer::Capabilities::WithoutUidPlus);
        QVERIFY2(m_withoutUidPlus->errorString().isEmpty(), qPrintable(m_withoutUidPlus->errorString()));
        QDir().mkpath(maildirRoot() + u"/cur"_s);
    }

    void cleanup()
    {
        if (QTest::currentTestFailed() && m_dovecot) {
            qWarning("%s", qPrintable(m_dovecot->log()));
            qWarning("%s", qPrintable(m_withoutUidPlus->log()));
        }
    }

    void cleanupTestCase()
    {
        m_dovecot.reset();
        m_withoutUidPlus.reset();
        m_environment.reset();
    }

    void load_data()
    {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("htmlStart");
        QTest::addColumn<QString>("bodyStart");
        const struct
        {
            const char* name;
            QString file, subject, htmlStart, bodyStart;
        } messages[] = {
            {"multipart, UTF-8 encoded-word subject, HTML and a zip", u"mp-1_qmail-outlook-ipv6-hostedemail.eml"_s,
             u"письмо уведом-е"_s, u"Налогоплательщик!<br>\r\nИнформируем Вас"_s, QString()},
            {"HTML only, with images", u"mp-4_exim-helo-port-fqdp.eml"_s, u"PI"_s,
             u"<HTML><HEAD><TITLE></TITLE>\r\n</HEAD>"_s, QString()},
            {"text only", u"sa-ham-007_exim.eml"_s, u"Testing"_s, QString(),
             u"This is a very boring test message with the Habeas mark"_s},
            {"alternative text and HTML", u"fl-multi-received_gmail-http.eml"_s,
             u"Fwd: Please forward this email to me"_s, u"<br><br><div class=\"gmail_quote\">"_s,
             u"---------- Forwarded message ----------\r\nFrom: Hello"_s},
            {"GB2312 text, CR LF file", u"sa-ham-gb2312-1_crlf-qmail.eml"_s, QString(), QString(),
             u"  台湾鑫龙商贸集团公司向您拜年! "_s},
            {"base64 text", u"sa-spam-base64.eml"_s, u"Website traffic Building"_s, QString(),
             u"We have ranked the top ten traffic building sites"_s},
        };
        for (const auto& message : messages) {
            for (const auto& [backend, prefix] :
                 {std::pair{Backend::Imap, "imap: "}, std::pair{Backend::Imaps, "imaps: "},
                  std::pair{Backend::Maildir, "maildir: "}}) {
                QTest::newRow(qPrintable(QLatin1StringView(prefix) + QLatin1StringView(message.name)))
                    << backend << message.file << message.subject << message.htmlStart << message.bodyStart;
            }
        }
    }

    // The load of the mailbox group's Start: caption, selection, header, bodies.
    void load()
    {
        QFETCH(Backend, backend);
        QFETCH(QString, file);
        QFETCH(QString, subject);
        QFETCH(QString, htmlStart);
        QFETCH(QString, bodyStart);
        const QString folder = freshFolder();
        const QByteArray raw = testMessage(file);
        QVERIFY(!raw.isEmpty());
        deliver(backend, folder, u"1700000000.M1P1.test"_s, raw);

        MailStore store(settingsFor(backend, folder), password);
        const MailError opened = store.open();
        QVERIFY2(opened.ok(), qPrintable(opened.description));
        QVERIFY(store.caption().startsWith(folder + u" - "_s));

        const auto selection = store.selection();
        QVERIFY2(selection.ok(), qPrintable(selection.error().description));
        QCOMPARE(selection.value().size(), size_t(1));
        const MailItem& item = selection.value().front();
        QCOMPARE(item.Class, 43);
        QVERIFY(!item.EntryID.isEmpty());
        if (!subject.isNull()) {
            QCOMPARE(item.Subject, subject);
        }
        QCOMPARE(item.HTMLBody.isEmpty(), htmlStart.isEmpty());
        QVERIFY2(item.HTMLBody.startsWith(htmlStart), qPrintable(item.HTMLBody.left(100)));
        QCOMPARE(item.Body.isEmpty(), bodyStart.isEmpty());
        QVERIFY2(item.Body.startsWith(bodyStart), qPrintable(item.Body.left(100)));

        const auto header = store.GetMessage(item.EntryID);
        QVERIFY2(header.ok(), qPrintable(header.error().description));
        QCOMPARE(header.value(), SplitMessage(raw).header);
        QVERIFY(header.value().endsWith(u"\r\n\r\n"_s));
        QVERIFY(!QString(header.value()).remove(u"\r\n"_s).contains(u'\n'));
        store.close();

        // Reading never marks the message read: no S among its Maildir flags.
        for (const QString& name : files(backend, folder)) {
            QVERIFY2(!name.section(u":2,"_s, 1).contains(u'S'), qPrintable(name));
        }
    }

    void captionOfInbox_data()
    {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("shown");
        for (const QString& spelling : {u"INBOX"_s, u"inbox"_s, u"/INBOX"_s, u"INBOX/"_s}) {
            QTest::newRow(qPrintable(u"imap "_s + spelling)) << Backend::Imap << spelling << u"Inbox"_s;
        }
        QTest::newRow("imaps INBOX") << Backend::Imaps << u"INBOX"_s << u"Inbox"_s;
        for (const QString& spelling : {u"INBOX"_s, u"inbox"_s, u"/"_s, u"INBOX/"_s}) {
            QTest::newRow(qPrintable(u"maildir "_s + spelling)) << Backend::Maildir << spelling << u"Inbox"_s;
        }
        QTest::newRow("imap empty levels") << Backend::Imap << u"/Shown//Sub/"_s << u"Shown/Sub"_s;
        QTest::newRow("maildir dotted levels") << Backend::Maildir << u"Shown.Sub"_s << u"Shown/Sub"_s;
    }

    // The caption names the folder opened: every spelling of the Inbox is
    // "Inbox" (the batch's Inbox warning looks for it).
    void captionOfInbox()
    {
        QFETCH(Backend, backend);
        QFETCH(QString, folder);
        QFETCH(QString, shown);
        if (shown != u"Inbox"_s) {
            deliver(backend, shown, u"1700000000.M1P1.shown"_s, testMessage(u"sa-spam-001.eml"_s));
        }
        MailStore store(settingsFor(backend, folder), password);
        const MailError opened = store.open();
        QVERIFY2(opened.ok(), qPrintable(opened.description));
        const QString account = backend == Backend::Maildir ? maildirRoot() : u"alice@localhost"_s;
        QCOMPARE(store.caption(), shown + u" - "_s + account);
        QVERIFY(store.selection().ok());
    }

    // Maildir: the earliest delivery time of the unique name, ties by name;
    // a message flagged T (deleted, not yet expunged) is passed over.
    void maildirOrder_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("oldest");
        QTest::newRow("seconds decide") << QStringList{u"1700000002.M1P1.b"_s, u"1700000001.M9P1.a"_s}
                                        << u"1700000001.M9P1.a"_s;
        QTest::newRow("microseconds within a second")
            << QStringList{u"1700000001.M999999P1.x"_s, u"1700000001.M5P1.y"_s, u"1700000002.M0P1.z"_s}
            << u"1700000001.M5P1.y"_s;
        QTest::newRow("same time: by name")
            << QStringList{u"1700000001.M5P2.b"_s, u"1700000001.M5P1.c"_s} << u"1700000001.M5P1.c"_s;
        QTest::newRow("deleted passed over")
            << QStringList{u"1600000000.M1P1.old:2,ST"_s, u"1700000000.M1P1.new:2,S"_s} << u"1700000000.M1P1.new"_s;
        QTest::newRow("name without a time comes last")
            << QStringList{u"courier-import"_s, u"1700000000.M1P1.new"_s} << u"1700000000.M1P1.new"_s;
        QTest::newRow("old-style name") << QStringList{u"1700000000.M1P1.b"_s, u"1600000000.12345.host"_s}
                                        << u"1600000000.12345.host"_s;
        QTest::newRow("empty folder") << QStringList{} << QString();
    }

    void maildirOrder()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, oldest);
        const QString folder = freshFolder();
        QDir().mkpath(maildirRoot() + u"/."_s + folder + u"/cur"_s);
        for (const QString& name : names) {
            deliver(Backend::Maildir, folder, name, testMessage(u"sa-spam-001.eml"_s));
        }
        MailStore store(settingsFor(Backend::Maildir, folder));
        QVERIFY(store.open().ok());
        QCOMPARE(entryOf(store.selection()), oldest);
    }

    // IMAP: the lowest UID, whatever the file names say, and not a message
    // flagged \Deleted.
    void imapOrder()
    {
        const QString folder = freshFolder();
        deliver(Backend::Imap, folder, u"1500000000.M1P1.deleted:2,T"_s, testMessage(u"sa-spam-002.eml"_s));
        deliver(Backend::Imap, folder, u"1700000000.M1P1.first"_s, testMessage(u"sa-spam-001.eml"_s));
        MailStore store(settingsFor(Backend::Imap, folder), password);
        QVERIFY(store.open().ok());
        const auto first = store.selection();
        QVERIFY2(first.ok(), qPrintable(first.error().description));
        QCOMPARE(first.value().at(0).Subject, u"There yours for FREE!"_s);

        // Arrives later but claims an earlier delivery time: it gets the higher UID.
        deliver(Backend::Imap, folder, u"1600000000.M1P1.second"_s, testMessage(u"sa-ham-007_exim.eml"_s));
        QCOMPARE(entryOf(store.selection()), first.value().at(0).EntryID);
        QVERIFY(store.Delete(first.value().at(0).EntryID).ok());
        const auto second = store.selection();
        QVERIFY2(second.ok(), qPrintable(second.error().description));
        QCOMPARE(second.value().at(0).Subject, u"Testing"_s);
        QVERIFY(store.Delete(second.value().at(0).EntryID).ok());
        QCOMPARE(entryOf(store.selection()), QString());
    }

    void newestHeaders_data()
    {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QStringList>("newestTwo");
        QTest::addColumn<QStringList>("all");
        // "e" arrives last but its name claims the earliest delivery: IMAP goes
        // by arrival, a Maildir by the name.
        QTest::newRow("imap") << Backend::Imap << QStringList{u"e"_s, u"c"_s}
                              << QStringList{u"e"_s, u"c"_s, u"b"_s, u"a"_s};
        QTest::newRow("imaps") << Backend::Imaps << QStringList{u"e"_s, u"c"_s}
                               << QStringList{u"e"_s, u"c"_s, u"b"_s, u"a"_s};
        QTest::newRow("maildir") << Backend::Maildir << QStringList{u"c"_s, u"b"_s}
                                 << QStringList{u"c"_s, u"b"_s, u"a"_s, u"e"_s};
    }

    // The newest headers of a folder, newest first, passing over a deleted
    // message; reading them changes no flag (\Seen above all) on any message.
    void newestHeaders()
    {
        QFETCH(Backend, backend);
        QFETCH(QStringList, newestTwo);
        QFETCH(QStringList, all);
        const QString folder = freshFolder();
        const QHash<QString, QString> sources{{u"a"_s, u"sa-spam-001.eml"_s},
                                              {u"b"_s, u"sa-spam-002.eml"_s},
                                              {u"c"_s, u"sa-ham-007_exim.eml"_s},
                                              {u"d"_s, u"sa-spam-005.eml"_s},
                                              {u"e"_s, u"sa-spam-base64.eml"_s}};
        // "b" was read before, "d" is deleted but not yet expunged.
        const QStringList names{u"1700000001.M1P1.a"_s, u"1700000002.M1P1.b:2,S"_s, u"1700000003.M1P1.c"_s,
                                u"1700000004.M1P1.d:2,T"_s, u"1600000000.M1P1.e"_s};
        for (const QString& name : names) {
            deliver(backend, folder, name, testMessage(sources.value(name.section(u'.', 2, 2).section(u':', 0, 0))));
            if (backend != Backend::Maildir) {
                // Dovecot numbers a message when a session first sees it.
                const QString seen = m_dovecot->imapCommands(folder, {});
                QVERIFY2(seen.isEmpty(), qPrintable(seen));
            }
        }
        // Each message's unique name and flags, wherever Dovecot keeps its file.
        const auto flags = [&] {
            QStringList flagged;
            for (const QString& name : files(backend, folder)) {
                flagged.append(name.section(u':', 0, 0) + u' ' + name.section(u":2,"_s, 1));
            }
            flagged.sort();
            return flagged;
        };
        const QStringList before = flags();
        const auto headersOf = [&](const QStringList& keys) {
            QStringList headers;
            for (const QString& key : keys) {
                headers.append(SplitMessage(testMessage(sources.value(key))).header);
            }
            return headers;
        };

        MailStore store(settingsFor(backend, folder), password);
        const auto two = store.newestHeaders(folder, 2);
        QVERIFY2(two.ok(), qPrintable(two.error().description));
        QCOMPARE(two.value(), headersOf(newestTwo));
        const auto every = store.newestHeaders(folder, 10);
        QVERIFY2(every.ok(), qPrintable(every.error().description));
        QCOMPARE(every.value(), headersOf(all));
        QCOMPARE(flags(), before);
        QVERIFY(!store.isOpen());
        QCOMPARE(store.newestHeaders(u"NoSuchFolder"_s, 2).error().kind, MailFailure::Settings);
    }

    void deleteOne_data()
    {
        QTest::addColumn<Backend>("backend");
        addBackendRows("of three");
    }

    // Delete removes exactly the selected message; the others stay unflagged.
    void deleteOne()
    {
        QFETCH(Backend, backend);
        const QString folder = freshFolder();
        const QStringList names = {u"1700000001.M1P1.a"_s, u"1700000002.M1P1.b"_s, u"1700000003.M1P1.c"_s};
        for (const QString& name : names) {
            deliver(backend, folder, name, testMessage(u"sa-spam-001.eml"_s));
        }
        MailStore store(settingsFor(backend, folder), password);
        QVERIFY(store.open().ok());
        const QString first = entryOf(store.selection());
        QVERIFY(!first.isEmpty());
        const MailError deleted = store.Delete(first);
        QVERIFY2(deleted.ok(), qPrintable(deleted.description));
        QCOMPARE(store.Delete(first).kind, MailFailure::MessageGone);
        QCOMPARE(store.GetMessage(first).error().kind, MailFailure::MessageGone);
        QCOMPARE(store.Delete(first.section(u'/', 0, 0) + u"/1:*"_s).kind, MailFailure::MessageGone);
        const QString next = entryOf(store.selection());
        QVERIFY(!next.isEmpty());
        QVERIFY(next != first);
        store.close();

        const QStringList left = files(backend, folder);
        QCOMPARE(left.size(), 2);
        for (const QString& name : left) {
            QVERIFY2(!name.startsWith(names[0]), qPrintable(name));
            QVERIFY2(!name.section(u":2,"_s, 1).contains(u'T'), qPrintable(name));
        }
    }

    void readingExpungesNothing_data()
    {
        QTest::addColumn<Backend>("backend");
        QTest::newRow("imap") << Backend::Imap;
        QTest::newRow("imaps") << Backend::Imaps;
    }

    // A session that only reads leaves a message another client flagged
    // \Deleted where it is: open, caption, selection, header, texts, close.
    void readingExpungesNothing()
    {
        QFETCH(Backend, backend);
        const QString folder = freshFolder();
        deliver(backend, folder, u"1500000000.M1P1.flagged"_s, testMessage(u"sa-spam-002.eml"_s));
        deliver(backend, folder, u"1700000000.M1P1.kept"_s, testMessage(u"sa-spam-001.eml"_s));
        const QString flagged = m_dovecot->imapCommands(folder, {"STORE 1 +FLAGS (\\Deleted)"});
        QVERIFY2(flagged.isEmpty(), qPrintable(flagged));
        for (int session = 0; session < 2; ++session) {
            MailStore store(settingsFor(backend, folder), password);
            QVERIFY(store.open().ok());
            QVERIFY(!store.caption().isEmpty());
            const QString entry = entryOf(store.selection());
            QVERIFY(!entry.isEmpty());
            QVERIFY(store.GetMessage(entry).ok());
            QVERIFY(store.item(entry).ok());
            store.close();
        }
        const QStringList left = files(backend, folder);
        QCOMPARE(left.size(), 2);
        QVERIFY2(left.front().startsWith(u"1500000000.M1P1.flagged:2,"_s), qPrintable(left.join(u' ')));
    }

    // Another client expunges an older message between the load and the
    // disposal, so the sequence numbers shift: the message deleted is still
    // the one loaded, and the next one stays.
    void deleteAfterAnotherClientExpunged()
    {
        const QString folder = freshFolder();
        deliver(Backend::Imap, folder, u"1700000001.M1P1.a"_s, testMessage(u"sa-spam-002.eml"_s));
        deliver(Backend::Imap, folder, u"1700000002.M1P1.b"_s, testMessage(u"sa-spam-001.eml"_s));
        deliver(Backend::Imap, folder, u"1700000003.M1P1.c"_s, testMessage(u"sa-ham-007_exim.eml"_s));
        QString answer = m_dovecot->imapCommands(folder, {"STORE 1 +FLAGS (\\Deleted)"});
        QVERIFY2(answer.isEmpty(), qPrintable(answer));
        MailStore store(settingsFor(Backend::Imap, folder), password);
        QVERIFY(store.open().ok());
        const auto loaded = store.selection();
        QVERIFY2(loaded.ok(), qPrintable(loaded.error().description));
        QCOMPARE(loaded.value().at(0).Subject, u"There yours for FREE!"_s);
        answer = m_dovecot->imapCommands(folder, {"EXPUNGE"});
        QVERIFY2(answer.isEmpty(), qPrintable(answer));
        const MailError deleted = store.Delete(loaded.value().at(0).EntryID);
        QVERIFY2(deleted.ok(), qPrintable(deleted.description));
        const auto next = store.selection();
        QVERIFY2(next.ok(), qPrintable(next.error().description));
        QCOMPARE(next.value().at(0).Subject, u"Testing"_s);
        store.close();
        QCOMPARE(files(Backend::Imap, folder).size(), 1);
    }

    void disposal_data()
    {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<bool>("uidPlus");
        QTest::addColumn<Disposal>("disposal");
        QTest::addColumn<bool>("flaggedStays");
        for (const auto& [disposal, name] :
             {std::pair{Disposal::Delete, "Delete"}, std::pair{Disposal::Move, "Move"}}) {
            const QLatin1StringView what(name);
            QTest::newRow(qPrintable(what + u", imap with UIDPLUS"_s)) << Backend::Imap << true << disposal << true;
            QTest::newRow(qPrintable(what + u", imaps with UIDPLUS"_s)) << Backend::Imaps << true << disposal << true;
            QTest::newRow(qPrintable(what + u", imap without UIDPLUS"_s))
                << Backend::Imap << false << disposal << false;
            QTest::newRow(qPrintable(what + u", maildir"_s)) << Backend::Maildir << true << disposal << true;
        }
    }

    // Disposing of the message loaded removes it alone where the server has
    // UIDPLUS (UID EXPUNGE) and in a Maildir. Without UIDPLUS only the whole
    // folder can be expunged: every message already flagged \Deleted goes with
    // it. Messages not flagged always stay, unflagged.
    void disposal()
    {
        QFETCH(Backend, backend);
        QFETCH(bool, uidPlus);
        QFETCH(Disposal, disposal);
        QFETCH(bool, flaggedStays);
        const QString folder = freshFolder();
        const QString flagged = u"1500000000.M1P1.flagged"_s;
        const QString other = u"1700000002.M1P1.other"_s;
        deliver(backend, folder, flagged + u":2,T"_s, testMessage(u"sa-spam-002.eml"_s), uidPlus);
        deliver(backend, folder, u"1700000001.M1P1.target"_s, testMessage(u"sa-spam-001.eml"_s), uidPlus);
        deliver(backend, folder, other, testMessage(u"sa-ham-007_exim.eml"_s), uidPlus);
        MailStore store(settingsFor(backend, folder, uidPlus), password);
        QVERIFY(store.open().ok());
        const auto selection = store.selection();
        QVERIFY2(selection.ok(), qPrintable(selection.error().description));
        QCOMPARE(selection.value().at(0).Subject, u"There yours for FREE!"_s);
        const QString target = selection.value().at(0).EntryID;
        const MailError done =
            disposal == Disposal::Delete ? store.Delete(target) : store.Move(target, folder + u"Done"_s);
        QVERIFY2(done.ok(), qPrintable(done.description));
        store.close();

        QStringList left;
        for (const QString& name : files(backend, folder, uidPlus)) {
            left.append(name.section(u':', 0, 0));
            QVERIFY2(!name.startsWith(other) || !name.section(u":2,"_s, 1).contains(u'T'), qPrintable(name));
        }
        const QStringList expected = flaggedStays ? QStringList{flagged, other} : QStringList{other};
        QCOMPARE(left, expected);
        if (disposal == Disposal::Move) {
            QCOMPARE(files(backend, folder + u"Done"_s, uidPlus).size(), 1);
        }
    }

    void moveIntoItsOwnFolder_data()
    {
        QTest::addColumn<Backend>("backend");
        QTest::newRow("imap") << Backend::Imap;
        QTest::newRow("maildir") << Backend::Maildir;
    }

    // A move into the source folder under another spelling is refused: the
    // message would stay and be loaded again.
    void moveIntoItsOwnFolder()
    {
        QFETCH(Backend, backend);
        const QString folder = freshFolder();
        deliver(backend, folder, u"1700000000.M1P1.a"_s, testMessage(u"sa-spam-001.eml"_s));
        MailStore store(settingsFor(backend, folder), password);
        QVERIFY(store.open().ok());
        const QString entry = entryOf(store.selection());
        QCOMPARE(mailFailureName(store.Move(entry, u"/"_s + folder + u"/"_s).kind),
                 mailFailureName(MailFailure::Settings));
        QCOMPARE(entryOf(store.selection()), entry);
    }

    void maildirChangedElsewhere_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<Disposal>("disposal");
        QTest::addColumn<MailFailure>("failure");
        for (const auto& [disposal, name] :
             {std::pair{Disposal::Delete, "Delete"}, std::pair{Disposal::Move, "Move"}}) {
            const QLatin1StringView what(name);
            QTest::newRow(qPrintable(what + u", moved on to cur"_s)) << u":2,"_s << disposal << MailFailure::None;
            QTest::newRow(qPrintable(what + u", read"_s)) << u":2,S"_s << disposal << MailFailure::None;
            QTest::newRow(qPrintable(what + u", trashed"_s)) << u":2,T"_s << disposal << MailFailure::MessageGone;
            QTest::newRow(qPrintable(what + u", read and trashed"_s))
                << u":2,ST"_s << disposal << MailFailure::MessageGone;
        }
    }

    // Another mail program renames the loaded message's file before it is
    // disposed of: still there when it only read it, gone when it trashed it
    // (the trashed file is left alone).
    void maildirChangedElsewhere()
    {
        QFETCH(QString, flags);
        QFETCH(Disposal, disposal);
        QFETCH(MailFailure, failure);
        const QString folder = freshFolder();
        const QString directory = maildirFolder(folder);
        const QString delivered =
            deliverToMaildir(directory, u"1700000000.M1P1.host"_s, testMessage(u"sa-spam-001.eml"_s));
        MailStore store(settingsFor(Backend::Maildir, folder));
        QVERIFY(store.open().ok());
        const QString entry = entryOf(store.selection());
        QCOMPARE(entry, u"1700000000.M1P1.host"_s);
        const QString renamed = directory + u"/cur/"_s + entry + flags;
        QVERIFY(QFile::rename(delivered, renamed));
        const MailError error =
            disposal == Disposal::Delete ? store.Delete(entry) : store.Move(entry, folder + u"Done"_s);
        QCOMPARE(mailFailureName(error.kind), mailFailureName(failure));
        QCOMPARE(QFileInfo::exists(renamed), failure != MailFailure::None);
    }

    // A removal that fails while the file stays is an error. Root unlinks any
    // file whatever its permissions, so the file becomes a directory (that
    // holds a file) of the same name, which no unlink removes.
    void maildirRemovalFails()
    {
        const QString folder = freshFolder();
        const QString path =
            deliverToMaildir(maildirFolder(folder), u"1700000000.M1P1.host"_s, testMessage(u"sa-spam-001.eml"_s));
        MailStore store(settingsFor(Backend::Maildir, folder));
        QVERIFY(store.open().ok());
        const QString entry = entryOf(store.selection());
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
        QFile inside(path + u"/keep"_s);
        QVERIFY(inside.open(QIODevice::WriteOnly));
        inside.close();
        const MailError error = store.Delete(entry);
        QCOMPARE(mailFailureName(error.kind), mailFailureName(MailFailure::Refused));
        QVERIFY2(error.description.contains(path), qPrintable(error.description));
        QVERIFY(QFileInfo(path).isDir());
    }

    void move_data()
    {
        QTest::addColumn<Backend>("backend");
        addBackendRows("to a new folder");
    }

    void move()
    {
        QFETCH(Backend, backend);
        const QString folder = freshFolder();
        const QString target = folder + u"Done"_s;
        deliver(backend, folder, u"1700000001.M1P1.a"_s, testMessage(u"sa-spam-001.eml"_s));
        deliver(backend, folder, u"1700000002.M1P1.b"_s, testMessage(u"sa-spam-002.eml"_s));
        MailStore store(settingsFor(backend, folder), password);
        QVERIFY(store.open().ok());
        const QString first = entryOf(store.selection());
        const MailError moved = store.Move(first, target);
        QVERIFY2(moved.ok(), qPrintable(moved.description));
        QCOMPARE(store.Move(first, target).kind, MailFailure::MessageGone);
        QCOMPARE(store.selection().value().at(0).Subject, u"ADV: --YOUR BRAND NEW HOUSE--"_s);
        store.close();

        QCOMPARE(files(backend, folder).size(), 1);
        MailStore moveTarget(settingsFor(backend, target), password);
        QVERIFY(moveTarget.open().ok());
        const auto there = moveTarget.selection();
        QVERIFY2(there.ok(), qPrintable(there.error().description));
        QCOMPARE(there.value().at(0).Subject, u"There yours for FREE!"_s);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("trustTestCa");
        QTest::addColumn<MailFailure>("kind");
        QTest::addColumn<QString>("mentions");
        const QString imap = u"imap://alice@localhost:%1"_s.arg(m_dovecot->imapPort());
        const QString imaps = u"imaps://alice@localhost:%1"_s.arg(m_dovecot->imapsPort());
        QTest::newRow("wrong password") << imap << u"INBOX"_s << u"wrong"_s << true << MailFailure::Login
                                        << u"log-in"_s;
        QTest::newRow("unknown user") << u"imaps://mallory@localhost:%1"_s.arg(m_dovecot->imapsPort()) << u"INBOX"_s
                                      << password << true << MailFailure::Login << u"log-in"_s;
        QTest::newRow("untrusted certificate (STARTTLS)")
            << imap << u"INBOX"_s << password << false << MailFailure::Certificate << u"not trusted"_s;
        QTest::newRow("untrusted certificate (IMAPS)")
            << imaps << u"INBOX"_s << password << false << MailFailure::Certificate << u"not trusted"_s;
        QTest::newRow("certificate for another host")
            << u"imaps://alice@127.0.0.1:%1"_s.arg(m_dovecot->imapsPort()) << u"INBOX"_s << password << true
            << MailFailure::Certificate << u"another host name"_s;
        QTest::newRow("server down") << u"imap://alice@localhost:%1"_s.arg(unusedPort()) << u"INBOX"_s << password
                                     << true << MailFailure::Connect << u"localhost:"_s;
        QTest::newRow("missing folder") << imaps << u"NoSuchFolder"_s << password << true << MailFailure::Settings
                                        << u"NoSuchFolder"_s;
        QTest::newRow("no such Maildir") << u"maildir://localhost/nonexistent/Maildir"_s << u"Junk"_s << password
                                         << true << MailFailure::Settings << u"/nonexistent/Maildir"_s;
    }

    // Every failure says what failed and where, and never shows the password.
    void failures()
    {
        QFETCH(QString, url);
        QFETCH(QString, folder);
        QFETCH(QString, password);
        QFETCH(bool, trustTestCa);
        QFETCH(MailFailure, kind);
        QFETCH(QString, mentions);
        MailSettings settings = MailSettings::defaults();
        settings.storeUrl = QUrl(url);
        settings.folder = folder;
        settings.caFile = trustTestCa ? m_dovecot->certificates().caFile : QString();
        MailStore store(settings, password);
        const MailError error = store.open();
        QCOMPARE(mailFailureName(error.kind), mailFailureName(kind));
        QVERIFY2(error.description.contains(mentions), qPrintable(error.description));
        QVERIFY2(!error.description.contains(password), qPrintable(error.description));
        QVERIFY(!store.isOpen());
    }

    // A server that takes the connection and then says nothing: the operation
    // ends after the network timeout instead of hanging.
    void silentServer()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress(QHostAddress::LocalHost), 0));
        MailSettings settings = MailSettings::defaults();
        settings.storeUrl = QUrl(u"imap://alice@127.0.0.1:%1"_s.arg(silent.serverPort()));
        settings.timeoutMs = 1000;
        MailStore store(settings, password);
        QElapsedTimer timer;
        timer.start();
        const MailError error = store.open();
        QCOMPARE(mailFailureName(error.kind), mailFailureName(MailFailure::Timeout));
        QVERIFY2(error.description.contains(u"127.0.0.1:%1"_s.arg(silent.serverPort())), qPrintable(error.description));
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    }

private:
    static quint16 unusedPort()
    {
        QTcpServer server;
        server.listen(QHostAddress(QHostAddress::LocalHost), 0);
        return server.serverPort();
    }
};

QTEST_GUILESS_MAIN(TestMailStore)
#include "tst_mailstore.moc"
