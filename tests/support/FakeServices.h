#pragma once

#include "ActionPerformer.h"
#include "Launcher.h"
#include "MediaCommands.h"
#include "WavePlayer.h"

#include <string>
#include <vector>

namespace belvane::testing {

// Platform services that record what they were asked, one line per call, in one shared journal, so a
// test can check the order across services.
struct ServiceJournal
{
    std::vector<std::string> calls;
};

class RecordingWavePlayer final : public WavePlayer
{
public:
    explicit RecordingWavePlayer(ServiceJournal &j)
        : journal(j)
    { }
    bool Play(const std::string &path) override
    {
        journal.calls.push_back("wave play " + path);
        return true;
    }
    void Stop() override { journal.calls.push_back("wave stop"); }

private:
    ServiceJournal &journal;
};

class RecordingMediaCommands final : public MediaCommands
{
public:
    explicit RecordingMediaCommands(ServiceJournal &j)
        : journal(j)
    { }
    int Send(std::string_view command) override
    {
        journal.calls.push_back("media " + std::string(command));
        const bool failOpen = command.starts_with("open") && openResult != 0;
        const bool failPlay = command.starts_with("play") && playResult != 0;
        return failOpen ? openResult : failPlay ? playResult : 0;
    }
    int openResult = 0;
    int playResult = 0;

private:
    ServiceJournal &journal;
};

class RecordingLauncher final : public Launcher
{
public:
    explicit RecordingLauncher(ServiceJournal &j)
        : journal(j)
    { }
    int Open(WindowHandle owner, const std::string &file, const std::string &parameters,
             int showCommand) override
    {
        parent = owner;
        journal.calls.push_back("open " + file + " [" + parameters + "] " + std::to_string(showCommand));
        return 42;
    }
    WindowHandle parent = 0; // of the last call

private:
    ServiceJournal &journal;
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
