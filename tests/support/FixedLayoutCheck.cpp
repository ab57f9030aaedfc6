// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FixedLayoutCheck.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDebug>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTextBrowser>

#include <map>

using namespace Qt::StringLiterals;

namespace {

QString describe(const QRect& rect)
{
    return u"%1,%2 %3x%4"_s.arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

bool isKind(const QWidget& control, ControlKind kind)
{
    switch (kind) {
    case ControlKind::Label:
        return qobject_cast<const QLabel*>(&control) != nullptr;
    case ControlKind::Button:
        return qobject_cast<const QPushButton*>(&control) != nullptr;
    case ControlKind::CheckBox:
        return qobject_cast<const QCheckBox*>(&control) != nullptr;
    case ControlKind::LineEdit:
    case ControlKind::ReadOnlyLineEdit: {
        const auto* edit = qobject_cast<const QLineEdit*>(&control);
        return edit != nullptr && edit->isReadOnly() == (kind == ControlKind::ReadOnlyLineEdit);
    }
    case ControlKind::TextBox:
    case ControlKind::ReadOnlyTextBox: {
        const auto* edit = qobject_cast<const QPlainTextEdit*>(&control);
        return edit != nullptr && edit->isReadOnly() == (kind == ControlKind::ReadOnlyTextBox);
    }
    case ControlKind::ListBox:
    case ControlKind::CheckListBox:
        return qobject_cast<const QListWidget*>(&control) != nullptr;
    case ControlKind::GroupBox:
        return qobject_cast<const QGroupBox*>(&control) != nullptr;
    case ControlKind::HorizontalLine:
        return control.metaObject() == &QWidget::staticMetaObject;
    case ControlKind::PageView:
        return qobject_cast<const QTextBrowser*>(&control) != nullptr;
    }
    return false;
}

QRect expectedGeometry(const ControlSpec& row)
{
    QRect pixels = pixelsFromTwips(row.twips);
    if (row.kind == ControlKind::HorizontalLine) {
        pixels.setHeight(1);
    }
    return pixels;
}

QString caption(const QWidget& control)
{
    if (const auto* label = qobject_cast<const QLabel*>(&control)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
        return button->text();
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(&control)) {
        return box->title();
    }
    return {};
}

// The room a control's style leaves for its caption, and the size the caption
// needs at the control's font; the caption is cut when it needs more.
std::pair<QSize, QSize> captionRoom(const QWidget& control, const QString& text)
{
    const QFontMetrics metrics = control.fontMetrics();
    const QSize needed = metrics.size(Qt::TextShowMnemonic, text);
    const QStyle* style = control.style();
    if (const auto* label = qobject_cast<const QLabel*>(&control)) {
        const int margins = 2 * label->margin() + qMax(label->indent(), 0);
        return {label->contentsRect().size() - QSize(margins, 2 * label->margin()), needed};
    }
    if (const auto* box = qobject_cast<const QCheckBox*>(&control)) {
        QStyleOptionButton option;
        option.initFrom(box);
        const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, box) +
                              style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, box);
        return {box->size() - QSize(indicator, 0), needed};
    }
    if (const auto* button = qobject_cast<const QPushButton*>(&control)) {
        // What the style adds around a caption when it sizes a button: its
        // margin and its frame on either side.
        QStyleOptionButton option;
        option.initFrom(button);
        const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
                           style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
        return {button->size() - QSize(2 * margin, 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth)), needed};
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(&control)) {
        // The style sizes the title's rectangle to the caption; it must end inside the box.
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        return {QSize(box->width() - label.left(), box->height()), label.size()};
    }
    return {QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), {}};
}

} // namespace

QStringList controlDifferences(const QWidget& window, const ControlSpec& row)
{
    const QString name = row.name.toString();
    const auto* control = window.findChild<const QWidget*>(name);
    if (control == nullptr) {
        return {name + u": missing"_s};
    }
    QStringList differences;
    auto differ = [&](const QString& what, const QString& live, const QString& table) {
        if (live != table) {
            differences.append(u"%1: %2 \"%3\", the table says \"%4\""_s.arg(name, what, live, table));
        }
    };
    if (!isKind(*control, row.kind)) {
        differences.append(name + u": a "_s + QString::fromLatin1(control->metaObject()->className()) +
                           u" is not the kind the table says"_s);
    }
    differ(u"geometry"_s, describe(control->geometry()), describe(expectedGeometry(row)));
    differ(u"caption"_s, caption(*control), row.caption.toString());
    differ(u"tool tip"_s, control->toolTip(), row.toolTip.toString());
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        differ(u"buddy"_s, label->buddy() != nullptr ? label->buddy()->objectName() : QString(), row.buddy.toString());
    }
    const QString text = caption(*control);
    if (!text.isEmpty()) {
        const auto [room, needed] = captionRoom(*control, text);
        if (needed.width() > room.width() || needed.height() > room.height()) {
            differences.append(u"%1: caption \"%2\" needs %3x%4 px, the control leaves %5x%6"_s.arg(name, text)
                                   .arg(needed.width())
                                   .arg(needed.height())
                                   .arg(room.width())
                                   .arg(room.height()));
        }
    }
    return differences;
}

QStringList tabCycle(const QWidget& window, std::span<const ControlSpec> table)
{
    const QStringList order = tableTabOrder(table);
    if (order.isEmpty()) {
        return {};
    }
    QWidget* first = window.findChild<QWidget*>(order.first());
    if (first == nullptr) {
        return {order.first() + u": missing"_s};
    }
    QStringList cycle;
    QWidget* at = first;
    do {
        if ((at->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && at->isEnabled() && at->isVisibleTo(&window)) {
            cycle.append(at->objectName().isEmpty() ? QString::fromLatin1(at->metaObject()->className())
                                                    : at->objectName());
        }
        at = at->nextInFocusChain();
        // A chain that never comes back would be a fault of its own; stop it.
    } while (at != first && cycle.size() <= 2 * int(table.size()));
    return cycle;
}

QStringList tableTabOrder(std::span<const ControlSpec> table)
{
    std::map<int, QString> byPlace;
    for (const ControlSpec& row : table) {
        if (row.tab > 0) {
            byPlace.emplace(row.tab, row.name.toString());
        }
    }
    QStringList order;
    for (const auto& [place, name] : byPlace) {
        order.append(name);
    }
    return order;
}
