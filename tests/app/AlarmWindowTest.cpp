#include "ActionListFile.h"
#include "BelvaneApp.h"
#include "CommandMenu.h"
#include "ProgramRun.h"
#include "SystemPrompts.h"
#include "WindowFixture.h"

#include <QAbstractTextDocumentLayout>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace belvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;
using Fixture = testing::WindowFixture;

TEST(AlarmWindowTest, FirstStartCreatesTheDefaultListAndTellsSoOnlyOnce)
{
    TempDir dir;
    writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(0).substr(1)); // 1035 bytes: ignored
    {
        Fixture f(dir);
        f.window.Initialise();
        EXPECT_EQ(f.message(),
                  QStringLiteral("【継続使用されているユーザの方へのお知らせ】\n\n"
                                 "バージョンアップに伴い登録動作ファイルを初期状態に戻しました。\n"
                                 "環境設定画面より動作ファイルの確認/再登録願います。"));
        EXPECT_TRUE(f.sender().startsWith(QStringLiteral("コンピュータ名: [")));
        EXPECT_EQ(f.window.pos(), QPoint(52, 52));
        EXPECT_EQ(readFile(dir.file("Belvane.cfg")).size(), 1035u) << "a start never writes the settings";
    }
    Fixture again(dir);
    again.window.Initialise();
    EXPECT_EQ(again.message(), QString());
    ActionListFile list;
    ActionRecord level0;
    ASSERT_EQ(list.OpenOrCreate(0, dir.file("Belvane.acd")), 50);
    ASSERT_EQ(list.FetchRecord(0, level0), 896);
    EXPECT_EQ(fieldText(level0.actionFile), dir.path().string() + "/Malarm.wav");
}

TEST(AlarmWindowTest, RoundedShapeHiddenDispatchButtonAndFocusedConfirm)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    EXPECT_EQ(f.window.size(), QSize(500, 155));
    const std::pair<QPoint, bool> points[] = {{{0, 0}, false},   {{499, 154}, false}, {{2, 2}, false},
                                              {{10, 0}, true},   {{0, 10}, true},     {{4, 4}, true},
                                              {{250, 77}, true}, {{499, 77}, true}};
    for (const auto &[p, inside] : points) {
        EXPECT_EQ(f.window.mask().contains(p), inside) << p.x() << "," << p.y();
    }
    const auto buttons = f.window.findChildren<QPushButton *>();
    ASSERT_EQ(buttons.size(), 2);
    for (const QPushButton *button : buttons) {
        EXPECT_EQ(button->isVisible(), button == f.confirmButton()) << button->text().toStdString();
    }
    EXPECT_TRUE(f.confirmButton()->hasFocus());
}

TEST(AlarmWindowTest, BoxesThroughAlarmConfirmAndShowAgain)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.TrayHostChanged(true);
    f.window.Confirm();
    f.window.RunCommand(commandShow);
    EXPECT_TRUE(f.window.isVisible());
    EXPECT_EQ(f.sender(), QStringLiteral("すでに確認済みメッセージです")) << "the notice counts as a message";
    const struct
    {
        const char *alarm; // nullptr: confirm, then show
        QString sender, message;
    } steps[] = {
        {"#Sender=\x82\xa0PC\n#Message=<b>Tea</b>\n#Level=99\n", QStringLiteral("あPC"),
         QStringLiteral("<b>Tea</b>")},
        {nullptr, QStringLiteral("すでに確認済みメッセージです"), QStringLiteral("<b>Tea</b>")},
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
}

TEST(AlarmWindowTest, APositionOffEveryScreenShowsTheWindowAtTheDefaultWithoutSaving)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const std::pair<QPoint, QPoint> rows[] = {{{300, 200}, {300, 200}},
                                              {{-490, 0}, {-490, 0}},
                                              {{-500, 0}, {52, 52}},
                                              {{screen.right() + 1, 10}, {52, 52}},
                                              {{5000, 5000}, {52, 52}}};
    for (const auto &[saved, shownAt] : rows) {
        TempDir dir;
        const std::string image = testing::SettingsImage(0, saved.x(), saved.y());
        writeFile(dir.file("Belvane.cfg"), image);
        Fixture f(dir);
        f.window.Initialise();
        EXPECT_EQ(f.window.pos(), shownAt) << saved.x() << "," << saved.y();
        EXPECT_EQ(readFile(dir.file("Belvane.cfg")), image);
    }
}

