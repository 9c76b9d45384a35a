// The headless counter's teaching by example (--learn) and the blob settings of saved reports.

#include <algorithm>
#include <cctype>
#include <memory>

#include "cli/Counter.h"
#include "cli/RunFiles.h"
#include "core/FieldText.h"
#include "detect/BlobCount.h"
#include "detect/CountRun.h"
#include "detect/Marks.h"
#include "detect/ParameterSearch.h"
#include "picture/PictureLoading.h"
#include "detect/DensityCount.h"
#include "picture/SampleRange.h"
#include "report/BlobReport.h"
#include "report/DensityReport.h"
#include "report/ParticleTable.h"
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

DecodedPicture decodeForTeaching(const fs::path& path, bool acceptDamaged, std::string& problem)
{
    const std::string pathText = path.string();
    const PictureKind kind = pictureKindForName(pathText);
    DecodedPicture decoded;
    if (kind == PictureKind::None) {
        problem = pathText + ": not a picture name the program reads (.jpg, .JPG, .bmp, .BMP, .tif, .TIF)";
        return decoded;
    }
    decoded = decodePictureFile(path, kind);
    if (decoded.failed())
        problem = pathText + ": " + decoded.error;
    else if (decoded.picture.empty())
        problem = pathText + ": nothing could be decoded";
    else if (decoded.damaged && !acceptDamaged) {
        // What the reader could not decode is filled in grey: taught on, the parameters would fit the fill.
        problem = pathText + ": the picture is damaged, nothing was learnt (--accept-damaged teaches on what "
                             "could be read):";
        for (const std::string& message : decoded.messages) problem += " " + message;
    }
    return decoded;
}

}  // namespace

std::shared_ptr<const DensityModel> readReportModel(const fs::path& report, bool needed, std::string& problem)
{
    const fs::path modelPath = densityModelPath(report);
    std::error_code ec;
    if (!fs::exists(modelPath, ec)) {
        if (needed) {
            const ReportReading reading = readReportFile(report);
            problem = (reading.error.empty() && hasLearntModelLine(reading.lines))
                          ? "its learnt model " + quotedPath(modelPath) + " is missing"
                          : "it has no learnt model beside it (" + quotedPath(modelPath) +
                                "): teach with --learn and --learn-out first";
        }
        return nullptr;
    }
    DensityModelReading reading = readDensityModelFile(modelPath);
    if (!reading.error.empty()) {
        problem = reading.error;
        return nullptr;
    }
    return std::make_shared<const DensityModel>(std::move(reading.model));
}

std::string learntPositionsFileName(const std::string& imageFileName)
{
    std::string name = particleTableFileName(imageFileName);
    return name.substr(0, name.size() - 4) + ".learnt.csv";
}

