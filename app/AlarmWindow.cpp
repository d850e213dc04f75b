#include "AlarmWindow.h"

#include "ActionListFile.h"
#include "ActionPerformer.h"
#include "AlarmAnnouncement.h"
#include "AlarmLog.h"
#include "AlarmLook.h"
#include "AlarmTray.h"
#include "ApplicationIcon.h"
#include "CommandMenu.h"
#include "Cp932.h"
#include "DialogUnits.h"
#include "FileErrorText.h"
#include "PosixFile.h"
#include "UserPrompts.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>

#include <algorithm>

namespace belvane {

namespace {

constexpr const char *noticeText = "【継続使用されているユーザの方へのお知らせ】\r\n\r\n"
                                   "バージョンアップに伴い登録動作ファイルを初期状態に戻しました。\r\n"
                                   "環境設定画面より動作ファイルの確認/再登録願います。";

// What the first start in a new files folder says when it brought the list and settings along.
QString copiedNotice(const QString &from, const QString &to)
{
    return QStringLiteral(
               "【お知らせ】\r\n以前の動作リストと環境設定をコピーしました。\r\nコピー元: %1\r\nコピー先: %2")
        .arg(from, to);
}

} // namespace

AlarmWindow::AlarmWindow(Folders runFolders, ActionPerformer &thePerformer, UserPrompts &userPrompts)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , performer(thePerformer)
    , prompts(userPrompts)
    , folders(std::move(runFolders))
    , receivingStation(thePerformer, folders.files.native + ActionListFile::fileName,
                       [this] { return handle(); })
    , commands({*this, performer, prompts, folders, actionListPath})
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFont(dialogFont());
    setPalette(lightPalette());
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
    senderLine->setAccessibleName(QStringLiteral("送信者"));

    messageBox = new QTextEdit(this);
    messageBox->setAcceptRichText(false);
    messageBox->setLineWrapMode(QTextEdit::NoWrap);
    messageBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    messageBox->setFocusPolicy(Qt::ClickFocus);
    messageBox->setAccessibleName(QStringLiteral("メッセージ"));
    // One alignment for the whole document, and no undo history: each refresh replaces the text.
    messageBox->setUndoRedoEnabled(false);
    QTextOption centred = messageBox->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    messageBox->document()->setDefaultTextOption(centred);

    dispatchButton = new QPushButton(QStringLiteral("更新"), this);
    dispatchButton->hide();
    connect(dispatchButton, &QPushButton::clicked, &receivingStation, &AlarmStation::DispatchAlarm);
    connect(&receivingStation, &AlarmStation::alarmShown, this, &AlarmWindow::showArrived);

    setTabOrder(confirmButton, senderLine);
    announcement = new AlarmAnnouncement(this);
}

AlarmWindow::~AlarmWindow() = default;

void AlarmWindow::Initialise()
{
    const QIcon icon = applicationIcon();
    setWindowIcon(icon);

    senderText.clear();
    shownText.clear();
    settings = SettingsRecord();
    dragging = false;
    dragPoint = QPoint(0, 0);

    if (const auto name = computerName()) {
        senderText = QStringLiteral("コンピュータ名: [") + cp932::toUnicode(*name) + u']';
    }

    LoadSettings();

    actionListPath = nativePath(ActionListFile::fileName);
    if (!posix::exists(actionListPath)) {
        ActionListFile list;
        // A folder whose name cp932 cannot hold cannot be stored in the records: the levels stay blank.
        list.CreateDefault(actionListPath, folders.program.cp932.value_or(std::string()));
        shownText = QString::fromUtf8(noticeText);
    } else if (!folders.copiedFrom.empty()) {
        shownText = copiedNotice(QFile::decodeName(folders.copiedFrom.c_str()),
                                 QFile::decodeName(folders.files.native.c_str()));
    }

    setWindowTitle(QStringLiteral("Belvane"));
    shapeWindow(this);
    QRect place(settings.windowX, settings.windowY, windowWidth, windowHeight);
    if (!onSomeScreen(place)) {
        // Shown where it can be seen; the saved position stays as it is until the user moves the window.
        const SettingsRecord defaults;
        place.moveTo(defaults.windowX, defaults.windowY);
    }
    // A fixed size tells a tiling window manager (sway, i3) that this is a popup to float as it is,
    // not a window to stretch over the workspace; a stacking desktop sees no difference.
    setFixedSize(windowWidth, windowHeight);
    setGeometry(place);
    placed = place.topLeft();
    senderLine->setGeometry(20, 20, 460, 20);
    messageBox->setGeometry(20, 45, 460, 70);
    confirmButton->setGeometry(200, 120, 100, 24);
    dispatchButton->setGeometry(20, 113, 100, 24);

    tray = new AlarmTray(icon, this);
    trayHost = tray->hostPresent();
    connect(tray, &AlarmTray::commandChosen, this, &AlarmWindow::runCommand);
    connect(tray, &AlarmTray::hostChanged, this, &AlarmWindow::trayHostChanged);
    performer.watchSounds([tray = QPointer<AlarmTray>(tray)](MediaResult result) {
        if (tray) {
            tray->reportSound(result);
        }
    });

    StartListening();

    performer.Stop();
    refresh();
    confirmButton->setFocus();
}

