#include "DialogTemplate.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QWidget>

#include <algorithm>

namespace {
// The templates' fonts are Windows fonts. Liberation Sans (Debian's fonts-liberation2) and Arimo
// are cut to Arial's advance widths, which Microsoft Sans Serif shares closely ("MS Shell Dlg"
// is Windows' alias for it): texts take about the room the templates planned for them, where
// DejaVu Sans, the usual sans font, sets a MAC address a tenth wider. Registered with Qt's own
// substitution table, so every QFont asking for these families finds the same stand-ins.
void registerStandIns()
{
    static const bool registered = [] {
        const QStringList standIns{QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")};
        for (const char *family : {"Microsoft Sans Serif", "MS Shell Dlg"}) {
            if (QFont::substitutes(QString::fromLatin1(family)).isEmpty())
                QFont::insertSubstitutions(QString::fromLatin1(family), standIns);
        }
        return true;
    }();
    Q_UNUSED(registered);
}
} // namespace

QFont DialogFont(const DialogTemplate &dialogTemplate)
{
    registerStandIns();
    const QString family = QString::fromLatin1(dialogTemplate.fontFamily);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    for (const QString &candidate : QStringList{family} + QFont::substitutes(family)) {
        if (QFontDatabase::hasFamily(candidate)) {
            font = QFont(candidate);
            break;
        }
    }
    font.setPointSize(dialogTemplate.pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

QRect DialogUnitsToPixels(const QRect &rect, const QFont &font)
{
    // Base units as the dialog manager takes them: the average width of the Latin letters
    // (rounded) and the font's height.
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = (letters / 26 + 1) / 2;
    const int baseY = metrics.height();
    return QRect(rect.x() * baseX / 4, rect.y() * baseY / 8, rect.width() * baseX / 4, rect.height() * baseY / 8);
}

namespace {
QWidget *createControl(QWidget *dialog, const ControlTemplate &control,
                       const std::function<QWidget *(QWidget *)> &makeListView)
{
    const QString caption = QString::fromLatin1(control.caption);
    switch (control.kind) {
    case ControlKind::Static: return new QLabel(caption, dialog);
    case ControlKind::CenteredStatic: {
        auto *label = new QLabel(caption, dialog);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setWordWrap(true);
        return label;
    }
    case ControlKind::GroupBox: {
        auto *group = new QGroupBox(caption, dialog);
        group->setFocusPolicy(Qt::NoFocus);
        return group;
    }
    case ControlKind::Edit: return new QLineEdit(dialog);
    case ControlKind::ReadOnlyEdit: {
        auto *edit = new QLineEdit(dialog);
        edit->setReadOnly(true);
        edit->setEnabled(false);
        return edit;
    }
    case ControlKind::PushButton: {
        auto *button = new QPushButton(caption, dialog);
        button->setAutoDefault(false); // no default button: the dialog decides what Enter does
        return button;
    }
    case ControlKind::RadioButton: return new QRadioButton(caption, dialog);
    case ControlKind::ComboBox: return new QComboBox(dialog);
    case ControlKind::ListView: return makeListView ? makeListView(dialog) : new QWidget(dialog);
    }
    return nullptr;
}
} // namespace

QHash<int, QWidget *> BuildDialog(QWidget *dialog, const DialogTemplate &dialogTemplate,
                                  const std::function<QWidget *(QWidget *parent)> &makeListView)
{
    const QFont font = DialogFont(dialogTemplate);
    dialog->setFont(font);
    dialog->setWindowTitle(QString::fromLatin1(dialogTemplate.caption));
    dialog->setFixedSize(DialogUnitsToPixels(QRect(QPoint(0, 0), dialogTemplate.size), font).size());

    QHash<int, QWidget *> controls;
    for (const ControlTemplate &control : dialogTemplate.controls) {
        QWidget *widget = createControl(dialog, control, makeListView);
        widget->setGeometry(DialogUnitsToPixels(control.rect, font));
        if (control.kind == ControlKind::ComboBox) // the template's height is the drop-down's
            widget->resize(widget->width(), widget->sizeHint().height());
        if (control.kind == ControlKind::Static) // a substitute font may be wider than the template's
            widget->resize(std::max(widget->width(), widget->sizeHint().width()), widget->height());
        if (control.id != -1)
            controls.insert(control.id, widget);
    }
    return controls;
}
