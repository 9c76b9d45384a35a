// The count on a picture still being decoded (a JPEG) or read (a BMP), its rows arriving band by band
// from a second thread, against the count of the whole decoded picture: the same layers, counters,
// results and particle table, whatever rows were ready when; and a decoding that ends early ends the count, never hangs it.

#include "detect/CountRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "core/RowsReady.h"
#include "picture/PictureLoading.h"
#include "report/ParticleTable.h"
#include "report/ReportText.h"
#include "report/Results.h"
#include "support/SyntheticMicrograph.h"
#include "support/TestPictures.h"

namespace fs = std::filesystem;

namespace {

struct CountOutcome {
    Picture countLayer, areaLayer;
    TAnalysisState state;
    ParticleList particles;
};

/// What the report and the particle table say of a count.
std::string reportedText(const CountOutcome& outcome)
{
    TAnalysisState state = outcome.state;
    state.ImageWidth = outcome.countLayer.width();
    state.ImageHeight = outcome.countLayer.height();
    computeResults(ParameterTexts{}, state);
    std::string text;
    for (const std::string& line : resultLines(state)) text += line + "\n";
    return text + particleTableText(outcome.particles, 3952);
}

void expectSameCount(const CountOutcome& arrived, const CountOutcome& whole)
{
    EXPECT_EQ(arrived.state.AutoCount, whole.state.AutoCount);
    EXPECT_EQ(arrived.state.TotalAreaPixels, whole.state.TotalAreaPixels);
    EXPECT_EQ(differingPixels(arrived.countLayer, whole.countLayer), 0) << "count layer";
    EXPECT_EQ(differingPixels(arrived.areaLayer, whole.areaLayer), 0) << "area layer";
    EXPECT_EQ(reportedText(arrived), reportedText(whole));
}

/// runCount on the whole picture, with and without the particle table's records.
CountOutcome wholeCount(const Picture& picture, const CountParams& params)
{
    Layers layers;
    layers.Image1 = picture;
    CountOutcome outcome;
    runCount(layers, outcome.state, params, &outcome.particles);
    outcome.countLayer = std::move(layers.Image2);
    outcome.areaLayer = std::move(layers.Image3);
    return outcome;
}

CountParams denseParams()
{
    CountParams params;
    params.targetColour = rgbColour(0, 27, 210);
    params.colourTolerance = 32;
    params.brightnessTolerance = 36;
    params.minContrast = 10;
    params.minSize = 3;
    params.maxSize = 9;
    return params;
}

/// A contrast reach of 101 rows: the scan needs rows below its own further than it copies ahead.
CountParams wideReach()
{
    CountParams params;
    params.maxSize = 199;
    params.minContrast = 20;
    return params;
}

/// Large particles touching each other: fills that reach many rows below their start, on bit planes.
Picture sparsePicture()
{
    MicrographOptions options;
    options.width = 300;
    options.height = 520;
    options.particles = 90;
    options.minRadius = 2.5;
    options.maxRadius = 30;
    options.touchingShare = 0.4;
    options.seed = 7;
    return makeSyntheticMicrograph(options).picture;
}

/// Clusters whose fill spreads over dozens of rows and several tiles.
Picture clusteredPicture()
{
    ClusterOptions options;
    options.width = 260;
    options.height = 600;
    options.clusters = 40;
    options.seed = 3;
    return makeClusteredMicrograph(options).picture;
}

class CountAsRowsArriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("count_rows_arrive_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path file(const std::string& name) const { return folder_ / name; }

    fs::path folder_;
};

/// Counts the file as its rows arrive and after decoding it whole: the reader's error, messages and
/// damage agree, and a picture decoded is counted alike both ways. Gives the decoded outcome.
DecodedPicture expectCountAsRowsArriveLikeCountAfter(const fs::path& path, PictureKind kind, const CountParams& params)
{
    DecodedPicture decodedFirst = decodePictureFile(path, kind);
    PictureDecoding decoding(path, kind);
    EXPECT_FALSE(decoding.picture().empty());
    if (decoding.picture().empty()) return decodedFirst;
    CountOutcome arrived;
    CountLayers layers(decoding.picture(), arrived.countLayer, arrived.areaLayer);
    const bool finished = runCountAsRowsArrive(layers, arrived.state, params, decoding.rows(), &arrived.particles);
    DecodedPicture decoded = decoding.finish();
    EXPECT_EQ(decoded.error, decodedFirst.error);
    EXPECT_EQ(decoded.messages, decodedFirst.messages);
    EXPECT_EQ(decoded.damaged, decodedFirst.damaged);
    if (!decoded.failed()) {
        EXPECT_TRUE(finished);
        EXPECT_TRUE(decoded.picture == decodedFirst.picture);
        const CountOutcome whole = wholeCount(decodedFirst.picture, params);
        EXPECT_GT(whole.state.AutoCount, 3);
        expectSameCount(arrived, whole);
    }
    return decoded;
}

enum class JpegForm { Baseline, Progressive, Truncated, SecondScan };

// A JPEG several bands tall, decoded on the second thread while the count follows it: the count,
// the reader's outcome and messages are those of decoding first and counting after. A file cut short
// is counted with its grey rest and the same damage message; one that fails after its rows (a scan
// it does not expect) fails with the same error.
TEST_F(CountAsRowsArriveTest, JpegCountedAsItDecodesEqualsCountAfterDecoding)
{
    const CountParams wide = wideReach();
    struct Row {
        const char* name;
        Picture (*picture)();
        CountParams params;
        JpegForm form;
    };
    const Row rows[] = {
        {"sparse baseline", sparsePicture, CountParams{}, JpegForm::Baseline},
        {"sparse, wide reach", sparsePicture, wide, JpegForm::Baseline},
        {"clusters baseline", clusteredPicture, denseParams(), JpegForm::Baseline},
        {"clusters progressive", clusteredPicture, denseParams(), JpegForm::Progressive},
        {"sparse cut short", sparsePicture, CountParams{}, JpegForm::Truncated},
        {"clusters with a second scan", clusteredPicture, denseParams(), JpegForm::SecondScan},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path path = file("picture.jpg");
        ASSERT_EQ(writeJpegFile(row.picture(), path, 90), "");
        std::vector<std::uint8_t> bytes = readBytes(path);
        if (row.form == JpegForm::Progressive) {
            if (std::system("command -v jpegtran >/dev/null 2>&1") != 0) {
                std::cout << "jpegtran not installed: " << row.name << " not run\n";
                continue;
            }
            const fs::path progressive = file("progressive.jpg");
            ASSERT_EQ(std::system(("jpegtran -progressive -outfile '" + progressive.string() + "' '" +
                                   path.string() + "'").c_str()),
                      0);
            bytes = readBytes(progressive);
        } else if (row.form == JpegForm::Truncated) {
            bytes.resize(bytes.size() * 3 / 5);
        } else if (row.form == JpegForm::SecondScan) {
            // The scan again where the end of the picture should be: libjpeg refuses it once every row
            // is decoded.
            std::size_t sos = 2;
            while (!(bytes[sos] == 0xFF && bytes[sos + 1] == 0xDA)) ++sos;
            const std::vector<std::uint8_t> scan(bytes.begin() + static_cast<std::ptrdiff_t>(sos), bytes.end() - 2);
            bytes.insert(bytes.end() - 2, scan.begin(), scan.end());
        }
        writeBytes(path, bytes);

        const DecodedPicture decoded = expectCountAsRowsArriveLikeCountAfter(path, PictureKind::Jpeg, row.params);
        if (row.form == JpegForm::SecondScan) {
            EXPECT_NE(decoded.error.find("is not a readable JPEG picture"), std::string::npos) << decoded.error;
            EXPECT_TRUE(decoded.picture.empty());
            continue;
        }
        ASSERT_FALSE(decoded.failed()) << decoded.error;
        if (row.form == JpegForm::Truncated) {
            ASSERT_EQ(decoded.messages.size(), 1u);
            EXPECT_NE(decoded.messages[0].find("is damaged, the picture may be incomplete: Premature end of JPEG file"),
                      std::string::npos)
                << decoded.messages[0];
        }
    }
}

// A BMP read band by band on the second thread while the count follows: the count and the reader's
// outcome are those of reading first and counting after, bottom-up or top-down; a file cut short is
// counted with its black top rows and the same damage message.
TEST_F(CountAsRowsArriveTest, BmpCountedAsItIsReadEqualsCountAfterReading)
{
    struct Row {
        const char* name;
        Picture (*picture)();
        CountParams params;
        bool topDown;
        std::size_t cutRows;
    };
    const Row rows[] = {
        {"clusters, bottom-up", clusteredPicture, denseParams(), false, 0},
        {"sparse, wide reach, top-down", sparsePicture, wideReach(), true, 0},
        {"sparse, bottom-up, cut short", sparsePicture, CountParams{}, false, 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Picture picture = row.picture();
        std::vector<std::uint8_t> bytes = bmpBytes(picture, row.topDown);
        bytes.resize(bytes.size() - row.cutRows * ((picture.stride() + 3) / 4 * 4));
        const fs::path path = file("picture.bmp");
        writeBytes(path, bytes);
        const DecodedPicture decoded = expectCountAsRowsArriveLikeCountAfter(path, PictureKind::Bmp, row.params);
        ASSERT_FALSE(decoded.failed()) << decoded.error;
        EXPECT_EQ(decoded.damaged, row.cutRows > 0);
        if (row.cutRows == 0) {
            EXPECT_TRUE(decoded.picture == picture);
        }
    }
}

/// Writes source into target row by row on a thread of its own, telling ready after each row, and
/// closes ready at the end. How far it is when the count reads changes nothing in the count;
/// a count that read a row not yet there would see it. The rows not written yet hold marks and the target's colour, which
/// a count that read them early would take for particles and for marks.
class RowWriter {
public:
    RowWriter(const Picture& source, Picture& target, RowsReady& ready)
        : source_(source), target_(target), ready_(ready)
    {
        target_ = filledPicture(source.width(), source.height(), rgbColour(121, 223, 252));
        for (int y = 0; y < target_.height(); y += 9) fillBlock(target_, 0, y, target_.width(), 3, kTarget);
        thread_ = std::thread([this] { write(); });
    }
    ~RowWriter() { thread_.join(); }

private:
    void write()
    {
        for (int y = 0; y < source_.height(); ++y) {
            std::copy(source_.row(y), source_.row(y) + source_.stride(), target_.row(y));
            ready_.publish(y + 1);
            // Slower than the count, so that it catches up and waits at almost every row.
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        ready_.close();
    }
    const Picture& source_;
    Picture& target_;
    RowsReady& ready_;
    std::thread thread_;
};

/// The pictures and parameters the counts as rows arrive are tried on.
struct ArrivalCase {
    const char* name;
    const Picture* picture;
    CountParams params;
};
std::vector<ArrivalCase> arrivalCases(const Picture& sparse, const Picture& clusters)
{
    return {{"sparse", &sparse, CountParams{}},
            {"sparse, wide reach", &sparse, wideReach()},
            {"clusters", &clusters, denseParams()}};
}

// Rows arriving one at a time, with anything in the rows not yet there: the count reads none of them
// early, and its outcome is the count of the whole picture.
TEST(CountAsRowsArrive, RowsArrivingOneByOneGiveTheCountOfTheWholePicture)
{
    const Picture sparse = sparsePicture();
    const Picture clusters = clusteredPicture();
    const std::vector<ArrivalCase> rows = arrivalCases(sparse, clusters);
    for (const ArrivalCase& row : rows) {
        SCOPED_TRACE(row.name);
        Picture original;
        RowsReady ready;
        CountOutcome arrived;
        bool finished = false;
        {
            RowWriter writer(*row.picture, original, ready);
            CountLayers layers(original, arrived.countLayer, arrived.areaLayer);
            finished = runCountAsRowsArrive(layers, arrived.state, row.params, ready, &arrived.particles);
        }
        ASSERT_TRUE(finished);
        const CountOutcome whole = wholeCount(*row.picture, row.params);
        EXPECT_GT(whole.state.AutoCount, 3);
        expectSameCount(arrived, whole);
    }
}

/// Makes the whole memory pages of picture from row firstRow on unreadable while it lives: a read
/// there ends the test with a fault.
class UnreadableRows {
public:
    UnreadableRows(Picture& picture, int firstRow)
    {
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGE_SIZE));
        const auto from = reinterpret_cast<std::uintptr_t>(picture.row(firstRow));
        const auto to = reinterpret_cast<std::uintptr_t>(picture.data() + picture.byteCount());
        begin_ = (from + page - 1) / page * page;
        const std::uintptr_t end = to / page * page;
        length_ = end > begin_ ? end - begin_ : 0;
        if (length_ > 0) {
            EXPECT_EQ(::mprotect(reinterpret_cast<void*>(begin_), length_, PROT_NONE), 0);
        }
    }
    ~UnreadableRows()
    {
        if (length_ > 0) ::mprotect(reinterpret_cast<void*>(begin_), length_, PROT_READ | PROT_WRITE);
    }

private:
    std::uintptr_t begin_ = 0;
    std::size_t length_ = 0;
};

// A decoding that ends before its last row (a JPEG failing half-way) ends the count with false, at
// once and wherever it ends, and the count reads no row past the last one ready, also where its
// contrast reaches further below than it copies ahead.
TEST(CountAsRowsArrive, DecodingEndedEarlyEndsTheCountWithoutReadingFurther)
{
    const Picture sparse = sparsePicture();
    const Picture clusters = clusteredPicture();
    const std::vector<ArrivalCase> rows = arrivalCases(sparse, clusters);
    for (const ArrivalCase& row : rows) {
        const int height = row.picture->height();
        for (const int ready : {0, 1, 40, height / 2, height - 40, height - 1}) {
            SCOPED_TRACE(std::string(row.name) + ", rows ready: " + std::to_string(ready));
            Picture original = *row.picture;
            RowsReady decoded;
            decoded.publish(ready);
            decoded.close();
            CountOutcome arrived;
            const UnreadableRows unreadable(original, ready);
            CountLayers layers(original, arrived.countLayer, arrived.areaLayer);
            EXPECT_FALSE(runCountAsRowsArrive(layers, arrived.state, row.params, decoded, &arrived.particles));
        }
    }
}

}  // namespace
