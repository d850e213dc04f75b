#include "ActionListFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace belvane {
namespace {

constexpr std::int32_t whole = 896;
const std::string signature("ZidovuZu!\0\0\0\0\0\0\0", 16);

std::string le32(std::int64_t value)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
    }
    return bytes;
}

std::string field(std::string text, std::size_t width)
{
    text.resize(width, '\0');
    return text;
}

std::string blanks(int records)
{
    return std::string(static_cast<std::size_t>(whole) * records, '\0');
}

std::string listBytes(std::int32_t version, std::int32_t count, const std::string &records)
{
    return signature + le32(version) + le32(count) + records;
}

std::vector<std::string> entries(const std::filesystem::path &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(ActionListFileTest, CreatesListOfRequestedOrDefaultCount)
{
    struct Case
    {
        std::int32_t requested;
        std::int32_t expected;
        std::size_t size;
        std::string header;
    };
    const std::vector<Case> cases = {
        {50, 50, 44824, std::string("ZidovuZu!\0\0\0\0\0\0\0\x01\0\0\0\x32\0\0\0", 24)},
        {0, 20, 17944, std::string("ZidovuZu!\0\0\0\0\0\0\0\x01\0\0\0\x14\0\0\0", 24)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.requested);
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        ActionListFile list;
        ASSERT_EQ(list.OpenOrCreate(c.requested, path), c.expected);
        EXPECT_EQ(list.openVersion, 1);
        const std::string bytes = testing::readFile(path);
        EXPECT_EQ(bytes.size(), c.size);
        EXPECT_EQ(bytes, c.header + blanks(c.expected));
        ActionListFile again;
        EXPECT_EQ(again.OpenOrCreate(7, path), c.expected);
    }
}

TEST(ActionListFileTest, ResultCodesFollowTheOrderOfChecks)
{
    enum class Start { fresh, opened, reading, writing, versionZero };
    struct Case
    {
        const char *name;
        Start start;
        std::function<std::int32_t(ActionListFile &)> call;
        std::int32_t expected;
    };
    ActionRecord r;
    const std::vector<Case> cases = {
        {"BeginRead on new object", Start::fresh, [](auto &l) { return l.BeginRead(); }, -3},
        {"BeginWrite on new object", Start::fresh, [](auto &l) { return l.BeginWrite(); }, -3},
        {"ReadRecord on new object", Start::fresh, [&](auto &l) { return l.ReadRecord(0, r); }, -3},
        {"WriteRecord on new object", Start::fresh, [&](auto &l) { return l.WriteRecord(0, r); }, -3},
        {"FetchRecord on new object", Start::fresh, [&](auto &l) { return l.FetchRecord(0, r); }, -2},
        {"Close on new object", Start::fresh, [](auto &l) { return l.Close(); }, 1},
        {"ReadRecord before BeginRead", Start::opened, [&](auto &l) { return l.ReadRecord(0, r); }, -4},
        {"WriteRecord before BeginWrite", Start::opened, [&](auto &l) { return l.WriteRecord(0, r); }, -4},
        {"FetchRecord -1", Start::opened, [&](auto &l) { return l.FetchRecord(-1, r); }, -2},
        {"FetchRecord 50", Start::opened, [&](auto &l) { return l.FetchRecord(50, r); }, -2},
        {"FetchRecord 49", Start::opened, [&](auto &l) { return l.FetchRecord(49, r); }, whole},
        {"Close after OpenOrCreate", Start::opened, [](auto &l) { return l.Close(); }, 1},
        {"second BeginRead", Start::reading, [](auto &l) { return l.BeginRead(); }, -4},
        {"BeginWrite while reading", Start::reading, [](auto &l) { return l.BeginWrite(); }, -4},
        {"WriteRecord while reading", Start::reading, [&](auto &l) { return l.WriteRecord(0, r); }, -4},
        {"ReadRecord 50", Start::reading, [&](auto &l) { return l.ReadRecord(50, r); }, -2},
        {"ReadRecord -2", Start::reading, [&](auto &l) { return l.ReadRecord(-2, r); }, -2},
        {"ReadRecord 49", Start::reading, [&](auto &l) { return l.ReadRecord(49, r); }, whole},
        {"FetchRecord while reading", Start::reading, [&](auto &l) { return l.FetchRecord(0, r); }, -1},
        {"Close while reading", Start::reading, [](auto &l) { return l.Close(); }, 0},
        {"ReadRecord while writing", Start::writing, [&](auto &l) { return l.ReadRecord(0, r); }, -4},
        {"WriteRecord 49", Start::writing, [&](auto &l) { return l.WriteRecord(49, r); }, whole},
        {"WriteRecord 50", Start::writing, [&](auto &l) { return l.WriteRecord(50, r); }, -2},
        {"BeginRead on version 0", Start::versionZero, [](auto &l) { return l.BeginRead(); }, -3},
        {"BeginWrite on version 0", Start::versionZero, [](auto &l) { return l.BeginWrite(); }, -3},
        {"FetchRecord 0, version 0", Start::versionZero, [&](auto &l) { return l.FetchRecord(0, r); }, -3},
        {"FetchRecord 49, version 0", Start::versionZero, [&](auto &l) { return l.FetchRecord(49, r); }, -3},
        {"FetchRecord 50, version 0", Start::versionZero, [&](auto &l) { return l.FetchRecord(50, r); }, -2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        testing::writeFile(path, listBytes(c.start == Start::versionZero ? 0 : 1, 50, blanks(50)));
        ActionListFile list;
        if (c.start != Start::fresh) {
            ASSERT_EQ(list.OpenOrCreate(0, path), 50);
        }
        if (c.start == Start::reading || c.start == Start::writing) {
            ASSERT_EQ(c.start == Start::reading ? list.BeginRead() : list.BeginWrite(), 50);
        }
        EXPECT_EQ(c.call(list), c.expected);
    }
}

// A record with every field filled, and the file image it must have, built here byte by byte.
struct Sample
{
    ActionRecord record;
    std::string image;
};

std::vector<Sample> samples()
{
    std::vector<Sample> out;
    ActionRecord full;
    full.enabled = 2;
    full.windowSize = -1;
    full.reserved.fill('r');
    full.name.fill('n');
    full.actionFile.fill('a');
    full.parameters.fill('p');
    full.workFolder.fill('w');
    out.push_back({full,
                   le32(2) + le32(-1) + std::string(56, 'r') + std::string(64, 'n') + std::string(256, 'a')
                       + std::string(256, 'p') + std::string(256, 'w')});
    ActionRecord text;
    text.enabled = 1;
    text.windowSize = 2;
    setFieldText(text.name, "\x83\x41\x83\x89\x81\x5b\x83\x80");
    setFieldText(text.actionFile, "/home/user/Alarm.MID");
    text.actionFile[100] = 'x'; // bytes after the NUL travel with the record
    setFieldText(text.parameters, "-q");
    setFieldText(text.workFolder, "/tmp");
    out.push_back({text,
                   le32(1) + le32(2) + std::string(56, '\0') + field("\x83\x41\x83\x89\x81\x5b\x83\x80", 64)
                       + field(field("/home/user/Alarm.MID", 100) + "x", 256) + field("-q", 256)
                       + field("/tmp", 256)});
    return out;
}

TEST(ActionListFileTest, SequentialPassesWriteAndReadRecordsAtFixedOffsets)
{
    testing::TempDir dir;
    const std::string path = dir.file(ActionListFile::fileName);
    const std::vector<Sample> all = samples();
    const auto sampleFor = [&](int i) {
        return all[static_cast<std::size_t>(i) % all.size()];
    };
    ActionListFile list;
    ASSERT_EQ(list.OpenOrCreate(50, path), 50);
    ASSERT_EQ(list.BeginWrite(), 50);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(list.WriteRecord(-1, sampleFor(i).record), whole) << i;
    }
    EXPECT_EQ(list.WriteRecord(-1, all[0].record), 0);
    EXPECT_EQ(list.Close(), 0);

    const std::string bytes = testing::readFile(path);
    ASSERT_EQ(bytes.size(), 44824u);
    ASSERT_EQ(list.BeginRead(), 50);
    for (int i = 0; i < 50; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bytes.substr(24 + static_cast<std::size_t>(whole) * i, whole), sampleFor(i).image);
        ActionRecord read;
        ASSERT_EQ(list.ReadRecord(-1, read), whole);
        EXPECT_EQ(read, sampleFor(i).record);
    }
    ActionRecord past;
    EXPECT_EQ(list.ReadRecord(-1, past), 0);
    EXPECT_EQ(list.ReadRecord(-1, past), 0);
    EXPECT_EQ(list.Close(), 0);
    ActionRecord fetched;
    ASSERT_EQ(list.FetchRecord(49, fetched), whole);
    EXPECT_EQ(fetched, sampleFor(49).record);
}

