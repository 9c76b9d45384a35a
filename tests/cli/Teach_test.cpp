// The headless counter's teaching by example and blob count, run as a user runs them.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "detect/BlobCount.h"
#include "detect/CountRun.h"
#include "detect/Marks.h"
#include "detect/ParameterSearch.h"
#include "picture/PictureLoading.h"
#include "detect/DensityCount.h"
#include "report/BlobReport.h"
#include "report/DensityReport.h"
#include "report/ReportFile.h"
#include "support/TeachingPictures.h"
#include "CounterProcess.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class TeachTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.isValid());
        const TeachingKind kind = teachingKinds()[1];
        training_ = makeTeachingPicture(kind, 0);
        ASSERT_EQ(writeJpegFile(training_.picture, path("train.jpg")), "");
        ASSERT_EQ(writeJpegFile(makeTeachingPicture(kind, 1).picture, path("other.jpg")), "");
        ASSERT_TRUE(writeMarksFile(path("c_train.marks.csv"), trueCentres(training_, kRegion)).saved());
    }
    fs::path path(const std::string& name) const { return fs::path(folder_.path().toStdString()) / name; }
    QString arg(const std::string& name) const { return QString::fromStdString(path(name).string()); }
    Picture decoded(const std::string& name) const
    {
        return decodePictureFile(path(name), PictureKind::Jpeg).picture;
    }

    static constexpr PixelRegion kRegion{250, 150, 300, 300};
    QTemporaryDir folder_;
    Micrograph training_;
};

}  // namespace

