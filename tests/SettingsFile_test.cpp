#include "core/SettingsFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A folder of each test's own: ctest runs the tests of this file at the same time.
fs::path ownFolder()
{
    return fs::temp_directory_path() /
           ("spottally_settings_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

struct Folders {
    fs::path base = ownFolder();
    fs::path program = base / "program";
    fs::path config = base / "config";
    Folders()
    {
        fs::remove_all(base);
        fs::create_directories(program);
    }
    ~Folders() { fs::remove_all(base); }
};

}  // namespace

TEST(SettingsFile, BesideAWritableProgramUnlessItIsInstalled)
{
    const Folders folders;
    EXPECT_EQ(settingsFilePath(folders.program, folders.config), folders.program / "SpotTally.ini");
    // The installed program never writes into bin/, even where it could (as root).
    EXPECT_EQ(settingsFilePath(folders.program, folders.config, folders.program), folders.config / "SpotTally.ini");
    EXPECT_EQ(settingsFilePath(folders.program, folders.config, folders.base / "elsewhere"),
              folders.program / "SpotTally.ini");
    EXPECT_EQ(settingsFilePath(folders.base / "missing", folders.config), folders.config / "SpotTally.ini");
}

TEST(SettingsFile, FirstLineOnlyAndWrittenWithCrLf)
{
    const Folders folders;
    const fs::path file = folders.config / "SpotTally.ini";
    SettingsRead read = readSettingsFile(file);
    EXPECT_FALSE(read.exists);
    EXPECT_EQ(writeSettingsFile(file, "/data/plates/"), "");  // creates the folder too
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "/data/plates/\r\n");
    std::ofstream(file, std::ios::binary) << "/first/\r\nsecond\r\n";
    read = readSettingsFile(file);
    EXPECT_TRUE(read.exists);
    EXPECT_EQ(read.firstLine, "/first/");
    std::ofstream(file, std::ios::binary | std::ios::trunc);
    EXPECT_EQ(readSettingsFile(file).firstLine, "");
    // A folder in the file's place: it exists but cannot be read, and cannot be written.
    fs::remove(file);
    fs::create_directories(file);
    EXPECT_NE(readSettingsFile(file).error, "");
    EXPECT_NE(writeSettingsFile(file, "x"), "");
}

// Entries after the folder line: written and read back, the folder line kept byte for byte whatever
// writes the file, lines of other forms and other keys kept, the folder line's own writer keeping them.
TEST(SettingsFile, LaterEntriesBesideAnUnchangedFolderLine)
{
    const Folders folders;
    const fs::path file = folders.config / "SpotTally.ini";
    const auto bytesOf = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    // A file that is not there yet gets an empty folder line, as a cancelled first "Open image" writes.
    EXPECT_EQ(writeSettingsValues(file, "recent-picture", {"/a/one.jpg"}), "");
    EXPECT_EQ(bytesOf(), "\r\nrecent-picture=/a/one.jpg\r\n");
    EXPECT_EQ(readSettingsFile(file).firstLine, "");

    const std::string folder = "/data/pl\xE4tes \xC3\xA9/";  // bytes of any code page
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        << folder << "\r\nplacement=1,2,3,4 5,6,7,8 9,10,11,12\r\nfrom a later version\r\nrecent-picture=/old.jpg\r\n";
    EXPECT_EQ(writeSettingsValues(file, "recent-picture", {"/b/two.jpg", "/a/one.jpg", "/bad\nname.jpg"}), "");
    EXPECT_EQ(bytesOf(), folder + "\r\nplacement=1,2,3,4 5,6,7,8 9,10,11,12\r\nfrom a later version\r\n"
                                  "recent-picture=/b/two.jpg\r\nrecent-picture=/a/one.jpg\r\n");
    SettingsRead read = readSettingsFile(file);
    EXPECT_EQ(read.firstLine, folder);
    EXPECT_EQ(settingsValues(read.laterLines, "recent-picture"), (std::vector<std::string>{"/b/two.jpg", "/a/one.jpg"}));
    EXPECT_EQ(settingsValues(read.laterLines, "placement"), (std::vector<std::string>{"1,2,3,4 5,6,7,8 9,10,11,12"}));
    EXPECT_TRUE(settingsValues(read.laterLines, "recent").empty());  // a key is matched whole

    // "Open image" replaces the folder line and nothing else.
    EXPECT_EQ(writeSettingsFile(file, "/elsewhere/"), "");
    read = readSettingsFile(file);
    EXPECT_EQ(read.firstLine, "/elsewhere/");
    EXPECT_EQ(read.laterLines.size(), 4u);
    EXPECT_EQ(bytesOf().rfind("/elsewhere/\r\nplacement=", 0), 0u);

    // A file that cannot be read is left alone.
    fs::remove(file);
    fs::create_directories(file);
    EXPECT_NE(writeSettingsValues(file, "placement", {"1,2,3,4 5,6,7,8 9,10,11,12"}), "");
    EXPECT_TRUE(fs::is_directory(file));
}

TEST(SettingsFile, RecentListMostRecentFirstWithoutRepeats)
{
    using List = std::vector<std::string>;
    EXPECT_EQ(withRecentFirst({}, "a", 3), (List{"a"}));
    EXPECT_EQ(withRecentFirst({"a", "b"}, "c", 3), (List{"c", "a", "b"}));
    EXPECT_EQ(withRecentFirst({"a", "b", "c"}, "b", 3), (List{"b", "a", "c"}));
    EXPECT_EQ(withRecentFirst({"a", "b", "c"}, "d", 3), (List{"d", "a", "b"}));
}
