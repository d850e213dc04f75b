#include "BelvaneApp.h"

#include "ActionPerformer.h"
#include "AlarmWindow.h"
#include "QuitSignals.h"
#include "SystemPrompts.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace belvane {

namespace {

// With no display to show on, the receiver still runs: alarms are received and their actions
// performed, only the window is drawn nowhere.
void RunHeadlessWithoutDisplay()
{
    const auto isSet = [](const char *name) {
        const char *value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    if (!isSet("QT_QPA_PLATFORM") && !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::fprintf(stderr, "belvane: no display; receiving alarms without showing them.\n");
    }
}

} // namespace

int BelvaneApp::Start(int argc, char **argv)
{
    RunHeadlessWithoutDisplay();
    QApplication application(argc, argv);
    // The window hides between alarms and dialogs come and go: only a quit request ends the run.
    QApplication::setQuitOnLastWindowClosed(false);

    SystemPrompts prompts;
    {
        AlarmWindow window(ExecutableFolder(), thePerformer(), prompts);
        // exit() rather than quit(): quit() first offers every shown window a close, which the alarm
        // window turns into another quit request, so a shown window would keep the program running.
        QObject::connect(
            &window, &AlarmWindow::quitRequested, &application, [] { QApplication::exit(0); },
            Qt::QueuedConnection);

        QuitSignals signalsToQuit;
        if (signalsToQuit.Install()) {
            QObject::connect(&signalsToQuit, &QuitSignals::quitRequested, &window, &AlarmWindow::Quit);
        }

        window.Initialise();
        window.show();
        window.activateWindow();
        application.exec();
        window.DestroyWindow();
    }
    return 0;
}

} // namespace belvane
