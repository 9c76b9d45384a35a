// The headless counter as a user runs it: a process with options, pictures and output files.

#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "picture/PictureLoading.h"
#include "detect/CountRun.h"
#include "report/ReportFile.h"
#include "report/ReportText.h"
#include "support/SyntheticMicrograph.h"
#include "support/TiffWriter.h"
#include "CounterProcess.h"

namespace fs = std::filesystem;

namespace {

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
    void put(const std::string& name, const std::string& bytes) const
    {
        fs::create_directories(path(name).parent_path());
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::vector<std::string> filesInFolder() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(path("")))
            names.push_back(entry.path().lexically_relative(path("")).string());
        std::sort(names.begin(), names.end());
        return names;
    }

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

// The counter reads the regional settings without Qt: from its table, or, for a name the table leaves
// to Qt (a modifier), through its module. Either way the report writes numbers and the date as Qt's
// system locale does in the window.
TEST_F(CounterTest, RegionalSettingsAsTheWindowTakesThemFromQt)
{
    for (const char* name : {"de_DE.UTF-8", "en_US.UTF-8", "fr_CH", "de_DE@euro", "C"}) {
        SCOPED_TRACE(name);
        const QLocale qt{QString::fromLatin1(name)};
        const QDate before = QDate::currentDate();
        const ProcessRun run = runCounter({arg("plate.jpg")}, {}, {}, QString::fromLatin1(name));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const ReportReading reading = readReportText(readFile(path("c_plate.txt")), "c_plate.txt");
        ASSERT_EQ(reading.lines.size(), 21u);
        EXPECT_EQ(reading.lines[12], "<Sample volume (cm^3):> 0" + qt.decimalPoint().toStdString() + "143");
        const QString format = qt.dateFormat(QLocale::ShortFormat);
        const std::string dated = reading.lines[14];
        const bool today = dated.rfind("<RESULTS> " + before.toString(format).toStdString() + "  ", 0) == 0 ||
                           dated.rfind("<RESULTS> " + QDate::currentDate().toString(format).toStdString() + "  ", 0) == 0;
        EXPECT_TRUE(today) << dated;
        const bool marked = dated.ends_with(" " + qt.amText().toStdString()) || dated.ends_with(" " + qt.pmText().toStdString());
        EXPECT_EQ(marked, qt.timeFormat(QLocale::LongFormat).contains(QLatin1Char('A'), Qt::CaseInsensitive)) << dated;
    }
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

    // A later page of a picture that has one is no page of it: the picture fails, unwritten.
    fs::remove(path("c_plate.txt"));
    const ProcessRun page = runCounter({QStringLiteral("--page"), QStringLiteral("2"), arg("plate.jpg")});
    EXPECT_EQ(page.exitCode, 1);
    EXPECT_NE(page.err.find("--page 2"), std::string::npos) << page.err;
    EXPECT_FALSE(fs::exists(path("c_plate.txt")));
}