TEST(ActionListFileTest, ListCutShortReadsLaterRecordsShort)
{
    struct Case
    {
        std::size_t tail;
        std::vector<std::int32_t> results; // records 0 to 4, by index and in a sequential pass
    };
    const std::vector<Case> cases = {
        {0, {whole, whole, whole, 0, 0}},
        {100, {whole, whole, whole, 100, 0}},
        {895, {whole, whole, whole, 895, 0}},
    };
    const std::string filled(whole, '\x11');
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tail);
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        testing::writeFile(path, listBytes(1, 50, filled + filled + filled + filled.substr(0, c.tail)));
        ActionListFile list;
        ASSERT_EQ(list.OpenOrCreate(0, path), 50);
        ASSERT_EQ(list.BeginRead(), 50);
        for (int i = 0; i < 5; ++i) {
            ActionRecord inPass;
            EXPECT_EQ(list.ReadRecord(-1, inPass), c.results[i]) << i;
        }
        list.Close();
        for (int i = 0; i < 5; ++i) {
            ActionRecord byIndex;
            EXPECT_EQ(list.FetchRecord(i, byIndex), c.results[i]) << i;
        }
        ActionRecord partial;
        list.FetchRecord(3, partial);
        const std::string expected = filled.substr(0, c.tail) + std::string(whole - c.tail, '\0');
        EXPECT_EQ(partial, ActionRecord::fromBytes(reinterpret_cast<const unsigned char *>(expected.data())));
    }
}

