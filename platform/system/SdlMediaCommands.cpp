#include "SdlMediaCommands.h"

#include "ByteText.h"
#include "Cp932.h"

#include <sys/stat.h>

namespace belvane {

namespace {

constexpr std::size_t longestCommand = 255;
constexpr std::string_view openSeparator = " type sequencer alias ";

// No Standard MIDI File is anywhere near this long; a longer file is no piece to read whole.
constexpr std::size_t longestMidiFile = 16 << 20;

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

SdlMediaCommands::SdlMediaCommands(SdlAudio &sharedAudio, SynthSetup setup, QObject *parent)
    : QObject(parent)
    , sequencer(sharedAudio, std::move(setup))
{
    connect(&sequencer, &FluidSequencer::finished, this, &SdlMediaCommands::onFinished);
}

SdlMediaCommands::~SdlMediaCommands()
{
    while (!devices.empty()) {
        static_cast<void>(close(devices.begin()->first));
    }
}

MediaResult SdlMediaCommands::send(std::string_view command)
{
    if (command.size() > longestCommand) {
        return MediaResult::CommandTooLong;
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
        return MediaResult::UnknownCommand;
    }
    if (alias.empty()) {
        return MediaResult::MissingParameter;
    }
    if (!devices.contains(alias)) {
        return MediaResult::UnknownAlias;
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

MediaResult SdlMediaCommands::open(std::string_view arguments)
{
    // The file name is taken unquoted, so it may itself contain the separator: the last one counts.
    const std::size_t separator = arguments.rfind(openSeparator);
    if (separator == std::string_view::npos) {
        return MediaResult::MissingParameter;
    }
    const std::string_view file = arguments.substr(0, separator);
    const std::string alias = upperAscii(trimSpaces(arguments.substr(separator + openSeparator.size())));
    if (file.empty() || alias.empty() || alias.find(' ') != std::string::npos) {
        return MediaResult::MissingParameter;
    }
    if (devices.contains(alias)) {
        return MediaResult::AliasInUse;
    }
    const std::string nativePath = cp932::toNativePath(file);
    struct stat info
    {
    };
    if (::stat(nativePath.c_str(), &info) != 0) {
        return MediaResult::FileNotFound;
    }
    // The sequencer plays MIDI only, whatever its name says; the file is read once, here.
    std::string bytes;
    if (!readRegularFile(nativePath, longestMidiFile, bytes)) {
        return MediaResult::CannotPlay;
    }
    const std::string_view midi = FluidSequencer::standardMidiFile(bytes);
    if (midi.empty()) {
        return MediaResult::CannotPlay;
    }
    switch (sequencer.prepare()) {
    case FluidSequencer::Readiness::Ready:
        break;
    case FluidSequencer::Readiness::NoLibrary:
        return MediaResult::CannotPlay;
    case FluidSequencer::Readiness::NoSoundFont:
        return MediaResult::NoSoundFont;
    }
    devices.emplace(alias, midi);
    return MediaResult::Success;
}

MediaResult SdlMediaCommands::play(const std::string &alias)
{
    if (!playing.empty()) {
        static_cast<void>(stop(playing));
    }
    if (!sequencer.play(devices.at(alias))) {
        return MediaResult::NoOutputDevice;
    }
    playing = alias;
    return MediaResult::Success;
}

MediaResult SdlMediaCommands::stop(const std::string &alias)
{
    if (playing == alias) {
        playing.clear();
        sequencer.stop();
    }
    return MediaResult::Success;
}

MediaResult SdlMediaCommands::close(const std::string &alias)
{
    static_cast<void>(stop(alias));
    devices.erase(alias);
    return MediaResult::Success;
}

void SdlMediaCommands::onFinished()
{
    if (playing.empty()) {
        return;
    }
    const QString alias = QString::fromLatin1(playing);
    playing.clear();
    emit finished(alias);
}

} // namespace belvane
