// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/dlgOnlineHelp.h"
#include "tests/support/FixedLayoutCheck.h"
#include "tests/support/TestHttpServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>

#include <algorithm>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr QByteArrayView HelpTarget = "/spamcontrolhelp.htm";

QString shownText(const dlgOnlineHelp& dialog)
{
    return dialog.findChild<QTextBrowser*>(u"wbOnlineHelp"_s)->toPlainText();
}

// The installed copy as the view shows it, without the line above it.
QString installedCopyText()
{
    QFile file(u":/help/spamcontrolhelp.htm"_s);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QTextDocument document;
    document.setHtml(QString::fromUtf8(file.readAll()));
    return document.toPlainText();
}

} // namespace

class TestHelpDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_server.emplace();
        m_server->setResponse(HelpTarget.toByteArray(),
                              TestHttpServer::Response::page(page(u"Help from the site").toUtf8()));
    }

    void controls_data()
    {
        QTest::addColumn<int>("index");
        const std::span<const ControlSpec> table = dlgOnlineHelp::layout();
        for (int index = 0; index < int(table.size()); ++index) {
            QTest::newRow(table[size_t(index)].name.toString().toUtf8().constData()) << index;
        }
    }
    // Kind, geometry, caption, tool tip and buddy as the table says, no caption cut.
    void controls()
    {
        QFETCH(int, index);
        const dlgOnlineHelp dialog(helpUrl());
        QCOMPARE(controlDifferences(dialog, dlgOnlineHelp::layout()[size_t(index)]), QStringList());
    }

    void window()
    {
        const dlgOnlineHelp dialog(helpUrl());
        QCOMPARE(dialog.windowTitle(), u"Zelkor II Online Help"_s);
        QCOMPARE(dialog.parentWidget(), nullptr);
        QVERIFY(dialog.isModal());
        QCOMPARE(dialog.minimumSize(), QSize(664, 459));
        QCOMPARE(dialog.maximumSize(), QSize(664, 459));
        QCOMPARE(tabCycle(dialog, dlgOnlineHelp::layout()), tableTabOrder(dlgOnlineHelp::layout()));
        QCOMPARE(dialog.focusWidget(), dialog.findChild<QWidget*>(u"OKButton"_s));
    }

    void pageFromTheSite_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("contentType");

        QTest::newRow("UTF-8") << page(u"Grüße").toUtf8() << QByteArray("text/html; charset=utf-8");
        QTest::newRow("Latin-1 named by the Content-Type header")
            << page(u"Grüße").toLatin1() << QByteArray("text/html; charset=ISO-8859-1");
        QTest::newRow("Latin-1 named by a meta tag")
            << (u"<html><head><meta charset=\"iso-8859-1\"></head>"_s + page(u"Grüße").sliced(6)).toLatin1()
            << QByteArray("text/html");
    }
    // Shown at once, the page when it has come, fetched past any cache.
    void pageFromTheSite()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        m_server->setResponse(HelpTarget.toByteArray(), TestHttpServer::Response::page(body, contentType));

        dlgOnlineHelp dialog(helpUrl());
        QSignalSpy shown(&dialog, &dlgOnlineHelp::pageShown);
        dialog.open();
        QVERIFY(dialog.isVisible());
        QVERIFY(shown.wait(5000));
        QCOMPARE(shown.first().first().value<dlgOnlineHelp::PageSource>(), dlgOnlineHelp::PageSource::Site);
        QVERIFY2(shownText(dialog).contains(u"Grüße"_s), qPrintable(shownText(dialog)));
        QVERIFY(!dialog.isFetching());
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(m_server->requests().first().headers.value("cache-control"), QByteArray("no-cache"));
    }

    // Every opening fetches the page anew; the figure is the time from opening
    // the dialog to its page being shown, the page being the installed one.
    void everyOpeningFetchesAnew()
    {
        QFile installed(u":/help/spamcontrolhelp.htm"_s);
        QVERIFY(installed.open(QIODevice::ReadOnly));
        const QString sitePage = QString::fromUtf8(installed.readAll());
        constexpr int Openings = 5;
        QList<qint64> microseconds;
        for (int opening = 1; opening <= Openings; ++opening) {
            const QString version = u"Version %1 of the help"_s.arg(opening);
            QString body = sitePage;
            body.replace(u"</body>"_s, u"<p>"_s + version + u"</p></body>"_s, Qt::CaseInsensitive);
            m_server->setResponse(HelpTarget.toByteArray(), TestHttpServer::Response::page(body.toUtf8()));
            QElapsedTimer clock;
            clock.start();
            dlgOnlineHelp dialog(helpUrl());
            QSignalSpy shown(&dialog, &dlgOnlineHelp::pageShown);
            dialog.open();
            QVERIFY(shown.wait(5000));
            microseconds.append(clock.nsecsElapsed() / 1000);
            QVERIFY2(shownText(dialog).contains(version), qPrintable(shownText(dialog)));
            QTest::mouseClick(dialog.findChild<QPushButton*>(u"OKButton"_s), Qt::LeftButton);
        }
        QCOMPARE(m_server->requests().size(), Openings);
        std::sort(microseconds.begin(), microseconds.end());
        qInfo("page shown after opening: first %lld us, median %lld us, slowest %lld us", microseconds.first(),
              microseconds[Openings / 2], microseconds.last());
    }

    // A page that has moved is followed, and its links are relative to where it now is.
    void followsARedirect()
    {
        m_server->setResponse(HelpTarget.toByteArray(), TestHttpServer::Response::redirect(301, "/moved/help.htm"));
        m_server->setResponse("/moved/help.htm", TestHttpServer::Response::page(page(u"Moved help").toUtf8()));
        m_server->setResponse("/moved/start.htm", TestHttpServer::Response::page(page(u"Getting started").toUtf8()));
        dlgOnlineHelp dialog(helpUrl());
        QList<QUrl> opened;
        dialog.setDesktopOpener([&opened](const QUrl& url) { opened.append(url); });
        QSignalSpy shown(&dialog, &dlgOnlineHelp::pageShown);
        QVERIFY(shown.wait(5000));
        QCOMPARE(shown.first().first().value<dlgOnlineHelp::PageSource>(), dlgOnlineHelp::PageSource::Site);
        QVERIFY(shownText(dialog).contains(u"Moved help"_s));
        Q_EMIT dialog.findChild<QTextBrowser*>(u"wbOnlineHelp"_s)->anchorClicked(QUrl(u"start.htm"_s));
        QVERIFY(shown.wait(5000));
        QVERIFY(shownText(dialog).contains(u"Getting started"_s));
        QCOMPARE(m_server->requests().last().target, QByteArray("/moved/start.htm"));
        QCOMPARE(opened, QList<QUrl>());
    }

    // The site answers within the time limit: its page stays on view when the
    // limit passes afterwards.
    void aPageInTimeOutlivesTheTimeLimit()
    {
        constexpr auto Limit = 1000ms;
        m_server->setResponse(HelpTarget.toByteArray(),
                              TestHttpServer::Response::late(
                                  TestHttpServer::Response::page(page(u"Help from the site").toUtf8()), 200ms));
        QElapsedTimer clock;
        clock.start();
        dlgOnlineHelp dialog(helpUrl(), Limit);
        QSignalSpy shown(&dialog, &dlgOnlineHelp::pageShown);
        dialog.open();
        QVERIFY(shown.wait(5000));
        QVERIFY2(clock.elapsed() < Limit.count(), qPrintable(QString::number(clock.elapsed())));
        QTest::qWait(int(Limit.count() - clock.elapsed()) + 300);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().first().value<dlgOnlineHelp::PageSource>(), dlgOnlineHelp::PageSource::Site);
        QVERIFY2(shownText(dialog).contains(u"Help from the site"_s), qPrintable(shownText(dialog)));
    }

    void installedCopy_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QString>("reason");

        QTest::newRow("page not found") << 404 << true << u"HTTP 404 Not Found"_s;
        QTest::newRow("server error") << 500 << true << u"HTTP 500"_s;
        QTest::newRow("nothing listening") << 0 << false << u"refused"_s;
        QTest::newRow("a silent server, past the time limit") << -1 << true << u"no answer within 0.3 seconds"_s;
    }
    // Under one line that says so, the copy installed with the program.
    void installedCopy()
    {
        QFETCH(int, status);
        QFETCH(bool, listening);
        QFETCH(QString, reason);
        m_server->setResponse(HelpTarget.toByteArray(), status < 0 ? TestHttpServer::Response::silence()
                                                                   : TestHttpServer::Response::withStatus(status));
        if (!listening) {
            m_server->refuseConnections();
        }
        QElapsedTimer clock;
        clock.start();
        dlgOnlineHelp dialog(helpUrl(), 300ms);
        QSignalSpy shown(&dialog, &dlgOnlineHelp::pageShown);
        dialog.open();
        QVERIFY(shown.wait(5000));
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(shown.first().first().value<dlgOnlineHelp::PageSource>(), dlgOnlineHelp::PageSource::InstalledCopy);

        const QString text = shownText(dialog);
        const QString firstLine = text.section(u'\n', 0, 0);
        QVERIFY2(firstLine.contains(u"could not be reached"_s) && firstLine.contains(u"installed with the program"_s),
                 qPrintable(firstLine));
        QVERIFY2(firstLine.contains(reason, Qt::CaseInsensitive), qPrintable(firstLine));
        const QString installed = installedCopyText();
        QVERIFY(!installed.isEmpty());
        QVERIFY2(text.endsWith(installed), qPrintable(text));
        // The silent server's connection was given up, not left open.
        QTRY_COMPARE(m_server->openConnections(), 0);
    }

    void closesAtOnce_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<bool>("byOk");

        QTest::newRow("OK while the server is silent") << true << true;
        QTest::newRow("window closed while the server is silent") << true << false;
        QTest::newRow("OK with nothing listening") << false << true;
    }
    // Whatever the fetch is doing, the dialog closes at once and drops it.
    void closesAtOnce()
    {
        QFETCH(bool, listening);
        QFETCH(bool, byOk);
        m_server->setResponse(HelpTarget.toByteArray(), TestHttpServer::Response::silence());
        if (!listening) {
            m_server->refuseConnections();
        }
        QSignalSpy requested(&*m_server, &TestHttpServer::requestReceived);
        auto dialog = std::make_unique<dlgOnlineHelp>(helpUrl());
        QSignalSpy shown(dialog.get(), &dlgOnlineHelp::pageShown);
        dialog->open();
        if (listening) {
            QVERIFY(requested.wait(5000));
            QVERIFY(dialog->isFetching());
        }
        QElapsedTimer clock;
        clock.start();
        if (byOk) {
            QTest::mouseClick(dialog->findChild<QPushButton*>(u"OKButton"_s), Qt::LeftButton);
        } else {
            QVERIFY(dialog->close());
        }
        QVERIFY(!dialog->isVisible());
        // Nothing waits for the fetch: a wait would last until the 10 s limit.
        QVERIFY(clock.elapsed() < 500);
        QVERIFY(!dialog->isFetching());
        QCOMPARE(dialog->result(), int(byOk ? QDialog::Accepted : QDialog::Rejected));
        QTRY_COMPARE(m_server->openConnections(), 0);
        dialog.reset();
        if (listening) {
            QCOMPARE(shown.size(), 0);
        }
    }

    void links_data()
    {
        // In the links, {site} stands for http://127.0.0.1:PORT, the site of
        // the help page, {port} for its port and {other} for another port.
        QTest::addColumn<QString>("link");
        QTest::addColumn<QByteArray>("fetched");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("scrolled");
        QTest::addColumn<QString>("desktop");

        const QString help = u"Help from the site"_s;
        const QString start = u"Getting started"_s;
        QTest::newRow("relative to the page")
            << u"guide/start.htm"_s << QByteArray("/guide/start.htm") << start << false << QString();
        QTest::newRow("absolute, on the site")
            << u"{site}/guide/start.htm"_s << QByteArray("/guide/start.htm") << start << false << QString();
        QTest::newRow("a place in another page of the site")
            << u"guide/start.htm#end"_s << QByteArray("/guide/start.htm") << start << true << QString();
        QTest::newRow("a place in the page itself") << u"#batch"_s << QByteArray() << help << true << QString();
        QTest::newRow("a page the site does not have")
            << u"missing.htm"_s << QByteArray("/missing.htm") << u"could not be fetched (HTTP 404 Not Found)"_s << false
            << QString();
        QTest::newRow("a document that is not HTML")
            << u"/manual.pdf"_s << QByteArray("/manual.pdf") << help << false << u"{site}/manual.pdf"_s;
        QTest::newRow("another port") << u"http://127.0.0.1:{other}/guide/start.htm"_s << QByteArray() << help << false
                                      << u"http://127.0.0.1:{other}/guide/start.htm"_s;
        QTest::newRow("another host name") << u"http://localhost:{port}/guide/start.htm"_s << QByteArray() << help
                                           << false << u"http://localhost:{port}/guide/start.htm"_s;
        QTest::newRow("another scheme, same host and port")
            << u"https://127.0.0.1:{port}/guide/start.htm"_s << QByteArray() << help << false
            << u"https://127.0.0.1:{port}/guide/start.htm"_s;
        QTest::newRow("another site") << u"https://example.org/x"_s << QByteArray() << help << false
                                      << u"https://example.org/x"_s;
        QTest::newRow("mail") << u"mailto:help@example.org"_s << QByteArray() << help << false
                              << u"mailto:help@example.org"_s;
    }
    // Pages of the help's site are fetched into the view, resolved against the
    // page on view; everything else goes to the desktop.
    void links()
    {
        QFETCH(QString, link);
        QFETCH(QByteArray, fetched);
        QFETCH(QString, shown);
        QFETCH(bool, scrolled);
        QFETCH(QString, desktop);
        const auto expand = [this](QString text) {
            return text.replace(u"{site}"_s, u"http://127.0.0.1:%1"_s.arg(m_server->port()))
                .replace(u"{port}"_s, QString::number(m_server->port()))
                .replace(u"{other}"_s, QString::number(m_server->port() ^ 1U));
        };
        m_server->setResponse("/guide/start.htm", TestHttpServer::Response::page(page(u"Getting started").toUtf8()));
        m_server->setResponse("/manual.pdf", TestHttpServer::Response::page("%PDF-1.4", "application/pdf"));
        dlgOnlineHelp dialog(helpUrl());
        QList<QUrl> opened;
        dialog.setDesktopOpener([&opened](const QUrl& url) { opened.append(url); });
        QSignalSpy pageShown(&dialog, &dlgOnlineHelp::pageShown);
        dialog.open();
        QVERIFY(pageShown.wait(5000));
        auto* view = dialog.findChild<QTextBrowser*>(u"wbOnlineHelp"_s);
        QCOMPARE(view->verticalScrollBar()->value(), 0);

        Q_EMIT view->anchorClicked(QUrl(expand(link)));
        QTRY_VERIFY(!dialog.isFetching());
        QList<QByteArray> targets;
        for (const TestHttpServer::Request& request : m_server->requests().sliced(1)) {
            targets.append(request.target);
        }
        QCOMPARE(targets, fetched.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{fetched});
        QVERIFY2(shownText(dialog).contains(shown), qPrintable(shownText(dialog)));
        QCOMPARE(view->verticalScrollBar()->value() > 0, scrolled);
        QCOMPARE(opened, desktop.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(expand(desktop))});
    }

private:
    // A page taller than the view, with places named "batch" and "end" at its foot.
    static QString page(QStringView text)
    {
        QString filler;
        for (int paragraph = 1; paragraph <= 60; ++paragraph) {
            filler += u"<p>Paragraph %1.</p>"_s.arg(paragraph);
        }
        return u"<html><body><h1>"_s + text + u"</h1>"_s + filler +
               u"<p id=\"batch\">The batch run.</p><p id=\"end\">The end.</p></body></html>"_s;
    }
    QUrl helpUrl() const { return m_server->url(HelpTarget.toByteArray()); }

    std::optional<TestHttpServer> m_server;
};

QTEST_MAIN(TestHelpDialog)
#include "tst_helpdialog.moc"