TEST(AlarmWindowTest, ConfirmHidesOnlyWhenATrayHostLeadsBackAndFollowsTheHost)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    enum class State { shown, minimised, hidden };
    const auto state = [&] {
        return !f.window.isVisible() ? State::hidden
            : f.window.isMinimized() ? State::minimised
                                     : State::shown;
    };
    const struct
    {
        std::function<void()> act;
        State expected;
        const char *what;
    } steps[] = {
        {[&] { f.window.TrayHostChanged(false); }, State::shown,
         "no host: nothing changes on a shown window"},
        {[&] { f.window.Confirm(); }, State::minimised, "confirmed without a host"},
        {[&] { f.window.TrayHostChanged(true); }, State::hidden, "a host came: the icon leads back now"},
        {[&] { f.window.TrayHostChanged(false); }, State::minimised, "the host went: back to the taskbar"},
        {[&] { f.window.RunCommand(commandShow); }, State::shown, "restored"},
        {[&] { f.window.TrayHostChanged(true); }, State::shown, "a shown window stays shown"},
        {[&] { f.window.Confirm(); }, State::hidden, "confirmed with a host"},
    };
    for (const auto &step : steps) {
        step.act();
        EXPECT_EQ(state(), step.expected) << step.what;
    }
}

TEST(AlarmWindowTest, TheMessageBoxShowsAMessageCentredAndCutAtItsBound)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    std::string lines;
    for (int i = 0; i < 3000; ++i) {
        lines += "a\n";
    }
    std::string japanese;
    for (int i = 0; i < 65536; ++i) {
        japanese += "\x82\xa0";
    }
    const std::pair<std::string, QString> cases[] = {
        {lines, QString::fromStdString(lines.substr(0, 4000)) + QStringLiteral("…")},
        {lines.substr(0, 3999), QString::fromStdString(lines.substr(0, 3999))}, // 2,000 lines
        {std::string(70000, 'x'), QString(65536, u'x') + QStringLiteral("…")},
        {japanese, QString(65536, u'あ')},
    };
    for (const auto &[message, shown] : cases) {
        SCOPED_TRACE(message.size());
        f.window.Deliver("#Sender=PC\n#Message=" + message + "\n#Level=99\n");
        EXPECT_EQ(f.message(), shown);
    }
    f.window.Deliver("#Sender=PC\n#Message=Tea\r\nTime\n#Level=99\n");
    QTextDocument &document = *f.window.findChild<QTextEdit *>()->document();
    document.documentLayout()->documentSize(); // lays it out
    for (QTextBlock block = document.firstBlock(); block.isValid(); block = block.next()) {
        EXPECT_GT(block.layout()->lineAt(0).cursorToX(0), 150) << "centred: " << block.text().toStdString();
    }
}

TEST(AlarmWindowTest, RightReleaseOpensTheMenuOnTheSurfaceOnly)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    const std::pair<QWidget *, bool> rows[] = {
        {&f.window, true}, {f.confirmButton(), false}, {f.window.findChild<QLineEdit *>(), false}};
    for (const auto &[target, opens] : rows) {
        bool opened = false;
        QTimer::singleShot(200, [&] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                opened = !menu->actions().isEmpty();
                menu->close();
            }
        });
        QTest::mouseRelease(target, Qt::RightButton, {},
                            target == &f.window ? QPoint(450, 140) : QPoint(10, 10));
        QTest::qWait(300);
        EXPECT_EQ(opened, opens) << target->metaObject()->className();
    }
}

