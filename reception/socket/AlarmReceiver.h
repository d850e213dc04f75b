#pragma once

#include "ConnectionState.h"
#include "SpareDescriptor.h"

#include <QAbstractSocket>
#include <QObject>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class QSocketNotifier;
class QTcpSocket;

namespace belvane {

// The receiver's listening socket and its connection sockets on the Qt event loop. Every local IPv4
// address is listened on; each connection's text is gathered on its own (ConnectionState) and handed
// to the dispatch callback, synchronously, in the order the connections ended: ends seen in one round
// of the event loop are dispatched at the start of the next, oldest connection first, and always
// before a newcomer is taken in. A sender that goes silent without closing is finished after
// `quietLimit`, and one beyond the open limit makes room by finishing the one silent the longest.
//
// Connections are taken off the listening socket here, not by QTcpServer, whose socket engine (Qt 6.4)
// hides a lack of descriptors after the first connection and then spins. Out of descriptors, the
// senders waiting are taken off the queue through a reserve descriptor: one that has closed already
// keeps its alarm, the others are closed at once so that they know; `starved` says how many of each.
// Accepting then pauses for `acceptRetry`, as after any other failure, so no state is a busy loop, and
// until descriptors are back (the action list needs one) finished texts are held, in order. Nothing is
// ever written to a peer; a port that cannot be listened on shows in startListening's result and
// `listenError`, for the caller to report.
class AlarmReceiver final : public QObject
{
    Q_OBJECT

public:
    enum class ListenState { NotStarted, Listening, PortUnavailable };

    // Connections the system completes and queues for us while we are busy. Beyond the queue, Linux
    // drops a newcomer's handshake and the sender only tries again a second or more later; at a
    // queue of five, seven team members' alarm timers going off at the same minute already met
    // that. The system caps the value at its own limit (net.core.somaxconn).
    static constexpr int listenBacklog = 4096;
    static constexpr std::chrono::milliseconds defaultQuietLimit {30000};
    // How soon accepting resumes after an accept failed.
    static constexpr std::chrono::milliseconds acceptRetry {150};

    explicit AlarmReceiver(ConnectionState::Dispatch dispatch,
                           std::chrono::milliseconds quiet = defaultQuietLimit);
    // Closes the sockets without dispatching: call finish first to hand on open connections' texts.
    ~AlarmReceiver() override;
    AlarmReceiver(const AlarmReceiver &) = delete;
    AlarmReceiver &operator=(const AlarmReceiver &) = delete;

    // Starts listening on `port` (0 picks a free port). A port that cannot be used (taken, outside
    // 0-65535, not permitted) leaves the receiver deaf: the result says so.
    ListenState startListening(std::int32_t port);
    // The program is ending: listening stops, and every open connection is read to what has arrived
    // and finished (its text dispatched), those whose sender has closed first.
    void finish();

    // Why the last startListening failed; UnknownSocketError for a port outside 0-65535.
    QAbstractSocket::SocketError listenError() const { return failure; }
    // The port actually listened on, or 0 when not listening.
    quint16 boundPort() const;
    // The open connections and what each has gathered (ids count up from 1).
    const ConnectionState &connections() const { return state; }

signals:
    // An accept found the process out of descriptors: of the senders waiting, `refused` were closed
    // unheard and `kept` had closed already and keep their alarms.
    void starved(int refused, int kept);

private:
    struct Link
    {
        QTcpSocket *socket;
        ConnectionState::Id id;
    };

    // How a connection ends: its peer closed, it failed (a reset), or we finish it.
    enum class End { PeerClosed, Failed, Ours };

    void acceptConnections();
    // Wraps an accepted descriptor in a socket and takes in what it already holds.
    void takeIn(int fd, std::string peer);
    // Out of descriptors: empties the listening queue through the reserve.
    void shedWaiting();
    // Accepting pauses for `acceptRetry`; then the texts held back while starved are dispatched, once
    // descriptors are back.
    void pauseAccepting();
    void resumeAccepting();
    // Dispatches the connections whose end has been noted, oldest first.
    void finishClosed();
    // Hands a finished connection's text on, or, while descriptors are short (the dispatch could not
    // open the action list), keeps it, in order, for releaseHeld.
    void hold(std::string &text, const std::string &peer);
    void releaseHeld();
    void scheduleFinishClosed();
    void finishQuiet();
    // Reads what has arrived, lets the socket go and ends the connection, dispatching its text.
    void finishConnection(ConnectionState::Id id, End how);
    // Takes in what has arrived, and the peer's close when it came with it.
    void readArrived(ConnectionState::Id id);
    // Reads everything the socket holds into its connection, one chunk at a time.
    void drain(ConnectionState::Id id);
    // Takes in what has arrived for the connection without waiting for the event loop to report it.
    void takeWaiting(ConnectionState::Id id);
    QTcpSocket *socketOf(ConnectionState::Id id) const;
    // The time-out is armed only while a connection is open.
    void armQuietTimer();

    struct HeldText
    {
        std::string text;
        std::string peer;
    };

    ConnectionState state;
    ConnectionState::Dispatch dispatchText;
    std::deque<HeldText> heldTexts;
    std::chrono::milliseconds quietLimit;
    int listener = -1;
    quint16 listenPort = 0;
    QAbstractSocket::SocketError failure = QAbstractSocket::UnknownSocketError;
    QSocketNotifier *acceptNotifier = nullptr;
    std::vector<Link> links;
    QTimer quietTimer;
    QTimer retryTimer;
    SpareDescriptor spare;
    bool descriptorsShort = false; // an accept ran out of descriptors, and they are not back yet
    bool finishScheduled = false;
    ListenState listenState = ListenState::NotStarted;
    std::array<char, ConnectionState::chunkSize> buffer {};
};

} // namespace belvane
