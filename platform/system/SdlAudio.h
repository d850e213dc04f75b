#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SDL_RWops;

namespace belvane {

struct SdlLibrary;

// The process's one SDL audio output, shared by every sound: waves and MIDI pieces are sources that
// the output's thread mixes. The output is opened with the first sound and kept while sounds replace
// one another, so that one sound taking over from another never waits for an output to close or
// open; once nothing has sounded for `quietClose` it is closed, so an idle program holds no audio
// device, no sound server connection and no audio thread. SDL itself is loaded by the first sound:
// until then none of its libraries is in the process.
//
// Only the first SdlAudio alive at a time can open the output (SDL's audio subsystem is the process's);
// a second one refuses every request. The sources must be taken off before it is destroyed.
class SdlAudio final : public QObject
{
    Q_OBJECT

public:
    static constexpr int frequency = 44100;
    static constexpr int channels = 2;
    // Frames rendered at a time: 5.8 ms. The sound server starts a stream once it holds a buffer or
    // two, so a larger buffer makes every sound late: with 2,048 frames a wave began about 110 ms after
    // a fresh paplay of it through PipeWire, with 256 about 18 ms (bench/SoundOnset.cpp).
    static constexpr int chunkFrames = 256;
    static constexpr std::chrono::milliseconds defaultQuietClose {3000};

    static constexpr const char *sdlLibrary = "libSDL2-2.0.so.0";

    // What the output sounds. Called on the output's thread with the output locked.
    class Source
    {
    public:
        // Writes the next `frames` frames (16-bit stereo at `frequency`), silence where it has none.
        virtual void render(std::int16_t *samples, int frames) = 0;

    protected:
        ~Source() = default;
    };

    // `sdlLibraryFile` names the SDL library to load.
    explicit SdlAudio(QObject *parent = nullptr, std::string sdlLibraryFile = sdlLibrary,
                      std::chrono::milliseconds quietClose = defaultQuietClose);
    ~SdlAudio() override;
    SdlAudio(const SdlAudio &) = delete;
    SdlAudio &operator=(const SdlAudio &) = delete;

    // Loads SDL; false, with the reason logged, when it cannot be loaded.
    [[nodiscard]] bool loadSdl();
    // Lets `source` sound from the output's next buffer on, opening the output when it is closed;
    // false, with the reason logged, when SDL or an output could not be had.
    [[nodiscard]] bool start(Source &source);
    // Takes `source` off the output: it is not called again once this returns.
    void remove(Source &source);
    // Runs `change` between two buffers of the output (at once when it is closed).
    template<typename Change>
    void betweenBuffers(Change change)
    {
        lock();
        change();
        unlock();
    }

    // The output is open (sounding, or quiet for less than `quietClose`).
    bool isOpen() const { return output != 0; }

    // SDL's functions; only after a successful load.
    const SdlLibrary &sdl() const;

    // Opens a regular file for reading, or null. A FIFO or device is refused without blocking: reading
    // one would stall the thread that plays. Only after a successful load.
    SDL_RWops *openRegularFile(const std::string &nativePath) const;

signals:
    // The output was closed after a quiet while.
    void deviceClosed();

private:
    static void fill(void *userdata, std::uint8_t *stream, int bytes);
    void lock();
    void unlock();
    void closeWhenQuiet();

    std::string sdlFile;
    std::unique_ptr<SdlLibrary> library;
    std::uint32_t output = 0;
    QTimer quiet;
    // Under the output's lock while it is open.
    std::vector<Source *> sources;
    std::vector<std::int16_t> part; // one source's buffer
    bool active = false; // this is the instance that may open the output
};

// Reads the regular file `nativePath` whole into `bytes` without blocking on a FIFO or device; false
// when it is no regular file, is longer than `limit` bytes or cannot be read.
[[nodiscard]] bool readRegularFile(const std::string &nativePath, std::size_t limit, std::string &bytes);

} // namespace belvane
