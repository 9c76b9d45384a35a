#include "report/ReportText.h"

#include <gtest/gtest.h>

#include "core/FieldText.h"
#include "report/ReportFile.h"
#include "report/Results.h"

namespace {

class ReportTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setDecimalSeparator(',');
        state.ImageWidth = 1600;
        state.ImageHeight = 1200;
        state.AutoCount = 100;
        state.ImageFileName = "sample.jpg";
        state.TotalAreaPixels = 1234;
    }
    void TearDown() override { setDecimalSeparator('\0'); }

    ParameterTexts fields;  // the defaults: 3952 pixels/mm, 378 mm^2, "0,143"
    TAnalysisState state;
};

TEST_F(ReportTextTest, WorkedExampleGivesTheResults)
{
    computeResults(fields, state);
    EXPECT_NEAR(state.ParticlesPerFilter, 307485.36, 0.01);
    EXPECT_NEAR(state.ParticlesPerCm3, 2150247.27, 0.01);
    const std::vector<std::string> lines = reportLines(fields, state, "08.12.2026  14:03:09");
    const std::vector<std::string> expected = {
        "S p o t T a l l y  REPORT",
        "<do not change - except comments> ",
        "<Report file:> c_sample.txt",
        "<Image file analysed:> sample.jpg",
        "<Minimum size:> 5",
        "<Maximum size:> 8",
        "<Colour R / G / B:> 121 / 223 / 95",
        "<Colour tolerance:> 40",
        "<Brightness tolerance:> 50",
        "<Minimum contrast:> 40",
        "<Pixels per mm:> 3952",
        "<Filter area (mm^2):> 378",
        "<Sample volume (cm^3):> 0,143",
        "<_______________________________> ",
        "<RESULTS> 08.12.2026  14:03:09",
        "<Particles counted:> 100",
        "<including manually removed / added:> 0 / 0",
        "<Particles per filter:> 3,07E+05",
        "<Particles per cm^3 of sample:> 2,15E+06",
        "<_______________________________>",
        "<Comments: Total area (pixels):> 1,23E+03",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(ReportTextTest, CountOfZeroAndManualCorrections)
{
    state.AutoCount = 0;
    computeResults(fields, state);
    auto lines = reportLines(fields, state, "");
    EXPECT_EQ(lines[17], "<Particles per filter:> 0,00E+00");
    EXPECT_EQ(lines[18], "<Particles per cm^3 of sample:> 0,00E+00");
    state.AutoCount = 97;
    state.ManualRemoved = 5;
    state.ManualAdded = 2;
    lines = reportLines(fields, state, "");
    EXPECT_EQ(lines[15], "<Particles counted:> 97");
    EXPECT_EQ(lines[16], "<including manually removed / added:> 5 / 2");
}

TEST_F(ReportTextTest, LineTwoAlwaysPutsCPrefixInFront)
{
    const std::pair<const char*, const char*> cases[] = {
        {"CLIPBOARD.jpg", "<Report file:> c_CLIPBOARD.txt"},
        {"c_sample.jpg", "<Report file:> c_c_sample.txt"},
        {"abc", "<Report file:> c_.txt"},
        {"Bäume.tif", "<Report file:> c_Bäume.txt"},
        {"photo.jpeg", "<Report file:> c_photo.txt"},
    };
    for (const auto& [name, line] : cases) {
        state.ImageFileName = name;
        EXPECT_EQ(reportLines(fields, state, "")[2], line) << name;
    }
}

TEST_F(ReportTextTest, FailuresLeaveTheResultsAsTheyWere)
{
    state.ParticlesPerFilter = 11;
    state.ParticlesPerCm3 = 22;
    struct Case {
        const char* field;
        const char* text;
        const char* named;  // the message names the offending text
    };
    const Case cases[] = {
        {"Edfilter", "37x", "37x"}, {"Edpixmm", "", "Pixels / mm"}, {"Edpixmm", "0", "Pixels / mm is 0"},
        {"Edpixmm", "-3952", "-3952"},
        {"EdVol", "0,1.4", "0,1.4"}, {"EdVol", "0", "is 0"},        {"EdVol", "abc", "abc"},
    };
    for (const Case& c : cases) {
        ParameterTexts bad = fields;
        if (std::string(c.field) == "Edfilter") bad.Edfilter = c.text;
        if (std::string(c.field) == "Edpixmm") bad.Edpixmm = c.text;
        if (std::string(c.field) == "EdVol") bad.EdVol = c.text;
        try {
            computeResults(bad, state);
            ADD_FAILURE() << c.field << " '" << c.text << "' raised nothing";
        } catch (const FieldError& error) {
            EXPECT_NE(error.message.find(c.named), std::string::npos) << error.message;
        }
        EXPECT_EQ(state.ParticlesPerFilter, 11) << c.field << " " << c.text;
        EXPECT_EQ(state.ParticlesPerCm3, 22) << c.field << " " << c.text;
    }
    state.ImageWidth = 0;
    EXPECT_THROW(computeResults(fields, state), FieldError);
}

TEST_F(ReportTextTest, SampleVolumeTakesEitherSeparator)
{
    // A volume typed with the other separator is still read: a default text must never fail to convert.
    for (char regional : {'.', ','}) {
        setDecimalSeparator(regional);
        EXPECT_DOUBLE_EQ(readSampleVolume("0.143"), 0.143);
        EXPECT_DOUBLE_EQ(readSampleVolume("0,143"), 0.143);
        EXPECT_THROW(readSampleVolume("0,1,4"), FieldError);
        EXPECT_THROW(readSampleVolume(""), FieldError);
    }
}

TEST_F(ReportTextTest, LargeProductsDoNotWrap)
{
    fields.Edfilter = "100000";
    state.AutoCount = 100000;  // 10^10 does not fit in 32 bits
    computeResults(fields, state);
    EXPECT_GT(state.ParticlesPerFilter, 0);
}

TEST_F(ReportTextTest, CalcresReplacesOnlyExistingResultLines)
{
    state.AutoCount = 3;
    state.ManualAdded = 1;
    computeResults(fields, state);
    std::vector<std::string> shortText = {"folder/"};
    replaceResultLines(shortText, state);
    EXPECT_EQ(shortText, std::vector<std::string>{"folder/"});

    std::vector<std::string> sixteen(16, "x");
    replaceResultLines(sixteen, state);
    ASSERT_EQ(sixteen.size(), 16u);
    EXPECT_EQ(sixteen[14], "x");
    EXPECT_EQ(sixteen[15], "<Particles counted:> 3");

    std::vector<std::string> full = reportLines(fields, state, "now");
    full[19] = "<_______________________________> my note";
    full[20] += " and more";
    full.push_back("a comment below");
    const std::vector<std::string> before = full;
    state.AutoCount = 4;
    state.ManualAdded = 2;
    computeResults(fields, state);
    replaceResultLines(full, state);
    ASSERT_EQ(full.size(), before.size());
    for (std::size_t i = 0; i < full.size(); ++i) {
        if (i < 15 || i > 18) {
            EXPECT_EQ(full[i], before[i]) << "line " << i;
        }
    }
    EXPECT_EQ(full[15], "<Particles counted:> 4");
    EXPECT_EQ(full[16], "<including manually removed / added:> 0 / 2");
    EXPECT_EQ(full[17], "<Particles per filter:> 1,23E+04");
}

TEST(ReportChangeRule, CaptionAndExportButton)
{
    TAnalysisState state;
    for (std::uint8_t grid : {0, 25}) {
        state.GridMicrons = grid;
        for (std::uint8_t mode : {kExportOff, kExportXY, kExportStatistics}) {
            state.ExportMode = mode;
            // Statistics need a grid: without one the rule does not switch the button on.
            const bool canWork = mode == kExportXY || (mode == kExportStatistics && grid != 0);
            for (bool enabledNow : {false, true}) {
                const MemoChangeOutcome outcome = memoChangeRule(state, enabledNow);
                EXPECT_EQ(outcome.caption, "SpotTally Report (unsaved)");
                EXPECT_EQ(outcome.exportEnabled, enabledNow || canWork)
                    << int(mode) << enabledNow << int(grid);
            }
        }
    }
}

TEST(ReportDateTime, RegionalSettings)
{
    const LocalDateTime morning{2026, 3, 7, 9, 5, 3};
    const LocalDateTime evening{2026, 3, 7, 21, 5, 3};
    const LocalDateTime midnight{2026, 3, 7, 0, 15, 0};
    RegionalDateTime german;  // dd.MM.yyyy, 24 hours, leading zero
    EXPECT_EQ(reportDateTime(morning, german), "07.03.2026  09:05:03");
    RegionalDateTime us;
    us.shortDateFormat = "M/d/yyyy";
    us.twelveHour = true;
    us.hourLeadingZero = false;
    EXPECT_EQ(reportDateTime(morning, us), "3/7/2026  9:05:03 AM");
    EXPECT_EQ(reportDateTime(evening, us), "3/7/2026  9:05:03 PM");
    EXPECT_EQ(reportDateTime(midnight, us), "3/7/2026  12:15:00 AM");
    RegionalDateTime dotted = german;
    dotted.timeSeparator = ".";
    dotted.twelveHour = true;
    dotted.markerFirst = true;
    dotted.amText = "vorm.";
    EXPECT_EQ(reportDateTime(morning, dotted), "07.03.2026  vorm. 09.05.03");
}

// The damage line is one line whatever the reader's messages hold, and names them.
TEST(ReportText, DamagedPictureLine)
{
    const std::string label = kDamagedPictureLabel;
    EXPECT_EQ(damagedPictureLine({"'a.jpg' is damaged: Premature end of JPEG file."}),
              label + "'a.jpg' is damaged: Premature end of JPEG file.");
    EXPECT_EQ(damagedPictureLine({"Strip 3\rcut short", "line\r\nbreak"}),
              label + "Strip 3 cut short | line  break");
    EXPECT_EQ(damagedPictureLine({"1", "2", "3", "4", "5"}),
              label + "1 | 2 | 3 | and 2 more messages of the reader");
    EXPECT_EQ(damagedPictureLine({}), label + "the picture's reader found it damaged");
    // Its label is none of the 21 lines' labels, and the report reader's value rule takes the messages.
    EXPECT_EQ(reportLineValue(damagedPictureLine({"x"})), "x");
}

TEST(ReportText, SplitMemoText)
{
    EXPECT_TRUE(splitMemoText("").empty());
    EXPECT_EQ(splitMemoText("a"), std::vector<std::string>{"a"});
    EXPECT_EQ(splitMemoText("a\n"), std::vector<std::string>{"a"});
    EXPECT_EQ(splitMemoText("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(splitMemoText("\n"), std::vector<std::string>{""});
}

}  // namespace
