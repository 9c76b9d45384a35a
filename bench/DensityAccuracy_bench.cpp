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
// Speed: teaching from about 300 marks; counting a 2 MP and a 24 MP picture.
// Data that is absent is skipped with a line saying so.

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
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
        const Teaching teaching = teachFromMarks(picture, leftRegion, left, {threads, nullptr});
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

void speed(int threads)
{
    std::printf("Speed (%d threads; CPU seconds / threads beside the wall time)\n", threads);
    const TeachingKind kind = teachingKinds().front();
    TeachingSet set;
    int marks = 0;
    for (int index = 0; index < 2 && marks < 300; ++index) {
        const Micrograph taught = makeTeachingPicture(kind, index);
        const PixelRegion region{0, 0, taught.picture.width(), taught.picture.height() * 3 / 4};
        const std::vector<Mark> centres = trueCentres(taught, region);
        addTeachingPicture(set, taught.picture, std::to_string(index), region, centres, {});
        marks += static_cast<int>(centres.size());
    }
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
        start = std::chrono::steady_clock::now();
        cpu = processSeconds();
        const DensityResult result = predictDensity(counted.picture, training.model, {threads, nullptr});
        std::printf("  counting %.1f MP: %.2f s (%.2f s CPU / threads), %.0f of %zu particles\n",
                    width * height / 1e6, seconds(start), (processSeconds() - cpu) / threads, result.count,
                    counted.particles.size());
    }
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
