#include "report/ReportFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>

#include "core/FieldText.h"
#include "report/Results.h"
#include "report/ReportText.h"

namespace fs = std::filesystem;

namespace {

class ReportFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        folder = fs::temp_directory_path() / ("spottally-report-" + std::to_string(seed()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    static std::string bytesOf(const fs::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    static void put(const fs::path& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::size_t filesInFolder() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    fs::path folder;
};

TEST(ReportFileNames, DerivedNames)
{
    struct Case {
        const char* picture;
        const char* report;
        const char* marked;
    };
    const Case cases[] = {
        {"sample.jpg", "c_sample.txt", "c_sample.jpg"},   {"c_sample.jpg", "c_sample.txt", "c_sample.jpg"},
        {"sample.bmp", "c_sample.txt", "c_sample.bmp"},   {"my.jpg.old", "c_my.jpg.txt", "c_my.jpg.old"},
        {"", "c_.txt", "c_"},                             {"C_up.jpg", "c_C_up.txt", "c_C_up.jpg"},
        {"Bäume.tif", "c_Bäume.txt", "c_Bäume.tif"},
        // A four-letter picture suffix goes whole; three-letter ones as before.
        {"photo.jpeg", "c_photo.txt", "c_photo.jpeg"},    {"scan.TIFF", "c_scan.txt", "c_scan.TIFF"},
        {"plate.png", "c_plate.txt", "c_plate.png"},      {"plate.jpe", "c_plate.txt", "c_plate.jpe"},
        {"my.jpeg.old", "c_my.jpeg.txt", "c_my.jpeg.old"},
        {"scan 12:30:45.jpg", "c_scan 12:30:45.txt", "c_scan 12:30:45.jpg"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reportFileName(c.picture), c.report) << c.picture;
        EXPECT_EQ(markedPictureName(c.picture), c.marked) << c.picture;
    }
}

TEST(ReportFileNames, ClipboardRenameDecisions)
{
    using Outcome = ClipboardRename::Outcome;
    struct Case {
        const char* chosen;
        bool exists;
        Outcome outcome;
        const char* newName;
    };
    const Case cases[] = {
        {"/pictures/plate7", false, Outcome::Rename, "plate7.jpg"},
        {"/pictures/plate7.JPG", false, Outcome::Rename, "plate7.JPG"},
        {"/pictures/my.jpg.old", false, Outcome::Rename, "my.jpg.old.jpg"},  // must open again as JPEG
        {"/pictures/plate7.jpeg", false, Outcome::Rename, "plate7.jpeg"},
        {"/pictures/plate7.Jpg", false, Outcome::Rename, "plate7.Jpg"},
        {"/pictures.jpg/plate7", false, Outcome::Rename, "plate7.jpg"},
        {"/pictures/scan 12:30.jpg", false, Outcome::Rename, "scan 12:30.jpg"},
        {"/pictures/plate7.png", false, Outcome::Rename, "plate7.png.jpg"},
        {"/pictures/plate7.jpg", true, Outcome::NameExists, ""},
        {"", false, Outcome::Cancelled, ""},
    };
    for (const Case& c : cases) {
        const ClipboardRename decision = decideClipboardRename(c.chosen, c.exists);
        EXPECT_EQ(decision.outcome, c.outcome) << c.chosen;
        EXPECT_EQ(decision.newName, c.newName) << c.chosen;
        EXPECT_EQ(decision.warning, c.outcome == Outcome::NameExists ? "Name does already exist!" : "");
    }
    EXPECT_EQ(std::string(kClipboardMissingWarning), "File \u00b4CLIPBOARD.jpg\u00b4 not found!");

    TAnalysisState state;
    state.ImageFileName = "CLIPBOARD.jpg";
    EXPECT_FALSE(needsClipboardRename(state));
    state.ReportActive = true;
    EXPECT_TRUE(needsClipboardRename(state));
    state.ImageFileName = "clipboard.jpg";
    EXPECT_FALSE(needsClipboardRename(state));
}

TEST(ReportFileNames, SavingRewritesLinesTwoAndThree)
{
    std::vector<std::string> lines = {"a", "b", "<Report file:> c_c_sample.txt", "old", "rest"};
    rewriteNameLines(lines, "c_sample.jpg");
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "<Report file:> c_sample.txt",
                                               "<Image file analysed:> c_sample.jpg", "rest"}));
    std::vector<std::string> shortText = {"a", "b", "c"};
    rewriteNameLines(shortText, "x.jpg");
    EXPECT_EQ(shortText, (std::vector<std::string>{"a", "b", "<Report file:> c_x.txt"}));
}

// A count kept beside an earlier report gets numbered names; only those names read back as numbered.
TEST(ReportFileNames, NumberedNamesOfAKeptCount)
{
    EXPECT_EQ(numberedName("c_plate.txt", 2), "c_plate-2.txt");
    EXPECT_EQ(numberedName("c_plate.edits", 12), "c_plate-12.edits");
    EXPECT_EQ(numberedName("c_my.jpg.old", 3), "c_my.jpg-3.old");
    EXPECT_EQ(numberedName("c_plate", 2), "c_plate-2");
    EXPECT_EQ(numberedName(".txt", 2), ".txt-2");
    const struct {
        const char* fileName;
        std::optional<int> number;
    } cases[] = {{"c_plate.txt", 0},
                 {"c_plate-2.txt", 2},
                 {"c_plate-17.txt", 17},
                 {"c_plate-1.txt", std::nullopt},
                 {"c_plate-02.txt", std::nullopt},
                 {"c_plate-.txt", std::nullopt},
                 {"c_plate-2a.txt", std::nullopt},
                 {"c_plate2.txt", std::nullopt},
                 {"c_plate-2.txt.bak", std::nullopt},
                 {"c_other-2.txt", std::nullopt},
                 {"c_plate-99999999999.txt", std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(reportNumber(c.fileName, "c_plate.txt"), c.number) << c.fileName;
    for (const int n : {2, 9, 10, 4711})
        EXPECT_EQ(reportNumber(numberedName("c_a.b.txt", n), "c_a.b.txt"), n);
}

TEST(ReportFileCharacters, Windows1252BothWays)
{
    const Windows1252Text encoded = encodeWindows1252("a\u00b4\u00b5\u00e9\u20ac\u2122\u00ff");
    EXPECT_EQ(encoded.bytes, "a\xB4\xB5\xE9\x80\x99\xFF");
    EXPECT_EQ(encoded.unrepresentable, 0u);
    const Windows1252Text lossy = encodeWindows1252("x\u2192y\xFFz");  // an arrow and a broken byte
    EXPECT_EQ(lossy.bytes, "x?y?z");
    EXPECT_EQ(lossy.unrepresentable, 2u);
    // Every byte, the five undefined ones included, comes back unchanged.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const Windows1252Text again = encodeWindows1252(decodeWindows1252(all));
    EXPECT_EQ(again.bytes, all);
    EXPECT_EQ(again.unrepresentable, 0u);
}

TEST_F(ReportFileTest, WritesWindows1252WithCrLfAfterEveryLine)
{
    const fs::path path = folder / "c_sample.txt";
    const FileSaveOutcome outcome = writeReportFile(path, {"S p o t", "File \u00b4x\u00b4 \u00b5m", "", "last"});
    ASSERT_TRUE(outcome.saved()) << outcome.error;
    EXPECT_TRUE(outcome.warning.empty());
    EXPECT_EQ(bytesOf(path), "S p o t\r\nFile \xB4x\xB4 \xB5m\r\n\r\nlast\r\n");

    const FileSaveOutcome lossy = writeReportFile(path, {"a \u2192 b"});
    ASSERT_TRUE(lossy.saved());
    EXPECT_NE(lossy.warning.find("1 character"), std::string::npos) << lossy.warning;
    EXPECT_EQ(bytesOf(path), "a ? b\r\n");
    EXPECT_EQ(filesInFolder(), 1u);
}

TEST_F(ReportFileTest, RoundTripRestoresEveryParameter)
{
    setDecimalSeparator(',');
    ParameterTexts saved;
    saved.Edmin = "3";
    saved.EdMax = "12";
    saved.EdR = "121";
    saved.EdG = "223";
    saved.EdB = "95";
    saved.EdDevi = "37";
    saved.Edhell = "61";
    saved.EdCont = " 44";  // values are taken as they stand, blanks included
    saved.Edpixmm = "4100";
    saved.Edfilter = "380";
    saved.EdVol = "0,25";
    TAnalysisState state;
    state.ImageWidth = 640;
    state.ImageHeight = 480;
    state.AutoCount = 17;
    state.ImageFileName = "Bäume.jpg";
    computeResults(saved, state);
    std::vector<std::string> lines = reportLines(saved, state, "today  now");
    rewriteNameLines(lines, state.ImageFileName);
    lines.push_back("Poisson statistics > 3 fields: 1,230");  // appended statistics are not read
    const fs::path path = folder / reportFileName(state.ImageFileName);
    ASSERT_TRUE(writeReportFile(path, lines).saved());

    const ReportReading reading = readReportFile(path);
    ASSERT_TRUE(reading.error.empty()) << reading.error;
    EXPECT_EQ(reading.lines, lines);
    EXPECT_EQ(reading.pictureName, "Bäume.jpg");
    EXPECT_EQ(reading.panelColour, 6283129u);  // 0x5FDF79
    EXPECT_TRUE(reading.missingLinesMessage.empty());
    ParameterTexts restored;
    restored.Edmin = restored.EdMax = restored.EdR = restored.EdG = restored.EdB = "old";
    restored.EdDevi = restored.Edhell = restored.EdCont = restored.Edpixmm = restored.Edfilter = "old";
    restored.EdVol = "old";
    const ReportFieldsOutcome outcome = applyReportFields(reading, restored);
    EXPECT_TRUE(outcome.complete);
    EXPECT_TRUE(outcome.messages.empty());
    const auto all = [](const ParameterTexts& t) {
        return std::vector<std::string>{t.Edmin, t.EdMax, t.EdR,     t.EdG,      t.EdB,      t.EdDevi,
                                        t.Edhell, t.EdCont, t.Edpixmm, t.Edfilter, t.EdVol};
    };
    EXPECT_EQ(all(restored), all(saved));
    setDecimalSeparator('\0');
}

TEST(ReportFileReading, LineEndsValuesAndColourSplit)
{
    const ReportReading reading = readReportText("a\r\nb\nc\rd\r\n\r\nf", "r.txt");
    EXPECT_EQ(reading.lines, (std::vector<std::string>{"a", "b", "c", "d", "", "f"}));
    EXPECT_TRUE(readReportText("", "r.txt").lines.empty());

    EXPECT_EQ(reportLineValue("<Minimum size:> 5"), "5");
    EXPECT_EQ(reportLineValue("<Label:>  7 > 2 "), " 7 > 2 ");
    EXPECT_EQ(reportLineValue("no label"), "o label");
    EXPECT_EQ(reportLineValue("\u00e9t\u00e9"), "t\u00e9");
    EXPECT_EQ(reportLineValue(""), "");

    struct Case {
        const char* value;
        const char* red;
        const char* green;
        const char* blue;
    };
    const Case cases[] = {
        {"121 / 223 / 95", "121", "223", "95"},
        {"1 / 2 / 3 / 4", "1", "2", "3 / 4"},
        {"121", "121", "", ""},
        {"12x / 223 / 95", "12x", "223", "95"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        const ColourTexts colour = splitColourValue(c.value);
        EXPECT_EQ(colour.red, c.red) << c.value;
        EXPECT_EQ(colour.green, c.green) << c.value;
        EXPECT_EQ(colour.blue, c.blue) << c.value;
    }
}

// Builds a report's bytes from the first `count` of the reference lines, with line 6 replaced.
std::string reportBytes(std::size_t count, const std::string& colourLine = "<Colour R / G / B:> 1 / 2 / 3")
{
    std::vector<std::string> lines = {"S p o t T a l l y  REPORT", "<x> ", "<Report file:> c_p.txt",
                                      "<Image file analysed:> p.jpg", "<Minimum size:> 4", "<Maximum size:> 9",
                                      colourLine, "<Colour tolerance:> 41", "<Brightness tolerance:> 42",
                                      "<Minimum contrast:> 43", "<Pixels per mm:> 44", "<Filter area (mm^2):> 45",
                                      "<Sample volume (cm^3):> 46"};
    std::string bytes;
    for (std::size_t i = 0; i < count && i < lines.size(); ++i) bytes += lines[i] + "\r\n";
    return bytes;
}

TEST(ReportFileReading, IncompleteReportsTakeWhatTheyHave)
{
    const ParameterTexts before;
    struct Case {
        std::string bytes;
        bool complete;
        std::vector<std::string> fields;  // Edmin EdMax EdR EdG EdB EdDevi Edhell EdCont Edpixmm Edfilter EdVol
        std::vector<std::string> messageParts;
    };
    const Case cases[] = {
        {reportBytes(13), true, {"4", "9", "1", "2", "3", "41", "42", "43", "44", "45", "46"}, {}},
        // Too short for the colour: lines 4 and 5 are taken, nothing after them.
        {reportBytes(5), false, {"4", "8", "121", "223", "95", "40", "50", "40", "3952", "378", "0,143"},
         {"lines 5 to 12 are missing"}},
        {reportBytes(6), false, {"4", "9", "121", "223", "95", "40", "50", "40", "3952", "378", "0,143"},
         {"lines 6 to 12 are missing"}},
        // A bad colour: the three colour texts are taken, the lines after them are not.
        {reportBytes(13, "<Colour R / G / B:> 12x / 223 / 95"), false,
         {"4", "9", "12x", "223", "95", "40", "50", "40", "3952", "378", "0,143"}, {"12x", "colour"}},
        // Short after the colour: what is there is taken, the window still opens.
        {reportBytes(9), true, {"4", "9", "1", "2", "3", "41", "42", "40", "3952", "378", "0,143"},
         {"lines 9 to 12 are missing"}},
        {"", false, {"5", "8", "121", "223", "95", "40", "50", "40", "3952", "378", "0,143"},
         {"lines 3 to 12 are missing"}},
    };
    for (const Case& c : cases) {
        const ReportReading reading = readReportText(c.bytes, "c_p.txt");
        ParameterTexts fields = before;
        const ReportFieldsOutcome outcome = applyReportFields(reading, fields);
        const std::vector<std::string> got = {fields.Edmin,  fields.EdMax,  fields.EdR,     fields.EdG,
                                              fields.EdB,    fields.EdDevi, fields.Edhell,  fields.EdCont,
                                              fields.Edpixmm, fields.Edfilter, fields.EdVol};
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(outcome.complete, c.complete);
        EXPECT_EQ(got, c.fields);
        std::string messages;
        for (const std::string& message : outcome.messages) messages += message + "\n";
        EXPECT_EQ(outcome.messages.empty(), c.messageParts.empty()) << messages;
        for (const std::string& part : c.messageParts) EXPECT_NE(messages.find(part), std::string::npos) << messages;
        if (!c.messageParts.empty()) {
            EXPECT_NE(messages.find("c_p.txt"), std::string::npos) << messages;
        }
    }
}

TEST_F(ReportFileTest, UnreadableReportsGiveAMessage)
{
    EXPECT_NE(readReportFile(folder / "none.txt").error.find("none.txt"), std::string::npos);
    EXPECT_NE(readReportFile(folder).error.find("not a file"), std::string::npos);
}

TEST_F(ReportFileTest, FailedSaveKeepsTheOldFile)
{
    const fs::path path = folder / "c_sample.txt";
    put(path, "old report\r\n");
    // A disk that fills up after a few bytes.
    int calls = 0;
    const ByteWriter diskFull = [&](int fd, const char* data, std::size_t size) -> long {
        if (calls++ == 0) return ::write(fd, data, std::min<std::size_t>(size, 4));
        errno = ENOSPC;
        return -1;
    };
    const FileSaveOutcome outcome = writeReportFile(path, {"new report, much longer"}, diskFull);
    EXPECT_FALSE(outcome.saved());
    EXPECT_NE(outcome.error.find("c_sample.txt"), std::string::npos) << outcome.error;
    EXPECT_NE(outcome.error.find(std::strerror(ENOSPC)), std::string::npos) << outcome.error;
    EXPECT_EQ(bytesOf(path), "old report\r\n");
    EXPECT_EQ(filesInFolder(), 1u);  // no temporary file left behind

    EXPECT_FALSE(writeReportFile(folder / "no such folder" / "c_x.txt", {"x"}).saved());
    ASSERT_TRUE(writeReportFile(path, {"new"}).saved());
    EXPECT_EQ(bytesOf(path), "new\r\n");
}

TEST_F(ReportFileTest, RenameNeverReplacesAFile)
{
    const fs::path clipboard = folder / "CLIPBOARD.jpg";
    const fs::path taken = folder / "plate7.jpg";
    put(clipboard, "pasted");
    put(taken, "precious");
    const std::string refused = renameWithoutReplacing(clipboard, taken);
    EXPECT_NE(refused.find("plate7.jpg"), std::string::npos) << refused;
    EXPECT_EQ(bytesOf(clipboard), "pasted");
    EXPECT_EQ(bytesOf(taken), "precious");
    EXPECT_EQ(renameWithoutReplacing(clipboard, folder / "plate8.jpg"), "");
    EXPECT_FALSE(fs::exists(clipboard));
    EXPECT_EQ(bytesOf(folder / "plate8.jpg"), "pasted");
    EXPECT_FALSE(renameWithoutReplacing(clipboard, folder / "plate9.jpg").empty());  // gone already
}

}  // namespace

namespace {

// Arbitrary bytes: reading never fails on content, and each line written back gives its bytes again.
TEST(ReportFileReading, AnyBytesReadAndWriteBackUnchanged)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(random() % 400, '\0');
        for (char& b : bytes) b = static_cast<char>(random() % 256);
        const ReportReading reading = readReportText(bytes, "random.txt");
        EXPECT_TRUE(reading.error.empty());
        std::string written;
        for (const std::string& line : reading.lines) written += encodeWindows1252(line).bytes + "\n";
        std::string expected = bytes;
        // Line ends come back as single line feeds.
        std::string normal;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (expected[i] == '\r' && i + 1 < expected.size() && expected[i + 1] == '\n') continue;
            normal += expected[i] == '\r' ? '\n' : expected[i];
        }
        if (!normal.empty() && normal.back() != '\n') normal += '\n';
        EXPECT_EQ(written, normal) << "round " << round;
        ParameterTexts fields;
        applyReportFields(reading, fields);  // must not crash whatever the lines hold
    }
}

}  // namespace