std::string learntPositionsText(const std::vector<Mark>& positions)
{
    std::string text = "number,x,y\n";
    for (std::size_t i = 0; i < positions.size(); ++i)
        text += std::to_string(i + 1) + "," + std::to_string(positions[i].x) + "," + std::to_string(positions[i].y) +
                "\n";
    return text;
}

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
    for (const fs::path& picture : options.pictures) files.input(picture, picture.string());
    files.input(options.learnMarks, "--learn");
    for (const LearnGroup& group : options.learnGroups) files.input(group.marks, "--learn");
    files.output(options.learnOut, "--learn-out");
    files.output(densityModelPath(options.learnOut), "--learn-out");
    if (const std::string conflict = outputConflict(files); !conflict.empty()) {
        err << "spottally-count: " << conflict << "; nothing was learnt\n";
        return 2;
    }
    const MarksReading marks = readMarksFile(options.learnMarks);
    if (!marks.error.empty()) return fail(marks.error);
    const std::string pathText = picturePath.string();
    setSampleRange(options.range);
    std::string problem;
    DecodedPicture decoded = decodeForTeaching(picturePath, options.acceptDamaged, problem);
    if (!problem.empty()) return fail(problem);
    // What was learnt must mean the same on the next picture: a 16-bit picture mapped by its own
    // percentiles is mapped again with that range fixed, and every later picture with it too.
    SampleRange taughtRange = options.range;
    const bool sixteenBit = !decoded.mapping.empty();
    if (sixteenBit && options.range.mode == SampleRange::Mode::Auto) {
        if (const std::optional<SampleRange> fixed = fixedRangeOfMapping(decoded.mapping)) {
            taughtRange = *fixed;
            setSampleRange(taughtRange);
            decoded = decodeForTeaching(picturePath, options.acceptDamaged, problem);
            if (!problem.empty()) return fail(problem);
        }
    }

    const Teaching teaching = teachFromMarks(decoded.picture, options.learnRegion, marks.marks, {options.jobs, nullptr, {}});
    if (teaching.duplicateMarks > 0)
        err << "spottally-count: " << options.learnMarks.string() << ": warning: " << teaching.duplicateMarks
            << " marks repeat a marked pixel; each pixel is taught as one mark\n";
    if (!teaching.error.empty()) return fail(pathText + ": " + teaching.error);

    // The learnt count: every picture's marks, region and background boxes teach one model.
    TeachingSet set;
    for (std::size_t i = 0; i < options.learnGroups.size(); ++i) {
        const LearnGroup& group = options.learnGroups[i];
        const MarksReading groupMarks = i == 0 ? marks : readMarksFile(group.marks);
        if (!groupMarks.error.empty()) return fail(groupMarks.error);
        DecodedPicture other;
        if (i > 0) {
            other = decodeForTeaching(options.pictures[i], options.acceptDamaged, problem);
            if (!problem.empty()) return fail(problem);
        }
        const Picture& picture = i == 0 ? decoded.picture : other.picture;
        const std::string added = addTeachingPicture(set, picture, options.pictures[i].string(), group.region,
                                                     groupMarks.marks, group.background);
        if (!added.empty()) return fail(added);
    }
    const DensityTraining training = trainDensityModel(set, {options.jobs, nullptr});
    if (!training.error.empty()) return fail("the learnt count: " + training.error);
    DensityModel model = training.model;
    model.hasSampleRange = sixteenBit;
    model.sampleRange = taughtRange;

    // The learnt values as the window's fields would hold them.
    ParameterTexts texts = options.texts;
    const CountParams& learnt = teaching.count;
    writeLearntTexts(learnt, texts);

    // The parameter file is the report of the picture counted with them, blob and learnt lines included.
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
    int learntCount = 0;
    try {
        countParticles(layers, state, learnt.targetColour, texts);
        finishCountState(state);
        computeResults(texts, state);
        lines = reportLines(texts, state, reportDateTime(currentLocalDateTime(), RegionalDateTime::fromSystem()));
        if (decoded.damaged) lines.push_back(damagedPictureLine(decoded.messages));
        blobCount = static_cast<int>(findBlobs(layers.Image1, learnt.targetColour, teaching.blobs).size());
        const std::vector<std::string> blobLines = blobReportLines(blobCount, teaching.blobs, texts, state);
        lines.insert(lines.end(), blobLines.begin(), blobLines.end());
        learntCount = learntParticleCount(predictDensity(layers.Image1, model, {options.jobs, nullptr}));
        const std::vector<std::string> learntLines =
            learntReportLines(learntCount, {model.marks, model.pictures, model.particleScale}, texts, state);
        lines.insert(lines.end(), learntLines.begin(), learntLines.end());
    } catch (const FieldError& error) {
        return fail(error.message);
    }
    rewriteNameLines(lines, state.ImageFileName);
    // The model first: a report is never left naming a model that is not there.
    const FileSaveOutcome modelSaved = writeDensityModelFile(densityModelPath(options.learnOut), model);
    if (!modelSaved.saved()) return fail(modelSaved.error);
    const FileSaveOutcome saved = writeReportFile(options.learnOut, lines);
    if (!saved.saved()) return fail(saved.error);

    out << "--min-size " << texts.Edmin << " --max-size " << texts.EdMax << " --colour " << texts.EdR << ","
        << texts.EdG << "," << texts.EdB << " --colour-tolerance " << texts.EdDevi << " --brightness-tolerance "
        << texts.Edhell << " --min-contrast " << texts.EdCont << "\n";
    out << "blob settings (scale / threshold / distance): " << blobSettingsText(teaching.blobs) << "\n";
    out << "teaching region: " << teaching.countFit.marks << " marks; count " << fitText(teaching.countFit)
        << "; blob count " << fitText(teaching.blobFit) << "\n";
    out << "whole picture: count " << state.AutoCount << ", blob count " << blobCount << "\n";
    out << "learnt model (marks / pictures / particle scale): "
        << learntModelText({model.marks, model.pictures, model.particleScale}) << "; background boxes "
        << model.backgroundBoxes << "; learnt count " << learntCount << "\n";
    if (sixteenBit)
        out << "16-bit samples of this and every later picture counted with these settings: "
            << (taughtRange.mode == SampleRange::Mode::Full
                    ? std::string("full")
                    : std::to_string(taughtRange.low) + ".." + std::to_string(taughtRange.high))
            << "\n";
    if (teaching.countFit.marks < kAdvisedTeachingMarks)
        err << "spottally-count: only " << teaching.countFit.marks << " marks in the teaching region; "
            << kAdvisedTeachingMarks << " or more give parameters that hold beyond it\n";
    for (const std::string& warning : training.warnings) err << "spottally-count: the learnt count: " << warning << "\n";
    return 0;
}
