// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs/FixedLayout.h"

#include <QDialog>
#include <QString>

#include <span>

class QLineEdit;
class QListWidget;

/// The do-not-send configuration dialog: shows the entries of `donotsend.txt`
/// and writes the file at once on every Add and Delete. OK and Cancel only close
/// it. No button answers Enter or Escape.
class dlgConfigure : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(dlgConfigure)

public:
    /// Builds the dialog and fills the list from the do-not-send list in
    /// `programDirectory`. It has no owner: the caller shows it with exec().
    explicit dlgConfigure(const QString& programDirectory, QWidget* parent = nullptr);
    ~dlgConfigure() override;

    /// The dialog's controls, as built; the tests compare the live widgets with it.
    static std::span<const ControlSpec> layout();

protected:
    /// Tells the user that Add or Delete could not write the file (a message
    /// box). The list and the file are as they were before the command.
    virtual void reportFailure(const QString& text);

    void keyPressEvent(QKeyEvent* event) override;

private:
    void loadList();
    void addRow(const QString& entry);
    void cmdAddDoNotSend_Click();
    void cmdDelete_Click();

    QString m_programDirectory;
    QListWidget* m_lstDoNotSend = nullptr;
    QLineEdit* m_txtAdd = nullptr;
};
