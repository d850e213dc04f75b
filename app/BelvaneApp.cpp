#include "BelvaneApp.h"

#include "ActionListFile.h"
#include "AlarmWindow.h"
#include "DisplayHandOver.h"
#include "FolderLock.h"
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

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace belvane {

namespace {
constexpr const char *usage =
    "Usage: belvane [--help | --version]\n"
    "\n"
    "Receives alarms on the TCP port of its settings (Belvane.cfg) and performs the\n"
    "action that its action list (Belvane.acd) registers for the alarm's level. Both\n"
    "files lie in the folder\n"
    "  %s\n"
    "and one copy runs per folder. Without a display it receives and performs alarms\n"
    "headless. SIGTERM, SIGINT or SIGHUP end it.\n"
    "\n"
    "  -h, --help     show this text and end\n"
    "      --version  show the version and end\n";

enum class Invocation { Run, Help, Version, Unknown };

Invocation readCommandLine(int argc, char **argv)
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

// Qt's platform that draws nowhere.
constexpr const char *headlessPlatform = "offscreen";

bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Qt reports much on standard error that is no fault of the user's: a display platform it tried
// before the one that worked, a signal its tray icon only has on X11, a window mask the headless
// platform ignores. Of Qt's own messages only what is wrong passes: critical and fatal ones, and a
// display connection that broke (the program ends then), unless QT_LOGGING_RULES names one of Qt's
// categories: then someone is looking for Qt's messages and sees them all. The program's own
// categories ("belvane.*") always pass, as QT_LOGGING_RULES lets them.
QtMessageHandler qtDefaultHandler = nullptr;
bool qtMessagesWanted = false;

void quietQtMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const bool ours =
        context.category != nullptr && std::string_view(context.category).starts_with("belvane");
    const bool wrong = type == QtCriticalMsg || type == QtFatalMsg
        || (type == QtWarningMsg
            && (text.contains(QLatin1String("connection broke"))
                || text.contains(QLatin1String("connection experienced a fatal error"))));
    if (ours || wrong || qtMessagesWanted) {
        qtDefaultHandler(type, context, text);
    }
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

std::string BelvaneApp::choosePlatform()
{
    std::string chosen;
    if (isSet("QT_QPA_PLATFORM")) {
        chosen = std::getenv("QT_QPA_PLATFORM");
    } else {
        for (const auto &[display, platform] :
             {std::pair {"DISPLAY", "xcb"}, {"WAYLAND_DISPLAY", "wayland"}}) {
            if (isSet(display)) {
                chosen += chosen.empty() ? platform : std::string(";") + platform;
            }
        }
    }
    if (chosen.empty()) {
        return headlessPlatform;
    }
    return chosen.find(headlessPlatform) == std::string::npos ? chosen + ";" + headlessPlatform : chosen;
}

bool BelvaneApp::loadQtTranslation()
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
    // The one place that says where the program keeps its files: everything below goes by it.
    Folders folders = chooseFolders(executableFolder());
    const std::string filesFolder = folders.files.native;
    switch (readCommandLine(argc, argv)) {
    case Invocation::Run:
        break;
    case Invocation::Help:
        std::printf(usage, filesFolder.c_str());
        return 0;
    case Invocation::Version:
        std::printf("belvane %s\n", BELVANE_VERSION);
        return 0;
    case Invocation::Unknown:
        std::fprintf(stderr, "belvane: unknown option \"%s\"\n", argv[1]);
        std::fprintf(stderr, usage, filesFolder.c_str());
        return 2;
    }

    // The platform is named on Qt's command line, not in the environment, so the programs that alarms
    // start look for the user's display as usual. With no usable display the receiver still runs:
    // alarms are received and their actions performed, only the window is drawn nowhere.
    std::string platforms = choosePlatform();
    static char platformOption[] = "-platform";
    char *qtArgv[] = {argv[0], platformOption, platforms.data(), nullptr};
    int qtArgc = 3;
    qtMessagesWanted = isSet("QT_LOGGING_RULES")
        && std::string_view(std::getenv("QT_LOGGING_RULES")).find("qt.") != std::string_view::npos;
    qtDefaultHandler = qInstallMessageHandler(quietQtMessages);
    QApplication application(qtArgc, qtArgv);
    // Desktops match the window to the menu entry and its icon by this name (Wayland's app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("belvane"));
    loadQtTranslation(); // without it Qt's texts stay English
    // The window hides between alarms and dialogs come and go: only a quit request ends the run.
    QApplication::setQuitOnLastWindowClosed(false);
    const QString platform = QGuiApplication::platformName();
    const bool headless = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
    // Headless only because the display it was given could not be opened (not up yet, say): then a
    // later copy that has one may take the folder over.
    const bool displayMissed = headless && platform.toStdString() != platforms.substr(0, platforms.find(';'));
    if (headless && !displayMissed) {
        std::fprintf(stderr, "belvane: no display; receiving alarms without showing them.\n");
    } else if (headless) {
        const std::string tried = platforms.substr(0, platforms.rfind(';'));
        std::fprintf(stderr,
                     "belvane: the display cannot be used (Qt platform \"%s\": its plugin is missing or the "
                     "display refused); receiving alarms without showing them.\n",
                     tried.c_str());
    }

    SystemPrompts boxes;
    ConsolePrompts console;
    UserPrompts &prompts = headless ? static_cast<UserPrompts &>(console) : boxes;

    const QString shownFolder = QFile::decodeName(filesFolder.c_str());
    if (!makeFilesFolder(folders)) {
        prompts.message(nullptr,
                        QStringLiteral("動作リストと設定を置くフォルダを作成できません。%1\r\n%2")
                            .arg(QString::fromLocal8Bit(std::strerror(errno)), shownFolder),
                        UserPrompts::Icon::Stop);
        return 1;
    }
    FolderLock oneCopy;
    DisplayHandOver handOver(folders.files.native);
    if (oneCopy.take(folders.files.native) == FolderLock::Result::Taken
        && (headless || !handOver.takeOver(oneCopy))) {
        prompts.message(nullptr,
                        QStringLiteral("Belvane はこのフォルダですでに動いています。\r\n%1").arg(shownFolder),
                        UserPrompts::Icon::Warning);
        return 1;
    }
    // Replacements of the list or the settings that a crash cut short left hidden files beside them;
    // with the folder ours, no replacement is under way.
    for (const char *name : {ActionListFile::fileName, SettingsRecord::fileName}) {
        posix::removeLeftoverSiblings(folders.files.native + name);
    }
    if (const std::string earlier = perUserInstallFolder(); !copyPerUserFiles(folders, earlier)) {
        // The earlier files stay where they are; this start goes on with a new list.
        prompts.message(
            nullptr,
            QStringLiteral("以前の動作リストと設定をコピーできません。%1\r\n%2")
                .arg(QString::fromLocal8Bit(std::strerror(errno)), QFile::decodeName(earlier.c_str())),
            UserPrompts::Icon::Warning);
    }

    int status = 0;
    {
        AlarmWindow window(folders, thePerformer(), prompts);
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
            if (displayMissed) {
                QObject::connect(&handOver, &DisplayHandOver::handOverRequested, &window, &AlarmWindow::Quit);
                handOver.offer();
            }
            window.show();
            window.activateWindow();
            application.exec();
        }
        window.DestroyWindow();
    }
    if (platform.startsWith(QLatin1String("wayland"))) {
        // Qt's Wayland plugin (6.4) can hang for ever tearing down its display connection with the
        // application: its event thread waits for a read that never completes. Everything of the
        // program's own has ended by now, so the process ends here, the sound stopped first.
        thePerformer().Stop();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace belvane
