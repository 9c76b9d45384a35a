#include "core/HelpTexts.h"
#include "core/Version.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

TEST(HelpTexts, BoxesSeparateLinesByLineFeedThenCarriageReturn)
{
    for (const std::string& text : {infoText(), manualNotFoundText()}) {
        EXPECT_EQ(text.rfind("S p o t T a l l y\n\r", 0), 0u) << text;
        EXPECT_EQ(text.find("\r\n"), std::string::npos);
        std::size_t breaks = 0;
        for (std::size_t at = text.find("\n\r"); at != std::string::npos; at = text.find("\n\r", at + 2)) ++breaks;
        EXPECT_EQ(breaks, 3u);
    }
    EXPECT_NE(infoText().find(std::string("\n\rVersion ") + kProgramVersion), std::string::npos);
    EXPECT_NE(manualNotFoundText().find("\n\rManual (SpotTally_Manual.txt) not found.\n\rPlease look at "),
              std::string::npos);
}

TEST(HelpTexts, BuiltInManualHasItsSectionsInOrder)
{
    const auto& lines = builtInManualLines();
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines[0].rfind("S p o t T a l l y    ", 0), 0u);
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], std::string("M a n u a l   Version ") + kProgramVersion);
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "");
    const std::string separator(18, '_');
    const std::vector<std::string> headings = {
        separator,       "General description",          separator, "Installation",
        separator,       "Image files",                  separator + " Parameters used",
        separator,       "Size",                         separator, "Colour, brightness, contrast",
        separator,       "Calculation parameters",       separator + " Optimizing the results",
        separator,       "Report",                       std::string(19, '_')};
    std::size_t next = 0;
    for (const std::string& line : lines)
        if (next < headings.size() && line == headings[next]) ++next;
    EXPECT_EQ(next, headings.size()) << "missing from: " << headings[std::min(next, headings.size() - 1)];
}

TEST(HelpTexts, ManualIsFoundBesideTheProgramFirst)
{
    const auto base =
        std::filesystem::temp_directory_path() / ("spottally_manual_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base / "bin");
    std::filesystem::create_directories(base / "share");
    EXPECT_TRUE(findManualFile(base / "bin", base / "share").empty());
    std::ofstream(base / "share" / kManualFileName) << "installed";
    EXPECT_EQ(findManualFile(base / "bin", base / "share"), base / "share" / kManualFileName);
    std::ofstream(base / "bin" / kManualFileName) << "portable";
    EXPECT_EQ(findManualFile(base / "bin", base / "share"), base / "bin" / kManualFileName);
    std::filesystem::remove_all(base);
}

// The build's one version: the Info box (above), the built-in manual, the manual file and the man page
// as the build configures them for installing.
TEST(HelpTexts, OneVersionFromTheBuildEverywhere)
{
    const std::string version = kProgramVersion;
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(version.find_first_not_of("0123456789."), std::string::npos) << version;
    const auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const std::string manual = read(std::string(SPOTTALLY_BINARY_DIR) + "/SpotTally_Manual.txt");
    const std::string manPage = read(std::string(SPOTTALLY_BINARY_DIR) + "/man/spottally-count.1");
    EXPECT_NE(manual.find("\nM a n u a l   Version " + version + "\n"), std::string::npos);
    EXPECT_NE(manPage.find("\n.TH SPOTTALLY-COUNT 1 \"2026\" \"SpotTally " + version + "\""), std::string::npos);
    for (const std::string* text : {&manual, &manPage}) EXPECT_EQ(text->find("@PROJECT_VERSION@"), std::string::npos);
}
