#include "ActionPerformer.h"
#include "FakeServices.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

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

// Steps: "stop" calls Stop, "play x" calls Play(x) directly and expects `played` from it, "x@n" performs
// x with window size n, anything else is performed as an action with window size 0. Last, the
// performer is destroyed, which stops the sound it recorded.
TEST(ActionPerformerTest, SoundsRestartFailedMidiLeavesNothingOpenAndOtherFilesLaunch)
{
    const auto midi = [](const std::string &file) {
        return Log {"media open " + file + openMid, "media play .MID"};
    };
    const std::string fits(220, 'x'); // with ".mid", the longest path (224 bytes) an open command holds
    const std::map<std::string, Log> stopping = {{"", {}}, {".WAV", {"wave stop"}}, {".MID", endMid}};
    const struct
    {
        Log steps;
        Log log;
        std::string kind;
        int openResult = 0, playResult = 0, played = 0;
    } cases[] = {
        {{"a.wav", "b.WAV"}, {"wave play a.wav", "wave stop", "wave play b.WAV"}, ".WAV"},
        {{"a.Wav", "stop", "stop"}, {"wave play a.Wav", "wave stop"}, ""},
        {{"a.mid", "b.Mid"}, midi("a.mid") + endMid + midi("b.Mid"), ".MID"},
        // A program or document leaves the sound playing, and Stop leaves what was launched alone.
        {{"a.mid", "b.exe", "c.mp3", "stop"},
         midi("a.mid") + Log {"open b.exe [-p] 5", "open c.mp3 [-p] 5"} + endMid,
         ""},
        {{"prog@1", "stop", "dir.wav/readme@2", "/x.mid/@7", "p@-1"},
         {"open prog [-p] 6", "open dir.wav/readme [-p] 3", "open /x.mid/ [-p] 5", "open p [-p] 5"},
         ""},
        {{"\x95\x5C.wav"}, {"wave play \x95\x5C.wav"}, ".WAV"}, // cp932 表 ends in the byte 0x5C
        // Played directly, a sound still ends the recorded one first: no ".MID" device is left open.
        {{"play a.mid", "play b.wav", "play c.mid", "play d.txt"},
         midi("a.mid") + endMid + Log {"wave play b.wav", "wave stop"} + midi("c.mid"),
         ".MID"},
        // A MIDI file that fails to open or play is not recorded, and its device is not left open.
        {{"play a.mid"}, {"media open a.mid" + openMid}, "", 275, 0, 275},
        {{"play a.mid"}, midi("a.mid") + Log {"media close .MID"}, "", 0, 277, 277},
        {{"play " + fits + ".mid"}, midi(fits + ".mid"), ".MID"},
        {{"play " + fits + "x.mid"}, {}, "", 0, 0, MediaCommands::commandTooLong},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.steps.front().substr(0, 20));
        testing::RecordingServices s;
        s.mediaCommands.openResult = c.openResult;
        s.mediaCommands.playResult = c.playResult;
        std::optional<ActionPerformer> performer(std::in_place, s.wavePlayer, s.mediaCommands, s.launcher);
        for (const std::string &step : c.steps) {
            if (step == "stop") {
                performer->Stop();
            } else if (step.starts_with("play ")) {
                EXPECT_EQ(performer->Play(step.substr(5)), c.played);
            } else {
                const std::size_t at = step.find('@');
                performer->PerformAction(7, step.substr(0, at), "-p",
                                         at == std::string::npos ? 0 : std::stoi(step.substr(at + 1)));
            }
        }
        EXPECT_EQ(s.journal.calls, c.log);
        EXPECT_EQ(performer->currentKind, c.kind);
        performer.reset();
        EXPECT_EQ(s.journal.calls, c.log + stopping.at(c.kind));
    }
}

} // namespace
} // namespace belvane
