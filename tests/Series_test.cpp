#include "report/Series.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Counter.h"
#include "core/AtomicFile.h"
#include "core/SettingsFile.h"
#include "picture/PictureLoading.h"
#include "picture/PictureSize.h"
#include "report/BlobReport.h"
#include "report/CountSummary.h"
#include "report/DensityReport.h"
#include "report/RecentSeries.h"
#include "report/ReportFile.h"
#include "report/ReportText.h"
#include "report/Results.h"
#include "report/SeriesPlots.h"
#include "support/TestPictures.h"
#include "support/TiffWriter.h"

namespace fs = std::filesystem;

namespace {

class SeriesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

    fs::path dir() const { return fs::path(folder_.path().toStdString()); }
    fs::path path(const std::string& name) const { return dir() / name; }

    void writePicture(const std::string& name, int width = 160, int height = 120) const
    {
        ASSERT_EQ(writeJpegFile(filledPicture(width, height, kBlack), path(name)), "");
    }

    void writeBytes(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    /// A report as saving writes it: count particles of which removed / added by hand, then extra lines.
    void writeReport(const std::string& picture, int count, int width, int height, std::uint16_t removed = 0,
                     std::uint16_t added = 0, const std::vector<std::string>& extra = {}) const
    {
        ParameterTexts fields;
        TAnalysisState state;
        state.ImageFileName = picture;
        state.ImageWidth = width;
        state.ImageHeight = height;
        state.AutoCount = count;
        state.ManualRemoved = removed;
        state.ManualAdded = added;
        computeResults(fields, state);
        std::vector<std::string> lines = reportLines(fields, state, "09.12.2026  12:00:00");
        lines.insert(lines.end(), extra.begin(), extra.end());
        ASSERT_TRUE(writeReportFile(path(reportFileName(picture)), lines).saved());
    }

    std::string readText(const std::string& name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    QTemporaryDir folder_;
};

}  // namespace

// Every picture kind's size comes from its header, the same the decoder gives; what has no readable
// header says why.
TEST_F(SeriesTest, PictureSizesFromTheHeaderAlone)
{
    writePicture("a.jpg", 173, 91);
    ASSERT_TRUE(QImage(57, 33, QImage::Format_RGB888).save(QString::fromStdString(path("b.png").string())));
    ASSERT_TRUE(QImage(45, 29, QImage::Format_RGB888).save(QString::fromStdString(path("c.bmp").string())));
    const std::vector<std::uint8_t> pixels(31 * 17 * 3, 128);
    const tifftest::TiffFile tiff =
        tifftest::writeTiff({tifftest::imagePage(31, 17, {8, 8, 8}, 2, 3, pixels, 31 * 3)});
    writeBytes("d.tif", std::string(tiff.bytes.begin(), tiff.bytes.end()));
    for (const char* name : {"a.jpg", "b.png", "c.bmp", "d.tif"}) {
        SCOPED_TRACE(name);
        const PictureHeaderSize size = readPictureHeaderSize(path(name));
        ASSERT_TRUE(size.known()) << size.error;
        const DecodedPicture decoded = decodePictureFile(path(name), pictureKindForName(name));
        EXPECT_EQ(size.width, decoded.picture.width());
        EXPECT_EQ(size.height, decoded.picture.height());
    }
    writeBytes("e.jpg", "\xFF\xD8\xFF\xE0\x00");  // cut inside its first segment
    writeBytes("f.bmp", "BM");
    writeBytes("g.tif", "II*\0");
    for (const char* name : {"e.jpg", "f.bmp", "g.tif", "missing.jpg", "h.gif"}) {
        SCOPED_TRACE(name);
        const PictureHeaderSize size = readPictureHeaderSize(path(name));
        EXPECT_FALSE(size.known());
        EXPECT_NE(size.error.find(name), std::string::npos) << size.error;
    }
}

// One row per kind of what lies beside a picture; a damaged row says why and the others still read.
TEST_F(SeriesTest, StatesFromTheFilesBesideThePictures)
{
    writePicture("f1.jpg");  // nothing beside it
    writePicture("f2.jpg");
    writeReport(
        "f2.jpg", 12, 160, 120, 2, 3,
        {"<Blob count:> 14", "<Blobs per filter:> 1", "<Blobs per cm^3 of sample:> 1", "<Learnt count:> 11"});
    writePicture("f3.jpg");
    ASSERT_TRUE(writeReportFile(path("c_f3.txt"), {"S p o t T a l l y  REPORT", "cut short"}).saved());
    writeBytes("f4.jpg", "no JPEG at all");
    writeReport("f4.jpg", 5, 160, 120);
    writePicture("f5.jpg");
    writeReport("f5.jpg", 4, 160, 120, 0, 0, {"<Blob count:> lots"});
    writePicture("f10.jpg");
    writeReport("f10.jpg", 7, 160, 120);

    const Series series = Series::openFolder(dir());
    ASSERT_EQ(series.error(), "");
    struct Row {
        const char* name;
        SeriesState state;
        std::optional<std::int32_t> count;
        std::optional<int> blobs, learnt;
        int removed, added;
        const char* problem;  // part of the problem text of a damaged row
    };
    const Row rows[] = {
        {"f1.jpg", SeriesState::NotCounted, {}, {}, {}, 0, 0, ""},
        {"f2.jpg", SeriesState::Saved, 12, 14, 11, 2, 3, ""},
        {"f3.jpg", SeriesState::Damaged, {}, {}, {}, 0, 0, "not a saved count report"},
        {"f4.jpg", SeriesState::Damaged, {}, {}, {}, 0, 0, "f4.jpg"},
        {"f5.jpg", SeriesState::Damaged, {}, {}, {}, 0, 0, "Blob count"},
        {"f10.jpg", SeriesState::Saved, 7, {}, {}, 0, 0, ""},
    };
    ASSERT_EQ(series.size(), std::size(rows));  // in natural order: f10 last
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& expected = rows[i];
        const SeriesRow& row = series.row(i);
        SCOPED_TRACE(expected.name);
        EXPECT_EQ(row.name, expected.name);
        EXPECT_EQ(row.state, expected.state);
        EXPECT_EQ(row.count, expected.count);
        EXPECT_EQ(row.blobCount, expected.blobs);
        EXPECT_EQ(row.learntCount, expected.learnt);
        EXPECT_EQ(row.removed, expected.removed);
        EXPECT_EQ(row.added, expected.added);
        if (expected.state == SeriesState::Damaged)
            EXPECT_NE(row.problem.find(expected.problem), std::string::npos) << row.problem;
        else
            EXPECT_EQ(row.problem, "");
        if (expected.state != SeriesState::Damaged) {
            EXPECT_EQ(row.width, 160);
            EXPECT_EQ(row.height, 120);
        }
    }
    // Reading the series wrote nothing beside the pictures.
    EXPECT_FALSE(fs::exists(path(kPooledReportFileName)));
    EXPECT_FALSE(fs::exists(path("c_f1.txt")));
}