TEST_F(TeachTest, LearntFileRestoresEverythingAndBothCountsMatchTheCore)
{
    const ProcessRun learn = runCounter({QStringLiteral("--learn"), arg("c_train.marks.csv"), QStringLiteral("--learn-region"),
                                         QStringLiteral("250,150,300,300"), QStringLiteral("--learn-out"),
                                         arg("learnt.txt"), arg("train.jpg")});
    ASSERT_EQ(learn.exitCode, 0) << learn.err;

    // The printed options are the core's teaching of the same decoded picture.
    const Picture train = decoded("train.jpg");
    const Teaching teaching = teachFromMarks(train, kRegion, readMarksFile(path("c_train.marks.csv")).marks);
    ASSERT_EQ(teaching.error, "");
    const CountParams& p = teaching.count;
    const std::vector<std::string> printed = linesOf(learn.out);
    ASSERT_GE(printed.size(), 3u) << learn.out;
    EXPECT_EQ(printed[0], "--min-size " + std::to_string(p.minSize) + " --max-size " + std::to_string(p.maxSize) +
                              " --colour " + std::to_string(colourRed(p.targetColour)) + "," +
                              std::to_string(colourGreen(p.targetColour)) + "," +
                              std::to_string(colourBlue(p.targetColour)) + " --colour-tolerance " +
                              std::to_string(p.colourTolerance) + " --brightness-tolerance " +
                              std::to_string(p.brightnessTolerance) + " --min-contrast " + std::to_string(p.minContrast));
    EXPECT_EQ(printed[1], "blob settings (scale / threshold / distance): " + blobSettingsText(teaching.blobs));
    EXPECT_EQ(printed[2].rfind("teaching region: " + std::to_string(teaching.countFit.marks) + " marks; count found " +
                                   std::to_string(teaching.countFit.found), 0),
              0u)
        << printed[2];

    // The learnt file is a report: 21 lines, then the four blob lines and the four learnt lines; the
    // model lies beside it.
    const ReportReading learnt = readReportFile(path("learnt.txt"));
    ASSERT_EQ(learnt.error, "");
    ASSERT_EQ(learnt.lines.size(), 29u);
    EXPECT_EQ(learnt.lines[25].rfind(kLearntCountLabel, 0), 0u);
    EXPECT_EQ(learnt.lines[28].rfind(kLearntModelLabel, 0), 0u);
    const DensityModelReading model = readDensityModelFile(path("learnt.model.txt"));
    ASSERT_EQ(model.error, "");
    EXPECT_EQ(learnt.lines[3], "<Image file analysed:> train.jpg");
    EXPECT_EQ(learnt.lines[21].rfind(kBlobCountLabel, 0), 0u);
    std::string problem;
    EXPECT_EQ(readBlobSettings(learnt.lines, problem), std::optional<BlobSettings>(teaching.blobs));

    // Counting another picture with it: the fifth column, the blob lines and the summary column.
    const ProcessRun count =
        runCounter({QStringLiteral("--params-from"), arg("learnt.txt"), QStringLiteral("--blobs"), QStringLiteral("--density"),
                    QStringLiteral("--particles"), QStringLiteral("--summary"), arg("summary.csv"), arg("other.jpg")});
    ASSERT_EQ(count.exitCode, 0) << count.err;
    const Picture other = decoded("other.jpg");
    Layers layers;
    layers.Image1 = other;
    TAnalysisState state;
    ParameterTexts texts;
    ASSERT_TRUE(applyReportFields(learnt, texts).complete);
    countParticles(layers, state, p.targetColour, texts);
    const std::size_t blobs = findBlobs(other, p.targetColour, teaching.blobs).size();
    EXPECT_GT(blobs, 100u);
    const std::vector<std::string> countLines = linesOf(count.out);
    ASSERT_EQ(countLines.size(), 1u) << count.out;
    const std::vector<std::string> columns = [&] {
        std::vector<std::string> parts(1);
        for (char c : countLines[0]) {
            if (c == '\t')
                parts.emplace_back();
            else
                parts.back().push_back(c);
        }
        return parts;
    }();
    // The learnt count is the core's with the model read back (the window counts the same way).
    const DensityResult learntCount = predictDensity(other, model.model);
    const std::string learntText = std::to_string(learntParticleCount(learntCount));
    ASSERT_EQ(columns.size(), 6u) << count.out;
    EXPECT_EQ(columns[1], std::to_string(state.AutoCount));
    EXPECT_EQ(columns[4], std::to_string(blobs));
    EXPECT_EQ(columns[5], learntText);
    const ReportReading report = readReportFile(path("c_other.txt"));
    ASSERT_EQ(report.lines.size(), 29u);
    EXPECT_EQ(report.lines[15], "<Particles counted:> " + std::to_string(state.AutoCount));
    EXPECT_EQ(report.lines[21], kBlobCountLabel + std::to_string(blobs));
    EXPECT_EQ(report.lines[24], kBlobSettingsLabel + blobSettingsText(teaching.blobs));
    EXPECT_EQ(report.lines[25], kLearntCountLabel + learntText);
    std::ifstream summaryFile(path("summary.csv"));
    const std::vector<std::string> summary = linesOf(std::string(std::istreambuf_iterator<char>(summaryFile), {}));
    ASSERT_EQ(summary.size(), 2u);
    EXPECT_EQ(summary[0],
              "file,width,height,particles,particles_per_filter,particles_per_cm3,total_area_pixels,blob_count,"
              "learnt_count");
    EXPECT_EQ(summary[1].substr(summary[1].rfind(',') + 1), learntText);
    std::ifstream positionsFile(path("c_other.learnt.csv"));
    const std::vector<std::string> positions = linesOf(std::string(std::istreambuf_iterator<char>(positionsFile), {}));
    ASSERT_EQ(positions.size(), learntCount.positions.size() + 1);
    EXPECT_EQ(positions[0], "number,x,y");
    EXPECT_EQ(positions[1], "1," + std::to_string(learntCount.positions[0].x) + "," +
                                std::to_string(learntCount.positions[0].y));
}

