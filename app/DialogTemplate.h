#pragma once

#include <QHash>
#include <QRect>
#include <QSize>

#include <functional>
#include <span>

class QFont;
class QWidget;

// Dialogs are laid out from templates kept as data: controls with ids, captions and
// rectangles in dialog units, converted to pixels with the dialog font's base units.

enum class ControlKind {
    Static,
    CenteredStatic,
    GroupBox,
    Edit,
    ReadOnlyEdit,
    PushButton,
    RadioButton,
    ComboBox,
    ListView
};

struct ControlTemplate
{
    int id; // -1 for labels and frames nobody addresses
    ControlKind kind;
    const char *caption;
    QRect rect; // dialog units
};

struct DialogTemplate
{
    int id;
    const char *caption;
    QSize size; // dialog units
    const char *fontFamily;
    int pointSize;
    std::span<const ControlTemplate> controls;
};

// The dialog font: the template's family if the system has it, else its first stand-in the
// system has (Qt's substitution table), else the platform's sans font; at the template's size.
QFont DialogFont(const DialogTemplate &dialogTemplate);

// Dialog units to pixels for a font: x * baseX / 4, y * baseY / 8.
QRect DialogUnitsToPixels(const QRect &rect, const QFont &font);

// Creates the template's controls on dialog in template (tab) order, sizes the dialog, and
// returns the controls by id. makeListView creates the list view control.
QHash<int, QWidget *> BuildDialog(QWidget *dialog, const DialogTemplate &dialogTemplate,
                                  const std::function<QWidget *(QWidget *parent)> &makeListView = {});
