// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/frmMain.h"

#include "common/LineEnds.h"
#include "complaint/ComplaintText.h"
#include "dialogs/dlgConfigure.h"
#include "dialogs/dlgOnlineHelp.h"
#include "trust/RelayTrust.h"
#include "window/Artwork.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using Kind = ControlKind;

// Client area 9090 × 8220 twips. Positions are left, top, width, height in twips.
constexpr QRect ClientArea{0, 0, 9090, 8220};

constexpr QRect button(int left, int top, int width = 1455, int height = 375)
{
    return {left, top, width, height};
}

constexpr auto Layout = std::to_array<ControlSpec>({
    {u"lblBuild", Kind::Label, u"Build 1.2.1", {}, {1800, 0, 975, 255}},
    {u"Line1", Kind::HorizontalLine, {}, {}, {1800, 250, 8880 - 1800, 0}},
    {u"cmdClear", Kind::Button, u"Clear Result", u"Clear all items", button(120, 2280), 15},
    {u"cmdConfigure", Kind::Button, u"Configure", u"Use this to manage who not to send a report to", button(120, 2760),
     18},
    {u"cmdHelp", Kind::Button, u"Help", u"Help", button(120, 3240), 16},

    {u"Label1", Kind::Label, u"SMTP Header In", {}, {1800, 480, 1335, 255}, 0, false, u"txtIn"},
    {u"txtIn",
     Kind::TextBox,
     {},
     u"This is the Email Message SMTP Header information",
     {1800, 720, 7095, 645},
     1,
     true},
    {u"Label9", Kind::Label, u"Email Message Body", {}, {1800, 1440, 1575, 255}, 0, false, u"txtBody"},
    {u"txtBody", Kind::TextBox, {}, u"This is the Email Message Body", {1800, 1680, 7095, 645}, 8},
    {u"Label10", Kind::Label, u"Email Subject", {}, {1800, 2400, 1575, 255}, 0, false, u"txtSubject"},
    {u"txtSubject", Kind::LineEdit, {}, u"This is the EMail Subject", {1800, 2640, 7095, 270}, 12},
    {u"Label2", Kind::Label, u"Parsed Header", {}, {1800, 3000, 1335, 255}, 0, false, u"lstOut"},
    {u"lstOut", Kind::ListBox, {}, u"This is the SMTP Header broken down into rows", {1800, 3240, 7095, 645}, 2, true},

    {u"Label3", Kind::Label, u"List of IP Addresses", {}, {240, 3960, 1455, 255}, 0, false, u"lstIPs"},
    {u"lstIPs",
     Kind::ListBox,
     {},
     u"This is a list of the IP addresses in the email header",
     {240, 4200, 1575, 840},
     14},
    {u"Label4", Kind::Label, u"Domain", {}, {1920, 3960, 615, 255}, 0, false, u"lstDomain"},
    {u"lstDomain",
     Kind::ListBox,
     {},
     u"This is a list of domains that were obvious in the email",
     {1920, 4200, 2535, 840},
     3},
    {u"Label11", Kind::Label, u"Checked = Don't Send", {}, {4560, 3960, 1695, 255}},
    {u"Label8", Kind::Label, u"Abuse Addresses", {}, {7320, 3960, 1335, 255}, 0, false, u"lstAbuse"},
    {u"lstAbuse",
     Kind::CheckListBox,
     {},
     u"This is a list of Abuse addresses that Zelkor will send complaints",
     {4560, 4200, 4335, 1860},
     6},
    {u"Label6", Kind::Label, u"Tracking", {}, {240, 5160, 735, 255}, 0, false, u"txtWhoIsOut"},
    {u"txtWhoIsOut",
     Kind::ReadOnlyTextBox,
     {},
     u"This is the tracking information from around the world",
     {240, 5400, 4215, 675},
     4},

    {u"Frame1", Kind::GroupBox, u"Manual Processing (paste from any mail program)", {}, {240, 6240, 4215, 1095}},
    {u"Label5",
     Kind::Label,
     u"Use these buttons other email clients",
     {},
     {120, 720, 3855, 255},
     0,
     false,
     {},
     u"Frame1"},
    {u"cmdByHand", Kind::Button, u"Start",
     u"Start manual processing after pasting SMTP Header, and Message Body in appropriate boxes",
     button(360, 6480, 735), 10},
    {u"cmdCopy", Kind::Button, u"Copy Complaint",
     u"Copy SMTP Headers and Message Body plus complaint information to clipboard", button(1200, 6480, 1335), 7},
    {u"cmdCopyHeaderBody", Kind::Button, u"Copy Header / Body", u"Copy the SMTP Header and Message Body to clipboard",
     button(2640, 6480, 1695), 13},
    {u"Frame2", Kind::GroupBox, u"Mailbox Processing (IMAP, Maildir)", {}, {4560, 6240, 4335, 1095}},
    {u"cmdUseOutlook", Kind::Button, u"Start", u"Use your mailbox to process spam, mailbox users only",
     button(4680, 6480, 1695), 9},
    {u"cmdReportSpammer", Kind::Button, u"Report Spammer", u"Send the spam complaint by e-mail",
     button(7080, 6480, 1695), 11},
    {u"chkAutomate",
     Kind::CheckBox,
     u"Batch process all items in the source folder ",
     u"Use this selection to batch process the items in a mailbox folder",
     {5160, 6960, 3375, 255},
     17},

    {u"Label7", Kind::Label, u"Status", {}, {240, 7560, 495, 255}, 0, false, u"txtWhoStatus"},
    {u"txtWhoStatus", Kind::ReadOnlyLineEdit, {}, u"Status messages", {240, 7800, 8535, 285}, 5},
});

} // namespace

