#include "cli/Options.h"

#include <gtest/gtest.h>

#include "core/FieldText.h"

namespace {

OptionsResult parse(std::vector<std::string> arguments, ReportParameterReader reader = nullptr)
{
    return parseCounterOptions(arguments, reader);
}

// A report with the parameter lines 4 to 6 only, unless its name says otherwise.
ReportReading fakeReport(const std::filesystem::path& report)
{
    ReportReading reading;
    if (report == "missing.txt") {
        reading.error = "cannot open";
        return reading;
    }
    reading.Edmin = "3";
    reading.EdMax = "12";
    reading.EdR = "200";
    reading.EdG = "0";
    reading.EdB = "0";
    reading.panelColour = 200;
    if (report == "r.txt") {
        reading.EdDevi = reading.Edhell = reading.EdCont = "40";
        reading.Edpixmm = "3952";
        reading.Edfilter = "378";
        reading.EdVol = "0,143";
    }
    if (report == "negative-area.txt") reading.Edfilter = "-378";
    if (report == "zero-volume.txt") reading.EdVol = "0";
    return reading;
}

}  // namespace

TEST(CounterOptions, DefaultsAreTheWindowsDefaults)
{
    const OptionsResult result = parse({"a.jpg"});
    ASSERT_EQ(result.error, "");
    const ParameterTexts defaults;
    EXPECT_EQ(result.options.texts.Edmin, defaults.Edmin);
    EXPECT_EQ(result.options.texts.EdR, "121");
    EXPECT_EQ(result.options.gridMicrons, 25);
    EXPECT_EQ(result.options.scaleMicrons, 25);
    EXPECT_GE(result.options.jobs, 1);
    ASSERT_EQ(result.options.pictures.size(), 1u);
}

TEST(CounterOptions, EveryValueTakesBothForms)
{
    setDecimalSeparator(',');
    const OptionsResult result =
        parse({"--min-size", "4", "--max-size=10", "--colour", "10,20,30", "--colour-tolerance=7",
               "--brightness-tolerance", "8", "--min-contrast", "9", "--pixels-per-mm", "2000", "--filter-area",
               "100", "--volume", "0.5", "--grid", "0", "--scale=100", "--out", "o", "--marked", "--xy",
               "--stats", "--summary", "s.csv", "--jobs", "3", "x.bmp", "y.tif"});
    setDecimalSeparator('\0');
    ASSERT_EQ(result.error, "");
    const CounterOptions& o = result.options;
    EXPECT_EQ(o.texts.Edmin, "4");
    EXPECT_EQ(o.texts.EdMax, "10");
    EXPECT_EQ(o.texts.EdR + o.texts.EdG + o.texts.EdB, "102030");
    EXPECT_EQ(o.texts.EdDevi, "7");
    EXPECT_EQ(o.texts.Edhell, "8");
    EXPECT_EQ(o.texts.EdCont, "9");
    EXPECT_EQ(o.texts.Edpixmm, "2000");
    EXPECT_EQ(o.texts.Edfilter, "100");
    EXPECT_EQ(o.texts.EdVol, "0,5");  // the regional separator, as the window would hold it
    EXPECT_EQ(o.gridMicrons, 0);
    EXPECT_EQ(o.scaleMicrons, 100);
    EXPECT_EQ(o.outFolder, "o");
    EXPECT_TRUE(o.marked && o.xy && o.stats);
    EXPECT_EQ(o.summaryFile, "s.csv");
    EXPECT_EQ(o.jobs, 3);
    EXPECT_EQ(o.pictures.size(), 2u);
}

TEST(CounterOptions, VolumeTakesEitherSeparator)
{
    setDecimalSeparator('.');
    EXPECT_EQ(parse({"--volume", "0,25", "a.jpg"}).options.texts.EdVol, "0.25");
    EXPECT_EQ(parse({"--volume", "0.25", "a.jpg"}).options.texts.EdVol, "0.25");
    setDecimalSeparator('\0');
}

