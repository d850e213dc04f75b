#include "BelvaneApp.h"

#include "ActionListFile.h"
#include "AlarmWindow.h"
#include "PosixFile.h"
#include "QuitSignals.h"
#include "SettingsFile.h"
#include "SystemPerformer.h"
#include "SystemPrompts.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace belvane {

namespace {
constexpr const char *usage =
    "Usage: belvane [--help | --version]\n"
    "\n"
    "Receives alarms on the TCP port of its settings (Belvane.cfg) and performs the\n"
    "action that its action list (Belvane.acd) registers for the alarm's level. Both\n"
    "files lie in the program's folder; one copy runs per folder. Without a display\n"
    "it receives and performs alarms headless. SIGTERM, SIGINT or SIGHUP end it.\n"
    "\n"
    "  -h, --help     show this text and end\n"
    "      --version  show the version and end\n";

enum class Invocation { Run, Help, Version, Unknown };

Invocation ReadCommandLine(int argc, char **argv)
{
    if (argc <= 1) {
        return Invocation::Run;
    }
    const std::string_view option = argv[1];
    if (argc == 2 && (option == "--help" || option == "-h")) {
        return Invocation::Help;
    }
    if (argc == 2 && option == "--version") {
        return Invocation::Version;
    }
    return Invocation::Unknown;
}

bool IsSet(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// With nothing to show a box on, a message is one line on standard error and a question is
// answered with Cancel; a box nobody can see would wait for ever.
class ConsolePrompts final : public UserPrompts
{
public:
    void message(QWidget *, const QString &text, Icon) override
    {
        QString line = text.simplified();
        std::fprintf(stderr, "belvane: %s\n", line.toLocal8Bit().constData());
    }
    bool question(QWidget *, const QString &) override { return false; }
    QString chooseFile(QWidget *, const FileRequest &) override { return {}; }
};

} // namespace

const char *BelvaneApp::ChoosePlatform()
{
    if (IsSet("QT_QPA_PLATFORM")) {
        return nullptr;
    }
    const bool x11 = IsSet("DISPLAY");
    const bool wayland = IsSet("WAYLAND_DISPLAY");
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
    switch (ReadCommandLine(argc, argv)) {
    case Invocation::Run:
        break;
    case Invocation::Help:
        std::fputs(usage, stdout);
        return 0;
    case Invocation::Version:
        std::printf("belvane %s\n", BELVANE_VERSION);
        return 0;
    case Invocation::Unknown:
        std::fprintf(stderr, "belvane: unknown option \"%s\"\n%s", argv[1], usage);
        return 2;
    }

    // The platform is named on Qt's command line, not in the environment, so the programs that alarms
    // start look for the user's display as usual. With no display the receiver still runs: alarms are
    // received and their actions performed, only the window is drawn nowhere.
    static char platformOption[] = "-platform";
    char *platformArguments[] = {argv[0], platformOption, nullptr, nullptr};
    int qtArgc = 1;
    char **qtArgv = argv;
    if (const char *platform = ChoosePlatform()) {
        platformArguments[2] = const_cast<char *>(platform);
        qtArgc = 3;
        qtArgv = platformArguments;
        if (std::strcmp(platform, "offscreen") == 0) {
            std::fprintf(stderr, "belvane: no display; receiving alarms without showing them.\n");
        }
    }
    QApplication application(qtArgc, qtArgv);
    LoadQtTranslation(); // without it Qt's texts stay English
    // The window hides between alarms and dialogs come and go: only a quit request ends the run.
    QApplication::setQuitOnLastWindowClosed(false);
    const QString platform = QGuiApplication::platformName();
    const bool headless = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");

    SystemPrompts boxes;
    ConsolePrompts console;
    UserPrompts &prompts = headless ? static_cast<UserPrompts &>(console) : boxes;

    const ProgramFolder folder = executableFolder();
    FolderLock oneCopy;
    if (oneCopy.take(folder.native) == FolderLock::Result::Taken) {
        prompts.message(nullptr,
                        QStringLiteral("Belvane はこのフォルダですでに動いています。\r\n%1")
                            .arg(QFile::decodeName(folder.native.c_str())),
                        UserPrompts::Icon::Warning);
        return 1;
    }
    // Replacements of the list or the settings that a crash cut short left hidden files beside them;
    // with the folder ours, no replacement is under way.
    for (const char *name : {ActionListFile::fileName, SettingsRecord::fileName}) {
        posix::removeLeftoverSiblings(folder.native + name);
    }

    int status = 0;
    {
        AlarmWindow window(folder, thePerformer(), prompts);
        // exit() rather than quit(): quit() first offers every shown window a close, which the alarm
        // window turns into another quit request, so a shown window would keep the program running.
        // A request during start-up (a message box is open) ends the run before it begins.
        bool quitting = false;
        QObject::connect(
            &window, &AlarmWindow::quitRequested, &application,
            [&quitting] {
                quitting = true;
                QApplication::exit(0);
            },
            Qt::QueuedConnection);

        QuitSignals signalsToQuit;
        if (signalsToQuit.install()) {
            QObject::connect(&signalsToQuit, &QuitSignals::quitRequested, &window, &AlarmWindow::Quit);
        }

        window.Initialise();
        // Headless, a receiver that cannot listen does nothing at all; the message said why.
        if (headless && !window.listening()) {
            status = 1;
        } else if (!quitting) {
            window.show();
            window.activateWindow();
            application.exec();
        }
        window.DestroyWindow();
    }
    return status;
}

} // namespace belvane