// The window's count and corrections show in the row until it is read again from the files; only
// saved reports are pooled, and they pool exactly as --pool pools them, to the byte of the pooled text.
TEST_F(SeriesTest, PooledAsTheCounterPoolsTheSavedReports)
{
    const int counts[] = {18, 25, 21, 30};
    std::vector<fs::path> reports;
    for (int i = 0; i < 4; ++i) {
        const std::string name = "field" + std::to_string(i + 1) + ".jpg";
        writePicture(name, 200 + 20 * i, 150);
        writeReport(name, counts[i], 200 + 20 * i, 150);
        reports.push_back(path(reportFileName(name)));
    }
    writePicture("field5.jpg");  // not counted
    writeBytes("field6.jpg", "damaged");
    writeReport("field6.jpg", 3, 160, 120);

    Series series = Series::openFolder(dir());
    SeriesPool pool = series.pooled();
    EXPECT_EQ(pool.fields.size(), 4u);
    EXPECT_EQ(pool.notSaved, 1);
    EXPECT_EQ(pool.damaged, 1);
    ASSERT_EQ(pool.problems.size(), 1u);
    const PooledResult expected = poolFields(readPoolFields(reports).fields);
    ASSERT_EQ(pool.result.error, "");
    EXPECT_EQ(pool.result.particles, expected.particles);
    EXPECT_EQ(pool.result.perFilter, expected.perFilter);
    EXPECT_EQ(pool.result.perFilterLow, expected.perFilterLow);
    EXPECT_EQ(pool.result.perFilterHigh, expected.perFilterHigh);
    EXPECT_EQ(pool.result.pValue, expected.pValue);
    EXPECT_EQ(pool.result.kind, expected.kind);

    ASSERT_TRUE(writeSeriesPooledReport(series).saved());
    CounterOptions options;
    options.pictures = reports;
    options.poolFile = path("counter-pooled.txt");
    std::ostringstream out, err;
    ASSERT_EQ(runPool(options, out, err), 0) << err.str();
    EXPECT_EQ(readText(kPooledReportFileName), readText("counter-pooled.txt"));

    // A correction not yet saved leaves the row out of the pool; reading the files again brings it back.
    const std::size_t second = *series.indexOf(path("field2.jpg"));
    TAnalysisState state;
    state.ImageWidth = 220;
    state.ImageHeight = 150;
    state.AutoCount = 26;
    state.ManualAdded = 1;
    series.setCorrected(second, state);
    EXPECT_EQ(series.row(second).state, SeriesState::Corrected);
    EXPECT_EQ(series.row(second).count, 26);
    pool = series.pooled();
    EXPECT_EQ(pool.fields.size(), 3u);
    EXPECT_EQ(pool.notSaved, 2);
    state.ManualAdded = 0;
    state.AutoCount = 25;
    series.setCounted(second, state);
    EXPECT_EQ(series.row(second).state, SeriesState::Counted);
    series.refresh(second);
    EXPECT_EQ(series.row(second).state, SeriesState::Saved);
    EXPECT_EQ(series.pooled().fields.size(), 4u);

    // Nothing saved: nothing pooled, nothing written.
    Series unsaved = Series::openPictures({path("field5.jpg")});
    EXPECT_NE(writeSeriesPooledReport(unsaved).error, "");
}

