// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs/FixedLayout.h"
#include "whois/WhoisLookup.h"
#include "workbench/Workbench.h"
#include "workbench/WorkbenchHost.h"

#include <QPixmap>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <optional>
#include <span>

class HostResolver;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

/// The main window: a view of the workbench. It shows the workbench's state as
/// the state changes, forwards every click and edit to it, and keeps no copy of
/// the state. It answers what the workbench asks of its face: the busy pointer
/// and the start-up failure box.
class frmMain final : public QWidget, public WorkbenchHost
{
    Q_OBJECT

public:
    struct Dependencies
    {
        HostResolver& resolver;
        /// Where donotsend.txt lives.
        QString programDirectory;
        WhoisLookup::Options whois;
        /// The online help page; empty for the product's own.
        QUrl helpAddress = {};
        /// How RDAP lookups are made when they are on.
        RdapClient::Options rdap = {};
        /// The DNS servers and time limit of the contact database when its zone is set.
        ContactDbClient::Options contactDb = {};
        /// The journal of complaints and lookups; empty keeps none.
        QString journalPath = {};
    };

    /// Builds the window and loads the workbench (the resolver starts; a
    /// failure is shown in a message box and the window opens all the same).
    explicit frmMain(Dependencies dependencies, QWidget* parent = nullptr);
    ~frmMain() override;
    Q_DISABLE_COPY_MOVE(frmMain)

    /// Every control of the window with its place, caption, tip and tab place.
    static std::span<const ControlSpec> layout();

    Workbench& workbench() { return m_workbench; }

    void showStartupFailure(const QString& message) override;
    void setBusy(bool busy) override;
    bool askOkCancel(const QString& title, const QString& text) override;
    void showMessage(const QString& title, const QString& text) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    template <typename T>
    T* control(QStringView name) const;
    void connectCommands();
    void connectEdits();
    void showField(Workbench::Field field);
    void showAll();
    void showText(QPlainTextEdit* box, const QString& text);
    static QString textOf(const QPlainTextEdit* box);
    /// Enables or disables a command without handing its focus to another control.
    void setCommandEnabled(QPushButton* command, bool enabled);
    void showList(QListWidget* list, const QStringList& rows);
    void showAbuseList();
    QString abuseTip(const AbuseRow& row) const;
    void showRelayTips();
    static QString rdapTip(const RdapResult& result);
    static QString contactDbTip(const ContactDbResult& result);
    /// Runs an edit of the user's against the workbench; the change notice it
    /// causes is not shown back into the widget, so the cursor and the undo
    /// history stay as they are.
    template <typename Edit>
    void forwardEdit(Workbench::Field field, Edit edit);
    void copyToClipboard(const QString& text);
    void openConfiguration();
    void openHelp();

    QString m_programDirectory;
    QUrl m_helpAddress;
    Workbench m_workbench;
    QPixmap m_logo;
    bool m_busy = false;
    /// True while the state is being shown, so widget signals are not taken for edits.
    bool m_showing = false;
    std::optional<Workbench::Field> m_ownEdit;
    /// The command the window took the focus from when it was disabled.
    QPointer<QWidget> m_focusLeftFrom;
};
