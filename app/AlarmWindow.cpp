#include "AlarmWindow.h"

#include "AboutDialog.h"
#include "ActionListCommands.h"
#include "ActionListFile.h"
#include "ActionPerformer.h"
#include "AlarmDispatch.h"
#include "AlarmReceiver.h"
#include "ApplicationIcon.h"
#include "CommandMenu.h"
#include "Cp932.h"
#include "DialogUnits.h"
#include "PosixFile.h"
#include "SettingsDialog.h"
#include "TrayPresence.h"
#include "UserPrompts.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <unistd.h>

namespace belvane {

namespace {

constexpr const char *noticeText = "【継続使用されているユーザの方へのお知らせ】\r\n\r\n"
                                   "バージョンアップに伴い登録動作ファイルを初期状態に戻しました。\r\n"
                                   "環境設定画面より動作ファイルの確認/再登録願います。";

std::string Cp932Of(const char *utf8)
{
    return cp932::fromUnicode(QString::fromUtf8(utf8)).value_or(std::string());
}

// The message box shows at most this much of a message, then "…": the box lays out every line and
// character it holds, and a message may fill all the megabyte the receiver keeps.
constexpr qsizetype shownCharacters = 64 * 1024;
constexpr qsizetype shownLines = 2000;

QString ShownMessage(QString text)
{
    qsizetype cut = std::min(text.size(), shownCharacters);
    for (qsizetype i = 0, lines = 0; i < cut; ++i) {
        if (text.at(i) == u'\n' && ++lines == shownLines) {
            cut = i + 1;
            break;
        }
    }
    if (cut == text.size()) {
        return text;
    }
    if (text.at(cut - 1).isHighSurrogate()) {
        --cut;
    }
    text.truncate(cut);
    return text + QStringLiteral("…");
}

// The computer's name, or nothing when the system will not say.
std::optional<std::string> ComputerName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return std::nullopt;
    }
    return std::string(name);
}

// Why the receiver cannot listen on `port`, as the user can act on it.
QString ListenFailure(std::int32_t port, QAbstractSocket::SocketError error)
{
    if (port < 0 || port > 65535) {
        return QStringLiteral("TCP のポート番号（0～65535）ではありません");
    }
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("ほかのプログラムがこのポートを使っています");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("このポートを使う権限がありません");
    default:
        return QStringLiteral("受信用のソケットを開けません");
    }
}

// Whether any part of `area` lies on a screen; a position saved on a monitor since removed does not.
bool OnSomeScreen(const QRect &area)
{
    for (const QScreen *screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(area)) {
            return true;
        }
    }
    return false;
}

// The window's own light colours, whatever the desktop's theme: every role is set, text and
// highlight included, for the active, inactive and disabled window (a dialog disables it), so a dark
// theme cannot put light text on the white boxes.
QPalette LightPalette()
{
    QPalette light(Qt::white); // black text on white, grey when disabled
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool enabled = group != QPalette::Disabled;
        const QColor text = enabled ? QColor(Qt::black) : QColor(109, 109, 109);
        light.setColor(group, QPalette::Window, Qt::white);
        light.setColor(group, QPalette::Base, Qt::white);
        light.setColor(group, QPalette::Button, Qt::white);
        light.setColor(group, QPalette::WindowText, text);
        light.setColor(group, QPalette::Text, text);
        light.setColor(group, QPalette::ButtonText, text);
        light.setColor(group, QPalette::PlaceholderText, QColor(109, 109, 109));
        light.setColor(group, QPalette::Highlight, enabled ? QColor(0, 120, 215) : QColor(200, 200, 200));
        light.setColor(group, QPalette::HighlightedText, enabled ? QColor(Qt::white) : text);
    }
    return light;
}

constexpr int windowWidth = 500;
constexpr int windowHeight = 155;
constexpr const char *supportPageName = "README.md";
const QColor frameFillColour(240, 240, 255);
const QColor frameOutlineColour(130, 130, 155);
const QColor senderColour(255, 255, 200);

