#pragma once

#include <QObject>

#include <chrono>

class QSocketNotifier;

namespace belvane {

// Turns SIGTERM, SIGINT and SIGHUP (a closed terminal or session) into a Qt signal on the event loop's
// thread (a self-pipe: the handler only writes one byte). Another of them within the grace after the
// first belongs to the same ending; one after that ends the process at once, for an ending that is
// stuck. One instance per process; the previous handlers come back on destruction.
class QuitSignals final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultGrace {5000};

    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

    // False when the pipe or the handlers could not be set up; the program then ends only through its
    // own commands.
    [[nodiscard]] bool install(std::chrono::milliseconds grace = defaultGrace);

signals:
    void quitRequested();

private:
    void onReadable();

    int fds[2] = {-1, -1};
    bool installed = false;
    QSocketNotifier *notifier = nullptr;
};

} // namespace belvane
