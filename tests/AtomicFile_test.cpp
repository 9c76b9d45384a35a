#include "core/AtomicFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        folder = fs::temp_directory_path() / ("spottally-atomic-" + std::to_string(seed()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    static std::string bytesOf(const fs::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    static void put(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    // Sets a file's modification time an hour back: a file left by an earlier run.
    static void makeOld(const fs::path& path)
    {
        struct timespec times[2];
        ::clock_gettime(CLOCK_REALTIME, &times[0]);
        times[0].tv_sec -= 3600;
        times[1] = times[0];
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    fs::path folder;
};

// No write bit: refused whoever runs the program (root included), the file and its mode kept.
// A target with any write bit is replaced and keeps its mode.
TEST_F(AtomicFileTest, WriteProtectedTargetsAreRefused)
{
    const struct {
        fs::perms mode;
        bool replaced;
    } cases[] = {{fs::perms(0444), false}, {fs::perms(0400), false}, {fs::perms(0000), false},
                 {fs::perms(0644), true},  {fs::perms(0200), true},  {fs::perms(0464), true}};
    for (const auto& c : cases) {
        const fs::path path = folder / "c_x.txt";
        fs::remove(path);
        put(path, "old");
        fs::permissions(path, c.mode);
        const FileSaveOutcome outcome = writeFileAtomically(path, "new");
        EXPECT_EQ(outcome.saved(), c.replaced) << static_cast<int>(c.mode);
        EXPECT_EQ(bytesOf(path), c.replaced ? "new" : "old") << static_cast<int>(c.mode);
        EXPECT_EQ(fs::status(path).permissions(), c.mode);
        if (!c.replaced) {
            EXPECT_EQ(outcome.error, "Cannot write the file " + quotedPath(path) + ": the file is write-protected");
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

// A 255-character name (the longest a folder entry may have) is written: the temporary name is short.
TEST_F(AtomicFileTest, LongestNamesAreWritten)
{
    for (std::size_t length : {246u, 250u, 255u}) {
        const fs::path path = folder / (std::string(length - 4, 'n') + ".txt");
        const FileSaveOutcome outcome = writeFileAtomically(path, "report");
        EXPECT_TRUE(outcome.saved()) << length << ": " << outcome.error;
        EXPECT_EQ(bytesOf(path), "report");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
}

// Temporary files of killed runs go on the next save in their folder; nothing else does: not a file
// of this run, not one a writer still holds, not a name of another pattern, not a link or a folder.
TEST_F(AtomicFileTest, StaleTemporaryFilesOfOurNamingAreRemoved)
{
    const std::string prefix = kTemporaryPrefix;
    const fs::path stale = folder / (prefix + "a1B2c3");
    const fs::path fresh = folder / (prefix + "Zz9Yy8");
    const fs::path held = folder / (prefix + "heldAA");
    const fs::path otherPattern[] = {folder / (prefix + "a1B2c"), folder / (prefix + "a1B2c3d"),
                                     folder / (prefix + "a1B2c."), folder / ("x" + prefix + "a1B2c3"),
                                     folder / ".c_x.txt.a1B2c3", folder / "c_x.txt"};
    const fs::path folderLike = folder / (prefix + "dirdir");
    const fs::path link = folder / (prefix + "linkAA");
    put(stale, "partial");
    put(fresh, "being written");
    put(held, "being written slowly");
    for (const fs::path& path : otherPattern) put(path, "keep");
    fs::create_directory(folderLike);
    fs::create_symlink(otherPattern[5], link);
    for (const fs::path& path : {stale, held, otherPattern[0], otherPattern[1], otherPattern[2], otherPattern[3],
                                 otherPattern[4], otherPattern[5]})
        makeOld(path);
    // fresh keeps its time: it was made during this run.
    const int holder = ::open(held.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    ASSERT_TRUE(writeFileAtomically(folder / "c_y.txt", "report").saved());
    ::close(holder);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_TRUE(fs::exists(held));
    for (const fs::path& path : otherPattern) EXPECT_EQ(bytesOf(path), "keep") << path;
    EXPECT_TRUE(fs::is_directory(folderLike));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(bytesOf(folder / "c_y.txt"), "report");
}

}  // namespace
