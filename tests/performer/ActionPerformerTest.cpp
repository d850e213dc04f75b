#include "ActionPerformer.h"
#include "FakeServices.h"

#include <gtest/gtest.h>

namespace belvane {
namespace {

using Log = std::vector<std::string>;
const std::string openMid = " type sequencer alias .MID";
const Log endMid = {"media stop .MID", "media close .MID"};

Log operator+(Log a, const Log &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Log midi(const std::string &file)
{
    return {"media open " + file + openMid, "media play .MID"};
}

// Steps: "stop" calls Stop, "play x" calls Play(x) directly, anything else is performed as an action.
TEST(ActionPerformerTest, SoundsRestartAndOtherFilesLaunch)
{
    const struct
    {
        Log steps;
        Log log;
        std::string kind;
    } cases[] = {
        {{"a.wav", "b.WAV"}, {"wave play a.wav", "wave stop", "wave play b.WAV"}, ".WAV"},
        {{"a.Wav", "stop", "stop"}, {"wave play a.Wav", "wave stop"}, ""},
        {{"a.mid", "b.Mid"}, midi("a.mid") + endMid + midi("b.Mid"), ".MID"},
        {{"a.wav", "t.mid"}, Log {"wave play a.wav", "wave stop"} + midi("t.mid"), ".MID"},
        // A program or document leaves the sound playing, and Stop leaves what was launched alone.
        {{"a.mid", "b.exe", "c.mp3", "stop"},
         midi("a.mid") + Log {"open b.exe [-p] 5", "open c.mp3 [-p] 5"} + endMid,
         ""},
        {{"prog", "stop", "dir.wav/readme", "/x.mid/"},
         {"open prog [-p] 5", "open dir.wav/readme [-p] 5", "open /x.mid/ [-p] 5"},
         ""},
        {{"\x95\x5C.wav"}, {"wave play \x95\x5C.wav"}, ".WAV"}, // cp932 表 ends in the byte 0x5C
        // Played directly, a sound still ends the recorded one first: no ".MID" device is left open.
        {{"play a.mid", "play b.wav", "play c.mid", "play d.txt"},
         midi("a.mid") + endMid + Log {"wave play b.wav", "wave stop"} + midi("c.mid"),
         ".MID"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.steps.front());
        testing::PerformerBench b;
        for (const std::string &step : c.steps) {
            if (step == "stop") {
                b.performer.Stop();
            } else if (step.starts_with("play ")) {
                EXPECT_EQ(b.performer.Play(step.substr(5)), 0);
            } else {
                b.performer.PerformAction(7, step, "-p", 0);
            }
        }
        EXPECT_EQ(b.journal.calls, c.log);
        EXPECT_EQ(b.performer.currentKind, c.kind);
    }
    testing::PerformerBench b;
    for (const auto &[windowSize, show] : {std::pair {1, 6}, {2, 3}, {7, 5}, {-1, 5}}) {
        b.performer.PerformAction(3, "p", "", windowSize);
        EXPECT_EQ(b.journal.calls.back(), "open p [] " + std::to_string(show)) << windowSize;
        EXPECT_EQ(b.launcher.parent, 3);
    }
}

TEST(ActionPerformerTest, FailedMidiLeavesNothingOpen)
{
    const std::string fits(220, 'x'); // with ".mid", the longest path (224 bytes) an open command holds
    const struct
    {
        int openResult, playResult;
        std::string path;
        int result;
        Log log;
    } cases[] = {
        {275, 0, "a.mid", 275, {"media open a.mid" + openMid}},
        {0, 277, "a.mid", 277, midi("a.mid") + Log {"media close .MID"}},
        {0, 0, fits + ".mid", 0, midi(fits + ".mid")},
        {0, 0, fits + "x.mid", MediaCommands::commandTooLong, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.size());
        testing::PerformerBench b;
        b.mediaCommands.openResult = c.openResult;
        b.mediaCommands.playResult = c.playResult;
        EXPECT_EQ(b.performer.Play(c.path), c.result);
        EXPECT_EQ(b.journal.calls, c.log);
        EXPECT_EQ(b.performer.currentKind, c.result == 0 ? ".MID" : "");
    }
}

TEST(ActionPerformerTest, DestructionStopsTheRecordedSound)
{
    testing::RecordingServices services;
    {
        ActionPerformer performer(services.wavePlayer, services.mediaCommands, services.launcher);
        performer.PerformAction(0, "a.mid", "", 0);
    }
    EXPECT_EQ(services.journal.calls, midi("a.mid") + endMid);
}

} // namespace
} // namespace belvane