// The window's shape: a 500 x 155 rectangle with corners rounded by a 20 x 20 ellipse.
QRegion WindowRegion()
{
    constexpr int w = windowWidth;
    constexpr int h = windowHeight;
    constexpr int d = 20; // the corner ellipse
    QRegion region(d / 2, 0, w - d, h);
    region += QRegion(0, d / 2, w, h - d);
    region += QRegion(0, 0, d, d, QRegion::Ellipse);
    region += QRegion(w - d, 0, d, d, QRegion::Ellipse);
    region += QRegion(0, h - d, d, d, QRegion::Ellipse);
    region += QRegion(w - d, h - d, d, d, QRegion::Ellipse);
    return region;
}

} // namespace

AlarmWindow::AlarmWindow(ProgramFolder folder, ActionPerformer &thePerformer, UserPrompts &userPrompts)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , performer(thePerformer)
    , prompts(userPrompts)
    , programFolder(std::move(folder))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFont(DialogFont());
    setPalette(LightPalette());
    setAutoFillBackground(true);
    setMouseTracking(true); // moves between a release outside and the next press still reach the window

    confirmButton = new QPushButton(QStringLiteral("確認(最小化)"), this);
    confirmButton->setFlat(true);
    confirmButton->setFocusPolicy(Qt::StrongFocus);
    connect(confirmButton, &QPushButton::clicked, this, &AlarmWindow::Confirm);

    senderLine = new QLineEdit(this);
    senderLine->setReadOnly(true);
    senderLine->setAlignment(Qt::AlignCenter);
    QPalette pale = senderLine->palette();
    pale.setColor(QPalette::Base, senderColour);
    senderLine->setPalette(pale);
    // Enter on the sender line is the window's OK: it ends the program.
    connect(senderLine, &QLineEdit::returnPressed, this, &AlarmWindow::Quit);

    messageBox = new QTextEdit(this);
    messageBox->setAcceptRichText(false);
    messageBox->setLineWrapMode(QTextEdit::NoWrap);
    messageBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    messageBox->setFocusPolicy(Qt::ClickFocus);
    // One alignment for the whole document, and no undo history: each refresh replaces the text.
    messageBox->setUndoRedoEnabled(false);
    QTextOption centred = messageBox->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    messageBox->document()->setDefaultTextOption(centred);

    dispatchButton = new QPushButton(QStringLiteral("更新"), this);
    dispatchButton->hide();
    connect(dispatchButton, &QPushButton::clicked, this, &AlarmWindow::DispatchAlarm);

    setTabOrder(confirmButton, senderLine);
}

AlarmWindow::~AlarmWindow() = default;

void AlarmWindow::Initialise()
{
    const QIcon icon = ApplicationIcon();
    setWindowIcon(icon);

    receivedText.clear();
    senderText.clear();
    messageText.clear();
    settings = SettingsRecord();
    dragging = false;
    dragPoint = QPoint(0, 0);

    if (const auto name = ComputerName()) {
        senderText = Cp932Of("コンピュータ名: [") + *name + "]";
    }

    LoadSettings();

    actionListPath = NativePath(ActionListFile::fileName);
    if (!posix::exists(actionListPath)) {
        ActionListFile list;
        // A folder whose name cp932 cannot hold cannot be stored in the records: the levels stay blank.
        list.CreateDefault(actionListPath, programFolder.cp932.value_or(std::string()));
        messageText = Cp932Of(noticeText);
    }

    setWindowTitle(QStringLiteral("Belvane"));
    setMask(WindowRegion());
    QRect place(settings.windowX, settings.windowY, windowWidth, windowHeight);
    if (!OnSomeScreen(place)) {
        // Shown where it can be seen; the saved position stays as it is until the user moves the window.
        const SettingsRecord defaults;
        place.moveTo(defaults.windowX, defaults.windowY);
    }
    // A fixed size tells a tiling window manager (sway, i3) that this is a popup to float as it is,
    // not a window to stretch over the workspace; a stacking desktop sees no difference.
    setFixedSize(windowWidth, windowHeight);
    setGeometry(place);
    senderLine->setGeometry(20, 20, 460, 20);
    messageBox->setGeometry(20, 45, 460, 70);
    confirmButton->setGeometry(200, 120, 100, 24);
    dispatchButton->setGeometry(20, 113, 100, 24);

    trayIcon = new QSystemTrayIcon(icon, this);
    trayIcon->setToolTip(QStringLiteral("Belvane"));
    // The command menu belongs to the icon: an XEmbed tray pops it up when the right button is pressed
    // on the icon, a StatusNotifierItem host reads it over D-Bus and shows it itself. Nothing else on
    // the icon does anything. The chosen command runs after the menu (and the host's call) returned.
    trayMenu = BuildCommandMenu(nullptr);
    for (QAction *action : trayMenu->actions()) {
        connect(action, &QAction::triggered, this, [this, id = action->data().toInt()] {
            QMetaObject::invokeMethod(
                this, [this, id] { RunCommand(id); }, Qt::QueuedConnection);
        });
    }
    trayIcon->setContextMenu(trayMenu.get());
    trayIcon->show();
    trayPresence = new TrayPresence(this);
    trayHost = trayPresence->present();
    connect(trayPresence, &TrayPresence::changed, this, &AlarmWindow::TrayHostChanged);

    StartListening();

    performer.currentKind.clear();
    Refresh();
    confirmButton->setFocus();
}

