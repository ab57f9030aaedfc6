// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/dlgConfigure.h"

#include "common/CaseMapping.h"
#include "complaint/DoNotSendList.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

constexpr ControlSpec Layout[] = {
    {.name = u"Label1",
     .kind = ControlKind::Label,
     .caption = u"Do not send reports to email addresses containing:",
     .twips = {240, 360, 3855, 255},
     .buddy = u"lstDoNotSend"},
    {.name = u"lstDoNotSend", .kind = ControlKind::ListBox, .twips = {240, 600, 3735, 1425}, .tab = 3},
    {.name = u"cmdDelete", .kind = ControlKind::Button, .caption = u"Delete", .twips = {4080, 720, 975, 375}, .tab = 6},
    {.name = u"txtAdd", .kind = ControlKind::LineEdit, .twips = {240, 2160, 2415, 285}, .tab = 4},
    {.name = u"cmdAddDoNotSend",
     .kind = ControlKind::Button,
     .caption = u"Add",
     .twips = {2760, 2160, 1215, 375},
     .tab = 5},
    {.name = u"OKButton", .kind = ControlKind::Button, .caption = u"OK", .twips = {2520, 2760, 1215, 375}, .tab = 1},
    {.name = u"CancelButton",
     .kind = ControlKind::Button,
     .caption = u"Cancel",
     .twips = {3840, 2760, 1215, 375},
     .tab = 2},
};

constexpr QRect ClientTwips{0, 0, 5265, 3360};

template <typename Control>
Control* control(const QWidget& dialog, QStringView name)
{
    auto* found = dialog.findChild<Control*>(name.toString(), Qt::FindDirectChildrenOnly);
    Q_ASSERT(found != nullptr);
    return found;
}

} // namespace

dlgConfigure::dlgConfigure(const QString& programDirectory, QWidget* parent)
    : QDialog(parent)
    , m_programDirectory(programDirectory)
{
    setWindowTitle(u"Zelkor II Configuration"_s);
    setModal(true);
    buildFixedLayout(*this, Layout);
    setFixedSize(pixelsFromTwips(ClientTwips).size());

    m_lstDoNotSend = control<QListWidget>(*this, u"lstDoNotSend");
    m_txtAdd = control<QLineEdit>(*this, u"txtAdd");
    connect(control<QPushButton>(*this, u"cmdAddDoNotSend"), &QPushButton::clicked, this,
            &dlgConfigure::cmdAddDoNotSend_Click);
    connect(control<QPushButton>(*this, u"cmdDelete"), &QPushButton::clicked, this, &dlgConfigure::cmdDelete_Click);
    // Add and Delete have written the file already: OK and Cancel only close.
    connect(control<QPushButton>(*this, u"OKButton"), &QPushButton::clicked, this, &QDialog::accept);
    connect(control<QPushButton>(*this, u"CancelButton"), &QPushButton::clicked, this, &QDialog::reject);
    control<QPushButton>(*this, u"OKButton")->setFocus();

    loadList();
}

dlgConfigure::~dlgConfigure() = default;

std::span<const ControlSpec> dlgConfigure::layout()
{
    return Layout;
}

void dlgConfigure::loadList()
{
    const QStringList entries = readDoNotSendList(m_programDirectory);
    for (const QString& entry : entries) {
        if (!entry.isEmpty()) {
            addRow(entry);
        }
    }
}

void dlgConfigure::cmdAddDoNotSend_Click()
{
    // No check of any kind: an empty box adds an empty line, a duplicate is added again.
    const QString entry = toUpperOneForOne(m_txtAdd->text());
    QString error;
    if (!appendDoNotSendEntry(m_programDirectory, entry, &error)) {
        reportFailure(u"The entry could not be added to the do-not-send list.\n\n"_s + error);
        return;
    }
    addRow(entry);
}

// A row too long for the list shows whole in its tool tip.
void dlgConfigure::addRow(const QString& entry)
{
    auto* item = new QListWidgetItem(entry, m_lstDoNotSend);
    setRowToolTip(*item);
}

void dlgConfigure::cmdDelete_Click()
{
    const QList<QListWidgetItem*> selected = m_lstDoNotSend->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const int row = m_lstDoNotSend->row(selected.first());
    // The file is rewritten first, so that a failure leaves the row on view
    // just as it stays in the file.
    QStringList remaining;
    for (int at = 0; at < m_lstDoNotSend->count(); ++at) {
        if (at != row) {
            remaining.append(m_lstDoNotSend->item(at)->text());
        }
    }
    QString error;
    if (!writeDoNotSendList(m_programDirectory, remaining, &error)) {
        reportFailure(u"The entry could not be deleted: the do-not-send list could not be rewritten and stays as "
                      u"it was.\n\n"_s +
                      error);
        return;
    }
    delete m_lstDoNotSend->takeItem(row);
}

void dlgConfigure::reportFailure(const QString& text)
{
    QMessageBox::warning(this, windowTitle(), text);
}

void dlgConfigure::keyPressEvent(QKeyEvent* event)
{
    // QDialog presses the default button on Enter and closes on Escape; this
    // dialog binds neither key, so both end here unused.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
