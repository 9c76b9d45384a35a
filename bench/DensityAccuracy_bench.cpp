// The learnt count on pictures made by others and on our own: how well a model taught on some
// pictures counts the next ones, beside the blob count taught on the same marks, and how long
// teaching and counting take. A plain program: it prints its figures rather than timing loops.
//
//   DensityAccuracy_bench [--threads N] [--data FOLDER] [--only vgg|vgg32|nuclei|generated|speed]
//                         [--quick] [--train N]
//
// --quick counts every fifth VGG test picture only; --train N teaches on VGG picture N only.
//
// VGG cells (FOLDER/vgg-cells): taught on all dots of one training picture (001 to 005, each on its
// own), then on all of 001-032; counts 101-200; mean absolute error per picture.
// Nuclei (FOLDER/nuclei-dsb2018, PNG): taught on the left half of each picture from the mask centres,
// counts the right half; mean absolute error per picture, learnt and blob count.
// Generated: the four teaching kinds, taught on pictures 0 and 1 (300 x 300 regions), counting 2 to 6.
// Speed: teaching from 300 marks; counting a 2 MP and a 24 MP picture, with the memory the count
// takes (the heap's peak above what was in use before it).
// Data that is absent is skipped with a line saying so.

#include <malloc.h>
#include <sys/resource.h>

#include <QImage>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "detect/BlobCount.h"
#include "detect/DensityCount.h"
#include "detect/ParameterSearch.h"
#include "support/SyntheticMicrograph.h"
#include "support/TeachingPictures.h"

namespace fs = std::filesystem;

namespace {

/// The heap in use, and its highest level since startPeak: every operator new of this program
/// (each std::vector's buffer among them) goes through it.
class AllocationCounter {
public:
    void add(std::size_t bytes)
    {
        const std::size_t now = live_.fetch_add(bytes, std::memory_order_relaxed) + bytes;
        std::size_t high = peak_.load(std::memory_order_relaxed);
        while (now > high && !peak_.compare_exchange_weak(high, now, std::memory_order_relaxed)) {
        }
    }
    void remove(std::size_t bytes) { live_.fetch_sub(bytes, std::memory_order_relaxed); }
    /// Starts a new peak at the present level, which it returns.
    std::size_t startPeak()
    {
        const std::size_t now = live_.load();
        peak_.store(now);
        return now;
    }
    std::size_t peak() const { return peak_.load(); }

private:
    std::atomic<std::size_t> live_{0};
    std::atomic<std::size_t> peak_{0};
};

AllocationCounter gAllocations;

}  // namespace

void* operator new(std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    gAllocations.add(malloc_usable_size(block));
    return block;
}

