#pragma once

// The alarm window on a temporary program folder, over recording services and scripted prompts, and
// what a test reads from it or does to it as a user would.
#include "ActionPerformer.h"
#include "AlarmWindow.h"
#include "FakeServices.h"
#include "ScriptedPrompts.h"
#include "TempDir.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <algorithm>

namespace belvane::testing {

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
    void alarm(int level, const std::string &message = "tea")
    {
        window.deliver("#Sender=PC1\n#Message=" + message + "\n#Level=" + std::to_string(level) + "\n");
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
