// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on the offscreen platform: its layout read from the live
// widgets, and the commands driven through its buttons.
#include "common/ProductInfo.h"
#include "dialogs/FixedLayout.h"
#include "tests/support/FakeResolver.h"
#include "tests/support/FixedLayoutCheck.h"
#include "tests/support/MailTestEnvironment.h"
#include "tests/support/RegistryServers.h"
#include "tests/support/TimerTicks.h"
#include "trust/RelayTrust.h"
#include "window/frmMain.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOption>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString Relay = u"192.0.2.7"_s;
const QString Header = u"Received: from x ([192.0.2.7]) by mx\r\nSubject: offer\r\n"_s;

QString captionOf(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        return group->title();
    }
    return {};
}

/// The width a caption needs in its control beyond what the control offers, in
/// pixels; 0 or less when it fits. Measured with the control's own font and style.
int overflowOf(const QWidget* widget, const QString& caption)
{
    const QFontMetrics metrics(widget->font());
    const int text = metrics.horizontalAdvance(caption);
    QStyle* style = widget->style();
    if (const auto* check = qobject_cast<const QCheckBox*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(check);
        option.text = caption;
        return text - style->subElementRect(QStyle::SE_CheckBoxContents, &option, check).width();
    }
    if (qobject_cast<const QPushButton*>(widget) != nullptr) {
        return text + 2 * style->pixelMetric(QStyle::PM_ButtonMargin) - widget->width();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = caption;
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        return label.right() + 1 - group->width();
    }
    return std::max(text - widget->width(), metrics.height() - widget->height());
}

/// The names of the controls that Tab visits from the first one round to it again.
QStringList tabCycle(QWidget* first)
{
    QStringList names{first->objectName()};
    for (QWidget* at = first->nextInFocusChain(); at != first; at = at->nextInFocusChain()) {
        if ((at->focusPolicy() & Qt::TabFocus) && at->isVisibleTo(first->window()) && !at->objectName().isEmpty() &&
            at->focusProxy() == nullptr) {
            names.append(at->objectName());
        }
    }
    return names;
}

struct Window
{
    QTemporaryDir programDirectory;
    FakeResolver resolver;
    RegistryServers registries;
    frmMain window{{resolver, programDirectory.path(), {200ms, registries.serverMap()}, {}}};

    template <typename T>
    T* find(const char* name) const
    {
        return window.findChild<T*>(QString::fromLatin1(name));
    }
    const WorkbenchState& state() { return window.workbench().state(); }
    void click(const char* button) { QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton); }
    bool runTrace()
    {
        QSignalSpy finished(&window.workbench(), &Workbench::traceFinished);
        click("cmdByHand");
        return finished.wait(5000);
    }
};

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layoutFollowsTheTable();
    void geometryInPixels_data();
    void geometryInPixels();
    void noCaptionIsCut();
    void relayTipsNameEachHopsClass();
    void startAndClearThroughTheButtons();
    void typingKeepsTheCursor();
    void editsKeepTheText_data();
    void editsKeepTheText();
    void textBoxesWrapTheirLines_data();
    void textBoxesWrapTheirLines();
    void longRowsAreCutShortAndShownInTheirTips();
    void disabledCommandLeavesTheFocusHarmless_data();
    void disabledCommandLeavesTheFocusHarmless();
    void clipboardTexts();
    void batchBox();
    void waitingForTheMailboxKeepsTheWindowResponsive();
};

