// Teaching by example: how well parameters learnt from about 30 marks count other pictures of the
// same kind, with the particle count (the scan) and with the blob count, and how long learning and the blob
// count take. A plain program: it prints its figures rather than timing loops.
//
//   Teaching_bench [--threads N] [--vgg FOLDER] [--skip-big | --only-big]
//
// Per generated kind: learn on picture 0 from the true centres inside a 300 x 300 region, count
// pictures 1 to 5; the mean absolute error of each count in % of the true count. With the VGG
// cells (FOLDER holds NNNcell.png and dots.tsv): learn from all dots of one training picture,
// count 101 to 200. Last: the blob count's time on a 24-megapixel picture.

#include <QImage>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/AnalysisState.h"
#include "core/Layers.h"
#include "detect/BlobCount.h"
#include "detect/CountRun.h"
#include "detect/ParameterSearch.h"
#include "support/TeachingPictures.h"

namespace fs = std::filesystem;

namespace {

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/// CPU time of the whole process (all threads), seconds. On a busy shared machine the wall time
/// says more about the neighbours than about us: CPU time / threads is the wall time on idle cores.
double processSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct Counts {
    int particles = 0;  // the scan's count (AutoCount)
    int blobs = 0;
};

Counts countBoth(const Picture& picture, const Teaching& teaching, int threads)
{
    Layers layers;
    layers.Image1 = picture;
    TAnalysisState state;
    state.ImageWidth = picture.width();
    state.ImageHeight = picture.height();
    runCount(layers, state, teaching.count);
    Counts counts;
    counts.particles = state.AutoCount;
    counts.blobs = static_cast<int>(findBlobs(picture, teaching.count.targetColour, teaching.blobs, threads).size());
    return counts;
}

void printTeaching(const Teaching& t, double learnSeconds, double cpuSeconds)
{
    const CountParams& p = t.count;
    std::printf("    learnt in %.2f s wall, %.2f s CPU (%d counts): colour %d,%d,%d tolerance %d brightness %d contrast %d "
                "min %d max %d | blobs scale %.2f threshold %.3f distance %d\n",
                learnSeconds, cpuSeconds, t.evaluations, colourRed(p.targetColour), colourGreen(p.targetColour),
                colourBlue(p.targetColour), p.colourTolerance, p.brightnessTolerance, p.minContrast, p.minSize,
                p.maxSize, t.blobs.scale, t.blobs.threshold, t.blobs.minDistance);
    std::printf("    fit in the region: %d marks; count found %d missed %d extra %d; blobs found %d missed %d "
                "extra %d\n",
                t.countFit.marks, t.countFit.found, t.countFit.missed(), t.countFit.extra(), t.blobFit.found,
                t.blobFit.missed(), t.blobFit.extra());
}

Picture fromImage(const QImage& loaded)
{
    const QImage image = loaded.convertToFormat(QImage::Format_RGB888);
    Picture picture(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) {
        const uchar* in = image.constScanLine(y);
        std::uint8_t* out = picture.row(y);
        for (int x = 0; x < image.width(); ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    return picture;
}

void vggCells(const fs::path& folder, int threads)
{
    std::ifstream dotsFile(folder / "dots.tsv");
    if (!dotsFile) {
        std::printf("VGG cells: %s not found, skipped\n", (folder / "dots.tsv").string().c_str());
        return;
    }
    std::map<std::string, std::vector<Mark>> dots;
    std::string line;
    std::getline(dotsFile, line);
    while (std::getline(dotsFile, line)) {
        std::istringstream fields(line);
        std::string name;
        Mark mark;
        if (fields >> name >> mark.x >> mark.y) dots[name].push_back(mark);
    }
    const auto name = [](int index) {
        char text[32];
        std::snprintf(text, sizeof text, "%03dcell.png", index);
        return std::string(text);
    };
    std::printf("VGG cells (%s): learn on one training picture from all its dots, count 101-200\n",
                folder.string().c_str());
    for (int training : {1, 2, 3}) {
        const Picture picture = fromImage(QImage(QString::fromStdString((folder / name(training)).string())));
        if (picture.empty()) {
            std::printf("  %s cannot be read, skipped\n", name(training).c_str());
            continue;
        }
        TeachOptions options;
        options.threads = threads;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processSeconds();
        const Teaching teaching =
            teachFromMarks(picture, {0, 0, picture.width(), picture.height()}, dots[name(training)], options);
        const double learnt = seconds(start), cpu = processSeconds() - cpuStart;
        std::printf("  trained on %s (%zu dots)\n", name(training).c_str(), dots[name(training)].size());
        if (!teaching.error.empty()) {
            std::printf("    %s\n", teaching.error.c_str());
            continue;
        }
        printTeaching(teaching, learnt, cpu);
        double particleError = 0, blobError = 0;
        int pictures = 0;
        for (int index = 101; index <= 200; ++index) {
            const Picture test = fromImage(QImage(QString::fromStdString((folder / name(index)).string())));
            const auto truth = static_cast<double>(dots[name(index)].size());
            if (test.empty() || truth == 0) continue;
            const Counts counts = countBoth(test, teaching, threads);
            particleError += std::abs(counts.particles - truth) / truth;
            blobError += std::abs(counts.blobs - truth) / truth;
            ++pictures;
        }
        if (pictures > 0)
            std::printf("    %d pictures: mean absolute error, particle count %.1f %%, blob count %.1f %%\n",
                        pictures, 100 * particleError / pictures, 100 * blobError / pictures);
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    int threads = 2;
    fs::path vgg = fs::path(SPOTTALLY_SHARED_DATA) / "vgg-cells";
    bool big = true, only = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--threads") && i + 1 < argc) threads = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--vgg") && i + 1 < argc) vgg = argv[++i];
        else if (!std::strcmp(argv[i], "--skip-big")) big = false;
        else if (!std::strcmp(argv[i], "--only-big")) only = true;
    }
    std::printf("threads: %d\n", threads);
    const PixelRegion region{250, 150, 300, 300};
    double worstLearning = 0, worstLearningCpu = 0;
    for (const TeachingKind& kind : only ? std::vector<TeachingKind>{} : teachingKinds()) {
        const Micrograph training = makeTeachingPicture(kind, 0);
        const std::vector<Mark> marks = trueCentres(training, region);
        TeachOptions options;
        options.threads = threads;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processSeconds();
        const Teaching teaching = teachFromMarks(training.picture, region, marks, options);
        const double learnt = seconds(start), cpu = processSeconds() - cpuStart;
        worstLearning = std::max(worstLearning, learnt);
        worstLearningCpu = std::max(worstLearningCpu, cpu);
        std::printf("%s: learnt from %zu marks in a 300 x 300 region\n", kind.name.c_str(), marks.size());
        if (!teaching.error.empty()) {
            std::printf("    %s\n", teaching.error.c_str());
            continue;
        }
        printTeaching(teaching, learnt, cpu);
        double particleError = 0, blobError = 0;
        for (int index = 1; index <= 5; ++index) {
            const Micrograph test = makeTeachingPicture(kind, index);
            const auto truth = static_cast<double>(test.particles.size());
            const Counts counts = countBoth(test.picture, teaching, threads);
            std::printf("    picture %d: true %d, particle count %d, blob count %d\n", index,
                        static_cast<int>(truth), counts.particles, counts.blobs);
            particleError += std::abs(counts.particles - truth) / truth;
            blobError += std::abs(counts.blobs - truth) / truth;
        }
        std::printf("    mean absolute error over 5 pictures: particle count %.1f %%, blob count %.1f %%\n",
                    100 * particleError / 5, 100 * blobError / 5);
    }
    std::printf("slowest learning of a 300 x 300 region: %.2f s wall, %.2f s CPU (%.2f s on %d idle cores)\n",
                worstLearning, worstLearningCpu, worstLearningCpu / threads, threads);

    if (!only) {
        // A whole 1600 x 1200 picture as the teaching region, every one of its particles marked: the
        // searches count a middle part of bounded size, so this takes a few seconds, not twenty.
        const Micrograph whole = makeSyntheticMicrograph(MicrographOptions());
        const PixelRegion all{0, 0, whole.picture.width(), whole.picture.height()};
        const std::vector<Mark> marks = trueCentres(whole, all);
        TeachOptions options;
        options.threads = threads;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processSeconds();
        const Teaching teaching = teachFromMarks(whole.picture, all, marks, options);
        const double learnt = seconds(start), cpu = processSeconds() - cpuStart;
        std::printf("whole %d x %d picture, %zu marks: learnt in %.2f s wall, %.2f s CPU (%.2f s on %d idle "
                    "cores)\n",
                    all.width, all.height, marks.size(), learnt, cpu, cpu / threads, threads);
        if (teaching.error.empty())
            printTeaching(teaching, learnt, cpu);
        else
            std::printf("    %s\n", teaching.error.c_str());
    }

    if (only) {
    } else if (fs::exists(vgg / "dots.tsv"))
        vggCells(vgg, threads);
    else
        std::printf("VGG cells: %s absent, skipped\n", vgg.string().c_str());

    if (big) {
        MicrographOptions options;
        options.width = 6000;
        options.height = 4000;
        options.particles = 10000;
        options.seed = 11;
        const Picture picture = makeSyntheticMicrograph(options).picture;
        const BlobSettings settings{2.0, 1.0, 4};
        double best = 1e9, bestCpu = 1e9;
        std::size_t found = 0;
        for (int run = 0; run < 5; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = processSeconds();
            found = findBlobs(picture, rgbColour(121, 223, 95), settings, threads).size();
            best = std::min(best, seconds(start));
            bestCpu = std::min(bestCpu, processSeconds() - cpuStart);
        }
        std::printf("blob count on 6000 x 4000 (24 MP): best of 5 %.3f s wall, %.3f s CPU (%.3f s on %d idle "
                    "cores), %zu blobs (10000 drawn)\n",
                    best, bestCpu, bestCpu / threads, threads, found);
    }
    return 0;
}
