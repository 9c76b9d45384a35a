#include "report/BlobReport.h"

#include <gtest/gtest.h>

#include "core/FieldText.h"
#include "report/ReportText.h"

namespace {

class BlobReportTest : public ::testing::Test {
protected:
    void TearDown() override { setDecimalSeparator('\0'); }
};

}  // namespace

TEST_F(BlobReportTest, LinesFollowTheParticlesArithmetic)
{
    setDecimalSeparator(',');
    ParameterTexts fields;  // 3952 pixels/mm, 378 mm^2, 0,143 cm^3
    TAnalysisState state;
    state.ImageWidth = 1600;
    state.ImageHeight = 1200;
    state.AutoCount = 7;  // the particles' count must not leak into the blob lines
    const std::vector<std::string> lines = blobReportLines(100, {2.35, 2.674, 3}, fields, state);
    EXPECT_EQ(lines, (std::vector<std::string>{"<Blob count:> 100", "<Blobs per filter:> 3,07E+05",
                                               "<Blobs per cm^3 of sample:> 2,15E+06",
                                               "<Blob settings (scale / threshold / distance):> 2,35 / 2,674 / 3"}));
}

TEST_F(BlobReportTest, SettingsReadBackFromAfterTheReportLines)
{
    for (char separator : {',', '.'}) {
        setDecimalSeparator(separator);
        std::vector<std::string> lines(kReportLineCount, "<x:> 1");
        const BlobSettings written{1.98, 0.105, 5};
        lines.push_back(kBlobSettingsLabel + blobSettingsText(written));
        std::string error;
        const auto read = readBlobSettings(lines, error);
        EXPECT_EQ(error, "");
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, written);
    }
    // The label inside the 21 lines (typed in a comment) is not the settings line; none: no error.
    std::vector<std::string> lines(kReportLineCount, "<x:> 1");
    lines[20] = std::string(kBlobSettingsLabel) + "1 / 1 / 1";
    std::string error;
    EXPECT_FALSE(readBlobSettings(lines, error).has_value());
    EXPECT_EQ(error, "");
}

TEST_F(BlobReportTest, UnusableSettingsAreRefusedWithTheirText)
{
    for (const char* value : {"2", "2 / 1", "0 / 1 / 3", "0.0000001 / 1 / 3", "0,49 / 1 / 3", "51 / 1 / 3", "2 / -1 / 3", "2 / 1 / -3", "2 / 1 / 1001",
                              "2 / x / 3", "nan / 1 / 3", "2 / inf / 3"}) {
        std::vector<std::string> lines(kReportLineCount, "<x:> 1");
        lines.push_back(kBlobSettingsLabel + std::string(value));
        std::string error;
        EXPECT_FALSE(readBlobSettings(lines, error).has_value()) << value;
        EXPECT_NE(error.find(std::string("line 21 ")), std::string::npos) << value << ": " << error;
        EXPECT_NE(error.find(value), std::string::npos) << error;
    }
}

// The blob lines without their settings line, or with two of them: refused, never the defaults or
// the first one taken in silence.
TEST_F(BlobReportTest, ABlobCountNeedsExactlyOneSettingsLine)
{
    ParameterTexts fields;
    TAnalysisState state;
    state.ImageWidth = 100;
    state.ImageHeight = 100;
    const std::vector<std::string> blobLines = blobReportLines(12, {1.5, 0.2, 2}, fields, state);
    std::vector<std::string> lines(kReportLineCount, "<x:> 1");
    lines.insert(lines.end(), blobLines.begin(), blobLines.end() - 1);  // the settings line lost
    std::string error;
    EXPECT_FALSE(readBlobSettings(lines, error).has_value());
    EXPECT_NE(error.find("line 21 gives a blob count, but no line holds the blob settings"), std::string::npos)
        << error;
    lines.push_back(blobLines.back());
    lines.push_back(std::string(kBlobSettingsLabel) + "3,00 / 1,000 / 4");
    error.clear();
    EXPECT_FALSE(readBlobSettings(lines, error).has_value());
    EXPECT_NE(error.find("lines 24 and 25 both hold blob settings"), std::string::npos) << error;
}