void TestWindow::layoutFollowsTheTable()
{
    Window w;
    QCOMPARE(w.window.windowTitle(), u"Zelkor II"_s);
    QCOMPARE(w.window.size(), QSize(606, 548));
    for (const ControlSpec& row : frmMain::layout()) {
        const QString name = row.name.toString();
        const auto* widget = w.window.findChild<QWidget*>(name);
        QVERIFY2(widget != nullptr, qPrintable(name));
        const QRect expected = row.kind == ControlKind::HorizontalLine
                                   ? QRect(pixelsFromTwips(row.twips).topLeft(), QSize(472, 1))
                                   : pixelsFromTwips(row.twips);
        QVERIFY2(widget->geometry() == expected, qPrintable(name));
        QCOMPARE(captionOf(widget), row.caption.toString());
        QCOMPARE(widget->toolTip(), row.toolTip.toString());
        if (const auto* label = qobject_cast<const QLabel*>(widget); label && !row.buddy.isEmpty()) {
            QCOMPARE(label->buddy()->objectName(), row.buddy.toString());
        }
    }
    QCOMPARE(tabCycle(w.find<QWidget>("txtIn")),
             (QStringList{u"txtIn"_s, u"lstOut"_s, u"lstDomain"_s, u"txtWhoIsOut"_s, u"txtWhoStatus"_s, u"lstAbuse"_s,
                          u"cmdCopy"_s, u"txtBody"_s, u"cmdUseOutlook"_s, u"cmdByHand"_s, u"cmdReportSpammer"_s,
                          u"txtSubject"_s, u"cmdCopyHeaderBody"_s, u"lstIPs"_s, u"cmdClear"_s, u"cmdHelp"_s,
                          u"chkAutomate"_s, u"cmdConfigure"_s}));
    QCOMPARE(tabCycle(w.find<QWidget>("txtIn")), tableTabOrder(frmMain::layout()));
    // Group boxes lie behind the buttons drawn over them.
    QCOMPARE(w.window.childAt(pixelsFromTwips({360, 6480, 735, 375}).center())->objectName(), u"cmdByHand"_s);
    QVERIFY(w.find<QPlainTextEdit>("txtWhoIsOut")->isReadOnly());
    QVERIFY(w.find<QLineEdit>("txtWhoStatus")->isReadOnly());
}

void TestWindow::geometryInPixels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");

    QTest::newRow("txtIn") << u"txtIn"_s << QRect(120, 48, 473, 43);
    QTest::newRow("lblBuild") << u"lblBuild"_s << QRect(120, 0, 65, 17);
    QTest::newRow("Line1, one pixel high") << u"Line1"_s << QRect(120, 17, 472, 1);
    QTest::newRow("lstAbuse") << u"lstAbuse"_s << QRect(304, 280, 289, 124);
    QTest::newRow("cmdByHand") << u"cmdByHand"_s << QRect(24, 432, 49, 25);
    QTest::newRow("Label5, within its group box") << u"Label5"_s << QRect(8, 48, 257, 17);
    QTest::newRow("txtWhoStatus") << u"txtWhoStatus"_s << QRect(16, 520, 569, 19);
}

// A few controls at the pixels their twips make at 96 dpi, worked out by hand.
void TestWindow::geometryInPixels()
{
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    Window w;
    QCOMPARE(w.window.size(), QSize(606, 548));
    QCOMPARE(w.window.findChild<QWidget*>(name)->geometry(), pixels);
}

void TestWindow::noCaptionIsCut()
{
    Window w;
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    // The fonts the layout was measured with, not a stand-in the system picked.
    QCOMPARE(QFontInfo(w.window.font()).family(), u"Liberation Sans"_s);
    QCOMPARE(QFontInfo(w.find<QWidget>("txtIn")->font()).family(), u"Liberation Mono"_s);
    QStringList cut;
    for (const ControlSpec& row : frmMain::layout()) {
        const auto* widget = w.window.findChild<QWidget*>(row.name.toString());
        const int overflow = row.caption.isEmpty() ? 0 : overflowOf(widget, row.caption.toString());
        if (overflow > 0) {
            cut.append(u"%1 by %2 px"_s.arg(row.name, QString::number(overflow)));
        }
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u", ")));
}

