#include "BelvaneApp.h"
#include "CommandMenu.h"
#include "ProgramRun.h"
#include "StorageTestSupport.h"
#include "SystemPrompts.h"
#include "WindowFixture.h"

#include <QAbstractTextDocumentLayout>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

namespace belvane {
namespace {

using testing::readFile;
using testing::SettingsImage;
using testing::TempDir;
using testing::writeFile;
using Fixture = testing::WindowFixture;

// A first start makes the default list and says so. A connection still open when the window is
// destroyed is dispatched then.
TEST(AlarmWindowTest,
     FirstStartTellsOfTheNewListAlarmsConfirmShowAgainEveryEndingAsksToQuitAndALateAlarmCounts)
{
    TempDir dir;
    const quint16 port = testing::FreePort();
    writeFile(dir.file("Belvane.cfg"), SettingsImage(port));
    Fixture f(dir);
    EXPECT_TRUE(f.window.Listening() && f.prompts.messages.empty()) << "a usable port: nothing to report";
    EXPECT_TRUE(f.sender().startsWith(QStringLiteral("コンピュータ名: [")));
    EXPECT_FALSE(f.message().isEmpty()) << "the notice that the list was made anew";
    EXPECT_EQ(fieldText(testing::readRecord(dir.file("Belvane.acd"), 0).actionFile),
              dir.path().string() + "/Malarm.wav");
    f.window.TrayHostChanged(true);
    const QString confirmed = QStringLiteral("すでに確認済みメッセージです");
    f.window.Confirm();
    f.window.RunCommand(commandShow);
    EXPECT_EQ(f.sender(), confirmed) << "the first start's notice counts as a message";
    const struct
    {
        const char *alarm; // nullptr: confirm, then show
        QString sender, message;
    } steps[] = {
        {"#Sender=\x82\xa0PC\n#Message=<b>Tea</b>\n#Level=99\n", QStringLiteral("あPC"), "<b>Tea</b>"},
        {nullptr, confirmed, QStringLiteral("<b>Tea</b>")},
        {"#Sender=PC2\n#Message=\n#Level=1\n", QStringLiteral("PC2"), QString()},
        {nullptr, QStringLiteral("新しいメッセージは届いていません"), QString()},
    };
    for (const auto &step : steps) {
        if (step.alarm) {
            f.window.Deliver(step.alarm);
        } else {
            f.window.Confirm();
            EXPECT_FALSE(f.window.isVisible());
            f.window.RunCommand(commandShow);
        }
        EXPECT_TRUE(f.window.isVisible());
        EXPECT_EQ(f.sender(), step.sender);
        EXPECT_EQ(f.message(), step.message) << "shown as plain text";
    }
    QSignalSpy quit(&f.window, &AlarmWindow::quitRequested);
    QTest::keyClick(&f.window, Qt::Key_Escape);
    f.window.close();
    EXPECT_TRUE(f.window.isVisible()) << "closing only asks; the run ends the window";
    QTest::keyClick(f.window.findChild<QLineEdit *>(), Qt::Key_Return);
    f.window.RunCommand(commandQuit);
    EXPECT_EQ(quit.count(), 4);
    f.confirmButton()->setFocus();
    QTest::keyClick(f.confirmButton(), Qt::Key_Return);
    EXPECT_EQ(quit.count(), 4) << "Enter on the button confirms";
    EXPECT_FALSE(f.window.isVisible());

    writeFile(dir.file("Malarm.wav"), ""); // level 0 of the new list
    QTcpSocket sender;
    sender.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(sender.waitForConnected(5000));
    sender.write("#Sender=late\n#Message=still open\n#Level=0\n");
    ASSERT_TRUE(sender.waitForBytesWritten(5000));
    QTest::qWait(1000); // received, the connection still open
    EXPECT_TRUE(f.journal.calls.empty());
    f.window.DestroyWindow();
    EXPECT_EQ(f.sender(), QStringLiteral("late"));
    EXPECT_EQ(f.journal.calls, std::vector<std::string> {"wave play " + dir.file("Malarm.wav")});
}

// The window shows only its confirm button (which has the focus, as the end-to-end test's Return shows)
// and opens its menu on its surface only.
// Under a dark theme (light text on dark grey), a message is cut at the box's bound, centred, and
// dark on the light boxes, also while a dialog that is open disables the window.
TEST(AlarmWindowTest,
     OneButtonAndTheMenuOnTheSurfaceAndTheMessageBoxCutsAndCentresAMessageAndStaysDarkUnderADarkTheme)
{
    const QPalette before = QApplication::palette();
    QPalette dark(QColor(45, 45, 48));
    dark.setColor(QPalette::Highlight, QColor(255, 160, 0));
    QApplication::setPalette(dark);
    TempDir dir;
    Fixture f(dir, true);
    ASSERT_TRUE(f.exposed);
    EXPECT_FALSE(f.window.mask().contains(QPoint(1, 1))) << "the corners are rounded off";
    EXPECT_TRUE(f.window.mask().contains(QPoint(4, 4)) && f.window.mask().contains(QPoint(250, 0)));
    const auto buttons = f.window.findChildren<QPushButton *>();
    ASSERT_EQ(buttons.size(), 2) << "the confirm button and the hidden dispatch button";
    for (const QPushButton *button : buttons) {
        EXPECT_EQ(button->isVisible(), button == f.confirmButton());
    }
    for (const auto &[target, opens] : {std::pair<QWidget *, bool> {&f.window, true},
                                        {f.confirmButton(), false},
                                        {f.window.findChild<QLineEdit *>(), false}}) {
        bool opened = false;
        QTimer::singleShot(200, [&] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                opened = !menu->actions().isEmpty();
                menu->close();
            }
        });
        QTest::mouseRelease(target, Qt::RightButton, {}, QPoint(10, 10));
        QTest::qWait(300);
        EXPECT_EQ(opened, opens) << target->metaObject()->className();
    }
    const std::string lines = QByteArray("a\n").repeated(3000).toStdString();
    const std::pair<std::string, QString> cases[] = {
        {lines, QString::fromStdString(lines.substr(0, 4000)) + QStringLiteral("…")},
        {lines.substr(0, 3999), QString::fromStdString(lines.substr(0, 3999))}, // 2,000 lines
        {std::string(70000, 'x'), QString(65536, u'x') + QStringLiteral("…")},
        {QByteArray("\x82\xa0").repeated(65536).toStdString(), QString(65536, u'あ')},
    };
    for (const auto &[message, shown] : cases) {
        f.alarm(99, message);
        EXPECT_EQ(f.message(), shown) << message.size();
    }
    f.alarm(99, "13:30\r\nTea");
    QTextDocument &document = *f.window.findChild<QTextEdit *>()->document();
    document.documentLayout()->documentSize(); // lays it out
    for (QTextBlock block = document.firstBlock(); block.isValid(); block = block.next()) {
        EXPECT_GT(block.layout()->lineAt(0).cursorToX(0), 150) << "centred: " << block.text().toStdString();
    }
    for (const bool enabled : {true, false}) {
        f.window.setEnabled(enabled);
        const QImage image = f.window.grab().toImage();
        for (const QRect &box : {QRect(40, 23, 420, 14), QRect(40, 48, 400, 20), QRect(210, 124, 80, 16)}) {
            int darkest = 255, lightest = 0;
            for (int y = box.top(); y <= box.bottom(); ++y) {
                for (int x = box.left(); x <= box.right(); ++x) {
                    darkest = std::min(darkest, image.pixelColor(x, y).lightness());
                    lightest = std::max(lightest, image.pixelColor(x, y).lightness());
                }
            }
            EXPECT_LT(darkest, enabled ? 60 : 140) << box.y() << " enabled " << enabled;
            EXPECT_GT(lightest, 200) << "a light box";
        }
    }
    QApplication::setPalette(before);
}