void AlarmWindow::showArrived(const QString &sender, const QString &message)
{
    senderText = sender;
    shownText = message;
    ShowAlarm();
}

void AlarmWindow::refresh()
{
    senderLine->setText(senderText);
    senderLine->setCursorPosition(0);
    messageBox->setPlainText(shownText);
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
    refresh();
    announcement->announce(senderLine->text(), shownText);
}

void AlarmWindow::Confirm()
{
    senderText = shownText.isEmpty() ? QStringLiteral("新しいメッセージは届いていません")
                                     : QStringLiteral("すでに確認済みメッセージです");
    performer.Stop();
    receivingStation.history().confirmed();
    showMinimized();
    // Without a tray host the minimised window is the way back: it stays in the taskbar and the
    // window switcher, and the next alarm restores it.
    if (trayHost) {
        hide();
    }
}

void AlarmWindow::trayHostChanged(bool present)
{
    trayHost = present;
    if (present && isMinimized()) {
        hide();
    } else if (!present && !isVisible()) {
        showMinimized();
    }
}

void AlarmWindow::StartListening()
{
    const QString failure = receivingStation.startListening(settings.port);
    receiving = failure.isEmpty();
    logStart(QFile::decodeName(folders.files.native.c_str()), settings.port, failure);
    if (receiving) {
        return;
    }
    // A receiver that cannot listen misses every alarm: the user hears of it at once, and the program
    // stays with its tray icon and menu so the port can be changed in the settings.
    tray->reportNotReceiving(settings.port);
    prompts.message(this,
                    QStringLiteral("ポート %1 でアラームを受信できません。%2。\r\n\r\n"
                                   "メニューの「設定」でポート番号を変更し、Belvane を起動し直してください。")
                        .arg(settings.port)
                        .arg(failure),
                    UserPrompts::Icon::Warning);
}

void AlarmWindow::DestroyWindow()
{
    receivingStation.finish();
    if (tray) {
        tray->remove();
    }
    hide();
}

void AlarmWindow::LoadSettings()
{
    reportFileError(belvane::LoadSettings(nativePath(SettingsRecord::fileName), settings));
}

void AlarmWindow::SaveSettings()
{
    reportFileError(belvane::SaveSettings(nativePath(SettingsRecord::fileName), settings));
}

void AlarmWindow::changePort(std::int32_t port)
{
    settings.port = port;
    SaveSettings();
}

void AlarmWindow::reportFileError(const SettingsFileResult &result)
{
    if (!result.ok) {
        prompts.message(this, settingsFileMessage(result), UserPrompts::Icon::Stop);
    }
}

std::string AlarmWindow::nativePath(const char *fileName) const
{
    return folders.files.native + fileName;
}

WindowHandle AlarmWindow::handle() const
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
        // Compared with where the window was put, not with the saved position: a saved position off
        // every screen is shown elsewhere, and a click there moves nothing.
        const QPoint topLeft = pos();
        if (topLeft != placed) {
            placed = topLeft;
            settings.windowY = topLeft.y();
            settings.windowX = topLeft.x();
            SaveSettings();
        }
    } else if (event->button() == Qt::RightButton && overWindow
               && childAt(event->position().toPoint()) == nullptr) {
        // Only the surface opens the menu; a release over a control that passed it on does not.
        OpenPopupMenu(QCursor::pos());
    }
    QWidget::mouseReleaseEvent(event);
}

void AlarmWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        // Not passed on: the base class would take it for a press and arm a drag that the window,
        // gone by then, never sees released.
        dragging = false;
        Confirm();
        return;
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
    case Qt::Key_F10:
        if (event->modifiers() == Qt::ShiftModifier) {
            OpenPopupMenu(mapToGlobal(rect().center()));
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void AlarmWindow::contextMenuEvent(QContextMenuEvent *event)
{
    // The Menu key, which the platform turns into a context menu request, opens the command menu from
    // the button as from the surface (the boxes open their own edit menus); the mouse opens it on the
    // right button's release only.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        OpenPopupMenu(mapToGlobal(rect().center()));
        return;
    }
    QWidget::contextMenuEvent(event);
}

void AlarmWindow::changeEvent(QEvent *event)
{
    // Restored from the taskbar (no tray host), the window shows what "表示" would.
    if (event->type() == QEvent::WindowStateChange
        && (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized)
        && !isMinimized()) {
        refresh();
    }
    QWidget::changeEvent(event);
}

void AlarmWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window (Alt+F4, the window manager) ends the program like Escape.
    event->ignore();
    Quit();
}

void AlarmWindow::OpenPopupMenu(QPoint at)
{
    const std::unique_ptr<QMenu> menu = buildCommandMenu(this);
    if (const QAction *chosen = menu->exec(at)) {
        runCommand(chosen->data().toInt());
    }
}

void AlarmWindow::runCommand(int id)
{
    commands.run(id);
}

void AlarmWindow::Quit()
{
    emit quitRequested();
}

} // namespace belvane