TEST(ActionListFileTest, HeaderDecidesWhetherListOpens)
{
    struct Case
    {
        const char *name;
        std::string content;
        std::int32_t opened;
        std::int32_t beginRead;
    };
    const std::string rest = le32(1) + le32(2) + blanks(2);
    const std::vector<Case> cases = {
        {"zero padding", signature + rest, 2, 2},
        {"other padding", "ZidovuZu!garbage" + rest, 2, 2},
        {"other version", listBytes(7, 2, blanks(2)), 2, 2},
        {"no records", listBytes(1, 0, ""), 0, 0},
        {"wrong character", "ZidovuZu?" + signature.substr(9) + rest, 0, -3},
        {"lower case", "zidovuZu!" + signature.substr(9) + rest, 0, -3},
        {"header cut short", listBytes(1, 2, "").substr(0, 23), 0, -3},
        {"empty file", "", 0, -3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        testing::writeFile(path, c.content);
        ActionListFile list;
        EXPECT_EQ(list.OpenOrCreate(50, path), c.opened);
        EXPECT_EQ(list.BeginRead(), c.beginRead);
        list.Close();
        EXPECT_EQ(testing::readFile(path), c.content);
    }
}

TEST(ActionListFileTest, RefusesWhatItCannotUseAndLeavesNothingBehind)
{
    struct Case
    {
        const char *name;
        std::string path; // under the test folder
        std::int32_t requested;
    };
    const std::vector<Case> cases = {
        {"missing folder", "/missing/Belvane.acd", 0},
        {"NUL inside the path", std::string("/Belvane.acd\0.bak", 17), 0},
        {"a folder", "/sub", 0},
        {"a FIFO", "/pipe", 0},
        {"negative count", "/Belvane.acd", -1},
    };
    alarm(30); // an open that waits for a FIFO's writer would otherwise hang here
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        std::filesystem::create_directory(dir.path() / "sub");
        ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
        const std::vector<std::string> before = entries(dir.path());
        ActionListFile list;
        EXPECT_EQ(list.OpenOrCreate(c.requested, dir.path().string() + c.path), 0);
        EXPECT_EQ(list.BeginRead(), -3);
        EXPECT_EQ(entries(dir.path()), before);
        if (c.requested == 0) {
            list.CreateDefault(dir.path().string() + c.path, "/opt/belvane/");
            EXPECT_EQ(entries(dir.path()), before);
        }
    }
    alarm(0);
}