void TestWindow::startAndClearThroughTheButtons()
{
    Window w;
    w.resolver.answers.insert(Relay, {u"mail.spam-host.example"_s, 0});
    w.registries.server(Registry::ARIN)
        .setReply(Relay, TestWhoisServer::Reply::text(u"OrgAbuseEmail: abuse@net.example\n"_s));
    w.window.workbench().setHeaderText(Header);
    // Start pressed again while a lookup runs: one busy pointer all the same.
    w.click("cmdByHand");
    QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    QVERIFY(w.runTrace());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    QCOMPARE(w.find<QListWidget>("lstIPs")->item(0)->text(), Relay);
    QCOMPARE(w.find<QListWidget>("lstDomain")->item(0)->text(), u"SPAM-HOST.EXAMPLE"_s);
    QCOMPARE(w.find<QListWidget>("lstOut")->count(), 2);
    auto* abuse = w.find<QListWidget>("lstAbuse");
    QCOMPARE(abuse->count(), 2);
    QCOMPARE(abuse->item(1)->text(), u"ABUSE@NET.EXAMPLE"_s);
    QCOMPARE(abuse->item(1)->checkState(), Qt::Unchecked);
    QCOMPARE(w.find<QPlainTextEdit>("txtWhoIsOut")->toPlainText(), u"OrgAbuseEmail: abuse@net.example\n"_s);
    QCOMPARE(w.find<QLineEdit>("txtWhoStatus")->text(), u"Received answer"_s);
    QCOMPARE(w.find<QPlainTextEdit>("txtIn")->toPlainText(),
             u"Received: from x ([192.0.2.7]) by mx\nSubject: offer\n"_s);

    // Ticking a row changes the tick and nothing else.
    abuse->item(0)->setCheckState(Qt::Checked);
    QCOMPARE(w.state().lstAbuse.at(0).ticked, true);
    QCOMPARE(w.state().lstAbuse.size(), 2);
    QCOMPARE(w.find<QLineEdit>("txtWhoStatus")->text(), u"Received answer"_s);

    w.click("cmdClear");
    QCOMPARE(w.find<QLineEdit>("txtWhoStatus")->text(), u"Cleared"_s);
    for (const char* list : {"lstOut", "lstIPs", "lstDomain", "lstAbuse"}) {
        QVERIFY2(w.find<QListWidget>(list)->count() == 0, list);
    }
    for (const char* box : {"txtIn", "txtBody", "txtWhoIsOut"}) {
        QVERIFY2(w.find<QPlainTextEdit>(box)->toPlainText().isEmpty(), box);
    }
    QVERIFY(w.find<QLineEdit>("txtSubject")->text().isEmpty());
}

void TestWindow::typingKeepsTheCursor()
{
    Window w;
    auto* header = w.find<QPlainTextEdit>("txtIn");
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    header->setFocus();
    QTest::keyClicks(header, u"Received: from x"_s);
    QTest::keyClick(header, Qt::Key_Return);
    QTest::keyClicks(header, u"To: y"_s);
    QTest::keyClick(header, Qt::Key_Home);
    QTest::keyClicks(header, u"X"_s);
    QCOMPARE(w.state().txtIn, u"Received: from x\r\nXTo: y"_s);
    QCOMPARE(header->textCursor().position(), 18);
    QVERIFY(header->document()->isUndoAvailable());

    QTest::keyClicks(w.find<QLineEdit>("txtSubject"), u"buy"_s);
    QCOMPARE(w.state().txtSubject, u"buy"_s);
}

void TestWindow::editsKeepTheText_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("expected");

    const QString text = u"Received: from\u00A0x\tby\u2028mx\r\n\r\n\tid\u00A0\u00A0 1\r\n"_s;
    for (const QString& box : {u"txtIn"_s, u"txtBody"_s}) {
        QTest::addRow("%s: a letter", qPrintable(box))
            << box << text << int(Qt::Key_Z) << Qt::KeyboardModifiers() << text + u"z"_s;
        QTest::addRow("%s: Shift+Enter breaks the line", qPrintable(box))
            << box << text << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ShiftModifier) << text + u"\r\n"_s;
    }
    QTest::newRow("txtSubject") << u"txtSubject"_s << u"Buy\u00A0now\u2028\tcheap"_s << int(Qt::Key_Z)
                                << Qt::KeyboardModifiers() << u"Buy\u00A0now\u2028\tcheapz"_s;
}