std::span<const ControlSpec> frmMain::layout()
{
    return Layout;
}

frmMain::frmMain(Dependencies dependencies, QWidget* parent)
    : QWidget(parent)
    , m_programDirectory(std::move(dependencies.programDirectory))
    , m_helpAddress(std::move(dependencies.helpAddress))
    , m_workbench({dependencies.resolver, *this, m_programDirectory, std::move(dependencies.whois),
                   std::move(dependencies.rdap), std::move(dependencies.contactDb),
                   std::move(dependencies.journalPath)})
    , m_logo(ZelkorLogo())
{
    setWindowTitle(u"Zelkor II"_s);
    setWindowIcon(ZelkorIcon());
    setFixedSize(pixelsFromTwips(ClientArea).size());
    buildFixedLayout(*this, Layout);
    connectCommands();
    connectEdits();
    connect(&m_workbench, &Workbench::changed, this, &frmMain::showField);
    showAll();
    m_workbench.Load();
}

frmMain::~frmMain()
{
    m_workbench.Unload();
    setBusy(false);
}

template <typename T>
T* frmMain::control(QStringView name) const
{
    return findChild<T*>(name.toString(), Qt::FindDirectChildrenOnly);
}

void frmMain::connectCommands()
{
    const auto onClick = [this](QStringView name, auto command) {
        connect(control<QPushButton>(name), &QPushButton::clicked, this, command);
    };
    onClick(u"cmdByHand", [this] { m_workbench.StartByHand(); });
    onClick(u"cmdClear", [this] { m_workbench.ClearResult(); });
    onClick(u"cmdUseOutlook", [this] { m_workbench.StartFromMailbox(); });
    onClick(u"cmdReportSpammer", [this] { m_workbench.ReportSpammer(); });
    onClick(u"cmdCopy", [this] {
        const WorkbenchState& state = m_workbench.state();
        copyToClipboard(ComplaintText(state.lstAbuse, state.txtIn, state.txtBody));
    });
    onClick(u"cmdCopyHeaderBody",
            [this] { copyToClipboard(HeaderBodyText(m_workbench.state().txtIn, m_workbench.state().txtBody)); });
    onClick(u"cmdConfigure", [this] { openConfiguration(); });
    onClick(u"cmdHelp", [this] { openHelp(); });
    connect(control<QCheckBox>(u"chkAutomate"), &QCheckBox::clicked, this,
            [this](bool ticked) { m_workbench.AutomateClicked(ticked); });
}

void frmMain::connectEdits()
{
    using Field = Workbench::Field;
    auto* header = control<QPlainTextEdit>(u"txtIn");
    connect(header, &QPlainTextEdit::textChanged, this,
            [this, header] { forwardEdit(Field::Header, [&] { m_workbench.setHeaderText(textOf(header)); }); });
    auto* body = control<QPlainTextEdit>(u"txtBody");
    connect(body, &QPlainTextEdit::textChanged, this,
            [this, body] { forwardEdit(Field::Body, [&] { m_workbench.setBodyText(textOf(body)); }); });
    connect(control<QLineEdit>(u"txtSubject"), &QLineEdit::textEdited, this,
            [this](const QString& text) { forwardEdit(Field::Subject, [&] { m_workbench.setSubjectText(text); }); });
    connect(control<QListWidget>(u"lstAbuse"), &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const qsizetype row = item->listWidget()->row(item);
        forwardEdit(Field::Abuse, [&] { m_workbench.setAbuseTicked(row, item->checkState() == Qt::Checked); });
    });
}

// What the box holds, with CR LF line breaks. The document ends each line
// with a paragraph separator (U+2029); every other character is the text as it
// stands, a no-break space or a line separator (U+2028) included, which
// toPlainText() would turn into a blank and a line break.
QString frmMain::textOf(const QPlainTextEdit* box)
{
    QString text = box->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return toCrLf(text);
}