TEST(AlarmWindowTest, QtsOwnTextsAreJapaneseAndX11IsTriedFirstAndHeadlessLast)
{
    ASSERT_TRUE(BelvaneApp::LoadQtTranslation()) << "qt6-translations-l10n is needed";
    EXPECT_EQ(MakeQuestionBox(nullptr, QStringLiteral("?"))->button(QMessageBox::Cancel)->text(),
              QStringLiteral("キャンセル"));

    const char *names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    const QByteArray saved[] = {qgetenv(names[0]), qgetenv(names[1]), qgetenv(names[2])};
    // Every list ends in the headless platform: a display that cannot be used is no reason to abort.
    const std::array<const char *, 4> rows[] = {{nullptr, ":0", "wayland-0", "xcb;wayland;offscreen"},
                                                {nullptr, ":0", nullptr, "xcb;offscreen"},
                                                {nullptr, "", "wayland-0", "wayland;offscreen"},
                                                {nullptr, nullptr, nullptr, "offscreen"},
                                                {"wayland", ":0", "wayland-0", "wayland;offscreen"},
                                                {"xcb;offscreen", nullptr, nullptr, "xcb;offscreen"}};
    for (const auto &row : rows) {
        for (int i = 0; i < 3; ++i) {
            row[i] ? qputenv(names[i], row[i]) : qunsetenv(names[i]);
        }
        EXPECT_EQ(BelvaneApp::ChoosePlatform(), row[3]) << (row[0] ? row[0] : "-") << (row[1] ? row[1] : "-");
    }
    for (int i = 0; i < 3; ++i) {
        qputenv(names[i], saved[i]);
    }
}

