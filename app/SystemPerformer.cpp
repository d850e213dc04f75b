#include "SystemPerformer.h"

#include "PosixLauncher.h"
#include "SdlAudio.h"
#include "SdlMediaCommands.h"
#include "SdlWavePlayer.h"

namespace belvane {

namespace {

// Members are destroyed in reverse order: the performer stops its sounds while the players still
// exist, and the players give the audio device back before it goes.
struct SystemServices
{
    SdlAudio audio;
    SdlWavePlayer wavePlayer {audio};
    SdlMediaCommands mediaCommands {audio};
    PosixLauncher launcher;
    ActionPerformer performer {wavePlayer, mediaCommands, launcher};
};

} // namespace

ActionPerformer &thePerformer()
{
    // Built on first use, on the thread that runs the event loop (the players' finish news arrives there).
    static SystemServices services;
    return services.performer;
}

} // namespace belvane
