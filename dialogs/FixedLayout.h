// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringView>

#include <span>

class QListWidgetItem;
class QWidget;

/// The kinds of control a fixed-layout window is made of.
enum class ControlKind
{
    Label,
    Button,
    CheckBox,
    LineEdit,         ///< single-line text box
    TextBox,          ///< multi-line text box with a vertical scroll bar, its lines wrapped
    ReadOnlyTextBox,  ///< the same, selectable and copyable but not editable
    ReadOnlyLineEdit, ///< single-line, selectable and copyable but not editable
    ListBox,          ///< no horizontal scroll bar: a row too long for the box is cut short
    CheckListBox,     ///< a list box with a tick box on every row
    GroupBox,         ///< drawn behind the controls over its area, which are not its children
    HorizontalLine,   ///< a white line one pixel high
    PageView          ///< a view that shows an HTML page
};

/// One control of a window whose every control has a fixed place. Positions are
/// in twips (15 twips make one pixel at 96 dpi), left, top, width, height,
/// measured from the client area's top left corner, or from the group box's
/// when `parent` names one.
struct ControlSpec
{
    QStringView name;
    ControlKind kind;
    QStringView caption = {};
    QStringView toolTip = {};
    QRect twips = {};
    /// Place in the keyboard tab order, from 1; 0 for none.
    int tab = 0;
    bool fixedPitch = false;
    /// For a label: the control it names, so screen readers and Alt keys find it.
    QStringView buddy = {};
    /// A group box this control sits inside as a child.
    QStringView parent = {};
};

/// Pixels at 96 dpi (Qt scales them on denser screens).
QRect pixelsFromTwips(const QRect& twips);

/// The one font of every fixed-layout window and the fixed-pitch font of the
/// header boxes. Sizes are in pixels so that text and the pixel layout scale
/// together, whatever dpi the desktop reports.
QFont dialogFont();
QFont fixedPitchFont();

/// Whether `item`'s list box is too narrow to show the row whole.
bool isCutShort(const QListWidgetItem& item);

/// Sets `item`'s tool tip to `ownTip`, preceded by the row's whole text when
/// its list box cuts the row short.
void setRowToolTip(QListWidgetItem& item, const QString& ownTip = {});

/// Creates every control of `table` as a child of `window` (object name = the
/// control's name), sets its caption, tool tip, font and geometry, the label
/// buddies, and the tab order of the table. Group boxes are put behind the
/// other controls. Find the controls with `findChild`.
void buildFixedLayout(QWidget& window, std::span<const ControlSpec> table);