// Settings of any other size than a record's are ignored, a position off every screen gives the
// default, and neither is written at the start. A drag saves the whole record once, at its release
// over the window; the window does not follow the pointer off itself, nor does a release there end
// the drag.
TEST(AlarmWindowTest, TheSavedPositionIsUsedWhereItIsOnAScreenAndADragSavesTheWholeRecordOnceItEnds)
{
    const int right = QGuiApplication::primaryScreen()->geometry().right();
    const std::tuple<std::string, QPoint, std::string> rows[] = {
        {SettingsImage(0, 300, 200), {300, 200}, SettingsImage(0, 340, 215)},
        {SettingsImage(0, -490, 0), {-490, 0}, SettingsImage(0, -450, 15)},
        {SettingsImage(0, -500, 0), {52, 52}, SettingsImage(0, 92, 67)},
        {SettingsImage(0, right + 1, 10), {52, 52}, SettingsImage(0, 92, 67)},
        {SettingsImage(0) + "x", {52, 52}, SettingsImage(9912, 92, 67)},
    };
    for (const auto &[image, shownAt, saved] : rows) {
        SCOPED_TRACE(std::to_string(image.size()) + " bytes, shown at " + std::to_string(shownAt.x()));
        TempDir dir;
        const std::string cfg = dir.file("Belvane.cfg");
        writeFile(cfg, image);
        Fixture f(dir, true);
        EXPECT_EQ(f.window.pos(), shownAt);
        EXPECT_EQ(readFile(cfg), image);
        f.mouse(QEvent::MouseButtonPress, {100, 140}, Qt::LeftButton, Qt::LeftButton);
        f.mouse(QEvent::MouseMove, {130, 150}, Qt::NoButton, Qt::LeftButton);
        f.mouse(QEvent::MouseMove, {900, 900}, Qt::NoButton, Qt::LeftButton);
        f.mouse(QEvent::MouseButtonRelease, {900, 900}, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(readFile(cfg), image) << "nothing is written before the release over the window";
        f.mouse(QEvent::MouseMove, {110, 145}, Qt::NoButton, Qt::NoButton);
        f.mouse(QEvent::MouseButtonRelease, {110, 145}, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(readFile(cfg), saved);
        // The drag ended with the release, and a click without movement writes nothing.
        std::filesystem::remove(cfg);
        f.drag({0, 0});
        f.mouse(QEvent::MouseMove, {150, 150}, Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(f.window.pos(), shownAt + QPoint(40, 15));
        EXPECT_FALSE(std::filesystem::exists(cfg));
        // The default port may be taken by a test running beside this one: only the files' reports count.
        EXPECT_EQ(f.prompts.count(UserPrompts::Icon::Stop), 0u);
    }
}

// (A usable port is the first test's: it listens and reports nothing.)
TEST(AlarmWindowTest, APortThatCannotBeListenedOnIsReportedAndTheTrayIconSaysSo)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, 0));
    const std::pair<std::int32_t, const char *> cases[] = {
        {other.serverPort(), "ほかのプログラムがこのポートを使っています"},
        {70000, "TCP のポート番号（0～65535）ではありません"}};
    for (const auto &[port, reason] : cases) {
        TempDir dir;
        writeFile(dir.file("Belvane.cfg"), SettingsImage(port));
        Fixture f(dir);
        const QString told = f.prompts.texts().join(u'|');
        EXPECT_FALSE(f.window.Listening());
        EXPECT_EQ(f.prompts.count(UserPrompts::Icon::Warning), 1u) << told.toStdString();
        EXPECT_TRUE(f.window.findChild<QSystemTrayIcon *>()->toolTip().contains(QString::number(port)));
        EXPECT_TRUE(told.contains(QString::number(port)) && told.contains(QString::fromUtf8(reason)))
            << told.toStdString();
    }
}

} // namespace
} // namespace belvane
