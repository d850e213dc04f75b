// The real program where parts of the desktop are missing (display, tray, audio device) or its sound
// files are: it starts, receives and performs alarms, and ends on SIGTERM.
#include "ProgramRun.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace belvane {
namespace {

using testing::readFile;
using testing::WaitUntil;
using testing::writeFile;
namespace fs = std::filesystem;

// Sends one alarm of `level` with belvane-send; true when it was delivered.
bool Send(quint16 port, int level)
{
    QProcess send;
    send.start(QStringLiteral(BELVANE_PROGRAM_DIR "/belvane-send"),
               {QStringLiteral("--port"), QString::number(port), QStringLiteral("--sender"),
                QStringLiteral("PC1"), QStringLiteral("--message"), QStringLiteral("お茶です"),
                QStringLiteral("--level"), QString::number(level)});
    return send.waitForFinished(10000) && send.exitStatus() == QProcess::NormalExit && send.exitCode() == 0;
}

// Whether 16-bit samples in the disk audio driver's output are anything but silence.
bool Audible(const std::string &path)
{
    const std::string bytes = fs::exists(path) ? readFile(path) : std::string();
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::int16_t sample;
        std::memcpy(&sample, bytes.data() + i, 2);
        if (sample > 64 || sample < -64) {
            return true;
        }
    }
    return false;
}

// Whether process `pid` has `path` open (the disk audio driver keeps its file open with the device).
bool HoldsOpen(qint64 pid, const std::string &path)
{
    std::error_code error;
    for (const auto &fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (fs::read_symlink(fd.path(), error) == path) {
            return true;
        }
    }
    return false;
}

// Whether a library whose file name starts with `name` is mapped into process `pid`.
bool Maps(qint64 pid, const std::string &name)
{
    return readFile("/proc/" + std::to_string(pid) + "/maps").find("/" + name) != std::string::npos;
}

struct Desktop
{
    bool display = true;
    bool tray = true;
    const char *audioDriver = "disk";
};

class ProgramFaultTest : public ::testing::Test
{
protected:
    // Starts the program with what `desktop` offers; false when it does not come to listen.
    bool Start(const Desktop &desktop)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (desktop.display) {
            if (!x.Start(desktop.tray)) {
                return false;
            }
            env = x.env;
        } else {
            for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
                env.remove(QString::fromLatin1(name));
            }
        }
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QString::fromLatin1(desktop.audioDriver));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), QString::fromStdString(audioFile));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QString::fromStdString(folder.file("belvane")), {});
        return program.waitForStarted(10000)
            && WaitUntil([&] { return testing::Accepting(folder.port); }, std::chrono::seconds(30));
    }

    void ExpectAlarmPerformedAndCleanEnd()
    {
        const std::size_t before = folder.scriptOutput().size();
        ASSERT_TRUE(Send(folder.port, 3));
        EXPECT_TRUE(WaitUntil([&] { return folder.scriptOutput().size() > before; }))
            << "level 3's program ran";
        program.terminate();
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
    }

    void TearDown() override { testing::Stop(program); }

    testing::ProgramCopy folder {BELVANE_PROGRAM_DIR};
    testing::TempDir audio;
    std::string audioFile = audio.file("out.raw");
    testing::XSession x;
    QProcess program;
};

TEST_F(ProgramFaultTest, NoDisplayRunsTheReceiverHeadless)
{
    ASSERT_TRUE(Start({.display = false}));
    ExpectAlarmPerformedAndCleanEnd();
}

TEST_F(ProgramFaultTest, NoTrayStillShowsAlarms)
{
    ASSERT_TRUE(Start({.tray = false}));
    ASSERT_TRUE(Send(folder.port, 0));
    EXPECT_TRUE(WaitUntil([&] { return !x.VisibleWindows(QStringLiteral("Belvane")).isEmpty(); }));
    ExpectAlarmPerformedAndCleanEnd();
}

TEST_F(ProgramFaultTest, NoAudioDeviceLeavesSoundsSilentAndTheRestWorking)
{
    ASSERT_TRUE(Start({.tray = false, .audioDriver = "no-such-driver"}));
    ASSERT_TRUE(Send(folder.port, 0)); // Malarm.wav
    ASSERT_TRUE(Send(folder.port, 1)); // Salarm.wav
    ExpectAlarmPerformedAndCleanEnd();
}

TEST_F(ProgramFaultTest, AMissingSoundIsSkippedAndABrokenOneGivesTheBuiltInAlert)
{
    fs::remove(folder.file("Malarm.wav"));
    writeFile(folder.file("Salarm.wav"), "this is not a wave file\n");
    ASSERT_TRUE(Start({}));
    EXPECT_FALSE(Maps(program.processId(), "libSDL2")) << "the sound libraries wait for the first sound";

    ASSERT_TRUE(Send(folder.port, 1));
    EXPECT_TRUE(WaitUntil([&] { return Audible(audioFile); })) << "the built-in alert sounds";
    EXPECT_TRUE(Maps(program.processId(), "libSDL2_mixer"));
    // The device closes when the alert ends.
    EXPECT_TRUE(WaitUntil([&] { return !HoldsOpen(program.processId(), audioFile); }));

    fs::remove(audioFile);
    ASSERT_TRUE(Send(folder.port, 0));
    ASSERT_TRUE(Send(folder.port, 3));
    EXPECT_TRUE(WaitUntil([&] { return !folder.scriptOutput().empty(); }));
    EXPECT_FALSE(fs::exists(audioFile)) << "a missing file is not performed: no device was opened";

    EXPECT_EQ(readFile(folder.file("Salarm.wav")), "this is not a wave file\n");
    EXPECT_FALSE(fs::exists(folder.file("Malarm.wav")));
    ExpectAlarmPerformedAndCleanEnd();
}

} // namespace
} // namespace belvane
