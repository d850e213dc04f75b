#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QLineEdit;
class QTreeWidget;

namespace belvane {

class ActionPerformer;
class UserPrompts;

// "環境設定": the listening port and the whole action list, one row per record. The caller gives the
// list's path and the port, runs the dialog with exec() and, when it ends with OK, takes chosenPort()
// back (the alarm window stores it in its settings). The list file is read once, when the dialog is first
// shown, and written only by OK; in between the rows are the only working copy. Rows are edited through the
// action edit dialog; Test and Stop use the performer.
class SettingsDialog final : public QDialog
{
    Q_OBJECT

public:
    // `listFile` is the action list, in the file system's encoding; `shownPort` is shown in the port field.
    SettingsDialog(std::string listFile, std::int32_t shownPort, ActionPerformer &actionPerformer,
                   UserPrompts &userPrompts, QWidget *parent);

    // The port the user chose: after OK, the port field's value; before, the port the dialog was given.
    std::int32_t chosenPort() const { return port; }

    // Runs a dialog this one opens modally and returns its result; exec() unless replaced.
    std::function<int(QDialog &)> runModal = [](QDialog &dialog) {
        return dialog.exec();
    };

    void Initialise();
    void Edit();
    void Test();
    void StopSound();
    void Accept();
    void Cancel();

    void accept() override;
    void reject() override;
    void setVisible(bool visible) override;

private:
    // The row the user last marked, or -1 when no row is selected.
    int selectionMark() const;
    // Row r as cp932 bytes, column by column.
    std::array<std::string, 7> rowCells(int row) const;
    bool writeRows();

    std::string listPath;
    std::int32_t port;
    std::int32_t modified = 0; // 1 once an edit has ended with OK
    ActionPerformer &performer;
    UserPrompts &prompts;
    bool initialised = false;
    QLineEdit *portEdit;
    QTreeWidget *list;
};

// The widths in pixels of the seven list columns for a list whose client area is `clientWidth` pixels
// wide: 5, 5, 15, 20, 20, 10 and 20 seventieths of it, rounded.
std::array<int, 7> columnWidths(int clientWidth);

} // namespace belvane
