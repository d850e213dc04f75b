#include "BelvaneApp.h"

#include "ActionPerformer.h"
#include "AlarmWindow.h"
#include "QuitSignals.h"
#include "SystemPrompts.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace belvane {

const char *BelvaneApp::ChoosePlatform()
{
    const auto isSet = [](const char *name) {
        const char *value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    if (isSet("QT_QPA_PLATFORM")) {
        return nullptr;
    }
    const bool x11 = isSet("DISPLAY");
    const bool wayland = isSet("WAYLAND_DISPLAY");
    if (x11 && wayland) {
        return "xcb";
    }
    return x11 || wayland ? nullptr : "offscreen";
}

bool BelvaneApp::LoadQtTranslation()
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qt"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

int BelvaneApp::Start(int argc, char **argv)
{
    if (const char *platform = ChoosePlatform()) {
        setenv("QT_QPA_PLATFORM", platform, 1);
        // With no display to show on, the receiver still runs: alarms are received and their actions
        // performed, only the window is drawn nowhere.
        if (std::strcmp(platform, "offscreen") == 0) {
            std::fprintf(stderr, "belvane: no display; receiving alarms without showing them.\n");
        }
    }
    QApplication application(argc, argv);
    LoadQtTranslation(); // without it Qt's texts stay English
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