// The table's CSV repeats the counter's summary row for a picture the counter counted and saved.
TEST_F(SeriesTest, CsvRowIsTheCountersSummaryRow)
{
    Picture picture = filledPicture(200, 150, kBlack);
    for (int i = 0; i < 6; ++i) fillBlock(picture, 20 + 28 * i, 30 + 15 * i, 6, 6, kTarget);
    ASSERT_EQ(writeJpegFile(picture, path("plate.jpg")), "");
    CounterOptions options;
    options.pictures = {path("plate.jpg")};
    options.summaryFile = path("summary.csv");
    options.particles = true;
    options.blobs = true;
    options.jobs = 1;
    std::ostringstream out, err;
    ASSERT_EQ(runCounter(options, out, err), 0) << err.str();
    const std::string summary = readText("summary.csv");
    const std::size_t headerEnd = summary.find('\n');
    const std::string counterHeader = summary.substr(0, headerEnd);
    const std::string counterRow =
        summary.substr(headerEnd + 1, summary.find('\n', headerEnd + 1) - headerEnd - 1);
    fs::remove(path("summary.csv"));

    const Series series = Series::openFolder(dir());
    ASSERT_EQ(series.size(), 1u);
    ASSERT_EQ(series.row(0).state, SeriesState::Saved) << series.row(0).problem;
    const std::string csv = seriesCsvText(series);
    EXPECT_EQ(csv, counterHeader + ",learnt_count,removed,added,state\n" + counterRow + ",,0,0,saved\n");

    // The series' size histogram, from the particle table the counter wrote: one area per particle.
    ASSERT_GT(series.row(0).count.value_or(0), 0);
    const SeriesAreas areas = seriesParticleAreas(series, AreaUnit::SquareMicrons);
    EXPECT_TRUE(areas.problems.empty());
    EXPECT_EQ(sizeHistogram(areas.areas, AreaUnit::SquareMicrons).particles, *series.row(0).count);
}