void operator delete(void* block) noexcept
{
    if (block == nullptr) return;
    gAllocations.remove(malloc_usable_size(block));
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace {

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/// CPU time of the whole process (all threads): on a busy shared machine CPU time / threads is the
/// wall time on idle cores.
double processSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
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

Picture loadPicture(const fs::path& path) { return fromImage(QImage(QString::fromStdString(path.string()))); }

std::string vggName(int index)
{
    char name[32];
    std::snprintf(name, sizeof name, "%03dcell.png", index);
    return name;
}

void vggCells(const fs::path& folder, int threads, bool fromOne, bool fromMany, bool quick, int onlyTraining)
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
    std::vector<Picture> tests;
    for (int index = 101; index <= 200; ++index) tests.push_back(loadPicture(folder / vggName(index)));
    const DensityOptions options{threads, nullptr};
    const auto evaluate = [&](const char* label, const std::vector<int>& training) {
        TeachingSet set;
        for (int index : training) {
            const Picture picture = loadPicture(folder / vggName(index));
            addTeachingPicture(set, picture, vggName(index), {0, 0, picture.width(), picture.height()},
                               dots[vggName(index)], {});
        }
        const auto start = std::chrono::steady_clock::now();
        const DensityTraining training_ = trainDensityModel(set, options);
        const double teachSeconds = seconds(start);
        if (!training_.error.empty()) {
            std::printf("  %s: %s\n", label, training_.error.c_str());
            return;
        }
        double error = 0, truthSum = 0, signedError = 0;
        int counted = 0;
        const int step = quick ? 5 : 1;
        for (int i = 0; i < 100; i += step) {
            ++counted;
            const DensityResult result = predictDensity(tests[static_cast<std::size_t>(i)], training_.model, options);
            const double truth = static_cast<double>(dots[vggName(101 + i)].size());
            error += std::fabs(result.count - truth);
            signedError += result.count - truth;
            truthSum += truth;
        }
        std::printf("  %-10s %4d marks, scale %.2f: MAE %.2f per picture (%.1f %%, mean error %+.2f), teaching %.2f s\n",
                    label, training_.model.marks, training_.model.particleScale, error / counted,
                    100 * error / truthSum, signedError / counted, teachSeconds);
    };
    std::printf("VGG cells (%s): learnt count of 101-200\n", folder.string().c_str());
    if (fromOne)
        for (int training = 1; training <= 5; ++training) {
            if (onlyTraining != 0 && onlyTraining != training) continue;
            char label[16];
            std::snprintf(label, sizeof label, "from %03d", training);
            evaluate(label, {training});
        }
    if (fromMany) {
        std::vector<int> all(32);
        for (int i = 0; i < 32; ++i) all[static_cast<std::size_t>(i)] = i + 1;
        evaluate("from 1-32", all);
    }
}

void nuclei(const fs::path& folder, int threads)
{
    std::ifstream centroids(folder / "centroids.tsv");
    if (!centroids) {
        std::printf("Nuclei: %s not found, skipped\n", (folder / "centroids.tsv").string().c_str());
        return;
    }
    std::map<std::string, std::vector<std::pair<double, double>>> centres;
    std::string line;
    std::getline(centroids, line);
    while (std::getline(centroids, line)) {
        std::istringstream fields(line);
        std::string id, mask;
        int nucleus = 0;
        double x = 0, y = 0;
        if (fields >> id >> nucleus >> mask >> x >> y) centres[id].push_back({x, y});
    }
    std::printf("Nuclei (%s): taught on the left half, counting the right half\n", folder.string().c_str());
    std::printf("  %-10s %7s %7s %7s\n", "picture", "truth", "learnt", "blobs");
    double learntError = 0, blobError = 0;
    int pictures = 0;
    for (const auto& [id, list] : centres) {
        const Picture picture = loadPicture(folder / id / "images" / (id + ".png"));
        if (picture.empty()) continue;
        const int half = picture.width() / 2;
        std::vector<Mark> left;
        int rightTruth = 0;
        for (const auto& [x, y] : list) {
            if (x < half)
                left.push_back({static_cast<int>(x), static_cast<int>(y)});
            else
                ++rightTruth;
        }
        if (left.size() < static_cast<std::size_t>(kLeastTeachingMarks)) continue;
        const PixelRegion leftRegion{0, 0, half, picture.height()};
        TeachingSet set;
        addTeachingPicture(set, picture, id, leftRegion, left, {});
        const DensityTraining training = trainDensityModel(set, {threads, nullptr});
        if (!training.error.empty()) continue;
        const DensityResult result = predictDensity(picture, training.model, {threads, nullptr}, true);
        double learnt = 0;
        for (int y = 0; y < result.density.height; ++y)
            for (int x = half; x < result.density.width; ++x) learnt += result.density.row(y)[x];
        const Teaching teaching = teachFromMarks(picture, leftRegion, left, {threads, nullptr, {}});
        int blobs = 0;
        if (teaching.error.empty())
            for (const Blob& blob : findBlobs(picture, teaching.count.targetColour, teaching.blobs, threads))
                blobs += blob.x >= half ? 1 : 0;
        learntError += std::fabs(learnt - rightTruth);
        blobError += std::fabs(blobs - rightTruth);
        ++pictures;
        std::printf("  %-10.10s %7d %7.1f %7d\n", id.c_str(), rightTruth, learnt, blobs);
    }
    if (pictures > 0)
        std::printf("  MAE per picture over %d pictures: learnt %.2f, blob count %.2f\n", pictures,
                    learntError / pictures, blobError / pictures);
}

void generated(int threads)
{
    std::printf("Generated series: taught on pictures 0 and 1 (300 x 300 regions), counting 2-6\n");
    for (const TeachingKind& kind : teachingKinds()) {
        TeachingSet set;
        for (int index = 0; index < 2; ++index) {
            const Micrograph taught = makeTeachingPicture(kind, index);
            const PixelRegion region{100, 100, 300, 300};
            addTeachingPicture(set, taught.picture, kind.name + std::to_string(index), region,
                               trueCentres(taught, region), {});
        }
        const DensityTraining training = trainDensityModel(set, {threads, nullptr});
        if (!training.error.empty()) {
            std::printf("  %-8s %s\n", kind.name.c_str(), training.error.c_str());
            continue;
        }
        double error = 0, truthSum = 0;
        for (int index = 2; index <= 6; ++index) {
            const Micrograph counted = makeTeachingPicture(kind, index);
            const double count = predictDensity(counted.picture, training.model, {threads, nullptr}).count;
            error += std::fabs(count - static_cast<double>(counted.particles.size()));
            truthSum += static_cast<double>(counted.particles.size());
        }
        std::printf("  %-8s %4d marks, scale %.2f: mean error %.2f %%\n", kind.name.c_str(), training.model.marks,
                    training.model.particleScale, 100 * error / truthSum);
    }
}

/// Teaching from 300 marks: the whole of picture 0, then picture 1 from its top down to its
/// 300th mark in all.
TeachingSet speedTeachingSet(const TeachingKind& kind)
{
    constexpr int kWantedMarks = 300;
    TeachingSet set;
    for (int index = 0; index < 2 && set.markCount() < kWantedMarks; ++index) {
        const Micrograph taught = makeTeachingPicture(kind, index);
        const PixelRegion whole{0, 0, taught.picture.width(), taught.picture.height()};
        std::vector<Mark> centres = trueCentres(taught, whole);
        std::sort(centres.begin(), centres.end(), [](const Mark& a, const Mark& b) { return a.y < b.y; });
        const auto wanted = static_cast<std::size_t>(kWantedMarks - set.markCount());
        PixelRegion region = whole;
        if (centres.size() > wanted) region.height = centres[wanted - 1].y + 1;
        addTeachingPicture(set, taught.picture, std::to_string(index), region, centres, {});
    }
    return set;
}

void speed(int threads)
{
    std::printf("Speed (%d threads; CPU seconds / threads beside the wall time)\n", threads);
    const TeachingKind kind = teachingKinds().front();
    const TeachingSet set = speedTeachingSet(kind);
    auto start = std::chrono::steady_clock::now();
    double cpu = processSeconds();
    const DensityTraining training = trainDensityModel(set, {threads, nullptr});
    std::printf("  teaching from %d marks: %.2f s (%.2f s CPU / threads)\n", set.markCount(), seconds(start),
                (processSeconds() - cpu) / threads);
    for (const auto& [width, height] : {std::pair{1600, 1250}, std::pair{6000, 4000}}) {
        MicrographOptions options = kind.options;
        options.width = width;
        options.height = height;
        options.particles = width * height / 4000;
        const Micrograph counted = makeSyntheticMicrograph(options);
        const double pictureMB = 3.0 * width * height / 1e6;
        const std::size_t before = gAllocations.startPeak();
        start = std::chrono::steady_clock::now();
        cpu = processSeconds();
        const DensityResult result = predictDensity(counted.picture, training.model, {threads, nullptr});
        const double wall = seconds(start), perThread = (processSeconds() - cpu) / threads;
        const double workMB = static_cast<double>(gAllocations.peak() - before) / 1e6;
        std::printf("  counting %.1f MP: %.2f s (%.2f s CPU / threads), %.0f of %zu particles\n",
                    width * height / 1e6, wall, perThread, result.count, counted.particles.size());
        // The window holds three picture layers while it counts; the count's own memory comes on top.
        std::printf("    memory: %.1f MB for the count beside the %.1f MB picture; with three layers %.0f MB, "
                    "%.0f %% of the layers\n",
                    workMB, pictureMB, 3 * pictureMB + workMB, 100 * (3 * pictureMB + workMB) / (3 * pictureMB));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("  largest resident size of this process: %.0f MB\n", static_cast<double>(usage.ru_maxrss) / 1e3);
}

}  // namespace

int main(int argc, char** argv)
{
    int threads = 2;
    fs::path data = SPOTTALLY_SHARED_DATA;
    std::string only;
    bool quick = false;
    int onlyTraining = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--threads") && i + 1 < argc)
            threads = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--data") && i + 1 < argc)
            data = argv[++i];
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
        else if (!std::strcmp(argv[i], "--quick"))
            quick = true;
        else if (!std::strcmp(argv[i], "--train") && i + 1 < argc)
            onlyTraining = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--threads N] [--data FOLDER] [--only vgg|vgg32|nuclei|generated|speed] "
                         "[--quick] [--train N]\n",
                         argv[0]);
            return 2;
        }
    }
    const bool all = only.empty();
    if (all || only == "vgg" || only == "vgg32") {
        if (fs::exists(data / "vgg-cells" / "dots.tsv"))
            vggCells(data / "vgg-cells", threads, all || only == "vgg", all || only == "vgg32", quick, onlyTraining);
        else
            std::printf("VGG cells: %s absent, skipped\n", (data / "vgg-cells").string().c_str());
    }
    if (all || only == "nuclei") {
        if (fs::exists(data / "nuclei-dsb2018" / "centroids.tsv"))
            nuclei(data / "nuclei-dsb2018", threads);
        else
            std::printf("Nuclei: %s absent, skipped\n", (data / "nuclei-dsb2018").string().c_str());
    }
    if (all || only == "generated") generated(threads);
    if (all || only == "speed") speed(threads);
    return 0;
}
