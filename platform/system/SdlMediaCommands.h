#pragma once

#include "FluidSequencer.h"
#include "MediaCommands.h"

#include <QObject>

#include <map>
#include <string>

namespace belvane {

// The media command interpreter over the MIDI sequencer (FluidSynth on the shared SDL output). An
// opened alias keeps its file's piece until it is closed; an alias whose piece has ended stays open
// (and taken) until it is closed, and "play" starts it again from the beginning. There is one
// sequencer, so playing one alias stops another that plays.
class SdlMediaCommands final : public QObject, public MediaCommands
{
    Q_OBJECT

public:
    explicit SdlMediaCommands(SdlAudio &sharedAudio, SynthSetup setup = {}, QObject *parent = nullptr);
    // Closes every alias still open.
    ~SdlMediaCommands() override;

    MediaResult send(std::string_view command) override;

    // Whether an alias is open, and whether its piece is sounding; aliases compare case-insensitively.
    bool isOpen(std::string_view alias) const;
    bool isPlaying(std::string_view alias) const;
    bool holdsSynth() const { return sequencer.holdsSynth(); }

signals:
    // The piece of `alias` came to its end by itself.
    void finished(const QString &alias);

private:
    MediaResult open(std::string_view arguments);
    MediaResult play(const std::string &alias);
    MediaResult stop(const std::string &alias);
    MediaResult close(const std::string &alias);
    void onFinished();

    FluidSequencer sequencer;
    std::map<std::string, std::string> devices; // the Standard MIDI File, by upper-cased alias
    std::string playing; // the alias whose piece plays, or empty
};

} // namespace belvane
