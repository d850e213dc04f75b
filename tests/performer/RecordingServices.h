#pragma once

#include "ActionPerformer.h"

#include <map>
#include <string>
#include <vector>

namespace belvane::testing {

// Stand-ins for the platform services that write every call into one shared log, in call order.
struct RecordingServices
{
    struct Waves final : WavePlayer
    {
        explicit Waves(std::vector<std::string> &calls)
            : log(calls)
        { }
        bool Play(const std::string &path) override { return log.push_back("wave " + path), true; }
        void Stop() override { log.push_back("wave stop"); }
        std::vector<std::string> &log;
    };
    struct Media final : MediaCommands
    {
        explicit Media(std::vector<std::string> &calls)
            : log(calls)
        { }
        int Send(std::string_view command) override
        {
            log.emplace_back(command);
            const auto failure = failures.find(std::string(command.substr(0, command.find(' '))));
            return failure == failures.end() ? 0 : failure->second;
        }
        std::map<std::string, int> failures; // by command word
        std::vector<std::string> &log;
    };
    struct Opener final : Launcher
    {
        explicit Opener(std::vector<std::string> &calls)
            : log(calls)
        { }
        int Open(WindowHandle parent, const std::string &file, const std::string &parameters,
                 int showCommand) override
        {
            log.push_back("launch " + std::to_string(parent) + " " + file + " [" + parameters + "] "
                          + std::to_string(showCommand));
            return started;
        }
        std::vector<std::string> &log;
    };

    std::vector<std::string> log;
    Waves waves {log};
    Media media {log};
    Opener opener {log};
    ActionPerformer performer {waves, media, opener};
};

} // namespace belvane::testing
