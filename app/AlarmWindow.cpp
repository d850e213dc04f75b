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
#include "UserPrompts.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QUrl>

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

// The computer's name, or nothing when the system will not say.
std::optional<std::string> ComputerName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return std::nullopt;
    }
    return std::string(name);
}

} // namespace

const QColor AlarmWindow::frameFillColour(240, 240, 255);
const QColor AlarmWindow::frameOutlineColour(130, 130, 155);
const QColor AlarmWindow::senderColour(255, 255, 200);

AlarmWindow::AlarmWindow(ProgramFolder folder, ActionPerformer &thePerformer, UserPrompts &userPrompts)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , performer(thePerformer)
    , prompts(userPrompts)
    , programFolder(std::move(folder))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFont(DialogFont());
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    background.setColor(QPalette::Base, Qt::white);
    background.setColor(QPalette::Button, Qt::white);
    setPalette(background);
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
    setGeometry(settings.windowX, settings.windowY, windowWidth, windowHeight);
    senderLine->setGeometry(20, 20, 460, 20);
    messageBox->setGeometry(20, 45, 460, 70);
    confirmButton->setGeometry(200, 120, 100, 24);
    dispatchButton->setGeometry(20, 113, 100, 24);

    trayIcon = new QSystemTrayIcon(icon, this);
    trayIcon->setToolTip(QStringLiteral("Belvane"));
    connect(trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // Only the right button does anything on the icon; left clicks are ignored.
        if (reason == QSystemTrayIcon::Context) {
            OpenPopupMenu();
        }
    });
    trayIcon->show();

    StartListening();

    performer.currentKind.clear();
    Refresh();
    confirmButton->setFocus();
}

QRegion AlarmWindow::WindowRegion()
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

void AlarmWindow::Refresh()
{
    senderLine->setText(cp932::toUnicode(senderText));
    senderLine->setCursorPosition(0);
    messageBox->setPlainText(cp932::toUnicode(messageText));
    QTextCursor all(messageBox->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    all.mergeBlockFormat(centred);
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
    hide();
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
        receivedText = std::move(text);
        text.clear();
        // The hidden button's command, run synchronously as the connection ends.
        dispatchButton->click();
    });
    // A port that cannot be used leaves the program running without alarms; nothing is said.
    static_cast<void>(receiver->StartListening(settings.port));
}

void AlarmWindow::DestroyWindow()
{
    if (receiver) {
        receiver->Finish();
    }
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
    } else if (event->button() == Qt::RightButton && overWindow) {
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
        OnImportActionList();
        break;
    case commandExportList:
        OnExportActionList();
        break;
    case commandWriteListText:
        OnWriteActionListText();
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

void AlarmWindow::OnImportActionList()
{
    ImportActionList(this, prompts, programFolder.native, actionListPath);
}

void AlarmWindow::OnExportActionList()
{
    ExportActionList(this, prompts, programFolder.native, actionListPath);
}

void AlarmWindow::OnWriteActionListText()
{
    WriteActionListText(this, prompts, programFolder.native, actionListPath);
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
