#pragma once

#include <QFont>
#include <QRect>

#include <initializer_list>

class QLabel;
class QLineEdit;
class QPushButton;
class QString;
class QWidget;

// Dialog layouts are given in dialog units, which scale with the dialog's font: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth of its character height.
namespace belvane {

// The font's average character width and height in pixels, the two base units of a dialog.
struct DialogBaseUnits
{
    int x = 0;
    int y = 0;
};

// The font of the program's dialogs: a Japanese-capable proportional gothic face at 9 points.
QFont dialogFont();

// The base units of `font`: the average width of the letters A-Z and a-z, rounded to whole pixels,
// and the font's height.
DialogBaseUnits baseUnitsOf(const QFont &font);

// A rectangle in dialog units (left, top, width, height) in pixels. The corners are converted, each
// rounded to the nearest pixel, so neighbouring controls meet exactly where their units meet.
QRect dialogUnitsToPixels(const QRect &units, DialogBaseUnits base);

// A static text of `parent` at its dialog-unit rectangle. Where this font's glyphs run wider than the
// rectangle allows, the text is widened to its full length, up to the parent's right edge, rather than
// cut off.
QLabel *placeStaticText(QWidget *parent, const QString &text, const QRect &units, DialogBaseUnits base,
                        int parentWidth);

// Ties `label` to `field`: the label's buddy and the field's accessible name, which a screen reader speaks.
void nameField(QLabel *label, QWidget *field);

// Sets the tab order to the order of `widgets`.
void chainTabOrder(std::initializer_list<QWidget *> widgets);

// Builds a dialog of `sizeUnits` from dialog units: gives it the dialog font and its fixed size, then
// places each control, named for tests and tools, at its rectangle.
class DialogLayout final
{
public:
    DialogLayout(QWidget *dialogWidget, QSize sizeUnits);

    QWidget *place(QWidget *widget, const char *objectName, const QRect &units) const;
    QPushButton *button(const char *objectName, const QString &text, const QRect &units) const;
    QLineEdit *edit(const char *objectName, const QRect &units) const;
    // A static text, widened where its glyphs need it (see placeStaticText). A label of a field names
    // it: its buddy, and the field's accessible name.
    void label(const QString &text, const QRect &units, QWidget *field = nullptr) const;

private:
    QWidget *dialog;
    DialogBaseUnits base;
    int width;
};

} // namespace belvane
