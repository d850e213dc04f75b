#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace belvane {

// The life of the receiver's one connection, apart from any socket: what the socket layer saw happen
// goes in as events, the alarm text comes out through the dispatch callback. One connection carries one
// alarm, which ends when the connection ends.
//
// - Each data chunk (as one read returns it, up to `chunkSize` bytes) is appended up to its first NUL
//   byte; the rest of that chunk is dropped, the next chunk counts again.
// - At most `keptLimit` bytes of one connection are kept; the rest of it is taken and thrown away.
// - The connection ends by the peer's close, a reset, a new connection (which finishes the open one
//   first) or the program's end. When it ends having gathered text, that text is dispatched once.
// - After Finish nothing more is taken: the program is going.
class ConnectionState final
{
public:
    static constexpr std::size_t chunkSize = 1024;
    static constexpr std::size_t keptLimit = std::size_t {1} << 20;

    // Receives the text of a finished connection, never empty and free of NUL bytes. The callee may
    // take the text or empty it; whatever it leaves is dropped.
    using Dispatch = std::function<void(std::string &receivedText)>;

    enum class Phase { Idle, Open, Finished };

    // `limit` replaces `keptLimit` where a smaller bound is wanted (the fuzz target's quick runs).
    explicit ConnectionState(Dispatch dispatch, std::size_t limit = keptLimit);

    // A connection was accepted. One still open is finished first, its text dispatched.
    void Accept();
    // Bytes read from the open connection; more than `chunkSize` count as successive chunks.
    void Receive(std::string_view data);
    // The connection ended: the peer closed its end, or it failed (such as a reset). Either way the
    // text gathered so far is dispatched.
    void Closed();
    // The program is ending: an open connection is finished, and later events are ignored.
    void Finish();

    Phase phase() const { return current; }
    bool connectionOpen() const { return current == Phase::Open; }
    // The text gathered so far from the open connection.
    const std::string &receivedText() const { return gathered; }
    // Bytes of the open connection taken and thrown away beyond the kept limit.
    std::size_t discardedBytes() const { return discarded; }

private:
    void endConnection(Phase next);

    Dispatch dispatch;
    std::size_t limit;
    Phase current = Phase::Idle;
    std::string gathered;
    std::size_t discarded = 0;
};

} // namespace belvane
