#include "FluidSequencer.h"

#include "FluidSynthLibrary.h"
#include "PlatformLog.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include <malloc.h>
#include <sys/stat.h>

namespace belvane {

namespace {

// The channels a Standard MIDI File addresses; the tenth (9) is General MIDI's percussion.
constexpr int midiChannels = 16;
constexpr int percussionChannel = 9;
constexpr int percussionBank = 128;

// SDL_mixer's gain at full music volume, which MIDI pieces were played with before: a piece sounds as
// loud as it always did.
constexpr double gain = 1.2;

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = at; i < at + 4 && i < bytes.size(); ++i) {
        value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
    }
    return value;
}

std::uint32_t littleEndian32(std::string_view bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = std::min(at + 4, bytes.size()); i > at; --i) {
        value = value << 8 | static_cast<std::uint8_t>(bytes[i - 1]);
    }
    return value;
}

// A variable-length quantity at `at`, which moves past it; false when the track ends inside it.
bool readVariable(std::string_view track, std::size_t &at, std::size_t &value)
{
    value = 0;
    for (int i = 0; i < 4 && at < track.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(track[at++]);
        value = value << 7 | (byte & 0x7F);
        if ((byte & 0x80) == 0) {
            return true;
        }
    }
    return false;
}

struct Preset
{
    int bank, program;
    bool percussion;
    bool operator==(const Preset &) const = default;
};

// The instruments a piece needs: the presets its program changes select, and the channels that play
// before their first program change, with the first preset of such a channel among the presets.
struct Instruments
{
    std::vector<Preset> presets;
    std::array<bool, midiChannels> firstPreset {};
};

// Adds what `track` needs to `needs`; `banks` is the bank each channel has selected so far.
void addInstruments(std::string_view track, std::array<int, midiChannels> &banks, Instruments &needs)
{
    std::array<bool, midiChannels> programmed {};
    std::size_t at = 0, length = 0;
    unsigned status = 0;
    while (readVariable(track, at, length) && at < track.size()) {
        const auto first = static_cast<std::uint8_t>(track[at]);
        if (first == 0xFF || first == 0xF0 || first == 0xF7) { // meta event, system exclusive
            at += first == 0xFF ? 2 : 1;
            if (!readVariable(track, at, length)) {
                return;
            }
            at += length;
            continue;
        }
        if ((first & 0x80) != 0) {
            status = first;
            ++at;
        } else if (status == 0) {
            return;
        }
        const unsigned kind = status & 0xF0;
        const auto channel = std::size_t(status & 0x0F);
        const std::size_t dataBytes = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
        if (at + dataBytes > track.size()) {
            return;
        }
        const int data = track[at] & 0x7F;
        if (kind == 0xB0 && data == 0) { // bank select
            banks[channel] = track[at + 1] & 0x7F;
        } else if (kind == 0xC0) {
            programmed[channel] = true;
            const bool percussion = channel == percussionChannel;
            const Preset preset {percussion ? percussionBank : banks[channel], data, percussion};
            if (std::find(needs.presets.begin(), needs.presets.end(), preset) == needs.presets.end()) {
                needs.presets.push_back(preset);
            }
        } else if (kind == 0x90 && (track[at + 1] & 0x7F) != 0 && !programmed[channel]
                   && !needs.firstPreset[channel]) {
            needs.firstPreset[channel] = true;
            const bool percussion = channel == percussionChannel;
            const Preset preset {percussion ? percussionBank : 0, 0, percussion};
            if (std::find(needs.presets.begin(), needs.presets.end(), preset) == needs.presets.end()) {
                needs.presets.push_back(preset);
            }
        }
        at += dataBytes;
    }
}