// One keystroke at the end of a box: the state holds what the box holds, every
// no-break space, line separator and tab as it was.
void TestWindow::editsKeepTheText()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, expected);
    Window w;
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    QWidget* widget = w.find<QWidget>(qPrintable(box));
    QString (*stateText)(const WorkbenchState&) = nullptr;
    if (box == u"txtIn") {
        w.window.workbench().setHeaderText(text);
        stateText = [](const WorkbenchState& state) { return state.txtIn; };
    } else if (box == u"txtBody") {
        w.window.workbench().setBodyText(text);
        stateText = [](const WorkbenchState& state) { return state.txtBody; };
    } else {
        w.window.workbench().setSubjectText(text);
        stateText = [](const WorkbenchState& state) { return state.txtSubject; };
    }
    widget->setFocus();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
        edit->moveCursor(QTextCursor::End);
    } else {
        qobject_cast<QLineEdit*>(widget)->end(false);
    }
    QTest::keyClick(widget, Qt::Key(key), modifiers);
    QCOMPARE(stateText(w.state()), expected);
}

void TestWindow::textBoxesWrapTheirLines_data()
{
    QTest::addColumn<QString>("box");
    for (const char* box : {"txtIn", "txtBody", "txtWhoIsOut"}) {
        QTest::newRow(box) << QString::fromLatin1(box);
    }
}

// A word longer than the box is broken inside; nothing is left to scroll sideways.
void TestWindow::textBoxesWrapTheirLines()
{
    QFETCH(QString, box);
    Window w;
    auto* edit = w.find<QPlainTextEdit>(qPrintable(box));
    edit->setPlainText(QString(300, u'W') + u" and a few short words after it"_s);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    QVERIFY(edit->document()->firstBlock().layout()->lineCount() > 2);
    QCOMPARE(edit->horizontalScrollBar()->maximum(), 0);
    QVERIFY(!edit->horizontalScrollBar()->isVisible());
}

// Every list shows a row too long for it cut short within its width, and the
// row's whole text in its tool tip, before a tip of the row's own.
void TestWindow::longRowsAreCutShortAndShownInTheirTips()
{
    const QString longName = u"mail.%1.example"_s.arg(QString(60, u'q'));
    const QString longAddress = u"abuse@%1.example"_s.arg(QString(80, u'n'));
    const QString longSubject = QString(120, u'h');
    Window w;
    w.resolver.answers.insert(Relay, {longName, 0});
    w.registries.server(Registry::ARIN)
        .setReply(Relay, TestWhoisServer::Reply::text(u"OrgAbuseEmail: "_s + longAddress + u"\n"_s));
    w.window.workbench().setHeaderText(u"Received: from x ([192.0.2.7]) by mx\r\nSubject: "_s + longSubject +
                                       u"\r\n"_s);
    QVERIFY(w.runTrace());
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));

    struct Row
    {
        const char* list;
        int row;
        QString text;
        bool cut;
    };
    const QList<Row> rows{
        {"lstOut", 1, longSubject.left(100), true},
        {"lstOut", 0, u"from x ([192.0.2.7]) by mx"_s, false},
        {"lstDomain", 0, longName.sliced(5).toUpper(), true},
        {"lstAbuse", 1, longAddress.toUpper(), true},
        {"lstIPs", 0, Relay, false},
    };
    for (const Row& row : rows) {
        auto* list = w.find<QListWidget>(row.list);
        const QListWidgetItem* item = list->item(row.row);
        QVERIFY2(item != nullptr, row.list);
        QVERIFY2(item->text().contains(row.text), qPrintable(item->text()));
        QVERIFY2(list->visualItemRect(item).right() < list->viewport()->width(), row.list);
        QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
        QVERIFY2(!list->horizontalScrollBar()->isVisible(), row.list);
        if (row.cut) {
            QCOMPARE(item->toolTip(), item->text());
        } else {
            QVERIFY2(!item->toolTip().startsWith(item->text()), qPrintable(item->toolTip()));
        }
    }
    // The relay's own tip stays; a row cut short shows its text before a tip of its own.
    auto* relays = w.find<QListWidget>("lstIPs");
    QCOMPARE(relays->item(0)->toolTip(), u"Reverse lookup: %1: %2"_s.arg(Relay, longName));
    auto* longRelay = new QListWidgetItem(u"2001:db8:4006:812::200e:2001:db8:4006:812::200e"_s, relays);
    setRowToolTip(*longRelay, u"RDAP: asking…"_s);
    QCOMPARE(longRelay->toolTip(), longRelay->text() + u"\nRDAP: asking…"_s);
}

