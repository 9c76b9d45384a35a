#include "cli/Counter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

#include "cli/RunFiles.h"
#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "picture/PictureLoading.h"
#include "picture/SampleRange.h"
#include "detect/BlobCount.h"
#include "picture/PictureMemory.h"
#include "detect/CountRun.h"
#include "picture/PictureFolder.h"
#include "report/BlobReport.h"
#include "report/CountSummary.h"
#include "report/DensityReport.h"
#include "report/MarkedPicture.h"
#include "report/NumberFormat.h"
#include "report/ParticleTable.h"
#include "report/Pooling.h"
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
    bool finished = false;
    std::string error;                 // why the picture failed
    std::vector<std::string> damage;   // the reader's messages, printed as warnings
    bool damaged = false;              // the reader says the picture may be incomplete
    std::vector<std::string> notices;  // written, but with something to know (characters replaced)
    std::vector<std::string> notes;    // plain information: the 16-bit mapping used, the pages
    std::string printedLine;           // the tab-separated line for stdout
    std::string summaryRow;            // the CSV row for --summary
    std::string summaryWarnings;       // its warnings field, when the summary has that column
};

/// One line of a message: line breaks of message-box texts become blanks.
std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

/// The files a picture's count writes; those the options do not ask for are empty.
struct PictureOutputs {
    fs::path report, marked, particles, learntPositions, xy;
    /// The files written, in the order they are written.
    std::vector<fs::path> written() const
    {
        std::vector<fs::path> files;
        for (const fs::path* file : {&report, &marked, &particles, &learntPositions, &xy})
            if (!file->empty()) files.push_back(*file);
        return files;
    }
};

PictureOutputs outputsOf(const fs::path& picturePath, const CounterOptions& options)
{
    const fs::path folder = options.outFolder.empty() ? picturePath.parent_path() : options.outFolder;
    const std::string name = namePart(picturePath.string());
    PictureOutputs outputs;
    outputs.report = folder / reportFileName(name);
    if (options.marked) outputs.marked = folder / markedPictureName(name);
    if (options.particles) outputs.particles = folder / particleTableFileName(name);
    if (options.particles && options.density) outputs.learntPositions = folder / learntPositionsFileName(name);
    if (options.xy) outputs.xy = folder / xyDataFileName(name);
    return outputs;
}

/// Why the outputs of this run would overwrite each other or an input; empty when they do not.
std::string overwriteConflict(const std::vector<fs::path>& pictures, const CounterOptions& options)
{
    std::map<std::string, fs::path> given;
    for (const fs::path& picture : pictures) {
        const auto [at, added] = given.emplace(sameFileKey(picture), picture);
        if (!added) return quotedPath(picture) + " is given twice";
    }
    RunFiles files;
    addOptionInputs(options, files);
    for (const fs::path& picture : pictures) files.input(picture, picture.string());
    for (const fs::path& picture : pictures)
        for (const fs::path& output : outputsOf(picture, options).written()) files.output(output, picture.string());
    if (!options.summaryFile.empty()) files.output(options.summaryFile, "--summary");
    if (!options.summaryAppendFile.empty()) files.output(options.summaryAppendFile, "--summary-append");
    return outputConflict(files);
}

