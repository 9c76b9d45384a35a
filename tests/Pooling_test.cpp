#include "report/Pooling.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "core/FieldText.h"
#include "picture/PictureLoading.h"
#include "report/Distributions.h"
#include "report/ReportFile.h"
#include "support/TestPictures.h"
#include "support/TiffWriter.h"

namespace fs = std::filesystem;

// Every expected value below was computed independently of the program's incomplete gamma and beta
// functions by tests/tools/pooling_expected.py (Python standard library only: closed forms for whole
// degrees of freedom, quantiles by bisection); the table values it checks against are in its output.

namespace {

constexpr double kRelative = 1e-9;

void expectNear(double actual, double expected, const char* what)
{
    EXPECT_NEAR(actual, expected, std::max(1e-12, std::fabs(expected) * kRelative)) << what;
}

}  // namespace

TEST(Distributions, QuantilesAndDistributionFunctions)
{
    struct Row {
        const char* what;
        double actual, expected;
    };
    const Row rows[] = {
        {"chi2 0.975, 1 df", chiSquareQuantile(0.975, 1), 5.023886187314885},
        {"chi2 0.975, 2 df", chiSquareQuantile(0.975, 2), 7.377758908227866},
        {"chi2 0.025, 7 df", chiSquareQuantile(0.025, 7), 1.6898691806773551},
        {"chi2 0.975, 201 df", chiSquareQuantile(0.975, 201), 242.15586348038528},
        {"t 0.975, 1 df", studentTQuantile(0.975, 1), 12.706204736174676},
        {"t 0.975, 4 df", studentTQuantile(0.975, 4), 2.7764451051977908},
        {"t 0.975, 7 df", studentTQuantile(0.975, 7), 2.364624251592783},
        {"t 0.975, 30 df", studentTQuantile(0.975, 30), 2.042272456301238},
        {"t 0.025, 7 df", studentTQuantile(0.025, 7), -2.364624251592783},
        {"chi2 cdf 3.8889, 3 df", chiSquareCdf(3.888888888888889, 3), 0.7262852184164116},
        {"t cdf -1.3, 5 df", studentTCdf(-1.3, 5), 0.12515031708533858},
    };
    for (const Row& row : rows) expectNear(row.actual, row.expected, row.what);
    EXPECT_EQ(chiSquareQuantile(0.0, 3), 0.0);
    EXPECT_EQ(chiSquareCdf(0.0, 3), 0.0);
}

// One table of filters: equal fields, an overdispersed set, a field with no particle, fields of two
// picture sizes (Poisson and overdispersed). Filter area 378 mm², volume 0.143 cm³; a unit field
// is a 1600 x 1200 picture at 3952 pixels per mm.
TEST(Pooling, MatchesTheIndependentlyComputedResults)
{
    struct Row {
        const char* name;
        std::vector<std::int64_t> counts;
        std::vector<double> sizes;  // field areas in unit fields
        PoolIntervalKind kind;
        double sd, chiSquare, pValue, perFilter, low, high;
    };
    const auto P = PoolIntervalKind::Poisson, T = PoolIntervalKind::StudentT;
    const Row rows[] = {
        {"equal fields",
         {20, 20, 20, 20, 20},
         {1, 1, 1, 1, 1},
         P,
         0.0,
         0.0,
         1.0,
         61497.07200000001,
         50036.472281653994,
         74796.91694981999},
        {"overdispersed",
         {10, 25, 14, 30, 12, 22, 8, 27},
         {1, 1, 1, 1, 1, 1, 1, 1},
         T,
         8.48528137423857,
         27.243243243243242,
         0.00030129562999103854,
         56884.79160000001,
         35072.17142202788,
         78697.41177797214},
        {"one field empty",
         {0, 3, 2, 4},
         {1, 1, 1, 1},
         P,
         1.707825127659933,
         3.888888888888889,
         0.2737147815835884,
         6918.4206,
         3163.5424459542282,
         13133.31734947216},
        {"two sizes",
         {10, 12, 22, 19},
         {1, 1, 2, 2},
         P,
         5.678908345800274,
         0.47619047619047616,
         0.9240902440390156,
         32285.962799999998,
         24809.420293500218,
         41307.77148796958},
        {"two sizes overdispersed",
         {3, 25, 30, 60, 12},
         {1, 1, 2, 2, 1},
         T,
         21.783020910791965,
         33.04615384615385,
         1.1687704846163882e-06,
         57104.424,
         16187.775262303685,
         98021.07273769632},
    };
    const double unit = 1600.0 * 1200.0 / (3952.0 * 3952.0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<PoolField> fields;
        for (std::size_t i = 0; i < row.counts.size(); ++i) {
            PoolField field;
            field.reportName = "c_" + std::to_string(i) + ".txt";
            field.count = row.counts[i];
            field.areaMm2 = unit * row.sizes[i];
            field.filterArea = 378;
            field.volume = 0.143;
            fields.push_back(field);
        }
        const PooledResult result = poolFields(fields);
        ASSERT_EQ(result.error, "");
        EXPECT_EQ(result.kind, row.kind);
        EXPECT_EQ(result.fields, static_cast<int>(row.counts.size()));
        EXPECT_EQ(result.degreesOfFreedom, static_cast<int>(row.counts.size()) - 1);
        expectNear(result.sdPerField, row.sd, "sd");
        expectNear(result.chiSquare, row.chiSquare, "chi-square");
        EXPECT_NEAR(result.pValue, row.pValue, 1e-10) << "p";
        expectNear(result.perFilter, row.perFilter, "per filter");
        expectNear(result.perFilterLow, row.low, "low");
        expectNear(result.perFilterHigh, row.high, "high");
        expectNear(result.perCm3, row.perFilter / 0.143, "per cm3");
        expectNear(result.perCm3Low, row.low / 0.143, "per cm3 low");
        expectNear(result.perCm3High, row.high / 0.143, "per cm3 high");
    }
}

