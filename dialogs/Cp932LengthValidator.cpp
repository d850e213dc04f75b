#include "Cp932LengthValidator.h"

#include "Cp932.h"

#include <QLineEdit>

namespace belvane {

Cp932LengthValidator::Cp932LengthValidator(QLineEdit *edit, std::size_t byteLimit)
    : QValidator(edit)
    , limit(byteLimit)
{
    edit->setValidator(this);
}

QValidator::State Cp932LengthValidator::validate(QString &input, int &) const
{
    // The edit undoes only changes that turn acceptable text into refused text, so a longer text that
    // the program put in can still be edited and shortened.
    return cp932::byteLength(input) <= limit ? Acceptable : Invalid;
}

} // namespace belvane