TEST_F(TeachTest, BadTeachingInputsAreRefusedWithAClearMessage)
{
    std::ofstream(path("bad.marks.csv")) << "x,y\n10,20\n30;40\n";
    std::ofstream(path("broken.txt")) << "x\n";
    struct Case {
        QStringList arguments;
        int exitCode;
        std::string message;
    };
    const QString region = QStringLiteral("250,150,300,300");
    const Case cases[] = {
        {{"--learn", arg("bad.marks.csv"), "--learn-region", region, "--learn-out", arg("o.txt"), arg("train.jpg")},
         1, "bad.marks.csv, line 3: a mark must be two whole numbers x,y ('30;40')"},
        {{"--learn", arg("c_train.marks.csv"), "--learn-out", arg("o.txt"), arg("train.jpg")}, 2,
         "--learn needs --learn-region X,Y,W,H"},
        {{"--learn", arg("c_train.marks.csv"), "--learn-region", region, arg("train.jpg")}, 2,
         "--learn needs --learn-out FILE"},
        {{"--learn", arg("c_train.marks.csv"), "--learn-region", "1,2,3", "--learn-out", arg("o.txt"), arg("train.jpg")},
         2, "--learn-region: a region is four whole numbers X,Y,WIDTH,HEIGHT"},
        {{"--learn", arg("c_train.marks.csv"), "--learn-region", region, "--learn-out", arg("o.txt"), arg("train.jpg"),
          arg("other.jpg")},
         2, "--learn teaches on exactly one picture, not 2"},
        {{"--learn-region", region, arg("train.jpg")}, 2, "--learn-region and --learn-out go with --learn MARKS.csv"},
        {{"--learn", arg("c_train.marks.csv"), "--learn-region", region, "--learn", arg("c_train.marks.csv"),
          "--learn-out", arg("o.txt"), arg("train.jpg"), arg("other.jpg")},
         2, "--learn needs --learn-region X,Y,W,H for each marks file"},
        {{"--learn", arg("c_train.marks.csv"), "--learn-region", region, "--learn", arg("c_train.marks.csv"),
          "--learn-region", region, "--learn-out", arg("o.txt"), arg("train.jpg")},
         2, "2 marks files (--learn) need as many pictures, not 1"},
        {{"--learn", arg("c_train.marks.csv"), "--learn-region", region, "--learn-region", region, "--learn-out",
          arg("o.txt"), arg("train.jpg")},
         2, "--learn-region is given twice for one --learn"},
        {{"--learn-background", "1,1,5,5", arg("train.jpg")}, 2, "--learn-background goes with --learn MARKS.csv"},
        {{"--density", arg("train.jpg")}, 2, "--density needs --params-from REPORT"},
        {{"--learn", arg("c_train.marks.csv"), "--learn-region", "700,500,300,300", "--learn-out", arg("o.txt"),
          arg("train.jpg")},
         1, "The teaching region 700,500,300,300 does not lie inside the picture (800 x 600 pixels)."},
    };
    for (const Case& c : cases) {
        const ProcessRun run = runCounter(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString() << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(path("o.txt")));
    }

    // A report whose blob settings line cannot be read stops the counter before any picture.
    const ProcessRun learn = runCounter({"--learn", arg("c_train.marks.csv"), "--learn-region", region, "--learn-out",
                                         arg("learnt.txt"), arg("train.jpg")});
    ASSERT_EQ(learn.exitCode, 0) << learn.err;
    // A report without its model cannot give the learnt count; a damaged model is refused.
    ReportReading plain = readReportFile(path("learnt.txt"));
    ASSERT_EQ(plain.error, "");
    ASSERT_TRUE(writeReportFile(path("plain.txt"), plain.lines).saved());
    const ProcessRun missing = runCounter({"--params-from", arg("plain.txt"), "--density", arg("other.jpg")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("its learnt model"), std::string::npos) << missing.err;
    std::ofstream(path("plain.model.txt")) << "SpotTally density model 1\ncolour 1 2\n";
    const ProcessRun damaged = runCounter({"--params-from", arg("plain.txt"), "--density", arg("other.jpg")});
    EXPECT_EQ(damaged.exitCode, 2);
    EXPECT_NE(damaged.err.find("plain.model.txt: line 2"), std::string::npos) << damaged.err;
    EXPECT_FALSE(fs::exists(path("c_other.txt")));

    ReportReading learnt = readReportFile(path("learnt.txt"));
    learnt.lines[24] = std::string(kBlobSettingsLabel) + "0 / 1 / 2";
    ASSERT_TRUE(writeReportFile(path("learnt.txt"), learnt.lines).saved());
    const ProcessRun refused = runCounter({"--params-from", arg("learnt.txt"), "--blobs", arg("other.jpg")});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("line 24 does not hold blob settings"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(path("c_other.txt")));
}
