#pragma once

#include <QString>
#include <QValidator>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class QComboBox;
class QLineEdit;

// Helpers shared by the dialogs for moving cp932 texts in and out of their controls.
namespace belvane {

// The number of bytes `text` takes in cp932; a character cp932 cannot hold counts as two.
std::size_t Cp932Length(const QString &text);

// Limits what the user can type or paste into an edit to `limit` cp932 bytes. A longer text the program
// puts in is shown whole, and the user may still shorten it.
class Cp932LengthValidator final : public QValidator
{
public:
    Cp932LengthValidator(QLineEdit *edit, std::size_t limit);
    State validate(QString &input, int &position) const override;

private:
    std::size_t limit;
};

// A text as a control shows it, and the cp932 bytes it stands for. Taking an unchanged text back gives
// the original bytes, so bytes that do not survive a round trip through Unicode are kept as they are.
struct ShownText
{
    QString text;
    std::string bytes;

    static ShownText of(const std::string &bytes);
    // The bytes for what the control holds now; nullopt when cp932 cannot hold a changed text.
    std::optional<std::string> take(const QString &now) const;
};

// Shows `bytes` in a combo box: selects the first item that begins with the text, letter case ignored,
// or else puts the text into the combo box's edit field. Returns what the combo box now shows.
ShownText ShowInCombo(QComboBox *combo, const std::string &bytes);

// A decimal integer, optionally signed, with blanks or tabs allowed before and after it; nullopt for
// anything else, an empty text and a value beyond 32 bits included.
std::optional<std::int32_t> ParseInteger(const QString &text);

// cp932 bytes of a text the program itself writes (every such text is cp932).
std::string Cp932Text(const QString &text);

// The mark of an enabled entry, "●", and of a disabled one, "…".
QString EnabledMarkText();
QString DisabledMarkText();
// The window-size texts "通常", "最小化", "最大化" for the codes 0, 1 and 2.
QString WindowSizeText(int code);
// The window-size code of a text: 1 for exactly "最小化", 2 for exactly "最大化", 0 for anything else.
std::int32_t WindowSizeCode(const std::string &bytes);

// The refusal of a text that cp932 cannot hold.
QString UnencodableTextMessage();

// True when something exists at the cp932 path `path`.
bool FileExists(const std::string &path);

} // namespace belvane
