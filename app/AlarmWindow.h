#pragma once

#include "AlarmHistory.h"
#include "Launcher.h"
#include "ProgramFolder.h"
#include "SettingsFile.h"

#include <QWidget>

#include <deque>
#include <memory>
#include <string>

class QLineEdit;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTextEdit;

namespace belvane {

class ActionPerformer;
class AlarmReceiver;
class TrayPresence;
class UserPrompts;

// The program's one permanent window: a borderless rounded popup that shows the last alarm's sender and
// message, and the owner of everything that lives for the whole run (settings, program folder, the
// receiver, the tray icon). Between alarms it is hidden and the program is present as its tray icon.
class AlarmWindow final : public QWidget
{
    Q_OBJECT

public:
    AlarmWindow(ProgramFolder folder, ActionPerformer &performer, UserPrompts &prompts);
    ~AlarmWindow() override;

    // The start-up sequence: defaults, computer name, settings, default list, shape and position,
    // tray icon, listening socket, performer. Does not show the window.
    void Initialise();
    // Whether the receiver listens on the settings' port.
    bool Listening() const { return listening; }
    // Shows the window, restored and active, with the two boxes refreshed.
    void ShowAlarm();
    // Stops the sound, leaves a status line for the next showing and hides the window; with no tray
    // host to lead back to it, the window is minimised instead.
    void Confirm();
    // A tray host came or went: the icon is shown in a new host, and a confirmed window moves between
    // hidden (reached through the icon) and minimised (reached through the taskbar).
    void TrayHostChanged(bool present);
    // The text of a finished connection from `peer` (its address): queued, and handled by the hidden button's
    // command, which shows the alarm and performs its level's action. No state of the window drops a text;
    // texts delivered while one is handled follow it in order.
    void Deliver(std::string text, std::string peer = {});
    // The end of the run: an open connection is finished (and dispatched), the tray icon removed.
    void DestroyWindow();
    // Runs one of the command menu's commands (CommandMenu.h).
    void RunCommand(int id);
    void Quit();

signals:
    // Asked for by every way of ending the program; the run ends and DestroyWindow follows.
    void quitRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void DispatchAlarm();
    void OpenPopupMenu();
    void OpenSettings();
    void OpenHistory();
    void OpenFolderAndQuit();
    void ShowAbout();
    void OpenSupportPage();
    void Refresh();
    void StartListening();
    void LoadSettings();
    void SaveSettings();
    // A settings file that could not be read or written is reported in a stop-icon message box.
    void ReportFileError(const SettingsFileResult &result);
    WindowHandle Handle() const;
    std::string NativePath(const char *fileName) const;

    ActionPerformer &performer;
    UserPrompts &prompts;
    std::string receivedText; // the text being handled
    struct Delivery
    {
        std::string text;
        QString peer;
        QDateTime arrived;
    };
    std::deque<Delivery> pendingTexts; // delivered and waiting to be handled
    bool dispatching = false;
    SettingsRecord settings;
    ProgramFolder programFolder;
    std::string actionListPath; // native
    std::string senderText; // cp932
    std::string messageText; // cp932
    QPoint dragPoint;
    QPoint placed; // where the window was last put: at the start, or by the user
    bool dragging = false;
    bool listening = false;

    QPushButton *dispatchButton = nullptr;
    QPushButton *confirmButton = nullptr;
    QTextEdit *messageBox = nullptr;
    QLineEdit *senderLine = nullptr;
    QSystemTrayIcon *trayIcon = nullptr;
    std::unique_ptr<QMenu> trayMenu; // the command menu as the tray host shows it
    TrayPresence *trayPresence = nullptr;
    bool trayHost = false; // a tray host shows the icon
    std::unique_ptr<AlarmReceiver> receiver;
    AlarmHistory history;
};

} // namespace belvane
