#pragma once

// The alarm window on a temporary program folder, over recording services and scripted prompts, and
// what a test reads from it or does to it as a user would.
#include "ActionPerformer.h"
#include "AlarmWindow.h"
#include "FakeServices.h"
#include "LoggedLines.h"
#include "ScriptedPrompts.h"
#include "TempDir.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>

namespace belvane::testing {

// Runs `open`, which may open a popup menu or a modal dialog and wait in it: `inside` is given what
// opened, which is then closed whatever `inside` did, so that a failed check cannot leave the test waiting
// in it. Whether anything opened.
inline bool whileOpen(const std::function<void()> &open, const std::function<void(QWidget *)> &inside)
{
    bool opened = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *shown = QApplication::activePopupWidget();
        shown = shown ? shown : QApplication::activeModalWidget();
        if (shown && !opened) {
            opened = true;
            inside(shown);
            shown->close();
        }
    });
    poll.start(10);
    open();
    return opened;
}

struct WindowFixture : PerformerBench
{
    explicit WindowFixture(const TempDir &dir, bool show = false)
        : WindowFixture(chooseFolders(ProgramFolder::fromNative(dir.path().string())), show)
    { }
    explicit WindowFixture(Folders folders, bool show = false)
        : window(std::move(folders), performer, prompts)
    {
        window.Initialise();
        if (show) {
            window.show();
            exposed = QTest::qWaitForWindowExposed(&window);
        }
    }
    ~WindowFixture() { window.DestroyWindow(); }

    QString sender() const { return window.findChild<QLineEdit *>()->text(); }
    QString message() const { return window.findChild<QTextEdit *>()->toPlainText(); }
    QPushButton *confirmButton() const
    {
        const auto buttons = window.findChildren<QPushButton *>();
        const auto confirm = std::ranges::find(buttons, QStringLiteral("確認(最小化)"), &QPushButton::text);
        return confirm == buttons.end() ? nullptr : *confirm;
    }
    QSystemTrayIcon *tray() const { return window.findChild<QSystemTrayIcon *>(); }
    // Delivers an alarm from `sender` (cp932 bytes) as sent from 192.0.2.7.
    void alarm(int level, const std::string &message = "tea", const std::string &sender = "PC1")
    {
        window.station().deliver(alarmText(sender, level, message), "192.0.2.7");
    }

    void mouse(QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, QPointF(local), QPointF(window.mapToGlobal(local)), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    }
    // Drags the window's surface by `by` with the left button.
    void drag(QPoint by)
    {
        const QPoint start(100, 140);
        mouse(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, start + by, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, start + by, Qt::LeftButton, Qt::NoButton);
    }

    ScriptedPrompts prompts;
    AlarmWindow window;
    bool exposed = false;
};

} // namespace belvane::testing
