#include "cli/Counter.h"

#include <unistd.h>

#include <QDateTime>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <iomanip>
#include <mutex>
#include <sstream>
#include <thread>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "picture/PictureLoading.h"
#include "detect/BlobCount.h"
#include "detect/CountRun.h"
#include "report/BlobReport.h"
#include "report/MarkedPicture.h"
#include "report/NumberFormat.h"
#include "report/ReportFile.h"
#include "report/ReportText.h"
#include "report/Results.h"
#include "report/Statistics.h"
#include "view/Overlays.h"

namespace fs = std::filesystem;

namespace {

/// What one picture came to.
struct PictureOutcome {
    bool counted = false;
    std::string error;           // why the picture failed
    std::string printedLine;     // the tab-separated line for stdout
    std::string summaryRow;      // the CSV row for --summary
};

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string plainNumber(double value)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(10) << value;
    return out.str();
}

/// The overlays of the count layer, as the window draws them after loading and after a count.
std::string drawOverlays(Picture& count, const CounterOptions& options)
{
    // The scale bar's label goes through Qt's font machinery: one picture at a time.
    static std::mutex fontLock;
    std::lock_guard<std::mutex> guard(fontLock);
    const OverlayResult grid =
        drawGrid(count, static_cast<std::uint8_t>(options.gridMicrons), options.texts.Edpixmm);
    if (!grid.message.empty()) return grid.message;
    const OverlayResult scale =
        drawScaleBar(count, static_cast<std::uint8_t>(options.scaleMicrons), options.texts.Edpixmm);
    return scale.message;
}

PictureOutcome countOne(const fs::path& picturePath, const CounterOptions& options, Layers& layers,
                        const RegionalDateTime& regional)
{
    PictureOutcome outcome;
    const std::string pathText = picturePath.string();
    const PictureKind kind = pictureKindForName(pathText);
    if (kind == PictureKind::None) {
        outcome.error = "not a picture name the program reads (.jpg, .JPG, .bmp, .BMP, .tif, .TIF)";
        return outcome;
    }
    DecodedPicture decoded = decodePictureFile(picturePath, kind);
    if (decoded.failed()) {
        outcome.error = decoded.error;
        return outcome;
    }
    if (decoded.picture.empty()) {
        outcome.error = "nothing could be decoded";
        for (const std::string& message : decoded.messages) outcome.error += "; " + message;
        std::replace(outcome.error.begin(), outcome.error.end(), '\r', ' ');
        return outcome;
    }

    // The same steps as the window: a new picture, then the count run and its finishing.
    TAnalysisState state;
    state.GridMicrons = static_cast<std::uint8_t>(options.gridMicrons);
    state.ScaleMicrons = static_cast<std::uint8_t>(options.scaleMicrons);
    state.ExportMode = options.xy ? kExportXY : kExportStatistics;
    state.ZoomPercent = 100;
    state.ImageFileName = namePart(pathText);
    state.ReportActive = true;
    layers.Image1 = std::move(decoded.picture);
    state.ImageWidth = layers.Image1.width();
    state.ImageHeight = layers.Image1.height();

    const auto colourPart = [](const std::string& text) { return parseWholeNumber(text).value_or(0); };
    const auto targetColour = static_cast<std::uint32_t>(colourPart(options.texts.EdR) +
                                                         256 * colourPart(options.texts.EdG) +
                                                         65536 * colourPart(options.texts.EdB));
    std::vector<std::string> lines;
    try {
        countParticles(layers, state, targetColour, options.texts);
        finishCountState(state);
        if (options.marked) {
            const std::string problem = drawOverlays(layers.Image2, options);
            if (!problem.empty()) {
                outcome.error = problem;
                return outcome;
            }
        }
        computeResults(options.texts, state);
        lines = reportLines(options.texts, state, reportDateTime(QDateTime::currentDateTime(), regional));
    } catch (const FieldError& error) {
        outcome.error = error.message;
        return outcome;
    }
    rewriteNameLines(lines, state.ImageFileName);
    int blobCount = 0;
    if (options.blobs) {
        // One picture at a time uses every core; pictures counted side by side use one each.
        const int threads = options.jobs > 1 && options.pictures.size() > 1 ? 1 : 0;
        blobCount = static_cast<int>(findBlobs(layers.Image1, targetColour, options.blobSettings, threads).size());
        try {
            const std::vector<std::string> blobLines =
                blobReportLines(blobCount, options.blobSettings, options.texts, state);
            lines.insert(lines.end(), blobLines.begin(), blobLines.end());
        } catch (const FieldError& error) {
            outcome.error = error.message;
            return outcome;
        }
    }
    if (options.stats) {
        try {
            const FieldScan scan = scanmarkers(layers.Image3, state, options.texts);
            if (!scan.error.empty()) {
                outcome.error = scan.error;
                return outcome;
            }
            const std::vector<std::string> statistics = statisticsLines(scan, state);
            lines.insert(lines.end(), statistics.begin(), statistics.end());
        } catch (const FieldError& error) {
            outcome.error = error.message;
            return outcome;
        }
    }

    const fs::path folder = options.outFolder.empty() ? picturePath.parent_path() : options.outFolder;
    const FileSaveOutcome saved = writeReportFile(folder / reportFileName(state.ImageFileName), lines);
    if (!saved.saved()) {
        outcome.error = saved.error;
        return outcome;
    }
    if (options.marked) {
        const std::string problem = writeMarkedPicture(layers.Image2, folder / markedPictureName(state.ImageFileName));
        if (!problem.empty()) {
            outcome.error = problem;
            return outcome;
        }
    }

    if (options.xy) {
        scanMarkerPositions(layers.Image3, state);
        const FileSaveOutcome written =
            writeFileAtomically(folder / xyDataFileName(state.ImageFileName), xyDataText(state.MarkerList));
        if (!written.saved()) {
            outcome.error = written.error;
            return outcome;
        }
    }

    outcome.counted = true;
    outcome.printedLine = pathText + "\t" + std::to_string(state.AutoCount) + "\t" +
                          formatScientific(state.ParticlesPerFilter) + "\t" +
                          formatScientific(state.ParticlesPerCm3);
    if (options.blobs) outcome.printedLine += "\t" + std::to_string(blobCount);
    outcome.summaryRow = csvField(pathText) + "," + std::to_string(state.ImageWidth) + "," +
                         std::to_string(state.ImageHeight) + "," + std::to_string(state.AutoCount) + "," +
                         plainNumber(state.ParticlesPerFilter) + "," + plainNumber(state.ParticlesPerCm3) + "," +
                         std::to_string(state.TotalAreaPixels);
    if (options.blobs) outcome.summaryRow += "," + std::to_string(blobCount);
    return outcome;
}