// With relay trust on every relay's tip says what its hop is to the user, and
// the reverse lookup shows at the source, which alone is resolved.
void TestWindow::relayTipsNameEachHopsClass()
{
    Window w;
    w.resolver.answers.insert(u"89.160.20.112"_s, {u"mail.sender.example"_s, 0});
    w.window.workbench().setTrust({true, *parseMailHosts(u"81.2.69.10"), false});
    w.window.workbench().setHeaderText(u"Received: from a ([10.0.0.2]) by mx.provider.example\r\n"
                                       u"Received: from b ([81.2.69.10]) by a\r\n"
                                       u"Received: from c ([89.160.20.112]) by b\r\n"
                                       u"Received: from d ([216.160.83.56]) by c\r\n\r\n"_s);
    QVERIFY(w.runTrace());
    const auto* relays = w.find<QListWidget>("lstIPs");
    QCOMPARE(relays->count(), 4);
    QCOMPARE(relays->item(0)->toolTip(), u"Private network"_s);
    QCOMPARE(relays->item(1)->toolTip(), u"Your provider"_s);
    QCOMPARE(relays->item(2)->toolTip(),
             u"Handed the spam to your provider\nReverse lookup: 89.160.20.112: mail.sender.example"_s);
    QCOMPARE(relays->item(3)->toolTip(), u"May be forged"_s);
}

void TestWindow::disabledCommandLeavesTheFocusHarmless_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("afterTab");

    QTest::newRow("mailbox Start") << u"cmdUseOutlook"_s << u"cmdByHand"_s;
    QTest::newRow("Report Spammer") << u"cmdReportSpammer"_s << u"txtSubject"_s;
}

// A command pressed from the keyboard is disabled while the mail layer works.
// The focus goes to no text box and no other command: keys change no text and
// run nothing, and Tab goes on from the command's place.
void TestWindow::disabledCommandLeavesTheFocusHarmless()
{
    QFETCH(QString, command);
    QFETCH(QString, afterTab);
    MailTestEnvironment environment;
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress(QHostAddress::LocalHost), 0));
    environment.writeConfig(
        u"[store]\nurl=imap://127.0.0.1:%1\n[transport]\nurl=smtp://127.0.0.1:%1\n"
        u"from=jane@example.org\n[tls]\nrequired=false\n[network]\ntimeout=1\n"_s.arg(silent.serverPort())
            .toUtf8());
    Window w;
    w.window.workbench().setHeaderText(Header);
    w.window.workbench().setBodyText(u"body"_s);
    w.window.workbench().setSubjectText(u"offer"_s);
    w.window.show();
    w.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.window));
    int clicks = 0;
    for (QPushButton* button : w.window.findChildren<QPushButton*>()) {
        connect(button, &QPushButton::clicked, &w.window, [&clicks] { ++clicks; });
    }
    auto* pressed = w.find<QPushButton>(qPrintable(command));
    pressed->setFocus();
    QCOMPARE(QApplication::focusWidget(), pressed);

    QTest::keyClick(pressed, Qt::Key_Space);
    QCOMPARE(clicks, 1);
    QVERIFY(w.state().mailBusy);
    QVERIFY(!pressed->isEnabled());
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus != nullptr);
    QVERIFY2(qobject_cast<QPlainTextEdit*>(focus) == nullptr && qobject_cast<QLineEdit*>(focus) == nullptr &&
                 qobject_cast<QAbstractButton*>(focus) == nullptr && qobject_cast<QListWidget*>(focus) == nullptr,
             qPrintable(focus->objectName()));
    const WorkbenchState before = w.state();
    for (const Qt::Key key : {Qt::Key_X, Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(QApplication::focusWidget(), key);
    }
    QCOMPARE(clicks, 1);
    QCOMPARE(w.state().txtSubject, before.txtSubject);
    QCOMPARE(w.state().txtIn, before.txtIn);
    QCOMPARE(w.state().txtBody, before.txtBody);
    QCOMPARE(w.state().txtWhoStatus, before.txtWhoStatus);
    QCOMPARE(w.state().lstOut, before.lstOut);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), afterTab);
    QTRY_VERIFY_WITH_TIMEOUT(pressed->isEnabled(), 15000);
}