// Each histogram's bars hold every area once; the Poisson expectations add up to the number of fields.
TEST(SeriesPlots, BarsSumToTheParticlesAndExpectationsToTheFields)
{
    const std::vector<std::vector<double>> areaSets = {
        {}, {7}, {5, 5, 5}, {1, 2, 3, 4, 100}, {12.5, 3.25, 80, 80, 41, 0.5, 19}};
    for (const std::vector<double>& areas : areaSets) {
        const SizeHistogram histogram = sizeHistogram(areas, AreaUnit::Pixels, 6);
        std::int64_t sum = 0;
        for (const HistogramBin& bin : histogram.bins) sum += bin.count;
        EXPECT_EQ(sum, static_cast<std::int64_t>(areas.size()));
        EXPECT_EQ(histogram.particles, static_cast<std::int64_t>(areas.size()));
        if (!areas.empty()) {
            EXPECT_EQ(histogram.bins.front().low, *std::min_element(areas.begin(), areas.end()));
            EXPECT_EQ(histogram.bins.back().high, *std::max_element(areas.begin(), areas.end()));
        }
    }

    const std::vector<std::vector<std::int64_t>> countSets = {
        {20, 20, 20, 20}, {0, 5, 100}, {3}, {0, 0, 1}, {480, 520, 505, 497, 530, 469, 512}};
    for (const std::vector<std::int64_t>& counts : countSets) {
        const double mean =
            static_cast<double>(std::accumulate(counts.begin(), counts.end(), std::int64_t{0})) /
            counts.size();
        const FieldCountPlot plot = fieldCountPlot(counts, mean, 5);
        EXPECT_LE(plot.bins.size(), 5u);
        int fields = 0;
        double expected = 0;
        for (const FieldCountBin& bin : plot.bins) {
            fields += bin.fields;
            expected += bin.expected;
            int inBin = 0;
            for (std::int64_t count : counts) inBin += count >= bin.low && count <= bin.high;
            EXPECT_EQ(bin.fields, inBin);
        }
        EXPECT_EQ(fields, static_cast<int>(counts.size()));
        EXPECT_NEAR(expected, static_cast<double>(counts.size()), 1e-9);
    }
    // One bar per count at a mean of 2 over 0 to 4 fields' counts: the inner bars' chances are Poisson's.
    const FieldCountPlot plot = fieldCountPlot({0, 1, 2, 3, 4}, 2.0, 5);
    ASSERT_EQ(plot.bins.size(), 5u);
    EXPECT_NEAR(plot.bins[1].expected, 5 * 2 * std::exp(-2.0), 1e-12);
    EXPECT_NEAR(plot.bins[3].expected, 5 * 8.0 / 6 * std::exp(-2.0), 1e-12);
}

// A picture's areas: counted particles only (removed ones and those added by hand have none to show),
// in µm² at the picture's scale.
TEST(SeriesPlots, AreasOfTheCountedParticlesAtTheScale)
{
    ParticleList list;
    for (std::int64_t area : {10, 20, 30}) {
        ParticleRecord particle;
        particle.areaPixels = area;
        list.particles.push_back(particle);
    }
    list.particles[1].removed = true;
    list.recordAdd(5, 5);
    EXPECT_EQ(particleAreas(list, 0), (std::vector<double>{10, 30}));
    EXPECT_EQ(particleAreas(list, 500), (std::vector<double>{40, 120}));  // 2 µm per pixel
}

// Recent series keep the newest first, one entry per series, and survive the settings file's other lines.
TEST(RecentSeries, KeptInTheSettingsFileNewestFirst)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const fs::path settings = fs::path(folder.path().toStdString()) / "SpotTally.ini";
    ASSERT_EQ(writeSettingsFile(settings, "/data/pictures/"), "");
    const SeriesSource a{"/data/filter A", {}};
    const SeriesSource b{{}, {"/data/x/f1.jpg", "/data/x/f 2.tif"}};
    ASSERT_EQ(rememberRecentSeries(settings, a), "");
    ASSERT_EQ(rememberRecentSeries(settings, b), "");
    ASSERT_EQ(rememberRecentSeries(settings, a), "");
    EXPECT_EQ(readRecentSeries(settings), (std::vector<SeriesSource>{a, b}));
    EXPECT_EQ(readSettingsFile(settings).firstLine, "/data/pictures/");
    EXPECT_NE(rememberRecentSeries(settings, SeriesSource{"/data/tab\there", {}}), "");
    EXPECT_EQ(readRecentSeries(settings).size(), 2u);
}
