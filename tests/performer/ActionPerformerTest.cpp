#include "RecordingServices.h"

#include <gtest/gtest.h>

namespace belvane {
namespace {

using Log = std::vector<std::string>;
const std::string openMid = " type sequencer alias .MID";

// Steps: "stop" calls Stop, "play x" calls Play(x) directly, anything else is performed as an action.
TEST(ActionPerformerTest, SoundsRestartAndOtherFilesLaunch)
{
    const struct
    {
        std::vector<std::string> steps;
        Log log;
        std::string kind;
    } cases[] = {
        {{"a.wav", "b.WAV"}, {"wave a.wav", "wave stop", "wave b.WAV"}, ".WAV"},
        {{"a.Wav", "stop", "stop"}, {"wave a.Wav", "wave stop"}, ""},
        {{"a.mid", "b.Mid"},
         {"open a.mid" + openMid, "play .MID", "stop .MID", "close .MID", "open b.Mid" + openMid,
          "play .MID"},
         ".MID"},
        {{"a.MID", "stop"}, {"open a.MID" + openMid, "play .MID", "stop .MID", "close .MID"}, ""},
        {{"a.wav", "t.mid"}, {"wave a.wav", "wave stop", "open t.mid" + openMid, "play .MID"}, ".MID"},
        // A program or document leaves the sound playing, and Stop leaves what was launched alone.
        {{"a.wav", "b.exe", "c.mp3", "d.scr"},
         {"wave a.wav", "launch 7 b.exe [-p] 5", "launch 7 c.mp3 [-p] 5", "launch 7 d.scr [-p] 5"},
         ".WAV"},
        {{"prog", "stop", "dir.wav/readme", "/x.mid/"},
         {"launch 7 prog [-p] 5", "launch 7 dir.wav/readme [-p] 5", "launch 7 /x.mid/ [-p] 5"},
         ""},
        {{"\x95\x5C.wav"}, {"wave \x95\x5C.wav"}, ".WAV"}, // cp932 表 ends in the byte 0x5C
        // Played directly, a sound still ends the recorded one first: no ".MID" device is left open.
        {{"play a.mid", "play b.wav", "play c.mid", "play d.txt"},
         {"open a.mid" + openMid, "play .MID", "stop .MID", "close .MID", "wave b.wav", "wave stop",
          "open c.mid" + openMid, "play .MID"},
         ".MID"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.steps.front());
        testing::RecordingServices services;
        for (const std::string &step : c.steps) {
            if (step == "stop") {
                services.performer.Stop();
            } else if (step.starts_with("play ")) {
                EXPECT_EQ(services.performer.Play(step.substr(5)), 0);
            } else {
                services.performer.PerformAction(7, step, "-p", 0);
            }
        }
        EXPECT_EQ(services.log, c.log);
        EXPECT_EQ(services.performer.currentKind, c.kind);
    }
}

TEST(ActionPerformerTest, WindowSizeMapsToShowCommand)
{
    for (const auto &[windowSize, show] : {std::pair {0, 5}, {1, 6}, {2, 3}, {7, 5}, {-1, 5}}) {
        testing::RecordingServices services;
        services.performer.PerformAction(0, "p", "", windowSize);
        EXPECT_EQ(services.log, Log {"launch 0 p [] " + std::to_string(show)}) << windowSize;
    }
}

TEST(ActionPerformerTest, FailedMidiLeavesNothingOpen)
{
    const std::string fits(220, 'x'); // with ".mid", the longest path (224 bytes) an open command holds
    const struct
    {
        std::string failing;
        std::string path;
        int result;
        Log log;
    } cases[] = {
        {"open", "a.mid", 275, {"open a.mid" + openMid}},
        {"play", "a.mid", 277, {"open a.mid" + openMid, "play .MID", "close .MID"}},
        {"", fits + ".mid", 0, {"open " + fits + ".mid" + openMid, "play .MID"}},
        {"", fits + "x.mid", MediaCommands::commandTooLong, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failing + c.path);
        testing::RecordingServices services;
        services.failing = c.failing;
        services.failure = c.result;
        EXPECT_EQ(services.performer.Play(c.path), c.result);
        EXPECT_EQ(services.log, c.log);
        EXPECT_EQ(services.performer.currentKind, c.result == 0 ? ".MID" : "");
    }
}

TEST(ActionPerformerTest, DestructionStopsTheRecordedSound)
{
    testing::RecordingServices services;
    {
        ActionPerformer performer(services, services, services);
        performer.PerformAction(0, "a.mid", "", 0);
    }
    EXPECT_EQ(services.log, (Log {"open a.mid" + openMid, "play .MID", "stop .MID", "close .MID"}));
}

} // namespace
} // namespace belvane