// What the Standard MIDI File `midi` needs.
Instruments instrumentsOf(std::string_view midi)
{
    Instruments needs;
    std::array<int, midiChannels> banks {};
    for (std::size_t at = 8 + std::size_t(bigEndian32(midi, 4)); at + 8 <= midi.size();) {
        const std::size_t length = std::min<std::size_t>(bigEndian32(midi, at + 4), midi.size() - at - 8);
        if (midi.substr(at, 4) == "MTrk") {
            addInstruments(midi.substr(at + 8, length), banks, needs);
        }
        at += 8 + length;
    }
    return needs;
}

bool exists(const std::string &path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The files named in SDL_SOUNDFONTS, in their order.
std::vector<std::string> namedSoundFonts()
{
    std::vector<std::string> named;
    const char *list = std::getenv("SDL_SOUNDFONTS");
    for (std::string_view rest = list != nullptr ? list : ""; !rest.empty();) {
        const std::size_t end = std::min(rest.find_first_of(":;"), rest.size());
        if (end > 0) {
            named.emplace_back(rest.substr(0, end));
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return named;
}

// FluidSynth's own messages go to the platform's log; its chatter is dropped.
void logFluid(int level, const char *message, void *)
{
    if (level <= FLUID_ERR) {
        qCWarning(platformLog, "FluidSynth: %s", message);
    } else {
        qCDebug(platformLog, "FluidSynth: %s", message);
    }
}

} // namespace

std::string_view FluidSequencer::standardMidiFile(std::string_view bytes)
{
    if (bytes.starts_with("MThd") && bytes.size() >= 14) {
        return bytes;
    }
    // An RMID file: a RIFF form whose "data" chunk holds the Standard MIDI File.
    if (bytes.size() < 12 || !bytes.starts_with("RIFF") || bytes.substr(8, 4) != "RMID") {
        return {};
    }
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::size_t length =
            std::min<std::size_t>(littleEndian32(bytes, at + 4), bytes.size() - at - 8);
        if (bytes.substr(at, 4) == "data") {
            const std::string_view inner = bytes.substr(at + 8, length);
            return inner.starts_with("MThd") && inner.size() >= 14 ? inner : std::string_view();
        }
        at += 8 + length + (length % 2);
    }
    return {};
}

FluidSequencer::FluidSequencer(SdlAudio &sharedAudio, SynthSetup synthSetup, QObject *parent)
    : QObject(parent)
    , audio(sharedAudio)
    , setup(std::move(synthSetup))
{
    idle.setSingleShot(true);
    idle.setInterval(setup.keep);
    connect(&audio, &SdlAudio::deviceClosed, this, &FluidSequencer::releaseInstruments);
    connect(&audio, &SdlAudio::deviceClosed, &idle, qOverload<>(&QTimer::start));
    connect(&idle, &QTimer::timeout, this, &FluidSequencer::releaseSynth);
}

FluidSequencer::~FluidSequencer()
{
    stop();
    if (synth != nullptr) {
        fluid->delete_fluid_synth(synth);
    }
    if (settings != nullptr) {
        fluid->delete_fluid_settings(settings);
    }
}

FluidSequencer::Readiness FluidSequencer::prepare()
{
    if (synth != nullptr) {
        return Readiness::Ready;
    }
    if (!fluid) {
        fluid = FluidSynthLibrary::load(setup.library.c_str());
        if (!fluid) {
            return Readiness::NoLibrary;
        }
        for (const int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN}) {
            fluid->fluid_set_log_function(level, &logFluid, nullptr);
        }
        for (const int level : {FLUID_INFO, FLUID_DBG}) {
            fluid->fluid_set_log_function(level, nullptr, nullptr);
        }
    }
    if (settings == nullptr) {
        settings = fluid->new_fluid_settings();
        if (settings == nullptr) {
            return Readiness::NoLibrary;
        }
        fluid->fluid_settings_setnum(settings, "synth.sample-rate", SdlAudio::frequency);
        fluid->fluid_settings_setnum(settings, "synth.gain", gain);
        // Only the samples of the presets that channels select are read, and given back when none
        // does: the soundfont's load reads its directory alone.
        fluid->fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
        fluid->fluid_settings_setint(settings, "synth.lock-memory", 0);
        // The player would reset the synthesizer at a piece's end, on the output's thread, and select
        // the default presets there, reading their samples.
        fluid->fluid_settings_setint(settings, "player.reset-synth", 0);
    }
    synth = fluid->new_fluid_synth(settings);
    if (synth == nullptr) {
        return Readiness::NoLibrary;
    }
    if (!loadSoundFonts()) {
        fluid->delete_fluid_synth(synth);
        synth = nullptr;
        return Readiness::NoSoundFont;
    }
    return Readiness::Ready;
}