// Edge cases that have no dispersion test, and inputs that are no filter.
TEST(Pooling, NoParticlesOneFieldAndMismatchedReports)
{
    PoolField field;
    field.reportName = "c_a.txt";
    field.areaMm2 = 0.5;
    field.filterArea = 100;
    field.volume = 1;
    // No particle in two fields: Poisson, 0 up to chi2(0.975, 2)/2 = 3.6889 particles in 1 mm².
    PooledResult result = poolFields({field, field});
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.kind, PoolIntervalKind::Poisson);
    EXPECT_TRUE(std::isnan(result.chiSquare));
    EXPECT_EQ(result.perFilterLow, 0.0);
    expectNear(result.perFilterHigh, 7.377758908227866 / 2 * 100, "high");
    // One field: no between-field variation, Poisson; no standard deviation.
    field.count = 4;
    result = poolFields({field});
    EXPECT_EQ(result.kind, PoolIntervalKind::Poisson);
    EXPECT_TRUE(std::isnan(result.sdPerField));
    EXPECT_NE(result.reason.find("one field"), std::string::npos);

    PoolField other = field;
    other.reportName = "c_b.txt";
    other.filterArea = 200;
    EXPECT_NE(poolFields({field, other}).error.find("not fields of one filter"), std::string::npos);
    EXPECT_NE(poolFields({}).error, "");
}

namespace {

std::vector<std::string> savedReport(const std::string& picture, const std::string& count)
{
    std::vector<std::string> lines = {"S p o t T a l l y  REPORT",
                                      "<do not change - except comments> ",
                                      "<Report file:> c_x.txt",
                                      "<Image file analysed:> " + picture,
                                      "<Minimum size:> 5",
                                      "<Maximum size:> 8",
                                      "<Colour R / G / B:> 121 / 223 / 95",
                                      "<Colour tolerance:> 40",
                                      "<Brightness tolerance:> 50",
                                      "<Minimum contrast:> 40",
                                      "<Pixels per mm:> 1000",
                                      "<Filter area (mm^2):> 378",
                                      "<Sample volume (cm^3):> 0,143",
                                      "<_______________________________> ",
                                      "<RESULTS> 01.02.2026  10:00:00",
                                      "<Particles counted:> " + count,
                                      "<including manually removed / added:> 1 / 2",
                                      "<Particles per filter:> 1,00E+00",
                                      "<Particles per cm^3 of sample:> 1,00E+00",
                                      "<_______________________________>",
                                      "<Comments: Total area (pixels):> 1,00E+00"};
    return lines;
}

}  // namespace

// Reading a saved report for pooling: the count after corrections, the scale, and the picture's size
// from the picture beside it (or in a folder given), with a clear reason when something is missing.
TEST(Pooling, ReadsFieldsFromSavedReports)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const fs::path dir = folder.path().toStdString();
    fs::create_directory(dir / "pictures");
    ASSERT_EQ(writeJpegFile(filledPicture(200, 100, kBlack), dir / "pictures" / "a.jpg"), "");
    ASSERT_TRUE(writeReportFile(dir / "c_a.txt", savedReport("a.jpg", "17")).saved());
    ASSERT_TRUE(writeReportFile(dir / "c_bad.txt", savedReport("a.jpg", "many")).saved());
    ASSERT_TRUE(writeReportFile(dir / "c_lost.txt", savedReport("lost.jpg", "3")).saved());

    PoolFieldReading reading = readPoolField(dir / "c_a.txt");
    EXPECT_NE(reading.error.find("a.jpg is not found"), std::string::npos) << reading.error;
    reading = readPoolField(dir / "c_a.txt", {dir / "pictures"});
    ASSERT_EQ(reading.error, "");
    EXPECT_EQ(reading.field.count, 17);
    EXPECT_EQ(reading.field.filterArea, 378);
    EXPECT_DOUBLE_EQ(reading.field.volume, 0.143);
    EXPECT_DOUBLE_EQ(reading.field.areaMm2, 0.2 * 0.1);
    EXPECT_EQ(reading.field.pictureName, "a.jpg");

    EXPECT_NE(
        readPoolField(dir / "c_bad.txt", {dir / "pictures"}).error.find("c_bad.txt: the particles counted"),
        std::string::npos);
    EXPECT_NE(readPoolField(dir / "c_lost.txt", {dir / "pictures"}).error.find("lost.jpg"),
              std::string::npos);
    EXPECT_NE(readPoolField(dir / "c_none.txt").error, "");
    std::vector<std::string> manual = {"This is no report"};
    ASSERT_TRUE(writeReportFile(dir / "c_manual.txt", manual).saved());
    EXPECT_NE(readPoolField(dir / "c_manual.txt").error.find("not a saved count report"), std::string::npos);

    // All reports at once: every problem named, in order; the same report twice is refused.
    const PoolReading all = readPoolFields(
        {dir / "c_a.txt", dir / "c_bad.txt", dir / "pictures" / ".." / "c_a.txt"}, {dir / "pictures"});
    ASSERT_EQ(all.errors.size(), 2u);
    EXPECT_NE(all.errors[0].find("c_bad.txt"), std::string::npos);
    EXPECT_NE(all.errors[1].find("c_a.txt: given twice"), std::string::npos);
    EXPECT_EQ(readPoolFields({dir / "c_a.txt"}, {dir / "pictures"}).fields.size(), 1u);
}

