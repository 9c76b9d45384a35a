// The headless counter as a user runs it: a process with options, pictures and output files.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "picture/PictureLoading.h"
#include "detect/CountRun.h"
#include "report/ReportFile.h"
#include "support/SyntheticMicrograph.h"

namespace fs = std::filesystem;

namespace {

struct ProcessRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ProcessRun runCounter(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(SPOTTALLY_COUNTER), arguments);
    process.waitForFinished(120000);
    ProcessRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class CounterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.isValid());
        MicrographOptions options;
        options.width = 400;
        options.height = 300;
        options.particles = 40;
        options.seed = 3;
        micrograph_ = makeSyntheticMicrograph(options).picture;
        ASSERT_EQ(writeJpegFile(micrograph_, path("plate.jpg")), "");
    }
    fs::path path(const std::string& name) const { return fs::path(folder_.path().toStdString()) / name; }
    QString arg(const std::string& name) const { return QString::fromStdString(path(name).string()); }

    QTemporaryDir folder_;
    Picture micrograph_;
};

}  // namespace

TEST_F(CounterTest, CountsAndWritesTheReportAsSaveReportWould)
{
    const ProcessRun run = runCounter({arg("plate.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string report = readFile(path("c_plate.txt"));
    ASSERT_FALSE(report.empty());
    const ReportReading reading = readReportText(report, "c_plate.txt");
    ASSERT_EQ(reading.lines.size(), 21u);
    EXPECT_EQ(reading.lines[2], "<Report file:> c_plate.txt");
    EXPECT_EQ(reading.lines[3], "<Image file analysed:> plate.jpg");
    EXPECT_EQ(reading.lines[6], "<Colour R / G / B:> 121 / 223 / 95");
    // Every line ends with CR LF.
    std::size_t lineEnds = 0;
    for (std::size_t at = report.find("\r\n"); at != std::string::npos; at = report.find("\r\n", at + 2)) ++lineEnds;
    EXPECT_EQ(lineEnds, 21u);

    // The count equals the core's count of the same decoded picture.
    Layers layers;
    layers.Image1 = decodePictureFile(path("plate.jpg"), PictureKind::Jpeg).picture;
    TAnalysisState state;
    countParticles(layers, state, rgbColour(121, 223, 95), ParameterTexts{});
    EXPECT_GT(state.AutoCount, 20);
    EXPECT_EQ(reading.lines[15], "<Particles counted:> " + std::to_string(state.AutoCount));
    // The printed line: picture, count, per filter, per cm3, tab-separated.
    EXPECT_EQ(run.out.rfind(path("plate.jpg").string() + "\t" + std::to_string(state.AutoCount) + "\t", 0), 0u)
        << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\t'), 3);
}

TEST_F(CounterTest, OptionsReachTheReportAndOutputsGoIntoOut)
{
    const ProcessRun run = runCounter({QStringLiteral("--min-size"), QStringLiteral("3"), QStringLiteral("--colour=10,20,30"),
                                QStringLiteral("--volume"), QStringLiteral("0,5"), QStringLiteral("--out"),
                                arg("results"), QStringLiteral("--marked"), QStringLiteral("--xy"),
                                QStringLiteral("--stats"), QStringLiteral("--summary"), arg("summary.csv"),
                                arg("plate.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const ReportReading reading = readReportFile(path("results/c_plate.txt"));
    ASSERT_EQ(reading.error, "");
    EXPECT_EQ(reading.Edmin.value_or(""), "3");
    EXPECT_EQ(reading.EdR.value_or("") + reading.EdG.value_or("") + reading.EdB.value_or(""), "102030");
    EXPECT_EQ(reading.EdVol.value_or(""), withRegionalSeparator("0.5"));
    EXPECT_EQ(reading.lines.at(21), "<STATISTICS> ");
    // The marked picture is a JPEG of the count view; the x/y file lists the markers.
    const std::string marked = readFile(path("results/c_plate.jpg"));
    ASSERT_GE(marked.size(), 3u);
    EXPECT_EQ(marked.substr(0, 3), "\xFF\xD8\xFF");
    EXPECT_TRUE(fs::exists(path("results/c_plate.asc")));
    const std::string summary = readFile(path("summary.csv"));
    EXPECT_EQ(summary.rfind("file,width,height,particles,particles_per_filter,particles_per_cm3,total_area_pixels\n", 0),
              0u);
    EXPECT_NE(summary.find(",400,300,"), std::string::npos);
    EXPECT_FALSE(fs::exists(path("c_plate.txt")));  // nothing beside the picture
}

TEST_F(CounterTest, XYExportHoldsTheMarkersOfTheCount)
{
    const ProcessRun run = runCounter({QStringLiteral("--xy"), arg("plate.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string xy = readFile(path("c_plate.asc"));
    Layers layers;
    layers.Image1 = decodePictureFile(path("plate.jpg"), PictureKind::Jpeg).picture;
    TAnalysisState state;
    countParticles(layers, state, rgbColour(121, 223, 95), ParameterTexts{});
    EXPECT_EQ(static_cast<long>(std::count(xy.begin(), xy.end(), '\n')), state.AutoCount);
}

TEST_F(CounterTest, AFailedPictureDoesNotStopTheOthers)
{
    std::ofstream(path("broken.jpg")) << "not a jpeg";
    const ProcessRun run = runCounter({QStringLiteral("--jobs"), QStringLiteral("2"), arg("broken.jpg"), arg("missing.bmp"),
                                arg("plate.jpg"), arg("notes.txt")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("broken.jpg"), std::string::npos);
    EXPECT_NE(run.err.find("missing.bmp"), std::string::npos);
    EXPECT_NE(run.err.find("notes.txt"), std::string::npos);
    EXPECT_TRUE(fs::exists(path("c_plate.txt")));
    EXPECT_FALSE(fs::exists(path("c_broken.txt")));
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
}

TEST_F(CounterTest, BadOptionsExitTwoWithUsage)
{
    for (const QStringList& arguments : {QStringList{}, QStringList{QStringLiteral("--min-size"), QStringLiteral("x"),
                                                                    arg("plate.jpg")},
                                         QStringList{QStringLiteral("--nope"), arg("plate.jpg")}}) {
        const ProcessRun run = runCounter(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("Usage: spottally-count"), std::string::npos);
        EXPECT_FALSE(fs::exists(path("c_plate.txt")));
    }
    const ProcessRun help = runCounter({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--params-from REPORT"), std::string::npos);
}

TEST_F(CounterTest, ParametersFromASavedReport)
{
    ASSERT_EQ(runCounter({QStringLiteral("--min-size"), QStringLiteral("4"), QStringLiteral("--max-size"),
                          QStringLiteral("11"), arg("plate.jpg")})
                  .exitCode,
              0);
    fs::rename(path("c_plate.txt"), path("saved.txt"));
    const ProcessRun run = runCounter({QStringLiteral("--params-from"), arg("saved.txt"), QStringLiteral("--max-size"),
                                QStringLiteral("9"), arg("plate.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const ReportReading reading = readReportFile(path("c_plate.txt"));
    EXPECT_EQ(reading.Edmin.value_or(""), "4");  // from the report
    EXPECT_EQ(reading.EdMax.value_or(""), "9");  // the later option wins
    std::ofstream(path("short.txt")) << "S p o t T a l l y  REPORT\r\n";
    EXPECT_EQ(runCounter({QStringLiteral("--params-from"), arg("short.txt"), arg("plate.jpg")}).exitCode, 2);
}

// Counters running at once append to one summary: the header once, every row whole, none lost.
TEST_F(CounterTest, SummaryAppendFromParallelCountersKeepsEveryRow)
{
    constexpr int kProcesses = 6;
    constexpr int kPicturesEach = 4;
    std::vector<std::string> expectedFiles;
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int p = 0; p < kProcesses; ++p) {
        QStringList arguments{QStringLiteral("--summary-append"), arg("all.csv"), QStringLiteral("--out"),
                              arg("out" + std::to_string(p)), QStringLiteral("--jobs"), QStringLiteral("1")};
        for (int i = 0; i < kPicturesEach; ++i) {
            const std::string name = "p" + std::to_string(p) + "_" + std::to_string(i) + ".jpg";
            fs::copy_file(path("plate.jpg"), path(name));
            arguments << arg(name);
            expectedFiles.push_back(path(name).string());
        }
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(SPOTTALLY_COUNTER), arguments);
        processes.push_back(std::move(process));
    }
    for (auto& process : processes) {
        ASSERT_TRUE(process->waitForFinished(120000));
        EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
    }
    std::istringstream lines(readFile(path("all.csv")));
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "file,width,height,particles,particles_per_filter,particles_per_cm3,total_area_pixels");
    std::vector<std::string> files;
    while (std::getline(lines, line)) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 6) << line;
        files.push_back(line.substr(0, line.find(',')));
    }
    std::sort(files.begin(), files.end());
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(files, expectedFiles);
}

// --pool: no count, the pooled text beside, one tab-separated line; a report that cannot be used
// stops it with the reason and writes nothing.
TEST_F(CounterTest, PoolsSavedReportsWithoutCounting)
{
    fs::copy_file(path("plate.jpg"), path("second.jpg"));
    ASSERT_EQ(runCounter({QStringLiteral("--particles"), arg("plate.jpg"), arg("second.jpg")}).exitCode, 0);
    const std::string table = readFile(path("c_plate.csv"));
    EXPECT_EQ(table.rfind("number,x,y,area_pixels,", 0), 0u);
    const ReportReading report = readReportFile(path("c_plate.txt"));
    const std::string count = report.lines.at(15).substr(report.lines.at(15).find("> ") + 2);
    EXPECT_EQ(std::to_string(std::count(table.begin(), table.end(), '\n') - 1), count);

    const ProcessRun run = runCounter({QStringLiteral("--pool"), arg("pooled.txt"), arg("c_plate.txt"), arg("c_second.txt")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> fields(1);
    for (char c : run.out) {
        if (c == '\t')
            fields.emplace_back();
        else if (c != '\n')
            fields.back() += c;
    }
    ASSERT_EQ(fields.size(), 9u) << run.out;
    EXPECT_EQ(fields[0], "2");
    EXPECT_EQ(fields[1], std::to_string(2 * std::stoi(count)));
    EXPECT_EQ(fields[8], "poisson");  // two equal fields scatter less than random
    EXPECT_NE(readFile(path("pooled.txt")).find("<Fields pooled:> 2\r\n"), std::string::npos);

    fs::remove(path("pooled.txt"));
    fs::remove(path("second.jpg"));
    const ProcessRun missing = runCounter({QStringLiteral("--pool"), arg("pooled.txt"), arg("c_plate.txt"), arg("c_second.txt")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("second.jpg is not found"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(path("pooled.txt")));
    EXPECT_EQ(runCounter({QStringLiteral("--pool"), arg("pooled.txt")}).exitCode, 2);
}
