#include "SdlMediaCommands.h"

#include "ByteText.h"
#include "Cp932.h"
#include "SdlLibrary.h"

#include <array>

#include <sys/stat.h>

namespace belvane {

namespace {

constexpr std::size_t longestCommand = 255;
constexpr std::string_view openSeparator = " type sequencer alias ";

// A Standard MIDI File, bare or wrapped in RIFF as an RMID file.
bool isMidiHeader(std::string_view header)
{
    return header.starts_with("MThd")
        || (header.size() >= 12 && header.starts_with("RIFF") && header.substr(8, 4) == "RMID");
}

std::string_view trimSpaces(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

SdlMediaCommands::SdlMediaCommands(SdlAudio &sharedAudio, QObject *parent)
    : QObject(parent)
    , audio(sharedAudio)
{
    connect(&audio, &SdlAudio::musicFinished, this, &SdlMediaCommands::onMusicFinished);
}

SdlMediaCommands::~SdlMediaCommands()
{
    while (!devices.empty()) {
        static_cast<void>(close(devices.begin()->first));
    }
}

int SdlMediaCommands::send(std::string_view command)
{
    if (command.size() > longestCommand) {
        return commandTooLong;
    }
    const std::size_t space = command.find(' ');
    const std::string verb = upperAscii(command.substr(0, space));
    const std::string_view arguments =
        space == std::string_view::npos ? std::string_view {} : command.substr(space + 1);
    if (verb == "OPEN") {
        return open(arguments);
    }
    const std::string alias = upperAscii(trimSpaces(arguments));
    if (verb != "PLAY" && verb != "STOP" && verb != "CLOSE") {
        return unknownCommand;
    }
    if (alias.empty()) {
        return missingParameter;
    }
    if (!devices.contains(alias)) {
        return unknownAlias;
    }
    if (verb == "PLAY") {
        return play(alias);
    }
    if (verb == "STOP") {
        return stop(alias);
    }
    return close(alias);
}

bool SdlMediaCommands::isOpen(std::string_view alias) const
{
    return devices.contains(upperAscii(alias));
}

bool SdlMediaCommands::isPlaying(std::string_view alias) const
{
    return !playing.empty() && playing == upperAscii(alias);
}

int SdlMediaCommands::open(std::string_view arguments)
{
    // The file name is taken unquoted, so it may itself contain the separator: the last one counts.
    const std::size_t separator = arguments.rfind(openSeparator);
    if (separator == std::string_view::npos) {
        return missingParameter;
    }
    const std::string_view file = arguments.substr(0, separator);
    const std::string alias = upperAscii(trimSpaces(arguments.substr(separator + openSeparator.size())));
    if (file.empty() || alias.empty() || alias.find(' ') != std::string::npos) {
        return missingParameter;
    }
    if (devices.contains(alias)) {
        return aliasInUse;
    }
    Device device;
    device.nativePath = cp932::toNativePath(file);
    struct stat info
    {
    };
    if (::stat(device.nativePath.c_str(), &info) != 0) {
        return fileNotFound;
    }
    if (const int result = load(device); result != 0) {
        return result;
    }
    devices.emplace(alias, std::move(device));
    return 0;
}

int SdlMediaCommands::play(const std::string &alias)
{
    Device &device = devices.at(alias);
    if (!playing.empty()) {
        static_cast<void>(stop(playing));
    }
    if (device.music == nullptr) {
        // Played before and ended since: load it afresh.
        if (const int result = load(device); result != 0) {
            return result;
        }
    }
    if (audio.sdl().Mix_PlayMusic(device.music, 1) != 0) {
        unload(device);
        return cannotPlay;
    }
    playing = alias;
    return 0;
}

int SdlMediaCommands::stop(const std::string &alias)
{
    Device &device = devices.at(alias);
    if (playing == alias) {
        playing.clear();
        audio.sdl().Mix_HaltMusic();
    }
    // A stopped device gives its share of the audio device back; "play" loads it again.
    unload(device);
    return 0;
}

int SdlMediaCommands::close(const std::string &alias)
{
    static_cast<void>(stop(alias));
    devices.erase(alias);
    return 0;
}

int SdlMediaCommands::load(Device &device)
{
    // SDL_mixer decodes music only while the device is open.
    if (!audio.acquire()) {
        return cannotPlay;
    }
    // The sequencer plays MIDI only, whatever else SDL_mixer could decode; and SDL_mixer takes any file
    // named .mid for MIDI and fails only once it plays, so the content is checked first.
    const SdlLibrary &sdl = audio.sdl();
    _Mix_Music *music = nullptr;
    if (SDL_RWops *file = audio.openRegularFile(device.nativePath)) {
        std::array<char, 12> header {};
        const std::size_t got = sdl.SDL_RWread(file, header.data(), 1, header.size());
        if (isMidiHeader(std::string_view(header.data(), got)) && sdl.SDL_RWseek(file, 0, RW_SEEK_SET) == 0) {
            music = sdl.Mix_LoadMUSType_RW(file, MUS_MID, 1);
        } else {
            sdl.SDL_RWclose(file);
        }
    }
    if (music == nullptr) {
        audio.release();
        return cannotPlay;
    }
    device.music = music;
    return 0;
}

void SdlMediaCommands::unload(Device &device)
{
    if (device.music == nullptr) {
        return;
    }
    audio.sdl().Mix_FreeMusic(device.music);
    device.music = nullptr;
    audio.release();
}

void SdlMediaCommands::onMusicFinished()
{
    // Queued news: a piece halted for another reports after the other has started.
    if (playing.empty() || audio.sdl().Mix_PlayingMusic() != 0) {
        return;
    }
    const QString alias = QString::fromLatin1(playing);
    Device &device = devices.at(playing);
    playing.clear();
    unload(device);
    emit finished(alias);
}

} // namespace belvane