// What cannot be a field's count is refused, not pooled: more particles than the picture's pixels, a
// total past what the interval computes exactly (a sum past 2^63 once looped for ever); one report
// under two names (a hard link) counts once; a 16-bit TIFF picture, which only libtiff reads, gives
// its size.
TEST(Pooling, AbsurdCountsSecondNamesAndEveryTiffPicture)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const fs::path dir = folder.path().toStdString();
    ASSERT_EQ(writeJpegFile(filledPicture(200, 100, kBlack), dir / "a.jpg"), "");
    for (const char* count : {"20001", "2147483648", "4294967296", "1000000000000000"}) {
        ASSERT_TRUE(writeReportFile(dir / "c_a.txt", savedReport("a.jpg", count)).saved());
        const PoolFieldReading reading = readPoolField(dir / "c_a.txt");
        EXPECT_NE(reading.error.find("are more than the 200 x 100 pixels"), std::string::npos)
            << count << ": " << reading.error;
    }
    PoolField field;
    field.reportName = "c_a.txt";
    field.areaMm2 = 1;
    field.filterArea = 100;
    field.volume = 1;
    field.count = 600000;
    EXPECT_NE(poolFields({field, field}).error.find("more than can be pooled"), std::string::npos);
    field.count = 500000;
    EXPECT_EQ(poolFields({field, field}).error, "");

    ASSERT_TRUE(writeReportFile(dir / "c_a.txt", savedReport("a.jpg", "17")).saved());
    fs::create_hard_link(dir / "c_a.txt", dir / "c_same.txt");
    const PoolReading twice = readPoolFields({dir / "c_a.txt", dir / "c_same.txt"});
    ASSERT_EQ(twice.errors.size(), 1u);
    EXPECT_NE(twice.errors[0].find("c_same.txt: given twice"), std::string::npos) << twice.errors[0];

    std::vector<std::uint8_t> samples(30 * 20 * 3 * 2, 0x40);
    const tifftest::TiffFile tiff =
        tifftest::writeTiff({tifftest::imagePage(30, 20, {16, 16, 16}, 2, 3, samples, 30 * 3 * 2)});
    std::ofstream(dir / "b.tif", std::ios::binary)
        .write(reinterpret_cast<const char*>(tiff.bytes.data()), static_cast<std::streamsize>(tiff.bytes.size()));
    ASSERT_TRUE(writeReportFile(dir / "c_b.txt", savedReport("b.tif", "3")).saved());
    const PoolFieldReading sixteen = readPoolField(dir / "c_b.txt");
    ASSERT_EQ(sixteen.error, "");
    EXPECT_DOUBLE_EQ(sixteen.field.areaMm2, 0.03 * 0.02);
}

// The pooled text and the counter's line use the report's number formats and separator.
TEST(Pooling, TextAndLineInTheReportsFormats)
{
    setDecimalSeparator(',');
    PoolField field;
    field.reportName = "c_a.txt";
    field.pictureName = "a.jpg";
    field.count = 100;
    field.areaMm2 = 1600.0 * 1200.0 / (3952.0 * 3952.0);
    field.filterArea = 378;
    field.volume = 0.143;
    const PooledResult result = poolFields({field});
    // 100 particles: Garwood 81.364 .. 121.627 (chi-square quantiles of 200 and 202 df, halved).
    EXPECT_EQ(pooledSummaryLine(result),
              "1\t100\t3,07E+05\t2,50E+05\t3,74E+05\t2,15E+06\t1,75E+06\t2,62E+06\tpoisson");
    const std::vector<std::string> lines = pooledLines({field}, result);
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("<Fields pooled:> 1"));
    EXPECT_TRUE(has("<Field:> c_a.txt / a.jpg / 100 particles / 1,23E-01 mm^2"));
    EXPECT_TRUE(has("<Particles per filter:> 3,07E+05"));
    EXPECT_TRUE(has("<95 % interval per cm^3:> 1,75E+06 - 2,62E+06"));
    EXPECT_TRUE(has("<Standard deviation per field:> -"));
    setDecimalSeparator('\0');
}