void drawProgress(std::ostream& err, std::size_t done, std::size_t total)
{
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(kWidth * done / std::max<std::size_t>(total, 1));
    err << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] " << done << "/" << total
        << (done == total ? "\n" : "") << std::flush;
}

}  // namespace

std::string readReportParameters(const fs::path& report, ParameterTexts& texts)
{
    const ReportReading reading = readReportFile(report);
    if (!reading.error.empty()) return reading.error;
    const ReportFieldsOutcome applied = applyReportFields(reading, texts);
    std::string problems;
    for (const std::string& message : applied.messages) problems += (problems.empty() ? "" : "; ") + message;
    return applied.complete ? std::string() : problems;
}

int runCounter(const CounterOptions& givenOptions, std::ostream& out, std::ostream& err)
{
    CounterOptions options = givenOptions;
    if (options.blobs && !options.blobSettingsFrom.empty()) {
        std::string problem;
        if (const auto settings = readReportBlobSettings(options.blobSettingsFrom, problem))
            options.blobSettings = *settings;
        if (!problem.empty()) {
            err << "spottally-count: --params-from " << options.blobSettingsFrom.string() << ": " << problem << "\n";
            return 2;
        }
    }
    if (!options.learnMarks.empty()) return runLearning(options, out, err);
    if (!options.outFolder.empty()) {
        std::error_code ec;
        fs::create_directories(options.outFolder, ec);
        if (!fs::is_directory(options.outFolder, ec)) {
            err << "spottally-count: cannot use the output folder " << options.outFolder.string() << "\n";
            return 1;
        }
    }
    const RegionalDateTime regional = RegionalDateTime::fromSystem();
    const std::size_t total = options.pictures.size();
    std::vector<PictureOutcome> outcomes(total);
    std::atomic<std::size_t> next{0};
    std::size_t done = 0;
    std::size_t printed = 0;
    std::mutex lock;
    const bool progress = total > 1 && ::isatty(STDERR_FILENO);

    // Each worker keeps its own layers, so their buffers are reused from picture to picture.
    const auto work = [&] {
        Layers layers;
        for (std::size_t i = next++; i < total; i = next++) {
            PictureOutcome outcome = countOne(options.pictures[i], options, layers, regional);
            std::lock_guard<std::mutex> guard(lock);
            outcomes[i] = std::move(outcome);
            ++done;
            // Lines come out in the order the pictures were given.
            while (printed < total && (outcomes[printed].counted || !outcomes[printed].error.empty())) {
                const PictureOutcome& shown = outcomes[printed];
                if (progress) err << "\r\033[K";
                if (shown.counted)
                    out << shown.printedLine << "\n" << std::flush;
                else
                    err << "spottally-count: " << options.pictures[printed].string() << ": " << shown.error << "\n";
                ++printed;
            }
            if (progress) drawProgress(err, done, total);
        }
    };
    const int workers = std::max(1, std::min<int>(options.jobs, static_cast<int>(total)));
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w) threads.emplace_back(work);
    work();
    for (std::thread& thread : threads) thread.join();

    bool failed = false;
    for (const PictureOutcome& outcome : outcomes) failed = failed || !outcome.counted;
    if (!options.summaryFile.empty()) {
        std::string csv = "file,width,height,particles,particles_per_filter,particles_per_cm3,total_area_pixels";
        csv += options.blobs ? ",blob_count\n" : "\n";
        for (const PictureOutcome& outcome : outcomes)
            if (outcome.counted) csv += outcome.summaryRow + "\n";
        const FileSaveOutcome saved = writeFileAtomically(options.summaryFile, csv);
        if (!saved.saved()) {
            err << "spottally-count: " << saved.error << "\n";
            failed = true;
        }
    }
    return failed ? 1 : 0;
}
