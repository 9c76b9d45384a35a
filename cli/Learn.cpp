// The headless counter's teaching by example (--learn) and the blob settings of saved reports.

#include <algorithm>

#include "cli/Counter.h"
#include "cli/RunFiles.h"
#include "core/FieldText.h"
#include "detect/BlobCount.h"
#include "detect/CountRun.h"
#include "detect/Marks.h"
#include "detect/ParameterSearch.h"
#include "picture/PictureLoading.h"
#include "report/BlobReport.h"
#include "report/ReportFile.h"
#include "report/ReportText.h"
#include "report/Results.h"

namespace fs = std::filesystem;

namespace {

std::string fitText(const MarkFit& fit)
{
    return "found " + std::to_string(fit.found) + ", missed " + std::to_string(fit.missed()) + ", extra " +
           std::to_string(fit.extra());
}

}  // namespace

std::optional<BlobSettings> readReportBlobSettings(const fs::path& report, std::string& problem)
{
    const ReportReading reading = readReportFile(report);
    if (!reading.error.empty()) {
        problem = reading.error;
        return std::nullopt;
    }
    return readBlobSettings(reading.lines, problem);
}

int runLearning(const CounterOptions& options, std::ostream& out, std::ostream& err)
{
    const fs::path& picturePath = options.pictures.front();
    const auto fail = [&](const std::string& message) {
        err << "spottally-count: " << message << "\n";
        return 1;
    };
    // The parameter file replaces none of the files it is learnt from.
    RunFiles files;
    addOptionInputs(options, files);
    files.input(picturePath, picturePath.string());
    files.input(options.learnMarks, "--learn");
    files.output(options.learnOut, "--learn-out");
    if (const std::string conflict = outputConflict(files); !conflict.empty()) {
        err << "spottally-count: " << conflict << "; nothing was learnt\n";
        return 2;
    }
    const MarksReading marks = readMarksFile(options.learnMarks);
    if (!marks.error.empty()) return fail(marks.error);
    const std::string pathText = picturePath.string();
    const PictureKind kind = pictureKindForName(pathText);
    if (kind == PictureKind::None)
        return fail(pathText + ": not a picture name the program reads (.jpg, .JPG, .bmp, .BMP, .tif, .TIF)");
    DecodedPicture decoded = decodePictureFile(picturePath, kind);
    if (decoded.failed()) return fail(pathText + ": " + decoded.error);
    if (decoded.picture.empty()) return fail(pathText + ": nothing could be decoded");
    // What the reader could not decode is filled in grey: taught on, the parameters would fit the fill.
    if (decoded.damaged && !options.acceptDamaged) {
        std::string messages;
        for (const std::string& message : decoded.messages) messages += " " + message;
        return fail(pathText + ": the picture is damaged, nothing was learnt (--accept-damaged teaches on what "
                    "could be read):" + messages);
    }

    const Teaching teaching = teachFromMarks(decoded.picture, options.learnRegion, marks.marks, {options.jobs, nullptr});
    if (teaching.duplicateMarks > 0)
        err << "spottally-count: " << options.learnMarks.string() << ": warning: " << teaching.duplicateMarks
            << " marks repeat a marked pixel; each pixel is taught as one mark\n";
    if (!teaching.error.empty()) return fail(pathText + ": " + teaching.error);

    // The learnt values as the window's fields would hold them.
    ParameterTexts texts = options.texts;
    const CountParams& learnt = teaching.count;
    writeLearntTexts(learnt, texts);

    // The parameter file is the report of the picture counted with them, blob lines included.
    TAnalysisState state;
    state.GridMicrons = static_cast<std::uint8_t>(options.gridMicrons);
    state.ScaleMicrons = static_cast<std::uint8_t>(options.scaleMicrons);
    state.ZoomPercent = 100;
    state.ImageFileName = namePart(pathText);
    state.ReportActive = true;
    Layers layers;
    layers.Image1 = std::move(decoded.picture);
    state.ImageWidth = layers.Image1.width();
    state.ImageHeight = layers.Image1.height();
    std::vector<std::string> lines;
    int blobCount = 0;
    try {
        countParticles(layers, state, learnt.targetColour, texts);
        finishCountState(state);
        computeResults(texts, state);
        lines = reportLines(texts, state, reportDateTime(currentLocalDateTime(), RegionalDateTime::fromSystem()));
        if (decoded.damaged) lines.push_back(damagedPictureLine(decoded.messages));
        blobCount = static_cast<int>(findBlobs(layers.Image1, learnt.targetColour, teaching.blobs).size());
        const std::vector<std::string> blobLines = blobReportLines(blobCount, teaching.blobs, texts, state);
        lines.insert(lines.end(), blobLines.begin(), blobLines.end());
    } catch (const FieldError& error) {
        return fail(error.message);
    }
    rewriteNameLines(lines, state.ImageFileName);
    const FileSaveOutcome saved = writeReportFile(options.learnOut, lines);
    if (!saved.saved()) return fail(saved.error);

    out << "--min-size " << texts.Edmin << " --max-size " << texts.EdMax << " --colour " << texts.EdR << ","
        << texts.EdG << "," << texts.EdB << " --colour-tolerance " << texts.EdDevi << " --brightness-tolerance "
        << texts.Edhell << " --min-contrast " << texts.EdCont << "\n";
    out << "blob settings (scale / threshold / distance): " << blobSettingsText(teaching.blobs) << "\n";
    out << "teaching region: " << teaching.countFit.marks << " marks; count " << fitText(teaching.countFit)
        << "; blob count " << fitText(teaching.blobFit) << "\n";
    out << "whole picture: count " << state.AutoCount << ", blob count " << blobCount << "\n";
    if (teaching.countFit.marks < kAdvisedTeachingMarks)
        err << "spottally-count: only " << teaching.countFit.marks << " marks in the teaching region; "
            << kAdvisedTeachingMarks << " or more give parameters that hold beyond it\n";
    return 0;
}
