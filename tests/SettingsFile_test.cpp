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
