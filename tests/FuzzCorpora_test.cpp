// Replays the fuzz targets' committed corpora (tests/fuzz/corpus/<target>/) through the same entry
// points in the normal build, so an input that once found a fault keeps being tried. Every input must
// end in a defined result: a picture, or a message saying why there is none.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "picture/JpegCodec.h"
#include "picture/PictureLoading.h"
#include "core/SettingsFile.h"
#include "fuzz/OptionInput.h"
#include "report/ReportFile.h"
#include "picture/tiff/ReadTiff.h"

namespace fs = std::filesystem;

namespace {

const fs::path kCorpora = fs::path(SPOTTALLY_SOURCE_DIR) / "tests" / "fuzz" / "corpus";

using Bytes = std::vector<std::uint8_t>;

// Checks one input; returns a description of what is wrong, or an empty text.
using Replay = std::function<std::string(const Bytes&)>;

std::string checkPicture(const DecodedPicture& decoded) {
    if (decoded.failed() != decoded.picture.empty()) return "a picture with an error, or neither";
    if (decoded.failed() && decoded.error.find("fuzz") == std::string::npos) return "error names no file";
    const Picture& picture = decoded.picture;
    if (!picture.empty() &&
        picture.byteCount() != picture.stride() * static_cast<std::size_t>(picture.height()))
        return "picture size does not add up";
    return {};
}

const std::map<std::string, Replay>& replays() {
    static const std::map<std::string, Replay> table = {
        {"tiff",
         [](const Bytes& b) -> std::string {
             const TiffResult result = ReadTiffFromMemory(b.data(), b.size(), "fuzz.tif");
             return result.picture.empty() && result.messages.empty() ? "no picture and no message" : "";
         }},
        {"bmp",
         [](const Bytes& b) {
             return checkPicture(
                 decodeBmpBytes(reinterpret_cast<const char*>(b.data()), b.size(), "fuzz.bmp"));
         }},
        {"jpeg",
         [](const Bytes& b) { return checkPicture(decodeJpegBytes(b.data(), b.size(), "fuzz.jpg")); }},
        {"report",
         [](const Bytes& b) -> std::string {
             const ReportReading reading = readReportText(
                 std::string_view(reinterpret_cast<const char*>(b.data()), b.size()), "c_fuzz.txt");
             ParameterTexts fields;
             const ReportFieldsOutcome outcome = applyReportFields(reading, fields);
             if (outcome.complete != reading.panelColour.has_value()) return "complete without a colour";
             if (!outcome.complete && outcome.messages.empty()) return "incomplete without a message";
             return {};
         }},
        {"settings",
         [](const Bytes& b) -> std::string {
             const std::string_view bytes(reinterpret_cast<const char*>(b.data()), b.size());
             const std::string line = settingsFirstLine(bytes);
             return bytes.substr(0, line.size()) == line ? "" : "the line is not the file's start";
         }},
        {"options",
         [](const Bytes& b) -> std::string {
             const OptionsResult result = fuzzinput::parseOptionInput(b.data(), b.size());
             if (!result.error.empty() || result.options.help) return {};
             return result.options.pictures.empty() || result.options.jobs < 1 ? "options without pictures"
                                                                               : "";
         }},
    };
    return table;
}

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(FuzzCorpora, EveryCommittedInputEndsInAPictureOrAMessage) {
    ASSERT_TRUE(fs::is_directory(kCorpora)) << kCorpora;
    std::size_t replayed = 0;
    for (const auto& folder : fs::directory_iterator(kCorpora)) {
        const std::string target = folder.path().filename().string();
        const auto replay = replays().find(target);
        ASSERT_NE(replay, replays().end()) << "no replay for the corpus " << target;
        std::size_t files = 0;
        for (const auto& file : fs::directory_iterator(folder.path())) {
            const std::string problem = replay->second(readBytes(file.path()));
            EXPECT_EQ(problem, "") << target << "/" << file.path().filename().string();
            ++files;
        }
        EXPECT_GT(files, 0u) << target;
        replayed += files;
    }
    EXPECT_GE(replays().size(), 6u);
    EXPECT_GT(replayed, 0u);
}

// Each target has its corpus: a new target without one would go unreplayed.
TEST(FuzzCorpora, EveryTargetHasACorpus) {
    for (const auto& [target, replay] : replays()) EXPECT_TRUE(fs::is_directory(kCorpora / target)) << target;
}
