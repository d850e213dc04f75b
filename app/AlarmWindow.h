#pragma once

#include "AlarmCommands.h"
#include "AlarmStation.h"
#include "Launcher.h"
#include "ProgramFolder.h"
#include "SettingsFile.h"

#include <QWidget>

#include <memory>
#include <string>

class QLineEdit;
class QPushButton;
class QTextEdit;

namespace belvane {

class ActionPerformer;
class AlarmAnnouncement;
class AlarmTray;
class UserPrompts;

// The program's one permanent window: a borderless rounded popup that shows the last alarm's sender and
// message, and the owner of everything that lives for the whole run (settings, folders, the receiving
// station, the tray). Between alarms it is hidden and the program is present as its tray icon. The
// receiver, the dispatch and the history are the station's (AlarmStation), the tray and its menu
// AlarmTray's, the menu's commands AlarmCommands'.
class AlarmWindow final : public QWidget
{
    Q_OBJECT

public:
    AlarmWindow(Folders runFolders, ActionPerformer &thePerformer, UserPrompts &userPrompts);
    ~AlarmWindow() override;

    // The start-up sequence: defaults, computer name, settings, default list, shape and position,
    // tray icon, listening socket, performer. Does not show the window.
    void Initialise();
    // Shows the window, restored and active, with the two boxes refreshed.
    void ShowAlarm();
    // Stops the sound, leaves a status line for the next showing and hides the window; with no tray
    // host to lead back to it, the window is minimised instead.
    void Confirm();
    // The end of the run: every open connection is finished (and dispatched), the tray icon removed.
    void DestroyWindow();
    // Asks for the end of the program.
    void Quit();

    // Whether the receiver listens on the settings' port.
    bool listening() const { return receiving; }
    // What the window shows: alarms arrive there, and the hidden button's command dispatches them.
    AlarmStation &station() { return receivingStation; }
    // Runs one of the command menu's commands (CommandMenu.h).
    void runCommand(int id);
    // A tray host came or went: a confirmed window moves between hidden (reached through the icon) and
    // minimised (reached through the taskbar).
    void trayHostChanged(bool present);
    // The listening port of the settings, and a new one saved for the next start.
    std::int32_t port() const { return settings.port; }
    void changePort(std::int32_t port);

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
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Opens the command menu at `at` (screen coordinates) and runs the command chosen.
    void OpenPopupMenu(QPoint at);
    void StartListening();
    void LoadSettings();
    void SaveSettings();
    // An alarm the station hands over: its sender and message as the window shows them.
    void showArrived(const QString &sender, const QString &message);
    void refresh();
    // A settings file that could not be read or written is reported in a stop-icon message box.
    void reportFileError(const SettingsFileResult &result);
    WindowHandle handle() const;
    std::string nativePath(const char *fileName) const;

    ActionPerformer &performer;
    UserPrompts &prompts;
    SettingsRecord settings;
    Folders folders;
    std::string actionListPath; // native
    QString senderText; // the sender or a status line, as the sender line shows it
    QString shownText; // the message as the message box shows it
    QPoint dragPoint;
    QPoint placed; // where the window was last put: at the start, or by the user
    bool dragging = false;
    bool receiving = false;

    QPushButton *dispatchButton = nullptr;
    QPushButton *confirmButton = nullptr;
    QTextEdit *messageBox = nullptr;
    QLineEdit *senderLine = nullptr;
    AlarmAnnouncement *announcement = nullptr;
    AlarmTray *tray = nullptr;
    bool trayHost = false; // a tray host shows the icon
    AlarmStation receivingStation;
    AlarmCommands commands;
};

} // namespace belvane