template <typename Edit>
void frmMain::forwardEdit(Workbench::Field field, Edit edit)
{
    if (m_showing) {
        return;
    }
    m_ownEdit = field;
    edit();
    m_ownEdit.reset();
}

void frmMain::showAll()
{
    for (const auto field :
         {Workbench::Field::Header, Workbench::Field::Body, Workbench::Field::Subject, Workbench::Field::ParsedHeader,
          Workbench::Field::IPs, Workbench::Field::Domains, Workbench::Field::Tracking, Workbench::Field::Status,
          Workbench::Field::Abuse, Workbench::Field::Automate, Workbench::Field::MailBusy, Workbench::Field::Rdap,
          Workbench::Field::ContactDb, Workbench::Field::ReverseLookup}) {
        showField(field);
    }
}

void frmMain::showField(Workbench::Field field)
{
    if (m_ownEdit == field) {
        return;
    }
    const WorkbenchState& state = m_workbench.state();
    m_showing = true;
    switch (field) {
    case Workbench::Field::Header:
        showText(control<QPlainTextEdit>(u"txtIn"), state.txtIn);
        break;
    case Workbench::Field::Body:
        showText(control<QPlainTextEdit>(u"txtBody"), state.txtBody);
        break;
    case Workbench::Field::Subject:
        control<QLineEdit>(u"txtSubject")->setText(state.txtSubject);
        break;
    case Workbench::Field::ParsedHeader:
        showList(control<QListWidget>(u"lstOut"), state.lstOut);
        break;
    case Workbench::Field::IPs:
        showList(control<QListWidget>(u"lstIPs"), state.lstIPs);
        showRelayTips();
        break;
    case Workbench::Field::Rdap:
    case Workbench::Field::ContactDb:
    case Workbench::Field::ReverseLookup:
        showRelayTips();
        break;
    case Workbench::Field::Domains:
        showList(control<QListWidget>(u"lstDomain"), state.lstDomain);
        break;
    case Workbench::Field::Tracking:
        showText(control<QPlainTextEdit>(u"txtWhoIsOut"), state.txtWhoIsOut);
        break;
    case Workbench::Field::Status: {
        auto* status = control<QLineEdit>(u"txtWhoStatus");
        status->setText(state.txtWhoStatus);
        status->setCursorPosition(0);
        break;
    }
    case Workbench::Field::Abuse:
        showAbuseList();
        break;
    case Workbench::Field::Automate:
        control<QCheckBox>(u"chkAutomate")->setChecked(state.chkAutomate);
        [[fallthrough]];
    case Workbench::Field::MailBusy:
        setCommandEnabled(control<QPushButton>(u"cmdUseOutlook"), !state.mailBusy);
        setCommandEnabled(control<QPushButton>(u"cmdReportSpammer"), !state.chkAutomate && !state.mailBusy);
        break;
    }
    m_showing = false;
}

// Qt hands the focus of a control being disabled to the next one in the tab
// chain: a text box, which selects its text so that the next key replaces it,
// or another command, which Space or Enter would then run. The window itself
// takes the focus instead: it answers no key, and Tab goes on from the
// command's place in the chain.
void frmMain::setCommandEnabled(QPushButton* command, bool enabled)
{
    if (!enabled && command->isEnabled() && focusWidget() == command) {
        m_focusLeftFrom = command;
        setFocus(Qt::OtherFocusReason);
    }
    command->setEnabled(enabled);
}

