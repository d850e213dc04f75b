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

// "環境設定": the listening port and the whole action list, one row per record. The caller sets
// `listPath` and `port`, runs the dialog with exec() and, when it ends with OK, takes `port` back (the
// alarm window stores it in its settings). The list file is read once, when the dialog is first shown,
// and written only by OK; in between the rows are the only working copy. Rows are edited through the
// action edit dialog; Test and Stop use the performer.
class SettingsDialog final : public QDialog
{
    Q_OBJECT

public:
    SettingsDialog(ActionPerformer &performer, UserPrompts &prompts, QWidget *parent);

    std::string listPath; // the action list file, in the file system's encoding
    std::int32_t port = 0;
    std::int32_t modified = 0; // 1 once an edit has ended with OK

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

    // The row the user last marked, or -1 when no row is selected.
    int SelectionMark() const;

    void accept() override;
    void reject() override;
    void setVisible(bool visible) override;

private:
    // Row r as cp932 bytes, column by column.
    std::array<std::string, 7> rowCells(int row) const;
    bool writeRows();

    ActionPerformer &performer;
    UserPrompts &prompts;
    bool initialised = false;
    QLineEdit *portEdit;
    QTreeWidget *list;
};

// The widths in pixels of the seven list columns for a list whose client area is `clientWidth` pixels
// wide: 5, 5, 15, 20, 20, 10 and 20 seventieths of it, rounded.
std::array<int, 7> ColumnWidths(int clientWidth);

} // namespace belvane
