#pragma once

#include <QObject>

#include <string>

class QLocalServer;
class QLocalSocket;

namespace belvane {

class FolderLock;

// A copy that runs headless only because the display it was given could not be opened (a service
// started before the display) gives the files folder up to a later copy that has a display. The
// headless copy listens on a local socket in the folder; the later copy, finding the folder taken,
// asks there, the headless copy finishes its open connections and ends, and the later copy takes the
// folder once its lock is free. A copy that offers nothing (one with a display, or one headless on
// purpose) does not answer, and the later copy stays the second copy it is. Each step is a log line.
class DisplayHandOver final : public QObject
{
    Q_OBJECT

public:
    // `nativeFolder` is the folder the one-copy lock holds, ending with '/'.
    explicit DisplayHandOver(const std::string &nativeFolder, QObject *parent = nullptr);
    ~DisplayHandOver() override;

    // The headless copy's side: listens for a later copy. A socket left by a copy that ended
    // abruptly is removed first, only when nobody answers on it. When the socket cannot be opened, a
    // log line says so and no hand-over is offered.
    void offer();

    // The later copy's side, with `lock` found taken: asks the copy holding the folder to hand it
    // over and waits for it to end. True when `lock` is now held; false when nobody offered the
    // folder or its holder did not end in time.
    [[nodiscard]] bool takeOver(FolderLock &lock);

signals:
    // A later copy with a display asked for the folder: the program should end as on a quit request.
    void handOverRequested();

private:
    void onRequest(QLocalSocket *socket);

    std::string folder;
    QString path;
    QLocalServer *server = nullptr;
    bool handingOver = false;
};

} // namespace belvane
