#include "SdlAudio.h"

#include "SdlLibrary.h"

#include <atomic>
#include <cstdlib>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace belvane {

namespace {

// Debian's default General MIDI soundfont (an alternative, normally TimGM6mb).
constexpr const char *debianSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
// Frames the mixer renders at a time: 5.8 ms at 44.1 kHz. The sound server starts the stream once it
// holds a buffer or two, so a large buffer makes every sound late: through PipeWire a WAV started
// about 110 ms after a fresh paplay of the same file with 2,048 frames, about 17 ms with 256.
constexpr int chunkFrames = 256;

// Read by SDL's audio thread in the finished hooks; written only while no device is open.
std::atomic<SdlAudio *> reporting {nullptr};

bool exists(const char *path)
{
    struct stat info
    {
    };
    return ::stat(path, &info) == 0;
}

// MIDI needs a soundfont, and SDL_mixer finds none on Debian by itself. Someone who named their own
// through the environment keeps it.
void chooseSoundFont(const SdlLibrary &sdl)
{
    if (sdl.Mix_GetSoundFonts() == nullptr && exists(debianSoundFont)) {
        sdl.Mix_SetSoundFonts(debianSoundFont);
    }
}

} // namespace

SdlAudio::SdlAudio(QObject *parent, std::string mixerFile)
    : QObject(parent)
    , libraryFile(std::move(mixerFile))
{
    SdlAudio *none = nullptr;
    active = reporting.compare_exchange_strong(none, this);
}

SdlAudio::~SdlAudio()
{
    if (!active) {
        return;
    }
    if (library) {
        if (users > 0) {
            // Users should have released their share already; closing here still leaves no thread behind.
            users = 1;
            release();
        }
        library->Mix_ChannelFinished(nullptr);
        library->Mix_HookMusicFinished(nullptr);
        // Ends the decoders SDL_mixer started on demand (FluidSynth).
        library->Mix_Quit();
    }
    reporting.store(nullptr);
}

bool SdlAudio::acquire()
{
    if (!active) {
        return false;
    }
    if (users > 0) {
        ++users;
        return true;
    }
    if (!library && !(library = SdlLibrary::Load(libraryFile.c_str()))) {
        return false;
    }
    const SdlLibrary &sdl = *library;
    chooseSoundFont(sdl);
    // SIGINT and SIGTERM are the program's own: left to SDL they would become quit events nobody reads.
    sdl.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // SDL's error text is stale more often than not: only the return codes count.
    if (sdl.SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return false;
    }
    if (sdl.Mix_OpenAudio(frequency, AUDIO_S16SYS, channels, chunkFrames) != 0) {
        sdl.SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    sdl.Mix_ChannelFinished(&SdlAudio::onChannelFinished);
    sdl.Mix_HookMusicFinished(&SdlAudio::onMusicFinished);
    users = 1;
    return true;
}

void SdlAudio::release()
{
    if (users == 0) {
        return;
    }
    if (--users > 0) {
        return;
    }
    library->Mix_CloseAudio();
    // Quitting the subsystem as well drops the sound server connection, not just the device.
    library->SDL_QuitSubSystem(SDL_INIT_AUDIO);
    emit deviceClosed();
}

const SdlLibrary &SdlAudio::sdl() const
{
    return *library;
}

SDL_RWops *SdlAudio::OpenRegularFile(const std::string &nativePath) const
{
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info
    {
    };
    FILE *file = nullptr;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (file = ::fdopen(fd, "rb")) == nullptr) {
        ::close(fd);
        return nullptr;
    }
    SDL_RWops *ops = library->SDL_RWFromFP(file, SDL_TRUE);
    if (ops == nullptr) {
        std::fclose(file);
    }
    return ops;
}

void SdlAudio::onChannelFinished(int channel)
{
    // On SDL's audio thread with the device locked: only hand the news over.
    if (SdlAudio *audio = reporting.load()) {
        QMetaObject::invokeMethod(
            audio, [audio, channel] { emit audio->channelFinished(channel); }, Qt::QueuedConnection);
    }
}

void SdlAudio::onMusicFinished()
{
    if (SdlAudio *audio = reporting.load()) {
        QMetaObject::invokeMethod(
            audio, [audio] { emit audio->musicFinished(); }, Qt::QueuedConnection);
    }
}

} // namespace belvane
