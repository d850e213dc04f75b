#pragma once

#include <QValidator>

#include <cstddef>

class QLineEdit;

namespace belvane {

// Limits what the user can type or paste into an edit to `byteLimit` cp932 bytes. A longer text the program
// puts in is shown whole, and the user may still shorten it.
class Cp932LengthValidator final : public QValidator
{
public:
    Cp932LengthValidator(QLineEdit *edit, std::size_t byteLimit);
    State validate(QString &input, int &position) const override;

private:
    std::size_t limit;
};

} // namespace belvane