void TestWindow::clipboardTexts()
{
    Window w;
    w.resolver.answers.insert(Relay, {u"mail.a.example"_s, 0});
    w.registries.server(Registry::ARIN).setReply(Relay, TestWhoisServer::Reply::text(u"x b@b.example c@c.example\n"_s));
    w.window.workbench().setHeaderText(Header);
    w.window.workbench().setBodyText(u"body"_s);
    QVERIFY(w.runTrace());
    w.find<QListWidget>("lstAbuse")->item(1)->setCheckState(Qt::Checked);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(u"old"_s);

    w.click("cmdCopy");
    QCOMPARE(clipboard->text(),
             u"ABUSE@A.EXAMPLE;C@C.EXAMPLE;\r\n\r\nSpam Complaint\r\nHere is the SMTP information.\r\n\r\n"
             u"SMTP Info Start ====================================\r\n\r\n"
             u"Received: from x ([192.0.2.7]) by mx\r\nSubject: offer\r\n\r\nbody\r\n\r\n"
             u"SMTP Info End ======================================\r\n\r\n"
             u"Generated by Zelkor II Version 1.2\r\n"_s +
                 productWebAddress() + u"\r\n"_s);
    w.click("cmdCopyHeaderBody");
    QCOMPARE(clipboard->text(), u"Received: from x ([192.0.2.7]) by mx\r\nSubject: offer\r\n\r\nbody\r\n\r\n"_s);

    w.click("cmdClear");
    w.click("cmdCopyHeaderBody");
    QCOMPARE(clipboard->text(), u"\r\n\r\n\r\n"_s);
    w.click("cmdCopy");
    QVERIFY(clipboard->text().startsWith(u"\r\n\r\nSpam Complaint\r\n"_s));
    QCOMPARE(w.state().txtWhoStatus, u"Cleared"_s);
}

void TestWindow::batchBox()
{
    Window w;
    auto* batch = w.find<QCheckBox>("chkAutomate");
    auto* report = w.find<QPushButton>("cmdReportSpammer");
    QTest::mouseClick(batch, Qt::LeftButton, {}, QPoint(5, batch->height() / 2));
    QVERIFY(w.state().chkAutomate);
    QVERIFY(!report->isEnabled());
    QCOMPARE(w.state().txtWhoStatus,
             u"Warning: This will process ALL email items in the current folder.  Do not use your Inbox!"_s);
    QTest::mouseClick(batch, Qt::LeftButton, {}, QPoint(5, batch->height() / 2));
    QVERIFY(report->isEnabled());
    QCOMPARE(w.state().txtWhoStatus, u"Zelkor set to process each item manually."_s);
}

// The mail layer waits on a server that never answers: the window goes on
// handling events, shows the busy pointer and disables the mail commands until
// the wait ends.
void TestWindow::waitingForTheMailboxKeepsTheWindowResponsive()
{
    MailTestEnvironment environment;
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress(QHostAddress::LocalHost), 0));
    environment.writeConfig(
        u"[store]\nurl=imap://127.0.0.1:%1\n[tls]\nrequired=false\n[network]\ntimeout=1\n"_s.arg(silent.serverPort())
            .toUtf8());
    Window w;
    auto* start = w.find<QPushButton>("cmdUseOutlook");
    auto* report = w.find<QPushButton>("cmdReportSpammer");
    QSignalSpy ended(&w.window.workbench(), &Workbench::mailboxLoadEnded);

    w.click("cmdUseOutlook");
    QVERIFY(!start->isEnabled());
    QVERIFY(!report->isEnabled());
    QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    const TimerTicks ticks;
    QVERIFY(ended.wait(15000));
    QVERIFY(ticks.count() > 1);
    QVERIFY(start->isEnabled());
    QVERIFY(report->isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QVERIFY2(w.state().txtWhoStatus.startsWith(u"Something bad happened "_s), qPrintable(w.state().txtWhoStatus));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
