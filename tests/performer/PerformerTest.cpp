// The performer over recording services, and the dispatch of a received text through a real action
// list to it.
#include "ActionPerformer.h"
#include "AlarmDispatch.h"
#include "FakeServices.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

namespace belvane {
namespace {

using Log = std::vector<std::string>;
const std::string openMid = " type sequencer alias .MID";
const std::string closeMid = "media close .MID";
const Log endMid = {"media stop .MID", closeMid};

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
    const Log heard {"sound 0"}; // what the performer's watcher hears of a sound that started
    const std::string fits(220, 'x'); // with ".mid", the longest path (224 bytes) an open command holds
    using enum MediaResult;
    const std::map<std::string, Log> stopping = {{"", {}}, {".WAV", {"wave stop"}}, {".MID", endMid}};
    const struct
    {
        Log steps;
        Log log;
        std::string kind;
        MediaResult openResult = Success, playResult = Success, played = Success;
        bool wavePlays = true;
    } cases[] = {
        {{"a.wav", "b.WAV"},
         {"wave play a.wav", "sound 0", "wave stop", "wave play b.WAV", "sound 0"},
         ".WAV"},
        // A wave player without an output device: still recorded, as it may sound something else.
        {{"play a.wav"}, {"wave play a.wav", "sound 262"}, ".WAV", Success, Success, NoOutputDevice, false},
        // A program or document leaves the sound playing, and Stop leaves what was launched alone. Only the
        // last component's extension counts; window size 1 is minimised, 2 maximised, any other normal.
        {{"a.mid", "b.exe@1", "dir.wav/readme@2", "/x.mid/@7", "stop"},
         midi("a.mid") + heard
             + Log {"open b.exe [-p] 6", "open dir.wav/readme [-p] 3", "open /x.mid/ [-p] 5"} + endMid,
         ""},
        {{"\x95\x5C.wav"}, {"wave play \x95\x5C.wav", "sound 0"}, ".WAV"}, // cp932 表 ends in the byte 0x5C
        // Played directly, a sound still ends the recorded one first: no ".MID" device is left open.
        {{"play a.mid", "play b.wav", "play c.mid", "play d.txt"},
         midi("a.mid") + heard + endMid + Log {"wave play b.wav", "sound 0", "wave stop"} + midi("c.mid")
             + heard,
         ".MID"},
        // A MIDI file that fails to open or play is not recorded, and its device is not left open.
        {{"play a.mid"}, {"media open a.mid" + openMid, "sound 275"}, "", FileNotFound, {}, FileNotFound},
        {{"play a.mid"}, midi("a.mid") + Log {closeMid, "sound 277"}, "", {}, CannotPlay, CannotPlay},
        {{"play " + fits + ".mid"}, midi(fits + ".mid") + heard, ".MID"},
        {{"play " + fits + "x.mid"}, {"sound 278"}, "", {}, {}, CommandTooLong},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.steps.front().substr(0, 20));
        testing::RecordingServices s;
        s.mediaCommands.openResult = c.openResult;
        s.mediaCommands.playResult = c.playResult;
        s.wavePlayer.playing = c.wavePlays;
        std::optional<ActionPerformer> performer(std::in_place, s.wavePlayer, s.mediaCommands, s.launcher);
        performer->watchSounds([&](MediaResult result) {
            s.journal.push_back("sound " + std::to_string(static_cast<int>(result)));
        });
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
        EXPECT_EQ(s.journal, c.log);
        performer.reset();
        EXPECT_EQ(s.journal, c.log + stopping.at(c.kind));
    }
}

TEST(AlarmDispatchTest, PerformsOnlyAnEnabledRecordInsideTheListWhoseFileExistsAndCreatesAMissingList)
{
    testing::PerformerBench b;
    testing::TempDir dir;
    const std::string list = dir.file("Belvane.acd"), program = dir.file("prog"), bell = dir.file("bell.WAV");
    // The calls one dispatch of `text` makes, the window's "show" first.
    const auto dispatch = [&](std::string text) {
        DispatchAlarm(text, list, b.performer, 9, [&](const AlarmMessage &m) {
            b.journal.push_back(m.sender + "|" + m.message + "|" + std::to_string(m.level));
        });
        EXPECT_EQ(text, "");
        return std::exchange(b.journal, {});
    };
    EXPECT_EQ(dispatch(""), Log {});
    EXPECT_FALSE(std::filesystem::exists(list));
    // A missing list is created blank, the alarm still shown.
    EXPECT_EQ(dispatch(testing::alarmText("PC1", 3)), Log {"PC1|m|3"});
    EXPECT_EQ(testing::readFile(list), testing::listBytes(1, 20, testing::blanks(20)));

    testing::writeFile(program, "");
    testing::writeFile(bell, "");
    // Blank, disabled, missing, not cp932 and outside the list: the window's history rows.
    const std::map<int, std::pair<int, std::string>> actions = {{0, {1, program}},    {1, {1, bell}},
                                                                {2, {1, program}},    {5, {2, program}},
                                                                {7, {1, dir.path()}}, {49, {1, program}}};
    testing::writeActions(list, 50, actions);
    const std::pair<std::string, Log> cases[] = {
        {testing::alarmText("PC1", 2), {"PC1|m|2", "open " + program + " [2] 3"}},
        {"#lOGIC=2$lOGIC#mESSAGE=Lunch$mESSAGE#lEVEL= $lEVEL#sENDER=PC1$sENDER",
         {"PC1|Lunch|0", "open " + program + " [0] 5"}},
        {testing::alarmText("PC1", 1), {"PC1|m|1", "wave play " + bell}},
        // The wave plays on while a program starts.
        {testing::alarmText("PC1", 49), {"PC1|m|49", "open " + program + " [49] 6"}},
        {testing::alarmText("PC1", 5), {"PC1|m|5"}}, // enabled is 1 and nothing else
        // A folder counts as existing.
        {testing::alarmText("PC1", 7), {"PC1|m|7", "open " + dir.path().string() + " [7] 6"}},
    };
    for (const auto &[text, log] : cases) {
        EXPECT_EQ(dispatch(text), log) << text;
    }
    EXPECT_EQ(b.launcher.parent, 9);
    b.performer.Stop(); // the wave of level 1 is the sound it ends
    EXPECT_EQ(b.journal, Log {"wave stop"});
}

} // namespace
} // namespace belvane