bool FluidSequencer::loadSoundFonts()
{
    // The user's own first, all of them (the last one loaded is searched first); Debian's otherwise.
    bool loaded = false;
    for (const std::string &path : namedSoundFonts()) {
        loaded =
            (exists(path) && fluid->fluid_synth_sfload(synth, path.c_str(), 0) != FLUID_FAILED) || loaded;
    }
    for (auto path = setup.soundFonts.begin(); !loaded && path != setup.soundFonts.end(); ++path) {
        loaded = exists(*path) && fluid->fluid_synth_sfload(synth, path->c_str(), 0) != FLUID_FAILED;
    }
    if (!loaded) {
        const char *named = std::getenv("SDL_SOUNDFONTS");
        std::string tried = named != nullptr ? named : "";
        for (const std::string &path : setup.soundFonts) {
            tried += (tried.empty() ? "" : ", ") + path;
        }
        qCWarning(platformLog, "no soundfont for MIDI: none of %s can be loaded", tried.c_str());
    }
    return loaded;
}

void FluidSequencer::resetChannels()
{
    // A reset selects each channel's first preset, which would read its samples whether the piece
    // plays it or not (a grand piano and a drum kit: tens of megabytes with a large soundfont). With
    // every soundfont's banks shifted out of reach for the moment, no channel finds a preset.
    constexpr int outOfReach = 1 << 16;
    const int count = fluid->fluid_synth_sfcount(synth);
    const auto shiftBanks = [&](int offset) {
        for (int i = 0; i < count; ++i) {
            const int id =
                fluid->fluid_sfont_get_id(fluid->fluid_synth_get_sfont(synth, static_cast<unsigned>(i)));
            static_cast<void>(fluid->fluid_synth_set_bank_offset(synth, id, offset));
        }
    };
    shiftBanks(outOfReach);
    fluid->fluid_synth_system_reset(synth);
    shiftBanks(0);
}

void FluidSequencer::loadInstruments(std::string_view midi)
{
    // The soundfont on top of the stack that holds the preset, or -1.
    const auto holder = [this](int bank, int program) {
        const int count = fluid->fluid_synth_sfcount(synth);
        for (int i = 0; i < count; ++i) {
            fluid_sfont_t *font = fluid->fluid_synth_get_sfont(synth, static_cast<unsigned>(i));
            if (fluid->fluid_sfont_get_preset(font, bank, program) != nullptr) {
                return fluid->fluid_sfont_get_id(font);
            }
        }
        return -1;
    };
    const Instruments needs = instrumentsOf(midi);
    std::vector<Pin> pins;
    for (Preset preset : needs.presets) {
        // What a program change falls back to when the soundfont lacks the preset.
        int font = holder(preset.bank, preset.program);
        if (font < 0 && preset.percussion) {
            preset.program = 0;
        } else if (font < 0) {
            preset.bank = 0;
            font = holder(preset.bank, preset.program);
            preset.program = font < 0 ? 0 : preset.program;
        }
        font = font < 0 ? holder(preset.bank, preset.program) : font;
        const Pin pin {font, preset.bank, preset.program};
        if (font < 0 || std::find(pins.begin(), pins.end(), pin) != pins.end()) {
            continue;
        }
        if (std::find(pinned.begin(), pinned.end(), pin) != pinned.end()
            || fluid->fluid_synth_pin_preset(synth, font, preset.bank, preset.program) == FLUID_OK) {
            pins.push_back(pin);
        }
    }
    // What the piece before needed and this one does not is given back.
    for (const Pin &pin : pinned) {
        if (std::find(pins.begin(), pins.end(), pin) == pins.end()) {
            static_cast<void>(fluid->fluid_synth_unpin_preset(synth, pin.soundFont, pin.bank, pin.program));
        }
    }
    pinned = std::move(pins);
    for (int channel = 0; channel < midiChannels; ++channel) {
        if (needs.firstPreset[std::size_t(channel)]) {
            static_cast<void>(fluid->fluid_synth_program_change(synth, channel, 0));
        }
    }
}