/// An exclusive lock on a folder, held while one picture's outputs are written into it: counters writing
/// into one folder at once (two runs with different parameters) each leave a picture's report, table,
/// x/y data and marked picture as one set, never one run's report beside the other's table. Where the
/// file system cannot lock a folder, the outputs are written unlocked.
class FolderLock {
public:
    explicit FolderLock(const fs::path& folder)
        : fd_(::open((folder.empty() ? fs::path(".") : folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock()
    {
        if (fd_ >= 0) ::close(fd_);  // closing gives the lock back
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

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
        outcome.error = std::string("not a picture name the program reads: ") + kUnreadablePictureKindReason;
        return outcome;
    }
    // Only a TIFF file has pages: another picture asked for a later page has none to give.
    if (options.page > 1 && kind != PictureKind::Tiff) {
        outcome.error =
            "--page " + std::to_string(options.page) + ": only TIFF files have pages; this picture has one";
        return outcome;
    }
    const auto colourPart = [](const std::string& text) { return parseWholeNumber(text).value_or(0); };
    const auto targetColour = static_cast<std::uint32_t>(colourPart(options.texts.EdR) +
                                                         256 * colourPart(options.texts.EdG) +
                                                         65536 * colourPart(options.texts.EdB));
    // A JPEG's or BMP's count runs on the rows already decoded while the next band is decoded (read)
    // on a second thread. What the decoding comes to is known only at its end: until then nothing of
    // the count is kept, and a decoding that fails drops it, as if it had never run.
    TAnalysisState state;
    ParticleList particles;
    ParticleList* const particleList = options.particles ? &particles : nullptr;
    std::optional<FieldError> fieldError;
    bool counted = false;
    PictureDecoding decoding(picturePath, kind);
    if (!decoding.picture().empty()) {
        try {
            const CountParams params = readCountParams(options.texts, targetColour);
            counted = runCountAsRowsArrive(CountLayers(decoding.picture(), layers.Image2, layers.Image3), state,
                                           params, decoding.rows(), particleList);
        } catch (const FieldError& error) {
            fieldError = error;
        }
    }
    DecodedPicture decoded = decoding.finish();
    if (decoded.failed()) {
        outcome.error = decoded.error;
        return outcome;
    }
    if (decoded.picture.empty()) {
        outcome.error = "nothing could be decoded";
        for (const std::string& message : decoded.messages) outcome.error += "; " + message;
        outcome.error = oneLine(outcome.error);
        return outcome;
    }
    // The reader's messages are warnings; a picture it calls damaged may lack parts: counted, but
    // marked as damaged.
    for (const std::string& message : decoded.messages) outcome.damage.push_back(oneLine(message));
    outcome.damaged = decoded.damaged;
    // What makes the count reproducible: the mapping of 16-bit samples, the page of several.
    if (!decoded.mapping.empty()) outcome.notes.push_back(decoded.mapping);
    if (decoded.pages > 1)
        outcome.notes.push_back((decoded.morePages ? "more than " : "") + std::to_string(decoded.pages) +
                                " pages, page " +
                                std::to_string(std::max(1, picturePage())) + " counted");

    // The same steps as the window: a new picture, then the count run and its finishing.
    state.GridMicrons = static_cast<std::uint8_t>(options.gridMicrons);
    state.ScaleMicrons = static_cast<std::uint8_t>(options.scaleMicrons);
    state.ExportMode = options.xy ? kExportXY : kExportStatistics;
    state.ZoomPercent = 100;
    state.ImageFileName = namePart(pathText);
    state.ReportActive = true;
    layers.Image1 = std::move(decoded.picture);
    state.ImageWidth = layers.Image1.width();
    state.ImageHeight = layers.Image1.height();

    std::vector<std::string> lines;
    try {
        if (fieldError) throw *fieldError;
        // A decoding that succeeded told every row, so the count above has run to its end; this is
        // only for the count that could not.
        if (!counted) countParticles(layers, state, targetColour, options.texts, particleList);
        finishCountState(state);
        if (options.marked) {
            const std::string problem = drawOverlays(layers.Image2, options);
            if (!problem.empty()) {
                outcome.error = problem;
                return outcome;
            }
        }
        computeResults(options.texts, state);
        if (!std::isfinite(state.ParticlesPerFilter) || !std::isfinite(state.ParticlesPerCm3)) {
            outcome.error = "the particles per filter or per cm3 are not a finite number: check the pixels per mm, "
                            "the filter area and the volume";
            return outcome;
        }
        lines = reportLines(options.texts, state, reportDateTime(currentLocalDateTime(), regional));
        // The report itself says that its picture was damaged, also when the damage was accepted.
        if (decoded.damaged) lines.push_back(damagedPictureLine(decoded.messages));
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
    int learntCount = 0;
    std::vector<Mark> learntPositions;
    if (options.density && options.densityModel) {
        const int threads = options.jobs > 1 && options.pictures.size() > 1 ? 1 : 0;
        DensityResult learnt = predictDensity(layers.Image1, *options.densityModel, {threads, nullptr});
        learntCount = learntParticleCount(learnt);
        learntPositions = std::move(learnt.positions);
        try {
            const DensityModel& model = *options.densityModel;
            const std::vector<std::string> learntLines = learntReportLines(
                learntCount, {model.marks, model.pictures, model.particleScale}, options.texts, state);
            lines.insert(lines.end(), learntLines.begin(), learntLines.end());
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

    const PictureOutputs outputs = outputsOf(picturePath, options);
    const FolderLock setLock(outputs.report.parent_path());
    const FileSaveOutcome saved = writeReportFile(outputs.report, lines);
    if (!saved.saved()) {
        outcome.error = saved.error;
        return outcome;
    }
    if (!saved.warning.empty()) outcome.notices.push_back(saved.warning);
    if (options.marked) {
        const std::string problem = writeMarkedPicture(layers.Image2, outputs.marked);
        if (!problem.empty()) {
            outcome.error = problem;
            return outcome;
        }
    }

    if (options.particles) {
        try {
            const FileSaveOutcome written =
                writeParticleTable(outputs.particles, particles, options.texts);
            if (!written.saved()) {
                outcome.error = written.error;
                return outcome;
            }
        } catch (const FieldError& error) {
            outcome.error = error.message;
            return outcome;
        }
    }

    if (options.particles && options.density) {
        const FileSaveOutcome written =
            writeFileAtomically(outputs.learntPositions, learntPositionsText(learntPositions));
        if (!written.saved()) {
            outcome.error = written.error;
            return outcome;
        }
    }

    if (options.xy) {
        scanMarkerPositions(layers.Image3, state);
        const FileSaveOutcome written = writeFileAtomically(outputs.xy, xyDataText(state.MarkerList));
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
    if (options.density) outcome.printedLine += "\t" + std::to_string(learntCount);
    if (outcome.damaged) outcome.printedLine += "\tdamaged";
    std::string warnings;
    for (const std::string& message : outcome.damage) warnings += (warnings.empty() ? "" : " | ") + message;
    outcome.summaryRow = summaryRow(pathText, state, options.blobs ? std::optional<int>(blobCount) : std::nullopt,
                                    options.density ? std::optional<int>(learntCount) : std::nullopt);
    outcome.summaryWarnings = csvField(warnings);
    return outcome;
}

void drawProgress(std::ostream& err, std::size_t done, std::size_t total)
{
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(kWidth * done / std::max<std::size_t>(total, 1));
    err << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] " << done << "/" << total
        << (done == total ? "\n" : "") << std::flush;
}

/// Appends rows to the summary file under an exclusive lock, in one write, so that counters running
/// at once (a workflow's parallel jobs) never mix their rows or lose any. The header goes first when
/// the file is new or empty; a last line left without its line feed gets one first, so that no row is
/// glued onto it. A file without any write bit is refused, as the other outputs are, whoever runs the
/// program. Returns an empty text or the reason.
std::string appendSummaryRows(const fs::path& path, const std::string& header, const std::string& rows)
{
    if (const std::string reason = writeProtectionReason(path); !reason.empty())
        return "Cannot write the file " + quotedPath(path) + ": " + reason;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return "Cannot open the file " + quotedPath(path) + ": " + systemReason(errno);
    std::string problem;
    struct stat status {};
    const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    if (::flock(fd, LOCK_EX) != 0) {
        problem = "Cannot lock the file " + quotedPath(path) + ": " + systemReason(errno);
    } else {
        std::string text;
        if (regular && ::fstat(fd, &status) == 0 && status.st_size > 0) {
            // The descriptor is write-only: the last byte is read through a second one.
            char last = '\n';
            const int reader = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
            if (reader >= 0) {
                if (::pread(reader, &last, 1, status.st_size - 1) != 1) last = '\n';
                ::close(reader);
            }
            if (last != '\n') text = "\n";
        } else {
            text = header;  // a pipe or a device: every run's reader starts afresh
        }
        text += rows;
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                problem = "Cannot write the file " + quotedPath(path) + ": " + systemReason(errno);
                break;
            }
            done += static_cast<std::size_t>(written);
        }
        // A pipe or a device has nothing to flush to a disk.
        if (problem.empty() && regular && ::fsync(fd) != 0)
            problem = "Cannot write the file " + quotedPath(path) + ": " + systemReason(errno);
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return problem;
}

}  // namespace

int runPool(const CounterOptions& options, std::ostream& out, std::ostream& err)
{
    const PoolReading reading = readPoolFields(options.pictures, options.pictureFolders);
    for (const std::string& error : reading.errors) err << "spottally-count: " << error << "\n";
    // A filter's result from some of its fields would mislead: nothing is written.
    if (!reading.errors.empty()) return 1;
    const std::vector<PoolField>& fields = reading.fields;
    // The pooled text replaces neither a report nor a field's picture.
    RunFiles files;
    for (const fs::path& report : options.pictures) files.input(report, "--pool");
    for (const PoolField& field : fields)
        if (!field.picturePath.empty()) files.input(field.picturePath, "--pool");
    files.output(options.poolFile, "--pool");
    if (const std::string conflict = outputConflict(files); !conflict.empty()) {
        err << "spottally-count: " << conflict << "; nothing was pooled\n";
        return 2;
    }
    const PooledResult result = poolFields(fields);
    if (!result.error.empty()) {
        err << "spottally-count: " << result.error << "\n";
        return 1;
    }
    const FileSaveOutcome saved = writePooledReport(options.poolFile, fields, result);
    if (!saved.saved()) {
        err << "spottally-count: " << saved.error << "\n";
        return 1;
    }
    out << pooledSummaryLine(result) << "\n";
    return 0;
}

int runCounter(const CounterOptions& givenOptions, std::ostream& out, std::ostream& err)
{
    CounterOptions options = givenOptions;
    bool failed = false;
    if (options.blobs && !options.blobSettingsFrom.empty()) {
        std::string problem;
        if (const auto settings = readReportBlobSettings(options.blobSettingsFrom, problem))
            options.blobSettings = *settings;
        if (!problem.empty()) {
            err << "spottally-count: --params-from " << options.blobSettingsFrom.string() << ": " << problem << "\n";
            return 2;
        }
    }
    if (!options.blobSettingsFrom.empty() && options.learnMarks.empty()) {
        // The learnt model beside the report: the learnt count's, and the 16-bit mapping it was taught with.
        std::string problem;
        options.densityModel = readReportModel(options.blobSettingsFrom, options.density, problem);
        if (!problem.empty()) {
            err << "spottally-count: --params-from " << options.blobSettingsFrom.string() << ": " << problem << "\n";
            if (options.density) return 2;
        }
        if (!options.rangeGiven) options.range = countingSampleRange(options.densityModel.get(), options.range);
    }
    if (!options.learnMarks.empty()) return runLearning(options, out, err);
    // Folders stand for their pictures.
    std::vector<fs::path> pictures;
    for (const fs::path& given : options.pictures) {
        std::error_code ec;
        if (!fs::is_directory(given, ec)) {
            pictures.push_back(given);
            continue;
        }
        std::string problem;
        const std::vector<fs::path> inFolder = picturesOfFolder(given, options.recursive, problem);
        if (!problem.empty()) {
            err << "spottally-count: " << problem << "\n";
            failed = true;
        }
        pictures.insert(pictures.end(), inFolder.begin(), inFolder.end());
    }
    // Nothing is written when one result would overwrite another or an input.
    if (const std::string conflict = overwriteConflict(pictures, options); !conflict.empty()) {
        err << "spottally-count: " << conflict << "; nothing was counted\n";
        return 2;
    }
    if (!options.outFolder.empty()) {
        std::error_code ec;
        fs::create_directories(options.outFolder, ec);
        std::error_code statusError;
        if (!ec && !fs::is_directory(options.outFolder, statusError)) ec = std::make_error_code(std::errc::not_a_directory);
        if (ec) {
            err << "spottally-count: cannot use the output folder " << quotedPath(options.outFolder) << ": "
                << ec.message() << "\n";
            return 1;
        }
    }
    // Sizes that leave nothing to count: said at once, not after hundreds of zero counts.
    const auto minimum = parseWholeNumber(options.texts.Edmin);
    // (A maximum below the minimum is no such case: the maximum sets how far round a particle the count
    // looks, not an upper bound of the minimum.)
    if (minimum && *minimum == 0)
        err << "spottally-count: warning: the minimum size is 0: every count will be 0\n";

    const RegionalDateTime regional = RegionalDateTime::fromSystem();
    const std::size_t total = pictures.size();
    std::vector<PictureOutcome> outcomes(total);
    std::atomic<std::size_t> next{0};
    std::size_t done = 0;
    std::size_t printed = 0;
    int outputError = 0;  // errno of the first failed write to out, -1 when unknown
    std::mutex lock;
    const bool progress = total > 1 && ::isatty(STDERR_FILENO);

    // The memory limit covers every picture counted at once: each worker's reader claims what its
    // picture needs, waiting while the others leave too little room, and gives it back with the layers
    // once the picture is done.
    const auto work = [&] {
        Layers layers;
        for (std::size_t i = next++; i < total; i = next++) {
            PictureOutcome outcome;
            try {
                outcome = countOne(pictures[i], options, layers, regional);
                layers = Layers();
            } catch (const std::bad_alloc&) {
                // This picture alone: its layers are given back for the pictures after it.
                layers = Layers();
                outcome = PictureOutcome();
                outcome.error = "not enough memory to count this picture";
            } catch (const std::exception& error) {
                // A thread of the count that cannot start (std::system_error), or anything else the
                // libraries throw: this picture fails, the batch goes on.
                layers = Layers();
                outcome = PictureOutcome();
                outcome.error = std::string("cannot count this picture: ") + error.what();
            }
            releasePictureMemory();  // the layers are freed
            outcome.finished = true;
            std::lock_guard<std::mutex> guard(lock);
            outcomes[i] = std::move(outcome);
            ++done;
            // Lines come out in the order the pictures were given.
            while (printed < total && outcomes[printed].finished) {
                const PictureOutcome& shown = outcomes[printed];
                const std::string name = pictures[printed].string();
                if (progress) err << "\r\033[K";
                for (const std::string& message : shown.damage)
                    err << "spottally-count: " << name << ": warning: " << message << "\n";
                for (const std::string& message : shown.notices)
                    err << "spottally-count: " << name << ": warning: " << oneLine(message) << "\n";
                for (const std::string& note : shown.notes)
                    err << "spottally-count: " << name << ": " << note << "\n";
                if (shown.counted) {
                    errno = 0;
                    out << shown.printedLine << "\n" << std::flush;
                    if (!out && outputError == 0) outputError = errno != 0 ? errno : -1;
                } else {
                    err << "spottally-count: " << name << ": " << shown.error << "\n";
                }
                ++printed;
            }
            if (progress) drawProgress(err, done, total);
        }
    };
    if (options.memoryLimitMB != 0) setPictureMemoryLimit(options.memoryLimitMB << 20);
    setPictureMemoryShared(true);
    setSampleRange(options.range);
    setPicturePage(options.page);
    const int workers = std::max(1, std::min<int>(options.jobs, static_cast<int>(total)));
    std::vector<std::thread> threads;
    try {
        for (int w = 1; w < workers; ++w) threads.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads than asked for: the ones that started share the pictures.
    }
    work();
    for (std::thread& thread : threads) thread.join();

    bool damaged = false;   // a picture the reader called damaged: the run fails unless accepted
    bool warnings = false;  // any reader message: the summary gets its warnings column
    for (const PictureOutcome& outcome : outcomes) {
        failed = failed || !outcome.counted;
        damaged = damaged || outcome.damaged;
        warnings = warnings || !outcome.damage.empty();
    }
    if (damaged && !options.acceptDamaged) failed = true;
    // The blob count's column comes after the specified ones.
    const std::string header = summaryHeader(options.blobs, options.density);
    if (!options.summaryAppendFile.empty()) {
        std::string rows;
        for (const PictureOutcome& outcome : outcomes)
            if (outcome.counted) rows += outcome.summaryRow + "\n";
        const std::string problem = appendSummaryRows(options.summaryAppendFile, header, rows);
        if (!problem.empty()) {
            err << "spottally-count: " << problem << "\n";
            failed = true;
        }
    }
    if (!options.summaryFile.empty()) {
        // The warnings column only when a picture has warnings: the summary of a sound run stays as it
        // always was, column for column.
        std::string csv = header;
        if (warnings) csv.insert(csv.size() - 1, ",warnings");
        for (const PictureOutcome& outcome : outcomes)
            if (outcome.counted) csv += outcome.summaryRow + (warnings ? "," + outcome.summaryWarnings : "") + "\n";
        const FileSaveOutcome saved = writeFileAtomically(options.summaryFile, csv);
        if (!saved.saved()) {
            err << "spottally-count: " << saved.error << "\n";
            failed = true;
        }
    }
    if (outputError != 0) {
        err << "spottally-count: cannot write to the standard output"
            << (outputError > 0 ? ": " + systemReason(outputError) : std::string()) << "\n";
        failed = true;
    }
    return failed ? 1 : 0;
}
