#pragma once

#include "ControlText.h"

#include <QDialog>

#include <cstdint>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace belvane {

class ActionPerformer;
class UserPrompts;

// "動作ファイル登録編集": edits the texts of one action list entry. The caller sets the members, shows
// the dialog modally and, when it ends with OK, reads them back; the dialog never touches the list file.
// Every accepted text fits its record field (cp932 bytes): 255 for file, parameters and working folder,
// 63 for the name. The working folder is carried through unchanged. Test and Stop use the performer.
class ActionEditDialog final : public QDialog
{
    Q_OBJECT

public:
    ActionEditDialog(ActionPerformer &actionPerformer, UserPrompts &userPrompts, QWidget *parent);

    // Members as cp932 bytes, in the order the fields are exchanged.
    std::string actionFile;
    std::int32_t levelNo = 0;
    std::string enabledMark;
    std::string windowSizeText;
    std::string name;
    std::string parameters;
    std::string workFolder;

    // Fills the controls from the members, then the combo boxes' items. Runs when the dialog is first shown.
    void Initialise();
    // Members to controls.
    void ShowFields();
    // Controls to members, in order; on the first refused field it says why, puts the focus on that
    // field with its text selected and returns false, leaving the later members as they were.
    bool TakeFields();
    void BrowseFile();
    void BrowseParameter();
    void Test();
    void StopSound();

    void accept() override;
    void setVisible(bool visible) override;

private:
    // A text field: its control, its member and its byte limit.
    struct TextField
    {
        QLineEdit *edit;
        std::string ActionEditDialog::*member;
        std::size_t limit;
        ShownText shown;
    };

    bool takeText(TextField &field);
    bool takeCombo(QComboBox *combo, std::string &member, const ShownText &shown);
    void refuse(QWidget *field, const QString &message);
    void browse(TextField &field, const QString &filter);

    ActionPerformer &performer;
    UserPrompts &prompts;
    bool initialised = false;

    QLineEdit *levelEdit;
    QLineEdit *fileEdit;
    QLineEdit *nameEdit;
    QLineEdit *parametersEdit;
    QLineEdit *workFolderEdit;
    QComboBox *enabledCombo;
    QComboBox *windowSizeCombo;
    TextField fileField;
    TextField nameField;
    TextField parametersField;
    TextField workFolderField;
    ShownText enabledShown;
    ShownText windowSizeShown;
};

} // namespace belvane
