// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/FixedLayout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>

#include <algorithm>
#include <map>

using namespace Qt::StringLiterals;

namespace {

constexpr int TwipsPerPixel = 15;

// The largest sizes at which every caption of the three windows fits its
// control (tests/tst_window measures them on the live widgets).
constexpr int DialogFontPixels = 10;
constexpr int FixedPitchFontPixels = 13;

int pixels(int twips)
{
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}

QWidget* createControl(const ControlSpec& row, QWidget* parent)
{
    const QString caption = row.caption.toString();
    switch (row.kind) {
    case ControlKind::Label:
        return new QLabel(caption, parent);
    case ControlKind::Button: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        return button;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(caption, parent);
    case ControlKind::LineEdit:
        return new QLineEdit(parent);
    case ControlKind::ReadOnlyLineEdit: {
        auto* edit = new QLineEdit(parent);
        edit->setReadOnly(true);
        return edit;
    }
    case ControlKind::TextBox:
    case ControlKind::ReadOnlyTextBox: {
        auto* edit = new QPlainTextEdit(parent);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->setReadOnly(row.kind == ControlKind::ReadOnlyTextBox);
        // As in a dialog's text box, Tab moves on to the next control.
        edit->setTabChangesFocus(true);
        // Read-only boxes still take the focus, so their text can be selected and copied.
        edit->setTextInteractionFlags(row.kind == ControlKind::ReadOnlyTextBox
                                          ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                          : Qt::TextEditorInteraction);
        return edit;
    }
    case ControlKind::ListBox:
    case ControlKind::CheckListBox:
        return new QListWidget(parent);
    case ControlKind::GroupBox: {
        auto* group = new QGroupBox(caption, parent);
        // The caption sits on the frame's top line, so the controls drawn over
        // the box lie inside its frame, as the layout was made for.
        group->setStyleSheet(u"QGroupBox { border: 1px solid palette(mid); margin-top: 0.5em; }"
                             u"QGroupBox::title { subcontrol-origin: margin; left: 7px; padding: 0px 2px; }"_s);
        return group;
    }
    case ControlKind::HorizontalLine: {
        auto* line = new QWidget(parent);
        line->setAutoFillBackground(true);
        QPalette palette = line->palette();
        palette.setColor(QPalette::Window, Qt::white);
        line->setPalette(palette);
        return line;
    }
    case ControlKind::PageView: {
        auto* view = new QTextBrowser(parent);
        view->setOpenLinks(false);
        return view;
    }
    }
    return nullptr;
}

QRect geometryOf(const ControlSpec& row)
{
    if (row.kind == ControlKind::HorizontalLine) {
        // A line from (left, top) to (left + width, top), one pixel high.
        return {pixels(row.twips.left()), pixels(row.twips.top()), pixels(row.twips.width()), 1};
    }
    return pixelsFromTwips(row.twips);
}

} // namespace

QRect pixelsFromTwips(const QRect& twips)
{
    return {pixels(twips.left()), pixels(twips.top()), pixels(twips.width()), pixels(twips.height())};
}

QFont dialogFont()
{
    QFont font(u"Liberation Sans"_s);
    font.setPixelSize(DialogFontPixels);
    return font;
}

QFont fixedPitchFont()
{
    QFont font(u"Liberation Mono"_s);
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(FixedPitchFontPixels);
    return font;
}

void buildFixedLayout(QWidget& window, std::span<const ControlSpec> table)
{
    window.setFont(dialogFont());
    QHash<QStringView, QWidget*> controls;
    for (const ControlSpec& row : table) {
        QWidget* parent = row.parent.isEmpty() ? &window : controls.value(row.parent, &window);
        QWidget* control = createControl(row, parent);
        control->setObjectName(row.name.toString());
        control->setToolTip(row.toolTip.toString());
        control->setGeometry(geometryOf(row));
        // Set on each control: a group box's style sheet would otherwise give its
        // children the application's font instead of the window's.
        control->setFont(row.fixedPitch ? fixedPitchFont() : dialogFont());
        if (row.kind == ControlKind::Label || row.kind == ControlKind::GroupBox ||
            row.kind == ControlKind::HorizontalLine) {
            control->setFocusPolicy(Qt::NoFocus);
        }
        controls.insert(row.name, control);
    }
    std::map<int, QWidget*> tabOrder;
    for (const ControlSpec& row : table) {
        QWidget* control = controls.value(row.name);
        if (row.kind == ControlKind::GroupBox) {
            control->lower();
        }
        if (!row.buddy.isEmpty()) {
            if (auto* label = qobject_cast<QLabel*>(control)) {
                label->setBuddy(controls.value(row.buddy));
            }
        }
        if (row.tab > 0) {
            tabOrder.emplace(row.tab, control);
        }
    }
    QWidget* previous = nullptr;
    for (const auto& [tab, control] : tabOrder) {
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, control);
        }
        previous = control;
    }
}