void FluidSequencer::releaseInstruments()
{
    if (player != nullptr || synth == nullptr) {
        return;
    }
    for (const Pin &pin : pinned) {
        static_cast<void>(fluid->fluid_synth_unpin_preset(synth, pin.soundFont, pin.bank, pin.program));
    }
    pinned.clear();
    for (int channel = 0; channel < midiChannels; ++channel) {
        static_cast<void>(fluid->fluid_synth_unset_program(synth, channel));
    }
    ::malloc_trim(0);
}

void FluidSequencer::releaseSynth()
{
    // A sound since the output closed opened it again; its next close starts the wait anew.
    if (player != nullptr || synth == nullptr || audio.isOpen()) {
        return;
    }
    // The soundfont's preset tables alone hold megabytes (11 MiB for fluid-soundfont-gm); remaking
    // them with the next piece takes tens of milliseconds.
    fluid->delete_fluid_synth(synth);
    synth = nullptr;
    ::malloc_trim(0);
}

bool FluidSequencer::play(std::string_view midi)
{
    stop();
    if (prepare() != Readiness::Ready) {
        return false;
    }
    // Every channel back to its first state, then the samples of every preset the piece will select
    // read here: none is read on the output's thread.
    resetChannels();
    loadInstruments(midi);
    player = fluid->new_fluid_player(synth);
    if (player == nullptr || fluid->fluid_player_add_mem(player, midi.data(), midi.size()) != FLUID_OK
        || fluid->fluid_player_play(player) != FLUID_OK) {
        stop();
        return false;
    }
    reported = false;
    rendered.resize(std::size_t(SdlAudio::chunkFrames) * SdlAudio::channels);
    if (!audio.start(*this)) {
        stop();
        return false;
    }
    return true;
}

void FluidSequencer::stop()
{
    audio.remove(*this);
    if (player == nullptr) {
        return;
    }
    // The output no longer renders the synthesizer, so nothing of the piece is heard from here on; its
    // voices end now so that the samples they hold can be given back.
    fluid->fluid_player_stop(player);
    fluid->fluid_synth_all_sounds_off(synth, -1);
    fluid->delete_fluid_player(player);
    player = nullptr;
}

void FluidSequencer::render(std::int16_t *samples, int frames)
{
    const std::size_t count = std::size_t(frames) * SdlAudio::channels;
    if (player == nullptr
        || fluid->fluid_synth_write_float(synth, frames, rendered.data(), 0, 2, rendered.data(), 1, 2)
            != FLUID_OK) {
        std::fill(samples, samples + count, std::int16_t(0));
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] =
            static_cast<std::int16_t>(std::lround(std::clamp(rendered[i] * 32767.0f, -32768.0f, 32767.0f)));
    }
    if (!reported && fluid->fluid_player_get_status(player) == FLUID_PLAYER_DONE) {
        reported = true;
        QMetaObject::invokeMethod(this, &FluidSequencer::onFinished, Qt::QueuedConnection);
    }
}

void FluidSequencer::onFinished()
{
    // Queued news: a piece that replaced the one that ended may be playing by now.
    bool ended = false;
    audio.betweenBuffers([&] { ended = reported; });
    if (player != nullptr && ended) {
        stop();
        emit finished();
    }
}

} // namespace belvane
