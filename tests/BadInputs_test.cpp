// Bad inputs of every kind at the core: picture files that are empty, cut short, of no size, of an
// absurd size, misnamed or not files at all; damaged report files; parameter texts that are empty,
// negative, huge, not numbers or use the wrong separator. Each must end in a clear message, with no
// file written or lost and nothing changed beyond what the message says.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/FieldText.h"
#include "picture/PictureLoading.h"
#include "core/SettingsFile.h"
#include "detect/CountRun.h"
#include "report/ReportFile.h"
#include "report/Results.h"
#include "support/TestPictures.h"
#include "support/TiffWriter.h"
#include "view/Overlays.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every file of a folder with its content: compared before and after a read.
std::map<std::string, std::string> folderContents(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string content = "<not a file>";
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            content.assign(std::istreambuf_iterator<char>(in), {});
        }
        contents[entry.path().filename().string()] = content;
    }
    return contents;
}

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, static_cast<std::uint16_t>(v));
    put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

// A 24-bit bottom-up BMP (BITMAPINFOHEADER) of width x height; width and height are only written into
// the header, the pixel data is for the size given by dataWidth x dataHeight.
Bytes bmpFile(std::int32_t width, std::int32_t height, int dataWidth, int dataHeight) {
    const std::size_t rowBytes = (static_cast<std::size_t>(dataWidth) * 3 + 3) / 4 * 4;
    Bytes b(54 + rowBytes * static_cast<std::size_t>(dataHeight), 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, static_cast<std::uint32_t>(width));
    put32(b, 22, static_cast<std::uint32_t>(height));
    put16(b, 26, 1);
    put16(b, 28, 24);
    for (std::size_t i = 54; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 7);
    return b;
}

Bytes goodBmp() { return bmpFile(8, 6, 8, 6); }

Bytes goodJpeg(const fs::path& scratch) {
    Picture picture(24, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) picture.setPixel(x, y, rgbColour(x * 10, y * 15, 99));
    EXPECT_EQ(writeJpegFile(picture, scratch), "");
    Bytes bytes = readFile(scratch);
    fs::remove(scratch);
    return bytes;
}

// A JPEG whose frame header (SOF0) says width x height.
Bytes jpegWithSize(Bytes jpeg, std::uint16_t width, std::uint16_t height) {
    for (std::size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(height);
            jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no SOF0 marker";
    return jpeg;
}

Bytes tiffOfSize(std::uint32_t width, std::uint32_t height, std::size_t dataBytes) {
    const Bytes data(dataBytes, 0x80);
    return tifftest::writeTiff({tifftest::imagePage(width, height, {8}, 1, 1, data, width)}).bytes;
}

Bytes goodTiff() { return tiffOfSize(5, 4, 20); }

Bytes firstBytes(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(count, bytes.size())));
}

class BadInputs : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() / ("spottally-bad-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path folder_;
};

}  // namespace

// ---- Picture files ------------------------------------------------------------------------------

