// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/FixedLayout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
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

// A multi-line text box. Its line breaks are the document's paragraph breaks,
// which is what the windows read back as line breaks; Shift+Enter, which would
// put a line separator (U+2028) inside the paragraph, breaks the line as Enter does.
class TextBox final : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (!event->matches(QKeySequence::InsertLineSeparator)) {
            QPlainTextEdit::keyPressEvent(event);
            return;
        }
        QKeyEvent enter(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier, event->text(),
                        event->isAutoRepeat(), ushort(event->count()));
        QPlainTextEdit::keyPressEvent(&enter);
        event->setAccepted(enter.isAccepted());
    }
};

// Keeps every row of a list box within the box's width, so that the view cuts a
// long row short with an ellipsis instead of scrolling sideways.
class FittingRows final : public QStyledItemDelegate
{
public:
    explicit FittingRows(QListWidget* list)
        : QStyledItemDelegate(list)
        , m_list(list)
    {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setWidth(std::min(size.width(), m_list->viewport()->width()));
        return size;
    }

private:
    QListWidget* m_list;
};

QListWidget* createListBox(QWidget* parent)
{
    auto* list = new QListWidget(parent);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setTextElideMode(Qt::ElideRight);
    list->setItemDelegate(new FittingRows(list));
    // The rows are laid out again when the vertical scroll bar comes or goes.
    list->setResizeMode(QListView::Adjust);
    return list;
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
        auto* edit = new TextBox(parent);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        // Lines wrap at the box's edge, between words where they can and inside
        // a word too long for the box, so there is nothing to scroll sideways.
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
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
        return createListBox(parent);
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

bool isCutShort(const QListWidgetItem& item)
{
    const QListWidget* list = item.listWidget();
    if (list == nullptr) {
        return false;
    }
    // The row's natural size, tick box included, against the room the box
    // leaves beside its vertical scroll bar, whether that shows yet or not.
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.widget = list;
    option.font = list->font();
    option.fontMetrics = list->fontMetrics();
    const QStyledItemDelegate natural;
    const int needed = natural.sizeHint(option, list->model()->index(list->row(&item), 0)).width();
    int room = list->contentsRect().width();
    if (list->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff) {
        room -= list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    }
    return needed > room;
}

void setRowToolTip(QListWidgetItem& item, const QString& ownTip)
{
    if (!isCutShort(item)) {
        item.setToolTip(ownTip);
        return;
    }
    item.setToolTip(ownTip.isEmpty() ? item.text() : item.text() + u'\n' + ownTip);
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
