#include "RecordingServices.h"

#include <gtest/gtest.h>

namespace belvane {
namespace {

using Log = std::vector<std::string>;
const std::string stop = "(Stop)";

void run(ActionPerformer &performer, const std::vector<std::string> &steps)
{
    for (const std::string &step : steps) {
        if (step == stop) {
            performer.Stop();
        } else {
            performer.PerformAction(7, step, "-p", 0);
        }
    }
}

TEST(ActionPerformerTest, SoundsRestartAndOtherFilesLaunch)
{
    const struct
    {
        std::vector<std::string> steps;
        Log log;
        std::string kind;
    } cases[] = {
        {{"a.wav", "b.WAV"}, {"wave a.wav", "wave stop", "wave b.WAV"}, ".WAV"},
        {{"a.Wav", stop, stop}, {"wave a.Wav", "wave stop"}, ""},
        {{"a.mid", "b.Mid"},
         {"open a.mid type sequencer alias .MID", "play .MID", "stop .MID", "close .MID",
          "open b.Mid type sequencer alias .MID", "play .MID"},
         ".MID"},
        {{"a.MID", stop},
         {"open a.MID type sequencer alias .MID", "play .MID", "stop .MID", "close .MID"},
         ""},
        {{"a.wav", "tune.mid"},
         {"wave a.wav", "wave stop", "open tune.mid type sequencer alias .MID", "play .MID"},
         ".MID"},
        // A program or document leaves the sound playing, and Stop leaves what was launched alone.
        {{"a.wav", "b.exe", "c.mp3", "d.scr"},
         {"wave a.wav", "launch 7 b.exe [-p] 5", "launch 7 c.mp3 [-p] 5", "launch 7 d.scr [-p] 5"},
         ".WAV"},
        {{"prog", stop, "dir.wav/readme", "/x.mid/"},
         {"launch 7 prog [-p] 5", "launch 7 dir.wav/readme [-p] 5", "launch 7 /x.mid/ [-p] 5"},
         ""},
        // cp932 names pass through untouched (表 ends in the byte 0x5C).
        {{"\x95\x5C.wav", "\x95\x5C.exe"}, {"wave \x95\x5C.wav", "launch 7 \x95\x5C.exe [-p] 5"}, ".WAV"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.steps.front());
        testing::RecordingServices services;
        run(services.performer, c.steps);
        EXPECT_EQ(services.log, c.log);
        EXPECT_EQ(services.performer.currentKind, c.kind);
    }
}

TEST(ActionPerformerTest, WindowSizeMapsToShowCommand)
{
    const std::pair<std::int32_t, int> cases[] = {{0, 5}, {1, 6}, {2, 3}, {7, 5}, {-1, 5}};
    for (const auto &[windowSize, show] : cases) {
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
        {"open", "a.mid", 275, {"open a.mid type sequencer alias .MID"}},
        {"play", "a.mid", 277, {"open a.mid type sequencer alias .MID", "play .MID", "close .MID"}},
        {"", fits + ".mid", 0, {"open " + fits + ".mid type sequencer alias .MID", "play .MID"}},
        {"", fits + "x.mid", MediaCommands::commandTooLong, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failing);
        testing::RecordingServices services;
        services.media.failures[c.failing] = c.result;
        const std::size_t sent = c.log.size();
        EXPECT_EQ(services.performer.Play(c.path), c.result);
        EXPECT_EQ(services.log, c.log);
        EXPECT_EQ(services.performer.currentKind, c.result == 0 ? ".MID" : "");
        services.performer.Stop();
        EXPECT_EQ(services.log.size(), sent + (c.result == 0 ? 2 : 0)); // stop and close only when open
    }
}

TEST(ActionPerformerTest, DirectPlayAndDestructionStopTheRecordedSound)
{
    testing::RecordingServices services;
    {
        testing::RecordingServices::Media media(services.log);
        ActionPerformer performer(services.waves, media, services.opener);
        EXPECT_EQ(performer.Play("a.mid"), 0);
        EXPECT_EQ(performer.Play("b.wav"), 0);
        EXPECT_EQ(performer.Play("c.mid"), 0);
        EXPECT_EQ(performer.Play("d.txt"), 0);
    }
    EXPECT_EQ(
        services.log,
        (Log {"open a.mid type sequencer alias .MID", "play .MID", "stop .MID", "close .MID", "wave b.wav",
              "wave stop", "open c.mid type sequencer alias .MID", "play .MID", "stop .MID", "close .MID"}));
}

} // namespace
} // namespace belvane