void AlarmWindow::Refresh()
{
    senderLine->setText(cp932::toUnicode(senderText));
    senderLine->setCursorPosition(0);
    messageBox->setPlainText(ShownMessage(cp932::toUnicode(messageText)));
}

void AlarmWindow::ShowAlarm()
{
    // Minimised and restored, the window comes back at its place, in front and active. A window
    // that already is all that is left as it is: on X11 each round costs the display server a
    // state change and us a wait for it, which a burst of alarms would otherwise pay every time.
    if (!isVisible() || isMinimized() || !isActiveWindow()) {
        showMinimized();
        showNormal();
        raise();
        activateWindow();
    }
    Refresh();
}

void AlarmWindow::Confirm()
{
    senderText = messageText.empty() ? Cp932Of("新しいメッセージは届いていません")
                                     : Cp932Of("すでに確認済みメッセージです");
    performer.Stop();
    showMinimized();
    // Without a tray host the minimised window is the way back: it stays in the taskbar and the
    // window switcher, and the next alarm restores it.
    if (trayHost) {
        hide();
    }
}

void AlarmWindow::TrayHostChanged(bool present)
{
    trayHost = present;
    if (present) {
        // A host that came after the start has no icon of ours yet.
        trayIcon->hide();
        trayIcon->show();
        if (isMinimized()) {
            hide();
        }
    } else if (!isVisible()) {
        showMinimized();
    }
}

void AlarmWindow::Deliver(std::string text)
{
    receivedText = std::move(text);
    // The hidden button's command, run synchronously as the connection ends.
    dispatchButton->click();
}

void AlarmWindow::DispatchAlarm()
{
    belvane::DispatchAlarm(receivedText, actionListPath, performer, Handle(),
                           [this](const AlarmMessage &alarm) {
                               senderText = alarm.sender;
                               messageText = alarm.message;
                               ShowAlarm();
                           });
}

void AlarmWindow::StartListening()
{
    receiver = std::make_unique<AlarmReceiver>([this](std::string &text) {
        Deliver(std::move(text));
        text.clear();
    });
    listening = receiver->StartListening(settings.port) == AlarmReceiver::ListenState::Listening;
    if (listening) {
        return;
    }
    // A receiver that cannot listen misses every alarm: the user hears of it at once, and the program
    // stays with its tray icon and menu so the port can be changed in the settings.
    trayIcon->setToolTip(QStringLiteral("Belvane - 受信していません（ポート %1）").arg(settings.port));
    prompts.Message(this,
                    QStringLiteral("ポート %1 でアラームを受信できません。%2。\r\n\r\n"
                                   "メニューの「設定」でポート番号を変更し、Belvane を起動し直してください。")
                        .arg(settings.port)
                        .arg(ListenFailure(settings.port, receiver->listenError())),
                    UserPrompts::Icon::Warning);
}

void AlarmWindow::DestroyWindow()
{
    if (receiver) {
        receiver->Finish();
    }
    delete trayPresence;
    trayPresence = nullptr;
    if (trayIcon) {
        trayIcon->hide();
        delete trayIcon;
        trayIcon = nullptr;
    }
    hide();
}

void AlarmWindow::LoadSettings()
{
    ReportFileError(belvane::LoadSettings(NativePath(SettingsRecord::fileName), settings));
}