bool frmMain::focusNextPrevChild(bool next)
{
    QWidget* from = std::exchange(m_focusLeftFrom, nullptr);
    if (from == nullptr || focusWidget() != this) {
        return QWidget::focusNextPrevChild(next);
    }
    for (QWidget* at = next ? from->nextInFocusChain() : from->previousInFocusChain(); at != from;
         at = next ? at->nextInFocusChain() : at->previousInFocusChain()) {
        if (at != this && isAncestorOf(at) && at->isEnabled() && at->isVisibleTo(this) &&
            (at->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
            at->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return QWidget::focusNextPrevChild(next);
}

void frmMain::showText(QPlainTextEdit* box, const QString& text)
{
    box->setPlainText(crLfToLf(text));
}

void frmMain::showList(QListWidget* list, const QStringList& rows)
{
    list->clear();
    list->addItems(rows);
    for (int row = 0; row < list->count(); ++row) {
        setRowToolTip(*list->item(row));
    }
}

void frmMain::showAbuseList()
{
    auto* list = control<QListWidget>(u"lstAbuse");
    list->clear();
    for (const AbuseRow& row : m_workbench.state().lstAbuse) {
        auto* item = new QListWidgetItem(row.address, list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(row.ticked ? Qt::Checked : Qt::Unchecked);
        setRowToolTip(*item, abuseTip(row));
    }
}

// What a row is, in words; with designated desks on also why it is ticked.
QString frmMain::abuseTip(const AbuseRow& row) const
{
    if (row.source == u"rdap") {
        return u"Published over RDAP by %1 as the network's abuse contact"_s.arg(row.server);
    }
    if (row.source == u"dns-db") {
        return u"Listed by the contact database %1 as the network's abuse contact"_s.arg(row.server);
    }
    if (!m_workbench.isDesignated()) {
        return {};
    }
    if (row.source == u"dns") {
        return row.ticked ? u"A guess from the relay's name: ticked because an abuse contact is known"_s
                          : u"A guess from the relay's name, not an address any answer names"_s;
    }
    // "the ARIN answer": the registry whose answer named the address.
    const QString answer = (row.server.isEmpty() ? u"whois"_s : row.server) + u" answer"_s;
    if (row.role == u"abuse") {
        return u"Abuse contact named by the %1"_s.arg(answer);
    }
    if (row.role == u"remark") {
        return row.ticked ? u"Named in a remark of the %1: ticked because an abuse contact is known"_s.arg(answer)
                          : u"Named in a remark about abuse in the %1"_s.arg(answer);
    }
    if (row.role == u"registry") {
        return u"An address of the registry itself: ticked, as it is not the network's abuse desk"_s;
    }
    return row.ticked ? u"A staff or other address in the %1: ticked because an abuse contact is known"_s.arg(answer)
                      : u"An address in the %1, which names no abuse contact"_s.arg(answer);
}

// Each relay address's tool tip tells how its lookups went (the reverse
// lookup for the first one, RDAP for each): where the reason of a failed
// lookup shows, since the status line belongs to the trace.
void frmMain::showRelayTips()
{
    auto* list = control<QListWidget>(u"lstIPs");
    const WorkbenchState& state = m_workbench.state();
    // With relay trust on the source alone is reverse-resolved, and every row
    // says what its hop is to the user.
    const qsizetype resolvedRow = state.ipTrust.isEmpty() ? 0 : state.lstIPs.indexOf(state.sourceAddress);
    for (int row = 0; row < list->count(); ++row) {
        QStringList lines;
        if (row < state.ipTrust.size()) {
            const QString trust = describeHopTrust(state.ipTrust[row]);
            lines.append(trust.first(1).toUpper() + trust.sliced(1));
        }
        if (row == resolvedRow && !state.reverseLookup.isEmpty()) {
            lines.append(u"Reverse lookup: "_s + state.reverseLookup);
        }
        if (row < state.rdap.size()) {
            lines.append(rdapTip(state.rdap[row]));
        }
        if (row < state.contactDb.size()) {
            lines.append(contactDbTip(state.contactDb[row]));
        }
        setRowToolTip(*list->item(row), lines.join(u'\n'));
    }
}

QString frmMain::rdapTip(const RdapResult& result)
{
    if (!result.error.isEmpty()) {
        return u"RDAP: "_s + result.error;
    }
    if (result.server.isEmpty()) {
        return u"RDAP: asking…"_s;
    }
    if (result.abuse.isEmpty()) {
        return u"RDAP: %1 publishes no abuse contact for this network"_s.arg(result.server);
    }
    return u"RDAP: %1 names %2"_s.arg(result.server, result.abuse.join(u", "_s));
}

QString frmMain::contactDbTip(const ContactDbResult& result)
{
    if (!result.error.isEmpty()) {
        return u"Contact database: "_s + result.error;
    }
    if (result.zone.isEmpty()) {
        return u"Contact database: asking…"_s;
    }
    if (result.abuse.isEmpty()) {
        return u"Contact database: %1 lists no abuse contact for this network"_s.arg(result.zone);
    }
    return u"Contact database: %1 lists %2"_s.arg(result.zone, result.abuse.join(u", "_s));
}

void frmMain::copyToClipboard(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

// Both dialogs are modal and have no owner, as the window's own dialogs always had.
void frmMain::openConfiguration()
{
    dlgConfigure dialog(m_programDirectory);
    dialog.exec();
}

void frmMain::openHelp()
{
    dlgOnlineHelp dialog(m_helpAddress.isEmpty() ? dlgOnlineHelp::helpPageAddress() : m_helpAddress);
    dialog.exec();
}

void frmMain::showStartupFailure(const QString& message)
{
    QMessageBox::critical(nullptr, u"Zelkor II"_s, message);
}

bool frmMain::askOkCancel(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel, this);
    return box.exec() == QMessageBox::Ok;
}

void frmMain::showMessage(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    box.exec();
}

// The workbench asks for the busy pointer at every lookup and clears it at the
// end of each window; the override cursor is a stack, so only changes count.
void frmMain::setBusy(bool busy)
{
    if (busy == m_busy) {
        return;
    }
    m_busy = busy;
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

// The logo fills the corner left free by the controls.
void frmMain::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_logo);
}