TEST(CounterOptions, BadOptionsAreRefusedWithAReason)
{
    const std::vector<std::vector<std::string>> bad = {
        {},                                  // no picture
        {"--min-size", "256", "a.jpg"},      // beyond the held range
        {"--min-size", "-1", "a.jpg"},
        {"--min-size", "five", "a.jpg"},
        {"--colour", "1,2", "a.jpg"},
        {"--colour", "1,2,3,4", "a.jpg"},
        {"--colour", "1,2,300", "a.jpg"},
        {"--volume", "0", "a.jpg"},
        {"--volume", "x", "a.jpg"},
        {"--pixels-per-mm", "0", "a.jpg"},
        {"--jobs", "0", "a.jpg"},
        {"--grid", "a.jpg"},                 // the picture taken as the value
        {"--max-size"},                      // value missing
        {"--bogus", "a.jpg"},
        {"-x", "a.jpg"},
        {"--marked=yes", "a.jpg"},
    };
    for (const auto& arguments : bad) {
        const OptionsResult result = parse(arguments);
        std::string joined;
        for (const auto& a : arguments) joined += a + " ";
        EXPECT_NE(result.error, "") << joined;
    }
}

TEST(CounterOptions, LaterOptionsOverrideTheReport)
{
    OptionsResult result = parse({"--min-size", "9", "--params-from", "r.txt", "--max-size", "20", "a.jpg"},
                                 fakeReport);
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.options.texts.Edmin, "3");   // the report overrides what came before it
    EXPECT_EQ(result.options.texts.EdMax, "20");  // and what comes after overrides the report
    EXPECT_EQ(result.options.texts.EdR, "200");
    result = parse({"--params-from", "missing.txt", "a.jpg"}, fakeReport);
    EXPECT_NE(result.error.find("cannot open"), std::string::npos);
}

TEST(CounterOptions, HelpNeedsNoPicture)
{
    const OptionsResult result = parse({"--help"});
    EXPECT_EQ(result.error, "");
    EXPECT_TRUE(result.options.help);
    EXPECT_NE(counterUsage().find("--params-from"), std::string::npos);
}

// A report without some parameter lines is no silent fall-back to the defaults: every line it lacks
// is named, unless an option, before or after it, gives that value.
TEST(CounterOptions, AReportLackingParameterLinesNeedsThemAsOptions)
{
    const struct {
        std::vector<std::string> arguments;
        std::vector<std::string> named;    // lines the error must name
        std::vector<std::string> unnamed;  // lines it must not name
    } cases[] = {
        {{"--params-from", "short.txt", "a.jpg"},
         {"7 (--colour-tolerance)", "8 (--brightness-tolerance)", "9 (--min-contrast)", "10 (--pixels-per-mm)",
          "11 (--filter-area)", "12 (--volume)"},
         {"4 (", "5 (", "6 ("}},
        {{"--volume", "1", "--params-from", "short.txt", "--filter-area", "20", "a.jpg"},
         {"7 (--colour-tolerance)", "10 (--pixels-per-mm)"},
         {"11 (", "12 ("}},
        {{"--colour-tolerance=1", "--brightness-tolerance=2", "--min-contrast=3", "--params-from=short.txt",
          "--pixels-per-mm=4", "--filter-area=5", "--volume=6", "a.jpg"},
         {},
         {}},
    };
    for (const auto& c : cases) {
        const OptionsResult result = parse(c.arguments, fakeReport);
        if (c.named.empty()) {
            EXPECT_EQ(result.error, "");
            EXPECT_EQ(result.options.texts.Edmin, "3");
            EXPECT_EQ(result.options.texts.Edfilter, "5");
            continue;
        }
        EXPECT_NE(result.error.find("short.txt"), std::string::npos) << result.error;
        for (const std::string& line : c.named) EXPECT_NE(result.error.find(line), std::string::npos) << result.error;
        for (const std::string& line : c.unnamed) EXPECT_EQ(result.error.find(line), std::string::npos) << result.error;
    }
    EXPECT_EQ(parse({"--params-from", "r.txt", "a.jpg"}, fakeReport).error, "");
}

// A report's filter area and volume are refused where the options' would be; a long value is cut.
TEST(CounterOptions, ReportValuesAndLongValuesInMessages)
{
    EXPECT_NE(parse({"--params-from", "negative-area.txt", "a.jpg"}, fakeReport).error.find("-378"),
              std::string::npos);
    EXPECT_NE(parse({"--params-from", "zero-volume.txt", "a.jpg"}, fakeReport).error.find("volume"),
              std::string::npos);
    const std::string huge(100000, 'x');
    for (const char* option : {"--min-size", "--volume", "--colour", "--jobs"}) {
        const std::string error = parse({option, huge, "a.jpg"}).error;
        EXPECT_NE(error, "");
        EXPECT_LT(error.size(), 200u) << option;
        EXPECT_NE(error.find("(100000 bytes)"), std::string::npos) << error;
    }
    EXPECT_LT(parse({"--" + huge, "a.jpg"}).error.size(), 200u);
}