// A picture that cannot be loaded ends the load with an error naming the file (JPEG, BMP) or, for
// TIFF, whose reader never fails the load, with messages and an empty picture. Either way the folder
// stays as it was.
TEST_F(BadInputs, PictureFilesThatCannotBeLoaded) {
    const Bytes jpeg = goodJpeg(folder_ / "scratch.jpg");
    const Bytes bmp = goodBmp();
    const Bytes tiff = goodTiff();
    struct Case {
        const char* name;
        Bytes bytes;
        const char* reasonPart;  // a part of the error text (JPEG, BMP); empty: any
    };
    const std::vector<Case> cases = {
        {"empty.jpg", {}, "not a readable JPEG"},
        {"empty.bmp", {}, "not a readable BMP"},
        {"empty.tif", {}, ""},
        {"header-cut.jpg", firstBytes(jpeg, 20), "not a readable JPEG"},
        {"header-cut.bmp", firstBytes(bmp, 30), "not a readable BMP"},
        {"header-cut.tif", firstBytes(tiff, 12), ""},
        {"zero-size.jpg", jpegWithSize(jpeg, 0, 0), "not a readable JPEG"},
        {"zero-width.bmp", bmpFile(0, 6, 8, 6), "not a readable BMP"},
        {"zero-height.bmp", bmpFile(8, 0, 8, 6), "not a readable BMP"},
        {"zero-size.tif", tiffOfSize(0, 0, 4), ""},
        {"huge.jpg", jpegWithSize(jpeg, 65000, 65000), "too large"},
        {"huge.bmp", bmpFile(100000, 100000, 8, 6), "not a readable BMP"},
        {"huge.tif", tiffOfSize(100000, 100000, 16), ""},
        {"jpeg-named.bmp", jpeg, "not a readable BMP"},
        {"tiff-named.bmp", tiff, "not a readable BMP"},
        {"bmp-named.jpg", bmp, "not a readable JPEG"},
        {"tiff-named.jpg", tiff, "not a readable JPEG"},
        {"jpeg-named.tif", jpeg, ""},
        {"bmp-named.tif", bmp, ""},
        {"text.jpg", Bytes{'h', 'e', 'l', 'l', 'o'}, "not a readable JPEG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = folder_ / c.name;
        writeFile(path, c.bytes);
        const auto before = folderContents(folder_);
        const DecodedPicture decoded = decodePictureFile(path, pictureKindForName(c.name));
        EXPECT_TRUE(decoded.picture.empty());
        if (pictureKindForName(c.name) == PictureKind::Tiff) {
            EXPECT_FALSE(decoded.failed());
            EXPECT_FALSE(decoded.messages.empty());
        } else {
            EXPECT_TRUE(decoded.failed());
            EXPECT_NE(decoded.error.find(path.string()), std::string::npos) << decoded.error;
            EXPECT_NE(decoded.error.find(c.reasonPart), std::string::npos) << decoded.error;
        }
        EXPECT_EQ(folderContents(folder_), before);
        fs::remove(path);
    }
}

// Cut off in the pixel data: JPEG keeps its (grey-filled) picture with one message, as djpeg does; a
// short BMP is refused or keeps the rows it has, and a short TIFF keeps its picture with messages.
TEST_F(BadInputs, PictureFilesCutInThePixels) {
    const Bytes jpeg = goodJpeg(folder_ / "scratch.jpg");
    const Bytes bmp = goodBmp();
    const Bytes tiff = goodTiff();
    {
        writeFile(folder_ / "cut.jpg", firstBytes(jpeg, jpeg.size() - 40));
        const DecodedPicture decoded = decodePictureFile(folder_ / "cut.jpg", PictureKind::Jpeg);
        ASSERT_FALSE(decoded.failed()) << decoded.error;
        EXPECT_EQ(decoded.picture.width(), 24);
        ASSERT_EQ(decoded.messages.size(), 1u);
        EXPECT_NE(decoded.messages[0].find("is damaged"), std::string::npos) << decoded.messages[0];
    }
    {
        writeFile(folder_ / "cut.bmp", firstBytes(bmp, bmp.size() - 30));
        const DecodedPicture decoded = decodePictureFile(folder_ / "cut.bmp", PictureKind::Bmp);
        EXPECT_EQ(decoded.failed(), decoded.picture.empty());
        if (!decoded.failed()) {
            EXPECT_EQ(decoded.picture.width(), 8);
        }
    }
    {
        writeFile(folder_ / "cut.tif", firstBytes(tiff, tiff.size() - 10));
        const DecodedPicture decoded = decodePictureFile(folder_ / "cut.tif", PictureKind::Tiff);
        EXPECT_FALSE(decoded.failed());
        EXPECT_FALSE(decoded.messages.empty());
    }
}

// Something with a picture's name that is not a readable file: a folder, a named pipe. Opening a pipe
// would wait for a writer for ever; it must be refused at once.
TEST_F(BadInputs, PictureNamesThatAreNoFiles) {
    for (const char* name : {"folder.jpg", "folder.bmp", "folder.tif", "pipe.jpg", "pipe.bmp", "pipe.tif"}) {
        SCOPED_TRACE(name);
        const fs::path path = folder_ / name;
        const bool pipe = std::strncmp(name, "pipe", 4) == 0;
        if (pipe)
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << std::strerror(errno);
        else
            fs::create_directory(path);
        // Should a regression open the pipe, a writer comes along after a while so the test fails
        // instead of hanging.
        std::atomic<bool> done{false};
        std::thread rescuer([&] {
            if (!pipe) return;
            const auto start = std::chrono::steady_clock::now();
            while (!done && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            while (!done) {
                const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    ::close(fd);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        const auto before = folderContents(folder_);
        const DecodedPicture decoded = decodePictureFile(path, pictureKindForName(name));
        done = true;
        rescuer.join();
        EXPECT_TRUE(decoded.picture.empty());
        if (pictureKindForName(name) == PictureKind::Tiff) {
            EXPECT_FALSE(decoded.messages.empty());
        } else {
            EXPECT_NE(decoded.error.find(path.string()), std::string::npos) << decoded.error;
            EXPECT_NE(decoded.error.find(pipe ? "it is not a file" : "Is a directory"), std::string::npos)
                << decoded.error;
        }
        EXPECT_EQ(folderContents(folder_), before);
        fs::remove(path);
    }
}

// ---- Report files -------------------------------------------------------------------------------

namespace {

const std::vector<std::string> kReportLines = {"S p o t T a l l y  REPORT",
                                               "<do not change - except comments> ",
                                               "<Report file:> c_plate.txt",
                                               "<Image file analysed:> plate.jpg",
                                               "<Minimum size:> 4",
                                               "<Maximum size:> 9",
                                               "<Colour R / G / B:> 10 / 20 / 30",
                                               "<Colour tolerance:> 41",
                                               "<Brightness tolerance:> 42",
                                               "<Minimum contrast:> 43",
                                               "<Pixels per mm:> 44",
                                               "<Filter area (mm^2):> 45",
                                               "<Sample volume (cm^3):> 46"};

std::string joined(const std::vector<std::string>& lines, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count && i < lines.size(); ++i) text += lines[i] + "\r\n";
    return text;
}

std::string utf16le(const std::string& ascii, bool bom) {
    std::string out = bom ? std::string("\xFF\xFE", 2) : std::string();
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace

TEST_F(BadInputs, ReportFilesThatCannotBeUsedWhole) {
    std::vector<std::string> absurd = kReportLines;
    absurd[4] = "<Minimum size:> 99999999999999999999999";
    absurd[6] = "<Colour R / G / B:> 300000000000 / -5 / 7";
    std::vector<std::string> noNumbers = kReportLines;
    noNumbers[6] = "<Colour R / G / B:> red / green / blue";
    struct Case {
        const char* label;
        std::string bytes;
        bool complete;  // every field of lines 4 to 12 taken
        std::vector<const char*> messageParts;
        std::string minSize;  // Edmin afterwards ("5" untouched)
    };
    const std::vector<Case> cases = {
        {"empty", "", false, {"lines 3 to 12 are missing"}, "5"},
        {"only the title", joined(kReportLines, 1), false, {"lines 3 to 12 are missing"}, "5"},
        {"no colour line", joined(kReportLines, 6), false, {"lines 6 to 12 are missing"}, "4"},
        {"up to the colour", joined(kReportLines, 7), true, {"lines 7 to 12 are missing"}, "4"},
        {"absurd colour", joined(absurd, 13), false, {"is out of range"}, "99999999999999999999999"},
        {"colour in words", joined(noNumbers, 13), false, {"'red' in the field \"R\""}, "4"},
        {"UTF-16 without BOM", utf16le(joined(kReportLines, 13), false), false, {"colour line"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        writeFile(folder_ / "c_plate.txt", Bytes(c.bytes.begin(), c.bytes.end()));
        const auto before = folderContents(folder_);
        const ReportReading reading = readReportFile(folder_ / "c_plate.txt");
        ASSERT_EQ(reading.error, "");
        ParameterTexts fields;
        const ReportFieldsOutcome outcome = applyReportFields(reading, fields);
        EXPECT_EQ(outcome.complete, c.complete);
        std::string messages;
        for (const std::string& m : outcome.messages) messages += m + "|";
        for (const char* part : c.messageParts) EXPECT_NE(messages.find(part), std::string::npos) << messages;
        EXPECT_NE(messages.find("c_plate.txt"), std::string::npos) << messages;
        if (!c.minSize.empty()) {
            EXPECT_EQ(fields.Edmin, c.minSize);
        }
        if (!c.complete) {  // the fields after an unusable colour keep their texts
            EXPECT_EQ(fields.EdDevi, ParameterTexts().EdDevi);
            EXPECT_EQ(fields.EdVol, ParameterTexts().EdVol);
        }
        EXPECT_EQ(folderContents(folder_), before);
    }
}

// A report saved by an editor as UTF-8 or UTF-16 with a byte-order mark reads as the same report.
TEST_F(BadInputs, ReportFilesInOtherEncodingsWithAByteOrderMark) {
    std::vector<std::string> lines = kReportLines;
    lines[3] = "<Image file analysed:> B\xC3\xA4ume.jpg";  // UTF-8 text
    const std::string utf8 = "\xEF\xBB\xBF" + joined(lines, 13);
    std::string utf16 = "\xFF\xFE";
    std::string utf16be = "\xFE\xFF";
    for (const std::string& line : lines) {
        // Bäume: the ä is U+00E4, one UTF-16 unit.
        for (std::size_t i = 0; i < line.size(); ++i) {
            char16_t unit = static_cast<unsigned char>(line[i]);
            if (line.compare(i, 2, "\xC3\xA4") == 0) {
                unit = 0xE4;
                ++i;
            }
            utf16 += static_cast<char>(unit & 0xFF);
            utf16 += static_cast<char>(unit >> 8);
            utf16be += static_cast<char>(unit >> 8);
            utf16be += static_cast<char>(unit & 0xFF);
        }
        utf16 += std::string("\r\0\n\0", 4);
        utf16be += std::string("\0\r\0\n", 4);
    }
    for (const std::string& bytes : {utf8, utf16, utf16be}) {
        const ReportReading reading = readReportText(bytes, "c_B\xC3\xA4ume.txt");
        ASSERT_EQ(reading.lines.size(), 13u);
        EXPECT_EQ(reading.lines[0], kReportLines[0]);
        EXPECT_EQ(reading.pictureName, std::optional<std::string>("B\xC3\xA4ume.jpg"));
        EXPECT_EQ(reading.panelColour, std::optional<std::uint32_t>(10 + 256 * 20 + 65536 * 30));
        ParameterTexts fields;
        const ReportFieldsOutcome outcome = applyReportFields(reading, fields);
        EXPECT_TRUE(outcome.complete);
        EXPECT_TRUE(outcome.messages.empty());
        EXPECT_EQ(fields.EdVol, "46");
    }
}

// A UTF-8 report without a mark, or a UTF-16 one cut in the middle of a character, still reads
// without a crash; the UTF-16 text is kept as far as it goes.
TEST_F(BadInputs, ReportFilesWithBrokenEncodings) {
    std::string oddUtf16 = std::string("\xFF\xFE", 2) + utf16le(joined(kReportLines, 13), false) + "\x41";
    const ReportReading reading = readReportText(oddUtf16, "c_odd.txt");
    ASSERT_EQ(reading.lines.size(), 14u);
    EXPECT_EQ(reading.lines[12], kReportLines[12]);
    EXPECT_EQ(reading.lines[13], "\xEF\xBF\xBD");  // the odd last byte: one replacement character
    const ReportReading lone = readReportText(std::string("\xFF\xFE\x00\xD8\x41\x00", 6), "c_lone.txt");
    ASSERT_EQ(lone.lines.size(), 1u);
    EXPECT_EQ(lone.lines[0],
              "\xEF\xBF\xBD"
              "A");  // a lone surrogate
}

TEST_F(BadInputs, ReportPathsThatAreNoReports) {
    fs::create_directory(folder_ / "c_folder.txt");
    ASSERT_EQ(::mkfifo((folder_ / "c_pipe.txt").c_str(), 0600), 0);
    const auto before = folderContents(folder_);
    for (const char* name : {"c_folder.txt", "c_pipe.txt", "c_missing.txt"}) {
        const ReportReading reading = readReportFile(folder_ / name);
        EXPECT_NE(reading.error.find(name), std::string::npos) << reading.error;
        EXPECT_TRUE(reading.lines.empty());
    }
    EXPECT_EQ(folderContents(folder_), before);
}

// ---- Parameter fields ---------------------------------------------------------------------------

namespace {

struct BadText {
    const char* label;
    const char* text;
};
// Empty, negative, huge, not a number, the wrong separator.
const std::vector<BadText> kBadWholeNumbers = {
    {"empty", ""},       {"negative", "-1"},       {"huge", "99999999999999999999"},
    {"words", "abc"},    {"decimal comma", "4,5"}, {"decimal point", "4.5"},
    {"blank only", "  "}};

}  // namespace

// Every field the count reads: a bad text ends the count with a message naming the field and the
// text; the scan never starts, so the count is not changed.
TEST_F(BadInputs, CountFieldsWithBadTexts) {
    struct Field {
        std::string ParameterTexts::*member;
        const char* name;
    };
    const std::vector<Field> fields = {{&ParameterTexts::EdDevi, kColourToleranceField},
                                       {&ParameterTexts::Edhell, kBrightnessToleranceField},
                                       {&ParameterTexts::EdCont, kMinContrastField},
                                       {&ParameterTexts::EdMax, kMaxSizeField},
                                       {&ParameterTexts::Edmin, kMinSizeField}};
    Layers layers;
    layers.Image1 = filledPicture(40, 30, kBlack);
    fillBlock(layers.Image1, 10, 10, 3, 3, kTarget);
    for (const Field& field : fields) {
        for (const BadText& bad : kBadWholeNumbers) {
            SCOPED_TRACE(std::string(field.name) + ": " + bad.label);
            ParameterTexts texts;
            texts.*field.member = bad.text;
            TAnalysisState state;
            state.ImageWidth = 40;
            state.ImageHeight = 30;
            state.AutoCount = 77;
            try {
                countParticles(layers, state, kTarget, texts);
                ADD_FAILURE() << "no error";
            } catch (const FieldError& error) {
                EXPECT_NE(error.message.find(field.name), std::string::npos) << error.message;
                EXPECT_NE(error.message.find("'" + std::string(bad.text) + "'"), std::string::npos)
                    << error.message;
            }
            EXPECT_EQ(state.AutoCount, 77);
            EXPECT_TRUE(layers.Image2 == layers.Image1);  // reset, nothing counted into it
        }
    }
}

// The results' fields: a bad text leaves both results as they were, with a message naming the field.
TEST_F(BadInputs, ResultFieldsWithBadTexts) {
    struct Case {
        std::string ParameterTexts::*member;
        const char* text;
        const char* messagePart;
    };
    const std::vector<Case> cases = {
        {&ParameterTexts::Edfilter, "", "Filter area"},
        {&ParameterTexts::Edfilter, "abc", "Filter area"},
        {&ParameterTexts::Edfilter, "378,5", "Filter area"},
        {&ParameterTexts::Edfilter, "99999999999", "Filter area"},
        {&ParameterTexts::Edpixmm, "", "Pixels / mm"},
        {&ParameterTexts::Edpixmm, "0", "Pixels / mm is 0"},
        {&ParameterTexts::Edpixmm, "3952.0", "Pixels / mm"},
        {&ParameterTexts::Edpixmm, "-99999999999", "Pixels / mm"},
        {&ParameterTexts::EdVol, "", "Sample volume"},
        {&ParameterTexts::EdVol, "0", "Sample volume"},
        {&ParameterTexts::EdVol, "abc", "Sample volume"},
        {&ParameterTexts::EdVol, "0,1,4", "Sample volume"},
        {&ParameterTexts::EdVol, "1e999", "Sample volume"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.messagePart) + " '" + c.text + "'");
        ParameterTexts texts;
        texts.*c.member = c.text;
        TAnalysisState state;
        state.ImageWidth = 400;
        state.ImageHeight = 300;
        state.AutoCount = 12;
        state.ParticlesPerFilter = 1.5;
        state.ParticlesPerCm3 = 2.5;
        try {
            computeResults(texts, state);
            ADD_FAILURE() << "no error";
        } catch (const FieldError& error) {
            EXPECT_NE(error.message.find(c.messagePart), std::string::npos) << error.message;
        }
        EXPECT_EQ(state.ParticlesPerFilter, 1.5);
        EXPECT_EQ(state.ParticlesPerCm3, 2.5);
    }
}

// Either separator is a usable volume, whatever the regional one; negative and huge values compute.
TEST_F(BadInputs, ResultFieldsThatStillCompute) {
    for (const char* volume : {"0,143", "0.143", "-0,143", "1e300"}) {
        SCOPED_TRACE(volume);
        ParameterTexts texts;
        texts.EdVol = volume;
        TAnalysisState state;
        state.ImageWidth = 400;
        state.ImageHeight = 300;
        state.AutoCount = 12;
        EXPECT_NO_THROW(computeResults(texts, state));
        EXPECT_TRUE(std::isfinite(state.ParticlesPerFilter));
    }
}

// The overlays read the scale at drawing time: a bad text draws nothing and says why.
TEST_F(BadInputs, OverlayScaleWithBadTexts) {
    for (const BadText& bad : kBadWholeNumbers) {
        SCOPED_TRACE(bad.label);
        Picture count = filledPicture(60, 40, kBlack);
        const Picture before = count;
        const OverlayResult grid = drawGrid(count, 25, bad.text);
        const OverlayResult scale = drawScaleBar(count, 25, bad.text);
        EXPECT_FALSE(grid.drawn);
        EXPECT_FALSE(scale.drawn);
        EXPECT_NE(grid.message.find("Pixels / mm"), std::string::npos) << grid.message;
        EXPECT_NE(scale.message.find("Pixels / mm"), std::string::npos) << scale.message;
        EXPECT_TRUE(count == before);
    }
}

// ---- Settings file ------------------------------------------------------------------------------

TEST_F(BadInputs, SettingsFileContents) {
    struct Case {
        std::string bytes;
        std::string line;
    };
    const std::vector<Case> cases = {{"", ""},
                                     {"\r\n", ""},
                                     {std::string("/a\0b/\r\nrest", 10), std::string("/a\0b/", 5)},
                                     {std::string("\xFF\xFE/\0x\0", 6), std::string("\xFF\xFE/\0x\0", 6)},
                                     {"no line end", "no line end"},
                                     {"\r\r\n", "\r"}};
    for (const Case& c : cases) {
        writeFile(folder_ / "SpotTally.ini", Bytes(c.bytes.begin(), c.bytes.end()));
        const SettingsRead read = readSettingsFile(folder_ / "SpotTally.ini");
        EXPECT_TRUE(read.exists);
        EXPECT_EQ(read.error, "");
        EXPECT_EQ(read.firstLine, c.line);
        EXPECT_EQ(settingsFirstLine(c.bytes), c.line);
    }
}