void AlarmWindow::SaveSettings()
{
    ReportFileError(belvane::SaveSettings(NativePath(SettingsRecord::fileName), settings));
}

void AlarmWindow::ReportFileError(const SettingsFileResult &result)
{
    if (!result.ok) {
        prompts.Message(this, QString::fromStdString(result.message), UserPrompts::Icon::Stop);
    }
}

std::string AlarmWindow::NativePath(const char *fileName) const
{
    return programFolder.native + fileName;
}

WindowHandle AlarmWindow::Handle() const
{
    return static_cast<WindowHandle>(winId());
}

void AlarmWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The 6-pixel outline is centred on the window's edge, so only its inner half shows.
    painter.setPen(QPen(frameOutlineColour, 6));
    painter.setBrush(frameFillColour);
    painter.drawRoundedRect(QRectF(0, 0, windowWidth, windowHeight), 10, 10);
}

void AlarmWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragPoint = event->globalPosition().toPoint();
        dragging = true;
    }
    QWidget::mousePressEvent(event);
}

void AlarmWindow::mouseMoveEvent(QMouseEvent *event)
{
    // Qt grabs the pointer while a button is held; the window follows it only while it is over the
    // window itself, so a drag that slips off resumes when the pointer comes back.
    if (dragging && rect().contains(event->position().toPoint())) {
        const QPoint p = event->globalPosition().toPoint();
        move(pos() + (p - dragPoint));
        dragPoint = p;
    }
    QWidget::mouseMoveEvent(event);
}

void AlarmWindow::mouseReleaseEvent(QMouseEvent *event)
{
    const bool overWindow = rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton && overWindow) {
        dragging = false;
        dragPoint = QPoint(0, 0);
        const QPoint topLeft = pos();
        if (topLeft.x() != settings.windowX || topLeft.y() != settings.windowY) {
            settings.windowY = topLeft.y();
            settings.windowX = topLeft.x();
            SaveSettings();
        }
    } else if (event->button() == Qt::RightButton && overWindow
               && childAt(event->position().toPoint()) == nullptr) {
        // Only the surface opens the menu; a release over a control that passed it on does not.
        OpenPopupMenu();
    }
    QWidget::mouseReleaseEvent(event);
}

void AlarmWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        Confirm();
    }
    QWidget::mouseDoubleClickEvent(event);
}

void AlarmWindow::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        Quit();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (focusWidget() == confirmButton) {
            Confirm();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void AlarmWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window (Alt+F4, the window manager) ends the program like Escape.
    event->ignore();
    Quit();
}

void AlarmWindow::OpenPopupMenu()
{
    const std::unique_ptr<QMenu> menu = BuildCommandMenu(this);
    if (const QAction *chosen = menu->exec(QCursor::pos())) {
        RunCommand(chosen->data().toInt());
    }
}

void AlarmWindow::RunCommand(int id)
{
    switch (id) {
    case commandShow:
        ShowAlarm();
        break;
    case commandSettings:
        OpenSettings();
        break;
    case commandImportList:
        ImportActionList(this, prompts, programFolder.native, actionListPath);
        break;
    case commandExportList:
        ExportActionList(this, prompts, programFolder.native, actionListPath);
        break;
    case commandWriteListText:
        WriteActionListText(this, prompts, programFolder.native, actionListPath);
        break;
    case commandOpenFolderAndQuit:
        OpenFolderAndQuit();
        break;
    case commandQuit:
        Quit();
        break;
    case commandAbout:
        ShowAbout();
        break;
    case commandSupportPage:
        OpenSupportPage();
        break;
    default:
        break;
    }
}

void AlarmWindow::OpenSettings()
{
    SettingsDialog dialog(performer, prompts, this);
    dialog.listPath = actionListPath;
    dialog.port = settings.port;
    if (dialog.exec() == QDialog::Accepted) {
        // The new port is used from the next start on.
        settings.port = dialog.port;
        SaveSettings();
    }
}

void AlarmWindow::OpenFolderAndQuit()
{
    // Whether the file browser opens or not, the program ends.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(programFolder.native.c_str())));
    Quit();
}

void AlarmWindow::Quit()
{
    emit quitRequested();
}

void AlarmWindow::ShowAbout()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void AlarmWindow::OpenSupportPage()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(NativePath(supportPageName).c_str())));
}

} // namespace belvane
