#include "DialogUnits.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <algorithm>

namespace belvane {

namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int mulDiv(int a, int b, int c)
{
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : -((-product + half) / c));
}

} // namespace

QFont dialogFont()
{
    QFont font;
    // The IPA gothic faces ship with the program's Debian packages; the others are common elsewhere.
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Droid Sans Japanese")});
    font.setPointSize(9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogBaseUnits baseUnitsOf(const QFont &font)
{
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect dialogUnitsToPixels(const QRect &units, DialogBaseUnits base)
{
    const int left = mulDiv(units.x(), base.x, 4);
    const int top = mulDiv(units.y(), base.y, 8);
    const int right = mulDiv(units.x() + units.width(), base.x, 4);
    const int bottom = mulDiv(units.y() + units.height(), base.y, 8);
    return {left, top, right - left, bottom - top};
}

QLabel *placeStaticText(QWidget *parent, const QString &text, const QRect &units, DialogBaseUnits base,
                        int parentWidth)
{
    auto *label = new QLabel(text, parent);
    QRect pixels = dialogUnitsToPixels(units, base);
    const int wanted = label->sizeHint().width();
    if (wanted > pixels.width()) {
        pixels.setWidth(std::max(pixels.width(), std::min(wanted, parentWidth - pixels.x())));
    }
    label->setGeometry(pixels);
    return label;
}

DialogLayout::DialogLayout(QWidget *dialogWidget, QSize sizeUnits)
    : dialog(dialogWidget)
{
    dialog->setFont(dialogFont());
    base = baseUnitsOf(dialog->font());
    const QSize size = dialogUnitsToPixels({QPoint(0, 0), sizeUnits}, base).size();
    width = size.width();
    dialog->setFixedSize(size);
}

QWidget *DialogLayout::place(QWidget *widget, const char *objectName, const QRect &units) const
{
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setGeometry(dialogUnitsToPixels(units, base));
    return widget;
}

QPushButton *DialogLayout::button(const char *objectName, const QString &text, const QRect &units) const
{
    auto *pushButton = new QPushButton(text, dialog);
    place(pushButton, objectName, units);
    return pushButton;
}

QLineEdit *DialogLayout::edit(const char *objectName, const QRect &units) const
{
    auto *lineEdit = new QLineEdit(dialog);
    place(lineEdit, objectName, units);
    return lineEdit;
}

void DialogLayout::label(const QString &text, const QRect &units, QWidget *field) const
{
    QLabel *label = placeStaticText(dialog, text, units, base, width);
    if (field) {
        nameField(label, field);
    }
}

void nameField(QLabel *label, QWidget *field)
{
    label->setBuddy(field);
    field->setAccessibleName(label->text());
    // An editable combo box is read as the box and the text field inside it: both carry the name.
    if (const auto *combo = qobject_cast<QComboBox *>(field); combo && combo->lineEdit()) {
        combo->lineEdit()->setAccessibleName(label->text());
    }
}

void chainTabOrder(std::initializer_list<QWidget *> widgets)
{
    QWidget *previous = nullptr;
    for (QWidget *widget : widgets) {
        if (previous) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
}

} // namespace belvane
