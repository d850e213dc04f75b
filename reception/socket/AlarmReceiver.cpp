#include "AlarmReceiver.h"

#include <QSocketNotifier>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <limits>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace belvane {

namespace {
// Qt reads from the system ahead of us; this bounds what it holds for a sender that never stops.
constexpr qint64 socketBufferSize = 64 * 1024;
// How many buffers full a connection being finished may still bring in.
constexpr int finishRounds = 64;
constexpr int acceptsPerRound = static_cast<int>(ConnectionState::openLimit);

using Clock = ConnectionState::Clock;

QAbstractSocket::SocketError listenErrorOf(int error)
{
    switch (error) {
    case EADDRINUSE:
        return QAbstractSocket::AddressInUseError;
    case EACCES:
    case EPERM:
        return QAbstractSocket::SocketAccessError;
    case EADDRNOTAVAIL:
        return QAbstractSocket::SocketAddressNotAvailableError;
    default:
        return QAbstractSocket::UnknownSocketError;
    }
}

// Whether the peer of the connected socket `fd` has closed and everything it sent has been read.
bool peerClosed(qintptr fd)
{
    char byte = 0;
    return fd >= 0 && ::recv(static_cast<int>(fd), &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

std::string addressText(const sockaddr_in &address)
{
    char text[INET_ADDRSTRLEN] = {};
    return ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) != nullptr ? text : std::string();
}
} // namespace

AlarmReceiver::AlarmReceiver(ConnectionState::Dispatch dispatch, std::chrono::milliseconds quiet)
    : state([this](std::string &text, const std::string &peer) { hold(text, peer); })
    , dispatchText(std::move(dispatch))
    , quietLimit(quiet)
{
    quietTimer.setSingleShot(true);
    connect(&quietTimer, &QTimer::timeout, this, &AlarmReceiver::finishQuiet);
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(acceptRetry);
    connect(&retryTimer, &QTimer::timeout, this, &AlarmReceiver::resumeAccepting);
}

AlarmReceiver::~AlarmReceiver()
{
    delete acceptNotifier;
    if (listener >= 0) {
        ::close(listener);
    }
    for (const Link &link : links) {
        link.socket->disconnect(this);
        link.socket->abort();
        delete link.socket;
    }
}

AlarmReceiver::ListenState AlarmReceiver::startListening(std::int32_t port)
{
    if (listenState == ListenState::Listening || state.finished()) {
        return listenState;
    }
    listenState = ListenState::PortUnavailable;
    failure = QAbstractSocket::UnknownSocketError;
    // The stored port is used as it stands; one that is no TCP port at all is not folded into one.
    if (port < 0 || port > std::numeric_limits<quint16>::max()) {
        return listenState;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<quint16>(port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof address;
    const int reuse = 1;
    // A port left in TIME_WAIT by the previous run can be listened on again at once.
    const bool listening = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) == 0
        && ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
        && ::listen(fd, listenBacklog) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    if (!listening) {
        failure = listenErrorOf(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return listenState;
    }
    listener = fd;
    listenPort = ntohs(address.sin_port);
    acceptNotifier = new QSocketNotifier(listener, QSocketNotifier::Read, this);
    connect(acceptNotifier, &QSocketNotifier::activated, this, &AlarmReceiver::acceptConnections);
    listenState = ListenState::Listening;
    return listenState;
}

void AlarmReceiver::finish()
{
    retryTimer.stop();
    if (acceptNotifier != nullptr) {
        // The ending may come from within a dispatch that this notifier's accept started.
        acceptNotifier->setEnabled(false);
        std::exchange(acceptNotifier, nullptr)->deleteLater();
    }
    if (listener >= 0) {
        ::close(std::exchange(listener, -1));
    }
    if (listenState == ListenState::Listening) {
        listenState = ListenState::NotStarted;
    }
    // The program cannot wait for descriptors: what was held back goes first, as it is.
    descriptorsShort = false;
    releaseHeld();
    // What each sender has sent is taken in first, so that every close that has arrived is known; then
    // those connections go first, oldest first, and the others after them. A dispatch may let other
    // events in, which the sockets, still here, take in as usual.
    std::vector<ConnectionState::Id> ids;
    for (const Link &link : links) {
        ids.push_back(link.id);
    }
    for (const ConnectionState::Id id : ids) {
        takeWaiting(id);
    }
    state.finish();
    for (const Link &link : links) {
        link.socket->disconnect(this);
        link.socket->close();
        link.socket->deleteLater();
    }
    links.clear();
    quietTimer.stop();
}

quint16 AlarmReceiver::boundPort() const
{
    return listener >= 0 ? listenPort : 0;
}

void AlarmReceiver::acceptConnections()
{
    // Every connection whose end has arrived goes before a newcomer. Those taken in below join the
    // ends of this round, which the next round dispatches, oldest first.
    finishClosed();
    // As many per round as may be open: each one's text stays until the next round dispatches it, and
    // senders of a megabyte each, back to back, would otherwise pile up in memory.
    for (int taken = 0; listener >= 0 && taken < acceptsPerRound; ++taken) {
        sockaddr_in peer {};
        socklen_t length = sizeof peer;
        const int fd =
            ::accept4(listener, reinterpret_cast<sockaddr *>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            takeIn(fd, addressText(peer));
            continue;
        }
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            return;
        }
        // A connection that was reset while it waited, or a signal: the next one is there to take.
        if (error == EINTR || error == ECONNABORTED || error == EPROTO) {
            continue;
        }
        if (error == EMFILE || error == ENFILE) {
            shedWaiting();
        }
        // Memory, buffers or descriptors short: the queue is tried again shortly, not at once.
        pauseAccepting();
        return;
    }
}

void AlarmReceiver::takeIn(int fd, std::string peer)
{
    if (state.finished()) {
        ::close(fd);
        return;
    }
    // A newcomer never cuts another sender short; only beyond the open limit does the one that has
    // been silent the longest end, as if its sender had closed.
    while (const auto quietest = state.toMakeRoom()) {
        finishConnection(*quietest, End::Ours);
    }
    auto *socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(fd)) {
        ::close(fd);
        delete socket;
        return;
    }
    const ConnectionState::Id id = state.accept(std::move(peer), Clock::now());
    links.push_back(Link {socket, id});
    socket->setReadBufferSize(socketBufferSize);
    connect(socket, &QTcpSocket::readyRead, this, [this, id]() { readArrived(id); });
    connect(socket, &QTcpSocket::disconnected, this, [this, id]() { finishConnection(id, End::PeerClosed); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, id](QAbstractSocket::SocketError error) {
        // An orderly close is followed by `disconnected`; a look for waiting data that found none
        // reports a time-out, which ends nothing. A reset or other failure ends the connection with
        // what arrived.
        if (error != QAbstractSocket::RemoteHostClosedError && error != QAbstractSocket::SocketTimeoutError) {
            finishConnection(id, End::Failed);
        }
    });
    armQuietTimer();
    // A quick sender has often written its alarm and closed before we get here; taking that in now
    // saves rounds of the event loop between its close and the dispatch.
    takeWaiting(id);
}

void AlarmReceiver::shedWaiting()
{
    descriptorsShort = true;
    spare.release();
    int refused = 0;
    int kept = 0;
    sockaddr_in peer {};
    socklen_t length = sizeof peer;
    for (int waiting; (waiting = ::accept4(listener, reinterpret_cast<sockaddr *>(&peer), &length,
                                           SOCK_NONBLOCK | SOCK_CLOEXEC))
         >= 0;
         length = sizeof peer) {
        // A sender that has closed already has its whole alarm here: it is kept for when descriptors
        // are back. Any other is told at once by the close rather than left waiting for an answer.
        std::vector<std::string> chunks;
        ssize_t got = 0;
        while ((got = ::recv(waiting, buffer.data(), buffer.size(), 0)) > 0) {
            chunks.emplace_back(buffer.data(), static_cast<std::size_t>(got));
        }
        ::close(waiting);
        if (got != 0) {
            ++refused;
            continue;
        }
        const ConnectionState::Id id = state.accept(addressText(peer), Clock::now());
        for (const std::string &chunk : chunks) {
            state.receive(id, chunk, Clock::now());
        }
        state.closed(id);
        ++kept;
    }
    scheduleFinishClosed();
    // Taken back at once; failing that, the next try does.
    static_cast<void>(spare.restore());
    if (refused + kept > 0) {
        emit starved(refused, kept);
    }
}

void AlarmReceiver::pauseAccepting()
{
    if (acceptNotifier != nullptr) {
        acceptNotifier->setEnabled(false);
    }
    retryTimer.start();
}

void AlarmReceiver::resumeAccepting()
{
    if (descriptorsShort && spare.restore()) {
        descriptorsShort = false;
        releaseHeld();
    }
    if (acceptNotifier != nullptr) {
        acceptNotifier->setEnabled(true);
    }
    // Alarms held back wait for descriptors: looked for again shortly, without a busy loop.
    if (descriptorsShort) {
        retryTimer.start();
    }
}

void AlarmReceiver::finishClosed()
{
    finishScheduled = false;
    state.finishClosed();
}

void AlarmReceiver::hold(std::string &text, const std::string &peer)
{
    if (!descriptorsShort && heldTexts.empty()) {
        dispatchText(text, peer);
        return;
    }
    heldTexts.push_back(HeldText {std::move(text), peer});
}

void AlarmReceiver::releaseHeld()
{
    // A dispatch may let more texts in, which queue behind these.
    while (!descriptorsShort && !heldTexts.empty()) {
        HeldText next = std::move(heldTexts.front());
        heldTexts.pop_front();
        dispatchText(next.text, next.peer);
    }
}

void AlarmReceiver::scheduleFinishClosed()
{
    // Posted behind this round's socket events: the ends the round brings are dispatched together,
    // oldest connection first, before the next round's.
    if (!finishScheduled) {
        finishScheduled = true;
        QMetaObject::invokeMethod(this, &AlarmReceiver::finishClosed, Qt::QueuedConnection);
    }
}

void AlarmReceiver::finishQuiet()
{
    while (const auto silent = state.expired(Clock::now(), quietLimit)) {
        finishConnection(*silent, End::Ours);
    }
    armQuietTimer();
}

void AlarmReceiver::armQuietTimer()
{
    const auto expiry = state.nextExpiry(quietLimit);
    if (!expiry) {
        quietTimer.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*expiry - Clock::now());
    quietTimer.start(std::max(wait, std::chrono::milliseconds(0)));
}

void AlarmReceiver::finishConnection(ConnectionState::Id id, End how)
{
    if (how == End::Ours) {
        takeWaiting(id);
    } else {
        drain(id);
    }
    // Taking in what waited may have ended it already, through the peer's close.
    const auto link = std::find_if(links.begin(), links.end(), [id](const Link &l) { return l.id == id; });
    if (link != links.end()) {
        QTcpSocket *gone = link->socket;
        links.erase(link);
        gone->disconnect(this);
        if (how == End::Failed) {
            gone->abort();
        } else {
            gone->close();
        }
        gone->deleteLater();
    }
    state.closed(id);
    if (how == End::Ours) {
        finishClosed();
    } else {
        scheduleFinishClosed();
    }
    armQuietTimer();
}

QTcpSocket *AlarmReceiver::socketOf(ConnectionState::Id id) const
{
    const auto link = std::find_if(links.begin(), links.end(), [id](const Link &l) { return l.id == id; });
    return link == links.end() ? nullptr : link->socket;
}

void AlarmReceiver::takeWaiting(ConnectionState::Id id)
{
    // Qt has read only what it was told of; what a sender wrote (and its close) may still wait in the
    // system. Reading without waiting brings it in through the usual handlers, which may end the
    // connection. A sender that never pauses is cut off after a few rounds.
    QTcpSocket *socket = socketOf(id);
    if (socket == nullptr) {
        return;
    }
    drain(id);
    for (int round = 0; round < finishRounds && socketOf(id) == socket && socket->waitForReadyRead(0);
         ++round) {
        drain(id);
    }
}

void AlarmReceiver::readArrived(ConnectionState::Id id)
{
    drain(id);
    // Qt reads only what the system said was there, and learns of a close that came with the last
    // bytes a round later: by then a newcomer may have been taken in ahead of it.
    if (QTcpSocket *socket = socketOf(id); socket != nullptr && peerClosed(socket->socketDescriptor())) {
        finishConnection(id, End::PeerClosed);
    }
}

void AlarmReceiver::drain(ConnectionState::Id id)
{
    QTcpSocket *socket = socketOf(id);
    if (socket == nullptr) {
        return;
    }
    const auto now = Clock::now();
    for (;;) {
        const qint64 got = socket->read(buffer.data(), static_cast<qint64>(buffer.size()));
        if (got <= 0) {
            return;
        }
        state.receive(id, std::string_view(buffer.data(), static_cast<std::size_t>(got)), now);
    }
}

} // namespace belvane
