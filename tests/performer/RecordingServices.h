#pragma once

#include "ActionPerformer.h"

#include <string>
#include <vector>

namespace belvane::testing {

// Wave player, media commands and launcher in one, writing every call into one log in call order, and
// a performer over them. Media commands starting with `failing` return `failure`.
struct RecordingServices final : WavePlayer, MediaCommands, Launcher
{
    bool Play(const std::string &path) override { return log.push_back("wave " + path), true; }
    void Stop() override { log.push_back("wave stop"); }
    int Send(std::string_view command) override
    {
        log.emplace_back(command);
        return !failing.empty() && command.starts_with(failing) ? failure : 0;
    }
    int Open(WindowHandle parent, const std::string &file, const std::string &parameters, int show) override
    {
        log.push_back("launch " + std::to_string(parent) + " " + file + " [" + parameters + "] "
                      + std::to_string(show));
        return started;
    }

    std::vector<std::string> log;
    std::string failing;
    int failure = 0;
    ActionPerformer performer {*this, *this, *this};
};

} // namespace belvane::testing