TEST(AlarmWindowTest, ADarkThemeLeavesTheTextsDarkOnTheLightBoxes)
{
    const QPalette before = QApplication::palette();
    QPalette dark(QColor(45, 45, 48)); // light text on dark grey, as dark desktop themes have it
    dark.setColor(QPalette::Highlight, QColor(255, 160, 0));
    QApplication::setPalette(dark);
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    f.window.Deliver("#Sender=PC1\n#Message=13:30\n#Level=99\n");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    // The darkest pixel of a box's text against the lightest around it.
    const auto contrast = [](const QImage &image, const QRect &area) {
        int darkest = 255, lightest = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                darkest = std::min(darkest, image.pixelColor(x, y).lightness());
                lightest = std::max(lightest, image.pixelColor(x, y).lightness());
            }
        }
        return std::pair(darkest, lightest);
    };
    for (const bool enabled : {true, false}) { // a dialog that is open disables the window
        f.window.setEnabled(enabled);
        const QImage image = f.window.grab().toImage();
        for (const QRect &box : {QRect(40, 23, 420, 14), QRect(40, 48, 400, 20), QRect(210, 124, 80, 16)}) {
            const auto [darkest, lightest] = contrast(image, box);
            EXPECT_LT(darkest, enabled ? 60 : 140) << box.y() << " enabled " << enabled;
            EXPECT_GT(lightest, 200) << "a light box";
        }
    }
    f.window.setEnabled(true);
    QApplication::setPalette(before);
}

TEST(AlarmWindowTest, QtsOwnTextsAreJapanese)
{
    ASSERT_TRUE(BelvaneApp::LoadQtTranslation()) << "qt6-translations-l10n is needed";
    const auto box = MakeQuestionBox(nullptr, QStringLiteral("?"));
    EXPECT_EQ(box->button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
    const auto dialog = MakeFileDialog(nullptr, {});
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->show();
    QStringList texts;
    for (const QLabel *label : dialog->findChildren<QLabel *>()) {
        texts << label->text();
    }
    for (const QAbstractButton *button : dialog->findChild<QDialogButtonBox *>()->buttons()) {
        texts << button->text();
    }
    for (const char *text : {"ファイル名(&N):", "開く(&O)", "キャンセル"}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text)))
            << text << " in " << texts.join(u'|').toStdString();
    }
}

TEST(AlarmWindowTest, X11IsChosenWhenBothDisplaysAreThere)
{
    const struct
    {
        const char *platform, *display, *wayland, *chosen;
    } rows[] = {
        {nullptr, ":0", "wayland-0", "xcb"},      {nullptr, ":0", nullptr, nullptr},
        {nullptr, nullptr, "wayland-0", nullptr}, {nullptr, nullptr, nullptr, "offscreen"},
        {"wayland", ":0", "wayland-0", nullptr},  {nullptr, "", "wayland-0", nullptr},
    };
    const char *names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    const QByteArray saved[] = {qgetenv(names[0]), qgetenv(names[1]), qgetenv(names[2])};
    for (const auto &row : rows) {
        const char *values[] = {row.platform, row.display, row.wayland};
        for (int i = 0; i < 3; ++i) {
            values[i] ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
        }
        EXPECT_STREQ(BelvaneApp::ChoosePlatform(), row.chosen) << (row.display ? row.display : "-");
    }
    for (int i = 0; i < 3; ++i) {
        qputenv(names[i], saved[i]);
    }
}

