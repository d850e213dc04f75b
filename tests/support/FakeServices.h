#pragma once

#include "ActionPerformer.h"
#include "Launcher.h"
#include "MediaCommands.h"
#include "WavePlayer.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace belvane::testing {

// Platform services that record what they were asked, one line per call, in one shared journal, so a
// test can check the order across services.
using ServiceJournal = std::vector<std::string>;

// An alarm's text as a sender writes it.
inline std::string alarmText(const std::string &sender, int level = 1, const std::string &message = "m")
{
    return "#Sender=" + sender + "\n#Message=" + message + "\n#Level=" + std::to_string(level) + "\n";
}

struct Recording
{
    explicit Recording(ServiceJournal &j)
        : journal(j)
    { }
    ServiceJournal &journal;
};

struct RecordingWavePlayer final : WavePlayer, Recording
{
    using Recording::Recording;
    bool play(const std::string &path) override
    {
        journal.push_back("wave play " + path);
        return playing;
    }
    void stop() override { journal.push_back("wave stop"); }
    bool playing = true; // what play returns
};

struct RecordingMediaCommands final : MediaCommands, Recording
{
    using Recording::Recording;
    using enum MediaResult;
    MediaResult send(std::string_view command) override
    {
        journal.push_back("media " + std::string(command));
        return command.starts_with("open") ? openResult : command.starts_with("play") ? playResult : Success;
    }
    MediaResult openResult = Success, playResult = Success;
};

struct RecordingLauncher final : Launcher, Recording
{
    using Recording::Recording;
    LaunchResult open(WindowHandle owner, const std::string &file, const std::string &parameters,
                      int show) override
    {
        if (const auto run = std::exchange(whileOpening, nullptr)) {
            run();
        }
        parent = owner;
        journal.push_back("open " + file + " [" + parameters + "] " + std::to_string(show));
        return result;
    }
    WindowHandle parent = 0; // of the last call
    LaunchResult result = LaunchResult::Started;
    // Runs once inside the next call, before it is recorded: what a nested event loop might do there.
    std::function<void()> whileOpening;
};

// The three recording services together, ready to build an ActionPerformer on.
struct RecordingServices
{
    ServiceJournal journal;
    RecordingWavePlayer wavePlayer {journal};
    RecordingMediaCommands mediaCommands {journal};
    RecordingLauncher launcher {journal};
};

// An ActionPerformer over the recording services.
struct PerformerBench : RecordingServices
{
    ActionPerformer performer {wavePlayer, mediaCommands, launcher};
};

} // namespace belvane::testing
