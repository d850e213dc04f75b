#include "SdlAudio.h"

#include "PlatformLog.h"
#include "SdlLibrary.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace belvane {

namespace {

// The instance that may open the output.
std::atomic<SdlAudio *> owner {nullptr};

// A descriptor of the regular file `nativePath`, or -1. Opened without blocking, so a FIFO or device
// is refused instead of waited for.
int openRegular(const std::string &nativePath)
{
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

SdlAudio::SdlAudio(QObject *parent, std::string sdlLibraryFile, std::chrono::milliseconds quietClose)
    : QObject(parent)
    , sdlFile(std::move(sdlLibraryFile))
{
    SdlAudio *none = nullptr;
    active = owner.compare_exchange_strong(none, this);
    quiet.setSingleShot(true);
    quiet.setInterval(quietClose);
    connect(&quiet, &QTimer::timeout, this, &SdlAudio::closeWhenQuiet);
}

SdlAudio::~SdlAudio()
{
    if (!active) {
        return;
    }
    // Sources should have been taken off already; closing here still leaves no thread behind.
    sources.clear();
    closeWhenQuiet();
    owner.store(nullptr);
}

bool SdlAudio::loadSdl()
{
    if (!active) {
        return false;
    }
    if (!library) {
        library = SdlLibrary::load(sdlFile.c_str());
    }
    return library != nullptr;
}

bool SdlAudio::start(Source &source)
{
    if (!loadSdl()) {
        return false;
    }
    quiet.stop();
    if (output == 0) {
        const SdlLibrary &sdl = *library;
        // SIGINT and SIGTERM are the program's own: left to SDL they would become quit events nobody
        // reads.
        sdl.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // SDL's error text is stale more often than not: it is logged only where a return code says
        // that the call failed.
        if (sdl.SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            qCWarning(platformLog, "no sound output: %s", sdl.SDL_GetError());
            return false;
        }
        SDL_AudioSpec wanted {};
        wanted.freq = frequency;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = channels;
        wanted.samples = chunkFrames;
        wanted.callback = &SdlAudio::fill;
        wanted.userdata = this;
        // No changes allowed: SDL converts to the device's format itself, and every buffer the output
        // asks for is `chunkFrames` long.
        output = sdl.SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
        if (output == 0) {
            qCWarning(platformLog, "no sound output device: %s", sdl.SDL_GetError());
            sdl.SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        qCDebug(platformLog, "sound output opened through SDL's %s driver", sdl.SDL_GetCurrentAudioDriver());
        part.resize(std::size_t(chunkFrames) * channels);
        sdl.SDL_PauseAudioDevice(output, 0);
    }
    betweenBuffers([&] {
        if (std::find(sources.begin(), sources.end(), &source) == sources.end()) {
            sources.push_back(&source);
        }
    });
    return true;
}

void SdlAudio::remove(Source &source)
{
    betweenBuffers([&] { std::erase(sources, &source); });
    if (sources.empty() && output != 0) {
        quiet.start();
    }
}

void SdlAudio::lock()
{
    if (output != 0) {
        library->SDL_LockAudioDevice(output);
    }
}

void SdlAudio::unlock()
{
    if (output != 0) {
        library->SDL_UnlockAudioDevice(output);
    }
}

void SdlAudio::closeWhenQuiet()
{
    if (output == 0 || !sources.empty()) {
        return;
    }
    // Ends the output's thread; the last quit drops the sound server connection too.
    library->SDL_CloseAudioDevice(output);
    output = 0;
    library->SDL_QuitSubSystem(SDL_INIT_AUDIO);
    emit deviceClosed();
}

const SdlLibrary &SdlAudio::sdl() const
{
    return *library;
}

SDL_RWops *SdlAudio::openRegularFile(const std::string &nativePath) const
{
    const int fd = openRegular(nativePath);
    FILE *file = fd < 0 ? nullptr : ::fdopen(fd, "rb");
    if (file == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    SDL_RWops *ops = library->SDL_RWFromFP(file, SDL_TRUE);
    if (ops == nullptr) {
        qCWarning(platformLog, "cannot read a file through SDL: %s", library->SDL_GetError());
        std::fclose(file);
    }
    return ops;
}

void SdlAudio::fill(void *userdata, std::uint8_t *stream, int bytes)
{
    auto *audio = static_cast<SdlAudio *>(userdata);
    auto *mix = reinterpret_cast<std::int16_t *>(stream);
    const std::size_t count = static_cast<std::size_t>(bytes) / sizeof(std::int16_t);
    std::memset(stream, 0, static_cast<std::size_t>(bytes));
    std::vector<std::int16_t> &part = audio->part;
    for (std::size_t done = 0; done < count; done += part.size()) {
        const std::size_t length = std::min(part.size(), count - done);
        for (Source *source : audio->sources) {
            source->render(part.data(), static_cast<int>(length / channels));
            for (std::size_t i = 0; i < length; ++i) {
                mix[done + i] = static_cast<std::int16_t>(std::clamp(mix[done + i] + part[i], -32768, 32767));
            }
        }
    }
}

bool readRegularFile(const std::string &nativePath, std::size_t limit, std::string &bytes)
{
    const int fd = openRegular(nativePath);
    if (fd < 0) {
        return false;
    }
    bytes.clear();
    std::array<char, 65536> buffer {};
    ssize_t got = 0;
    while ((got = ::read(fd, buffer.data(), buffer.size())) > 0 && bytes.size() <= limit) {
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    return got == 0 && bytes.size() <= limit;
}

} // namespace belvane