// An option error is answered with the error and one line pointing to --help, not the usage text.
TEST_F(CounterTest, BadOptionsExitTwoWithAPointerToHelp)
{
    for (const QStringList& arguments : {QStringList{}, QStringList{QStringLiteral("--min-size"), QStringLiteral("x"),
                                                                    arg("plate.jpg")},
                                         QStringList{QStringLiteral("--nope"), arg("plate.jpg")}}) {
        const ProcessRun run = runCounter(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err.find("Usage: spottally-count"), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
        EXPECT_NE(run.err.find("\nTry 'spottally-count --help' for more information.\n"), std::string::npos)
            << run.err;
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

// Two inputs that map to one output, an output that would replace an input, an input given twice:
// refused before anything is written, naming the files.
TEST_F(CounterTest, ResultsNeverOverwriteEachOtherOrAnInput)
{
    const std::string jpeg = readFile(path("plate.jpg"));
    put("a/x.jpg", jpeg);
    put("b/x.jpg", jpeg);
    put("x.jpg", jpeg);
    put("x.tif", "II*");
    put("c_x.jpg", jpeg);
    put("m.csv", "x,y\n10,10\n20,20\n30,30\n");
    put("p.model.txt", "x,y\n10,10\n20,20\n30,30\n");
    // A saved field to pool, and other names of the picture: a hard link and a symbolic one.
    put("r/f.jpg", jpeg);
    ASSERT_EQ(runCounter({arg("r/f.jpg")}).exitCode, 0);
    fs::create_hard_link(path("x.jpg"), path("hard.csv"));
    fs::create_symlink(path("x.jpg"), path("link.csv"));
    const QString learn = QStringLiteral("--learn"), region = QStringLiteral("--learn-region=0,0,50,50"),
                  learnOut = QStringLiteral("--learn-out");
    const struct {
        QStringList arguments;
        std::vector<std::string> named;
    } cases[] = {
        {{QStringLiteral("--out"), arg("res"), arg("a/x.jpg"), arg("b/x.jpg")}, {"a/x.jpg", "b/x.jpg", "res/c_x.txt"}},
        {{arg("x.jpg"), arg("x.tif")}, {"x.jpg", "x.tif", "c_x.txt"}},
        {{QStringLiteral("--marked"), arg("c_x.jpg")}, {"c_x.jpg", "replace the input"}},
        {{QStringLiteral("--marked"), arg("x.jpg"), arg("c_x.jpg")}, {"c_x.jpg", "replace the input"}},
        {{arg("plate.jpg"), arg("a/../plate.jpg")}, {"given twice"}},
        {{arg("x.jpg"), arg("hard.csv")}, {"given twice"}},
        {{QStringLiteral("--summary"), arg("x.jpg"), arg("x.jpg")}, {"--summary", "replace the input"}},
        {{QStringLiteral("--summary"), arg("c_plate.txt"), arg("plate.jpg")}, {"--summary", "c_plate.txt"}},
        {{QStringLiteral("--summary"), arg("hard.csv"), arg("x.jpg")}, {"hard.csv", "replace the input"}},
        {{QStringLiteral("--summary"), arg("link.csv"), arg("x.jpg")}, {"link.csv", "replace the input"}},
        {{QStringLiteral("--summary-append"), arg("x.jpg"), arg("x.jpg")}, {"--summary-append", "replace the input"}},
        {{QStringLiteral("--summary-append"), arg("r/c_f.txt"), arg("r/f.jpg")}, {"--summary-append", "both write"}},
        {{QStringLiteral("--summary"), arg("s.csv"), QStringLiteral("--summary-append"), arg("s.csv"), arg("x.jpg")},
         {"--summary", "--summary-append", "both write"}},
        {{QStringLiteral("--params-from"), arg("r/c_f.txt"), QStringLiteral("--summary"), arg("r/c_f.txt"), arg("x.jpg")},
         {"--summary", "replace the input"}},
        {{learn, arg("m.csv"), region, learnOut, arg("x.jpg"), arg("x.jpg")}, {"--learn-out", "replace the input"}},
        {{learn, arg("m.csv"), region, learnOut, arg("m.csv"), arg("x.jpg")}, {"--learn-out", "m.csv"}},
        {{learn, arg("m.csv"), region, learnOut, arg("link.csv"), arg("x.jpg")}, {"--learn-out", "link.csv"}},
        // The learnt model beside the parameter file, and the second picture of a teaching series.
        {{learn, arg("p.model.txt"), region, learnOut, arg("p.txt"), arg("x.jpg")}, {"--learn-out", "p.model.txt"}},
        {{learn, arg("m.csv"), region, learn, arg("m.csv"), region, learnOut, arg("c_x.jpg"), arg("x.jpg"),
          arg("c_x.jpg")},
         {"--learn-out", "c_x.jpg"}},
        {{QStringLiteral("--pool"), arg("r/f.jpg"), arg("r/c_f.txt")}, {"--pool", "replace the input"}},
        {{QStringLiteral("--pool"), arg("r/c_f.txt"), arg("r/c_f.txt")}, {"--pool", "c_f.txt"}},
    };
    const std::vector<std::string> before = filesInFolder();
    const std::string picture = readFile(path("x.jpg")), report = readFile(path("r/c_f.txt"));
    for (const auto& c : cases) {
        const ProcessRun run = runCounter(c.arguments);
        const std::string shown = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.exitCode, 2) << shown << "\n" << run.err;
        for (const std::string& name : c.named) EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(filesInFolder(), before) << shown;
        EXPECT_EQ(readFile(path("x.jpg")), picture) << shown;
        EXPECT_EQ(readFile(path("r/c_f.txt")), report) << shown;
    }
    // Apart, the same pictures are counted.
    EXPECT_EQ(runCounter({QStringLiteral("--out"), arg("res"), arg("a/x.jpg")}).exitCode, 0);
}

// Outputs that are no regular file: a symbolic link keeps pointing to the file it names, which gets the
// output; a named pipe gets the output in place and stays a pipe; a folder is refused.
TEST_F(CounterTest, OutputsThroughLinksAndPipesStayWhatTheyAre)
{
    fs::create_directory(path("kept"));
    put("kept/summary.csv", "old");
    fs::create_symlink(path("kept/summary.csv"), path("summary.csv"));
    ProcessRun run = runCounter({QStringLiteral("--summary"), arg("summary.csv"), arg("plate.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(path("summary.csv")));
    EXPECT_EQ(readFile(path("kept/summary.csv")).rfind("file,width,height,", 0), 0u);

    ASSERT_EQ(::mkfifo(path("pipe.csv").c_str(), 0600), 0);
    const int reader = ::open(path("pipe.csv").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    run = runCounter({QStringLiteral("--summary"), arg("pipe.csv"), arg("plate.jpg")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::string received(4096, '\0');
    const ssize_t got = ::read(reader, received.data(), received.size());
    ::close(reader);
    received.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    EXPECT_EQ(received.rfind("file,width,height,", 0), 0u) << received;
    EXPECT_TRUE(fs::is_fifo(path("pipe.csv")));

    fs::create_directory(path("folder.csv"));
    run = runCounter({QStringLiteral("--summary"), arg("folder.csv"), arg("plate.jpg")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("folder.csv"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_directory(path("folder.csv")));
}

// A damaged picture is counted, its reader's messages go to stderr as warnings, its line and summary
// row are marked, and the run exits 1 unless damage is accepted. The same for a TIFF whose second
// directory cannot be read.
TEST_F(CounterTest, DamagedPicturesAreMarkedAndFailTheRun)
{
    const std::string jpeg = readFile(path("plate.jpg"));
    put("cut.jpg", jpeg.substr(0, jpeg.size() / 2));
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < micrograph_.height(); ++y)
        for (int x = 0; x < micrograph_.width(); ++x)
            for (int c = 2; c >= 0; --c) rgb.push_back(micrograph_.row(y)[3 * x + c]);
    using namespace tifftest;
    Page second = imagePage(1, 1, {8}, 1, 1, {9}, 1);
    setField(second, 259, kShort, {5});  // LZW: not read
    const TiffFile tiff = writeTiff({imagePage(400, 300, {8, 8, 8}, 2, 3, rgb, 1200), second});
    put("two.tif", std::string(tiff.bytes.begin(), tiff.bytes.end()));

    for (const bool accept : {false, true}) {
        QStringList arguments{QStringLiteral("--summary"), arg("s.csv"), arg("cut.jpg"), arg("plate.jpg"),
                              arg("two.tif")};
        if (accept) arguments.prepend(QStringLiteral("--accept-damaged"));
        const ProcessRun run = runCounter(arguments);
        EXPECT_EQ(run.exitCode, accept ? 0 : 1) << run.err;
        EXPECT_NE(run.err.find(path("cut.jpg").string() + ": warning: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("is damaged"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(path("two.tif").string() + ": warning: Cant read compressed"), std::string::npos)
            << run.err;
        EXPECT_EQ(run.err.find("plate.jpg"), std::string::npos) << run.err;
        std::istringstream lines(run.out);
        std::vector<std::string> printed;
        for (std::string line; std::getline(lines, line);) printed.push_back(line);
        ASSERT_EQ(printed.size(), 3u) << run.out;
        EXPECT_EQ(printed[0].substr(printed[0].size() - 8), "\tdamaged");
        EXPECT_EQ(std::count(printed[1].begin(), printed[1].end(), '\t'), 3);  // a sound picture unmarked
        EXPECT_EQ(printed[2].substr(printed[2].size() - 8), "\tdamaged");
        const std::string summary = readFile(path("s.csv"));
        std::istringstream rows(summary);
        std::vector<std::string> row;
        for (std::string line; std::getline(rows, line);) row.push_back(line);
        ASSERT_EQ(row.size(), 4u) << summary;
        EXPECT_EQ(row[0], "file,width,height,particles,particles_per_filter,particles_per_cm3,total_area_pixels,warnings");
        EXPECT_NE(row[1].find("is damaged"), std::string::npos);
        EXPECT_EQ(row[2].back(), ',');  // no warnings
        // A run without damaged pictures keeps the summary's columns as they were.
        EXPECT_EQ(runCounter({QStringLiteral("--summary"), arg("s.csv"), arg("plate.jpg")}).exitCode, 0);
        EXPECT_EQ(readFile(path("s.csv")).rfind("file,width,height,particles,particles_per_filter,particles_per_cm3,"
                                                "total_area_pixels\n",
                                                0),
                  0u);
        EXPECT_NE(row[3].find("Cant read compressed"), std::string::npos);
        // The reports say so themselves, in one comment line after line 20; the sound picture's does not.
        for (const char* report : {"c_cut.txt", "c_two.txt", "c_plate.txt"}) {
            const std::string text = readFile(path(report));
            const std::size_t line = text.find(std::string("\r\n") + kDamagedPictureLabel);
            if (std::string(report) == "c_plate.txt") {
                EXPECT_EQ(line, std::string::npos) << text;
                continue;
            }
            ASSERT_NE(line, std::string::npos) << report << "\n" << text;
            EXPECT_EQ(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(line), '\n'), 20)
                << text;
            const std::string comment = text.substr(line + 2, text.find("\r\n", line + 2) - line - 2);
            EXPECT_NE(
                comment.find(report == std::string("c_cut.txt") ? "is damaged" : "Cant read compressed"),
                std::string::npos)
                << comment;
        }
    }
}

// A JPEG whose decoding fails once its rows are decoded (a second scan where its end should be) has
// been counted as far as it went, but fails as any unreadable picture does: its reason on stderr, no
// line, no report, no table.
TEST_F(CounterTest, JpegFailingAtItsEndIsNotCounted)
{
    std::string jpeg = readFile(path("plate.jpg"));
    const std::size_t scan = jpeg.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    jpeg.insert(jpeg.size() - 2, jpeg.substr(scan, jpeg.size() - 2 - scan));
    put("two_scans.jpg", jpeg);
    const ProcessRun run = runCounter({QStringLiteral("--particles"), arg("two_scans.jpg"), arg("plate.jpg")});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find(path("two_scans.jpg").string() + ": \"" + path("two_scans.jpg").string() +
                           "\" is not a readable JPEG picture: "),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("two_scans"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("plate.jpg\t"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(path("c_two_scans.txt")));
    EXPECT_FALSE(fs::exists(path("c_two_scans.csv")));
    EXPECT_TRUE(fs::exists(path("c_plate.txt")));
}

// A picture in the middle of a batch that cannot get its memory fails alone: the others' lines,
// reports and summary rows are complete. The limit is the address space of the counter's process:
// one layer of the big picture fits, the three a count needs do not.
TEST_F(CounterTest, APictureWithoutMemoryFailsAlone)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#else
    // A small JPEG whose header claims 12000 x 12000 pixels: 432 MB a layer.
    const fs::path small = path("small.jpg");
    ASSERT_EQ(writeJpegFile(Picture(16, 16), small), "");
    std::string big = readFile(small);
    const std::size_t frame = big.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    big[frame + 5] = big[frame + 7] = static_cast<char>(12000 >> 8);
    big[frame + 6] = big[frame + 8] = static_cast<char>(12000 & 0xFF);
    put("big.jpg", big);
    fs::copy_file(path("plate.jpg"), path("after.jpg"));
    const rlim_t limit = rlim_t{2} * 12000 * 12000 * 3;
    const ProcessRun run = runCounter({QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("--summary"),
                                       arg("s.csv"), arg("plate.jpg"), arg("big.jpg"), arg("after.jpg")},
                                      [limit] {
                                          const rlimit space{limit, limit};
                                          ::setrlimit(RLIMIT_AS, &space);
                                      });
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find(path("big.jpg").string() + ": "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(path("big.jpg").string() + ": not enough memory to count this picture"), std::string::npos)
        << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    EXPECT_NE(run.out.find(path("after.jpg").string() + "\t"), std::string::npos);
    EXPECT_TRUE(fs::exists(path("c_plate.txt")));
    EXPECT_TRUE(fs::exists(path("c_after.txt")));
    EXPECT_FALSE(fs::exists(path("c_big.txt")));
    const std::string summary = readFile(path("s.csv"));
    EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 3) << summary;
    EXPECT_EQ(readFile(path("c_plate.txt")).substr(0, 20), readFile(path("c_after.txt")).substr(0, 20));
#endif
}

// Failures at writing are reported, never passed over: a write-protected report, a full or closed
// standard output, an output folder that cannot be used (and why), a result that is not a finite
// number; and a report saved with replaced characters says so on stderr.
TEST_F(CounterTest, WriteProblemsAreReported)
{
    put("c_plate.txt", "kept\r\n");
    fs::permissions(path("c_plate.txt"), fs::perms(0444));
    ProcessRun run = runCounter({arg("plate.jpg")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("write-protected"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(path("c_plate.txt")), "kept\r\n");
    fs::permissions(path("c_plate.txt"), fs::perms(0644));

    run = runCounter({arg("plate.jpg")}, {}, QStringLiteral("/dev/full"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot write to the standard output"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(path("c_plate.txt")));
    run = runCounter({arg("plate.jpg")}, [] {
        int ends[2];
        if (::pipe(ends) != 0) return;
        ::dup2(ends[1], STDOUT_FILENO);
        ::close(ends[0]);  // nobody reads
        ::close(ends[1]);
        std::signal(SIGPIPE, SIG_DFL);
    });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot write to the standard output"), std::string::npos) << run.err;

    put("file", "x");
    run = runCounter({QStringLiteral("--out"), arg("file/res"), arg("plate.jpg")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot use the output folder \"" + path("file/res").string() + "\": "), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(std::strerror(ENOTDIR)), std::string::npos) << run.err;

    // Values each within their range whose particles per cm3 pass the largest number.
    run = runCounter({QStringLiteral("--volume"), QStringLiteral("1e-300"), QStringLiteral("--pixels-per-mm=2147483647"),
                      QStringLiteral("--filter-area=2147483647"), arg("plate.jpg")});
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(run.err.find("not a finite number"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("INF"), std::string::npos);

    fs::copy_file(path("plate.jpg"), path("p\xC5\x82yta.jpg"));  // U+0142: not in Windows-1252
    run = runCounter({arg("p\xC5\x82yta.jpg")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("warning: The report"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("written as \"?\""), std::string::npos) << run.err;
}

// A folder stands for its pictures, sorted by name, subfolders only with --recursive; hidden files
// and the marked pictures of its pictures are left out. Sizes that make every count 0 are warned of.
TEST_F(CounterTest, FoldersAndSizeWarnings)
{
    const std::string jpeg = readFile(path("plate.jpg"));
    for (const char* name : {"set/b.jpg", "set/a.jpg", "set/c_a.jpg", "set/.hidden.jpg", "set/sub/c.jpg"})
        put(name, jpeg);
    put("set/notes.txt", "notes");
    const auto printedNames = [&](const ProcessRun& run) {
        std::vector<std::string> names;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);)
            names.push_back(fs::path(line.substr(0, line.find('\t'))).lexically_relative(path("set")).string());
        return names;
    };
    ProcessRun run = runCounter({arg("set")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(printedNames(run), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    run = runCounter({QStringLiteral("--recursive"), arg("set")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(printedNames(run), (std::vector<std::string>{"a.jpg", "b.jpg", "sub/c.jpg"}));
    fs::create_directory(path("empty"));
    EXPECT_EQ(runCounter({arg("empty")}).exitCode, 1);

    const struct {
        QStringList options;
        std::string warning;
    } sizes[] = {{{QStringLiteral("--min-size"), QStringLiteral("0")}, "minimum size is 0"},
                 // The maximum only sets the count's reach: below the minimum it still counts.
                 {{QStringLiteral("--min-size=5"), QStringLiteral("--max-size=3")}, ""},
                 {{QStringLiteral("--min-size=8"), QStringLiteral("--max-size=8")}, ""}};
    for (const auto& c : sizes) {
        run = runCounter(c.options + QStringList{arg("plate.jpg")});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        if (c.warning.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_NE(run.err.find("warning: the " + c.warning), std::string::npos) << run.err;
        }
    }
}

// --memory-limit: a picture whose three layers need more is refused before it is decoded, the others
// are counted; a limit that holds it counts it.
TEST_F(CounterTest, MemoryLimitRefusesLargerPicturesUnread)
{
    // plate.jpg is 400 x 300: 1,080,000 bytes for the three layers, just over 1 MB.
    ProcessRun run = runCounter({QStringLiteral("--memory-limit"), QStringLiteral("1"), arg("plate.jpg")});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("memory limit of 1 MB"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(path("c_plate.txt")));
    run = runCounter({QStringLiteral("--memory-limit"), QStringLiteral("2"), arg("plate.jpg")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::exists(path("c_plate.txt")));
    EXPECT_EQ(runCounter({QStringLiteral("--memory-limit"), QStringLiteral("0"), arg("plate.jpg")}).exitCode, 2);
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

// --summary-append after another program's rows: a last line without its line feed gets one, so no
// row is glued onto it; a file without any write bit is refused whoever runs the counter (as root too).
TEST_F(CounterTest, SummaryAppendEndsTheLastLineAndKeepsProtectedFiles)
{
    const std::string earlier = "file,width,height,particles,particles_per_filter,particles_per_cm3,"
                                "total_area_pixels\nother.jpg,1,1,0,0,0,0";
    put("rows.csv", earlier);
    ProcessRun run = runCounter({QStringLiteral("--summary-append"), arg("rows.csv"), arg("plate.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string rows = readFile(path("rows.csv"));
    EXPECT_EQ(rows.rfind(earlier + "\n" + path("plate.jpg").string() + ",400,300,", 0), 0u) << rows;
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 3);

    fs::permissions(path("rows.csv"), fs::perms(0444));
    run = runCounter({QStringLiteral("--summary-append"), arg("rows.csv"), arg("plate.jpg")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("write-protected"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(path("rows.csv")), rows);
}

// One picture's outputs are written under a lock on their folder: while another writer holds it,
// nothing of the picture appears; once it is given back, all of them do.
TEST_F(CounterTest, OnePicturesOutputsAreWrittenUnderTheFoldersLock)
{
    const int folder = ::open(path("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    QProcess counter;
    counter.start(QStringLiteral(SPOTTALLY_COUNTER), {QStringLiteral("--particles"), arg("plate.jpg")});
    ASSERT_TRUE(counter.waitForStarted());
    // Ample time for the count of a 400 x 300 picture; the counter must still be waiting.
    EXPECT_FALSE(counter.waitForFinished(3000));
    EXPECT_FALSE(fs::exists(path("c_plate.txt")));
    EXPECT_FALSE(fs::exists(path("c_plate.csv")));
    ::close(folder);
    ASSERT_TRUE(counter.waitForFinished(60000));
    EXPECT_EQ(counter.exitCode(), 0) << counter.readAllStandardError().toStdString();
    EXPECT_TRUE(fs::exists(path("c_plate.txt")));
    EXPECT_TRUE(fs::exists(path("c_plate.csv")));
}

// --pool: no count, the pooled text beside, one tab-separated line; a report that cannot be used
// stops it with the reason and writes nothing.
TEST_F(CounterTest, PoolsSavedReportsWithoutCounting)
{
    fs::copy_file(path("plate.jpg"), path("second.jpg"));
    ASSERT_EQ(runCounter({QStringLiteral("--particles"), arg("plate.jpg"), arg("second.jpg")}).exitCode, 0);
    const std::string table = readFile(path("c_plate.csv"));
    EXPECT_EQ(table.rfind("number,x,y,centre_x,centre_y,area_pixels,", 0), 0u);
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
