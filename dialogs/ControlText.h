#pragma once

#include <QString>

#include <optional>
#include <string>

class QComboBox;

// Moving the cp932 texts of records in and out of the dialogs' controls.
namespace belvane {

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
ShownText showInCombo(QComboBox *combo, const std::string &bytes);

// cp932 bytes of a text the program itself writes (every such text is cp932).
std::string cp932Text(const QString &text);

// The refusal of a text that cp932 cannot hold.
QString unencodableTextMessage();

} // namespace belvane