TEST(AlarmWindowTest, DraggingSavesThePositionOnceAndOnlyWhenItChanged)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    const std::string cfg = dir.file("Belvane.cfg");
    f.drag({0, 0});
    EXPECT_FALSE(std::filesystem::exists(cfg)) << "a click without movement writes nothing";

    f.mouse(QEvent::MouseButtonPress, {100, 140}, Qt::LeftButton, Qt::LeftButton);
    f.mouse(QEvent::MouseMove, {130, 150}, Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(std::filesystem::exists(cfg)) << "nothing is written before the release";
    // Slipping off the window: the move is not followed and the release there does not end the drag.
    f.mouse(QEvent::MouseMove, {900, 900}, Qt::NoButton, Qt::LeftButton);
    f.mouse(QEvent::MouseButtonRelease, {900, 900}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(f.window.pos(), QPoint(82, 62));
    f.mouse(QEvent::MouseMove, {110, 145}, Qt::NoButton, Qt::NoButton);
    f.mouse(QEvent::MouseButtonRelease, {110, 145}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(f.window.pos(), QPoint(92, 67)) << "follows the pointer again once it is back";
    f.mouse(QEvent::MouseMove, {150, 150}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(f.window.pos(), QPoint(92, 67)) << "the drag ended with the release";

    SettingsRecord saved;
    ASSERT_TRUE(LoadSettings(cfg, saved).ok);
    EXPECT_EQ(QPoint(saved.windowX, saved.windowY), QPoint(92, 67));
    // The default port may be taken by another program: only the settings file's reports count.
    EXPECT_EQ(f.prompts.count(UserPrompts::Icon::Stop), 0u);
}

TEST(AlarmWindowTest, EveryWayOfEndingAsksToQuit)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.TrayHostChanged(true);
    f.window.show();
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
}

TEST(AlarmWindowTest, AnOpenConnectionIsDispatchedAtTheEnd)
{
    TempDir dir;
    const quint16 port = testing::FreePort();
    writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(port));
    Fixture f(dir);
    f.window.Initialise();
    {
        ActionListFile list;
        ActionRecord record;
        record.enabled = 1;
        setFieldText(record.actionFile, dir.file("Belvane.acd"));
        ASSERT_EQ(list.OpenOrCreate(0, dir.file("Belvane.acd")), 50);
        ASSERT_EQ(list.BeginWrite(), 50);
        ASSERT_EQ(list.WriteRecord(4, record), 896);
    }
    f.window.Confirm();
    QTcpSocket sender;
    sender.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(sender.waitForConnected(5000));
    sender.write("#Sender=late\n#Message=still open\n#Level=4\n");
    ASSERT_TRUE(sender.waitForBytesWritten(5000));
    QTest::qWait(1000); // received, the connection still open
    EXPECT_TRUE(f.services.journal.calls.empty());
    f.window.DestroyWindow();
    EXPECT_EQ(f.sender(), QStringLiteral("late"));
    EXPECT_EQ(f.services.journal.calls,
              std::vector<std::string> {"open " + dir.file("Belvane.acd") + " [] 5"});
}

TEST(AlarmWindowTest, APortThatCannotBeListenedOnIsReportedAndTheTrayIconSaysSo)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, 0));
    const std::pair<std::int32_t, const char *> cases[] = {
        {0, ""}, // usable
        {other.serverPort(), "ほかのプログラムがこのポートを使っています"},
        {70000, "TCP のポート番号（0～65535）ではありません"}};
    for (const auto &[port, reason] : cases) {
        TempDir dir;
        writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(port));
        Fixture f(dir);
        f.window.Initialise();
        const QString tip = f.window.findChild<QSystemTrayIcon *>()->toolTip();
        EXPECT_EQ(f.window.Listening(), *reason == '\0');
        if (*reason == '\0') {
            EXPECT_TRUE(f.prompts.messages.empty());
            EXPECT_EQ(tip, QStringLiteral("Belvane"));
            continue;
        }
        ASSERT_EQ(f.prompts.messages.size(), 1u) << port;
        const auto &shown = f.prompts.messages[0];
        EXPECT_EQ(shown.icon, UserPrompts::Icon::Warning);
        for (const QString &part :
             {QStringLiteral("ポート %1").arg(port), QString::fromUtf8(reason), QStringLiteral("「設定」")}) {
            EXPECT_TRUE(shown.text.contains(part)) << shown.text.toStdString();
        }
        EXPECT_EQ(tip, QStringLiteral("Belvane - 受信していません（ポート %1）").arg(port));
    }
}

} // namespace
} // namespace belvane
