#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QTreeView;

namespace belvane {

class AlarmHistory;

// The alarms of this run: a list with a column each for the time, the sender's address, the sender,
// the level, what became of the alarm and whether the window showed it to the user, newest first; what
// became of the chosen alarm and its whole message below. Alarms that arrive while it is open join the list.
class HistoryDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit HistoryDialog(AlarmHistory &alarms, QWidget *parent = nullptr);

private:
    void showMessage();

    AlarmHistory &history;
    QTreeView *list = nullptr;
    QLabel *outcome = nullptr;
    QPlainTextEdit *message = nullptr;
};

} // namespace belvane
