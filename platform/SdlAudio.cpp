#include "SdlAudio.h"

#include "SdlLibrary.h"

#include <atomic>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace belvane {

namespace {

// Debian's default General MIDI soundfont (an alternative, normally TimGM6mb).
constexpr const char *debianSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

// Read by SDL's audio thread in the finished hook; written only while no device is open.
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

SdlAudio::SdlAudio(QObject *parent, std::string sdlLibraryFile, std::string mixerLibraryFile)
    : QObject(parent)
    , sdlFile(std::move(sdlLibraryFile))
    , mixerFile(std::move(mixerLibraryFile))
{
    SdlAudio *none = nullptr;
    active = reporting.compare_exchange_strong(none, this);
}

SdlAudio::~SdlAudio()
{
    if (!active) {
        return;
    }
    if (library && library->hasMixer()) {
        if (users > 0) {
            // Users should have released their share already; closing here still leaves no thread behind.
            users = 1;
            release();
        }
        library->Mix_HookMusicFinished(nullptr);
        // Ends the decoders SDL_mixer started on demand (FluidSynth).
        library->Mix_Quit();
    }
    reporting.store(nullptr);
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

bool SdlAudio::initSubsystem()
{
    // SIGINT and SIGTERM are the program's own: left to SDL they would become quit events nobody reads.
    library->SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // SDL's error text is stale more often than not: only the return codes count. SDL counts the
    // subsystem's users itself.
    return library->SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

void SdlAudio::quitSubsystem()
{
    // The last user's quit drops the sound server connection too, not just the device.
    library->SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (!isOpen()) {
        emit deviceClosed();
    }
}

bool SdlAudio::acquire()
{
    if (users > 0) {
        ++users;
        return true;
    }
    if (!loadSdl() || !library->loadMixer(mixerFile.c_str())) {
        return false;
    }
    const SdlLibrary &sdl = *library;
    chooseSoundFont(sdl);
    if (!initSubsystem()) {
        return false;
    }
    if (sdl.Mix_OpenAudio(frequency, AUDIO_S16SYS, channels, chunkFrames) != 0) {
        library->SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
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
    quitSubsystem();
}

std::uint32_t SdlAudio::openOutput(Fill fill, void *userdata)
{
    if (!initSubsystem()) {
        return 0;
    }
    SDL_AudioSpec wanted {};
    wanted.freq = frequency;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = channels;
    wanted.samples = chunkFrames;
    wanted.callback = fill;
    wanted.userdata = userdata;
    // No changes allowed: SDL converts to the device's format itself.
    const SDL_AudioDeviceID output = library->SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (output == 0) {
        library->SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    ++outputs;
    return output;
}

void SdlAudio::closeOutput(std::uint32_t output)
{
    if (output == 0) {
        return;
    }
    library->SDL_CloseAudioDevice(output);
    --outputs;
    quitSubsystem();
}

const SdlLibrary &SdlAudio::sdl() const
{
    return *library;
}

SDL_RWops *SdlAudio::openRegularFile(const std::string &nativePath) const
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

void SdlAudio::onMusicFinished()
{
    // On SDL's audio thread with the device locked: only hand the news over.
    if (SdlAudio *audio = reporting.load()) {
        QMetaObject::invokeMethod(
            audio, [audio] { emit audio->musicFinished(); }, Qt::QueuedConnection);
    }
}

} // namespace belvane