TEST(ActionListFileTest, ListThatCannotBeWrittenWholeIsRemoved)
{
    struct Case
    {
        rlim_t sizeLimit;
        std::int32_t expected;
    };
    for (const Case c : {Case {44824, 50}, Case {44823, 0}, Case {10, 0}}) {
        SCOPED_TRACE(c.sizeLimit);
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit {c.sizeLimit, c.sizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
            ActionListFile list;
            _exit(list.OpenOrCreate(50, path));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.expected);
        EXPECT_EQ(std::filesystem::exists(path), c.expected != 0);
    }
}

// While the list is held elsewhere, every open from `opened` (already past OpenOrCreate) fails.
void expectLockedOut(const std::string &path, ActionListFile &opened)
{
    ActionRecord record;
    ActionListFile fresh;
    EXPECT_EQ(fresh.OpenOrCreate(0, path), 0);
    EXPECT_EQ(opened.FetchRecord(0, record), -1);
    EXPECT_EQ(opened.BeginRead(), -1);
    EXPECT_EQ(opened.Close(), 1);
    EXPECT_EQ(opened.BeginWrite(), -1);
    EXPECT_EQ(opened.Close(), 1);
}

TEST(ActionListFileTest, OpensAreExclusiveAcrossObjectsAndProcesses)
{
    testing::TempDir dir;
    const std::string path = dir.file(ActionListFile::fileName);
    ActionListFile opened;
    ASSERT_EQ(opened.OpenOrCreate(50, path), 50);
    ActionRecord record;
    {
        SCOPED_TRACE("another object");
        ActionListFile holder;
        ASSERT_EQ(holder.OpenOrCreate(0, path), 50);
        ASSERT_EQ(holder.BeginWrite(), 50);
        expectLockedOut(path, opened);
        // holder goes out of scope without Close: its destructor lets go of the list
    }
    EXPECT_EQ(opened.FetchRecord(0, record), whole);
    {
        SCOPED_TRACE("another process");
        int ready[2];
        int release[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(release), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ActionListFile holder;
            const char held = holder.OpenOrCreate(0, path) == 50 && holder.BeginRead() == 50 ? 'y' : 'n';
            char go = 0;
            const bool talked = write(ready[1], &held, 1) == 1 && read(release[0], &go, 1) == 1;
            holder.Close();
            _exit(talked ? 0 : 1);
        }
        char held = 0;
        ASSERT_EQ(read(ready[0], &held, 1), 1);
        EXPECT_EQ(held, 'y');
        expectLockedOut(path, opened);
        ASSERT_EQ(write(release[1], "x", 1), 1);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        for (const int fd : {ready[0], ready[1], release[0], release[1]}) {
            close(fd);
        }
    }
    EXPECT_EQ(opened.FetchRecord(0, record), whole);
}

TEST(ActionListFileTest, DefaultListPlaysTheTwoAlarmSounds)
{
    const auto entry = [](const std::string &folder, const std::string &sound) {
        return le32(1) + le32(0) + std::string(56, '\0') + field(sound, 64) + field(folder + sound, 256)
            + std::string(512, '\0');
    };
    struct Case
    {
        std::string folder;
        bool fits; // folder and sound name within the 255 bytes of the file field
    };
    const std::vector<Case> cases = {
        {"/opt/belvane/", true},
        {"/" + std::string(243, 'x') + "/", true},
        {"/" + std::string(244, 'x') + "/", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder.size());
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        ActionListFile list;
        list.CreateDefault(path, c.folder);
        const std::string first =
            c.fits ? entry(c.folder, "Malarm.wav") + entry(c.folder, "Salarm.wav") : blanks(2);
        EXPECT_EQ(testing::readFile(path), listBytes(1, 50, first + blanks(48)));
        EXPECT_EQ(list.Close(), 1);
    }
}

} // namespace
} // namespace belvane
