#include "detect/ParameterSearch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "core/AnalysisState.h"
#include "core/Layers.h"
#include "core/Markers.h"
#include "detect/BlobCount.h"
#include "detect/Parallel.h"

namespace {

constexpr double kSqrt2 = 1.4142135623730951;
/// Blob scales tried: a quarter octave apart from kFirstScale on.
constexpr double kFirstScale = 0.7;
constexpr int kScaleCount = 17;
/// Room around the teaching region that the blob filters and the count's windows reach into.
constexpr int kBlobMargin = 48;
/// The least peak threshold learnt: below it, sensor noise makes peaks.
constexpr double kLeastBlobThreshold = 0.05;

/// The count's searched values: target level (% of the marked colour), colour tolerance, brightness
/// tolerance, minimum contrast, minimum size, maximum size.
constexpr int kDimensions = 6;
using Point = std::array<int, kDimensions>;
constexpr Point kLowest = {30, 0, 0, 0, 1, 0};
constexpr int kStartingPoints = 3;
constexpr int kMostDescentSteps = 40;
/// Most pixels of the teaching region that each candidate of the searches counts.
constexpr double kMostSearchedPixels = 640.0 * 640.0;

std::uint32_t scaledColour(std::uint32_t colour, int percent)
{
    const auto scale = [&](int channel) { return std::clamp((channel * percent + 50) / 100, 0, 255); };
    return rgbColour(scale(colourRed(colour)), scale(colourGreen(colour)), scale(colourBlue(colour)));
}

/// The rectangle around region grown by margin on each side, clipped to the picture.
PixelRegion grown(const PixelRegion& region, int margin, int width, int height)
{
    const int x0 = std::max(0, region.x - margin), y0 = std::max(0, region.y - margin);
    const int x1 = std::min(width, region.x + region.width + margin);
    const int y1 = std::min(height, region.y + region.height + margin);
    return {x0, y0, x1 - x0, y1 - y0};
}

Picture cropPicture(const Picture& picture, const PixelRegion& area)
{
    Picture crop(area.width, area.height);
    for (int y = 0; y < area.height; ++y)
        std::copy_n(picture.row(area.y + y) + 3 * static_cast<std::size_t>(area.x), crop.stride(), crop.row(y));
    return crop;
}

/// The count's accepted pixels inside region (crop coordinates), moved by (dx, dy). The count writes
/// green 55 only at an accepted pixel (the area fill changes blue alone), so a CentreMarker whose
/// green byte was 55 in the original already may be paint and is not taken: a rare miss, never a
/// painted pixel taken for a particle.
std::vector<Mark> centreMarkers(const Layers& layers, const PixelRegion& region, int dx, int dy)
{
    std::vector<Mark> found;
    for (int y = region.y; y < region.y + region.height; ++y) {
        const std::uint8_t* area = layers.Image3.row(y);
        const std::uint8_t* original = layers.Image1.row(y);
        for (int x = region.x; x < region.x + region.width; ++x)
            if (area[3 * x] == kMarkBlue && area[3 * x + 1] == kCentreGreen && original[3 * x + 1] != kCentreGreen)
                found.push_back({x + dx, y + dy});
    }
    return found;
}

/// A count of a cropped picture, the crop kept in layers.Image1.
std::vector<Mark> countCrop(Layers& layers, const PixelRegion& regionInCrop, const CountParams& params, int dx,
                            int dy)
{
    TAnalysisState state;
    state.ImageWidth = layers.Image1.width();
    state.ImageHeight = layers.Image1.height();
    runCount(layers, state, params);
    return centreMarkers(layers, regionInCrop, dx, dy);
}

/// The part of region the searches count: region itself up to kMostSearchedPixels, else its middle
/// part of about that many pixels and of its proportions (no side longer than the region's), as long as
/// it holds enough marks to teach on.
PixelRegion searchedPart(const PixelRegion& region, const std::vector<Mark>& marks)
{
    const double pixels = static_cast<double>(region.width) * static_cast<double>(region.height);
    if (pixels <= kMostSearchedPixels) return region;
    const double shrink = std::sqrt(kMostSearchedPixels / pixels);
    int width = std::max(1, static_cast<int>(region.width * shrink));
    int height = std::max(1, static_cast<int>(region.height * shrink));
    // A narrow region keeps its short side and gives up more of its long one.
    if (width < 64) width = std::min(region.width, 64);
    if (height < 64) height = std::min(region.height, 64);
    width = std::min(width, std::max(1, static_cast<int>(kMostSearchedPixels / height)));
    height = std::min(height, std::max(1, static_cast<int>(kMostSearchedPixels / width)));
    const PixelRegion middle{region.x + (region.width - width) / 2, region.y + (region.height - height) / 2,
                             width, height};
    if (static_cast<int>(marksInside(marks, middle).size()) < kLeastTeachingMarks) return region;
    return middle;
}

bool cancelled(const TeachOptions& options)
{
    return options.cancel && options.cancel->load(std::memory_order_relaxed);
}

/// The count's search: a coarse grid, then descents with halving steps from the best grid points.
class CountSearch {
public:
    /// poll is called on the calling thread after each of its counts, with the counts run so far and
    /// the most the search can run.
    CountSearch(const Picture& picture, const PixelRegion& region, const std::vector<Mark>& marks,
                std::uint32_t colour, double particleRadius, double matchRadius, const TeachOptions& options,
                std::function<void(std::int64_t counted, std::int64_t most)> poll)
        : marks_(marks), colour_(colour), matchRadius_(matchRadius), options_(options), poll_(std::move(poll))
    {
        const int r = std::max(1, static_cast<int>(std::lround(particleRadius)));
        highest_ = {250, 400, 255, 255, std::min(255, 6 * r + 4), 8 * r + 20};
        const int reach = static_cast<int>(countReach(highest_[5]));
        const PixelRegion area = grown(region, reach + highest_[4] + 8, picture.width(), picture.height());
        crop_ = cropPicture(picture, area);
        regionInCrop_ = {region.x - area.x, region.y - area.y, region.width, region.height};
        dx_ = area.x;
        dy_ = area.y;
        threads_ = workerThreads(options.threads);
        layers_.resize(static_cast<std::size_t>(threads_));
        for (Layers& layers : layers_) layers.Image1 = crop_;

        const auto sizes = [&](std::initializer_list<double> factors, bool asReach) {
            std::vector<int> values;
            for (double factor : factors) {
                int value = std::max(1, static_cast<int>(std::lround(particleRadius * factor)));
                if (asReach) value = std::max(0, 2 * (value + 1) - 3);  // maximum size whose reach is value + 1
                if (std::find(values.begin(), values.end(), value) == values.end()) values.push_back(value);
            }
            return values;
        };
        grid_[0] = {80, 120};
        grid_[1] = {15, 35, 70, 120};
        grid_[2] = {30, 60, 100, 150};
        grid_[3] = {4, 10, 20, 35};
        grid_[4] = sizes({0.6, 1.0, 1.4}, false);
        grid_[5] = sizes({1.0, 2.0, 3.0}, true);
        firstSteps_ = {10, 12, 16, 6, std::max(1, r / 3), 2};
    }

    /// Runs the search; returns the best point found (also when cancelled).
    Point run(bool& wasCancelled)
    {
        std::vector<Point> gridPoints;
        Point p{};
        const auto walk = [&](auto&& self, int dimension) -> void {
            if (dimension == kDimensions) {
                gridPoints.push_back(p);
                return;
            }
            for (int value : grid_[static_cast<std::size_t>(dimension)]) {
                p[static_cast<std::size_t>(dimension)] = value;
                self(self, dimension + 1);
            }
        };
        walk(walk, 0);
        // Each descent step tries at most two neighbours a dimension.
        most_ = static_cast<std::int64_t>(gridPoints.size()) +
                kStartingPoints * kMostDescentSteps * 2 * kDimensions;
        evaluate(gridPoints);
        std::vector<Point> ranked;
        for (const Point& point : gridPoints)
            if (fits_.count(point)) ranked.push_back(point);
        std::stable_sort(ranked.begin(), ranked.end(),
                         [&](const Point& a, const Point& b) { return betterFit(fits_.at(a), fits_.at(b)); });
        if (ranked.empty()) {
            wasCancelled = true;
            return gridPoints.front();
        }
        Point best = ranked.front();
        for (int start = 0; start < kStartingPoints && start < static_cast<int>(ranked.size()); ++start) {
            const Point reached = descend(ranked[static_cast<std::size_t>(start)]);
            if (betterFit(fits_.at(reached), fits_.at(best))) best = reached;
            if (cancelled(options_)) break;
        }
        wasCancelled = cancelled(options_);
        return best;
    }

    CountParams params(const Point& p) const
    {
        CountParams params;
        params.targetColour = scaledColour(colour_, p[0]);
        params.colourTolerance = static_cast<std::uint16_t>(p[1]);
        params.brightnessTolerance = static_cast<std::uint16_t>(p[2]);
        params.minContrast = static_cast<std::uint16_t>(p[3]);
        params.minSize = static_cast<std::uint8_t>(p[4]);
        params.maxSize = p[5];
        return params;
    }

    int evaluations() const { return static_cast<int>(fits_.size()); }

private:
    /// Counts every point not yet counted, on all threads; a cancel leaves the rest uncounted.
    void evaluate(const std::vector<Point>& points)
    {
        std::vector<Point> fresh;
        for (const Point& point : points)
            if (!fits_.count(point) && std::find(fresh.begin(), fresh.end(), point) == fresh.end())
                fresh.push_back(point);
        std::vector<MarkFit> results(fresh.size());
        std::vector<char> done(fresh.size(), 0);
        std::atomic<std::size_t> next{0};
        const auto work = [&](Layers& layers) {
            const bool calling = &layers == &layers_[0];
            for (std::size_t i = next++; i < fresh.size(); i = next++) {
                if (cancelled(options_)) return;
                const std::vector<Mark> found = countCrop(layers, regionInCrop_, params(fresh[i]), dx_, dy_);
                results[i] = fitMarks(marks_, found, matchRadius_);
                done[i] = 1;
                ++counted_;
                if (calling) poll_(std::min<std::int64_t>(counted_.load(), most_ - 1), most_);
            }
        };
        std::vector<std::thread> helpers;
        const int used = std::min<int>(threads_, static_cast<int>(fresh.size()));
        for (int t = 1; t < used; ++t) helpers.emplace_back(work, std::ref(layers_[static_cast<std::size_t>(t)]));
        work(layers_[0]);
        for (std::thread& helper : helpers) helper.join();
        for (std::size_t i = 0; i < fresh.size(); ++i)
            if (done[i]) fits_[fresh[i]] = results[i];
    }

    /// Steps to the best neighbour while it fits better; halves the steps when none does.
    Point descend(Point current)
    {
        Point steps = firstSteps_;
        for (int round = 0; round < kMostDescentSteps && !cancelled(options_); ++round) {
            std::vector<Point> neighbours;
            for (int d = 0; d < kDimensions; ++d)
                for (int sign : {-1, 1}) {
                    Point next = current;
                    const auto i = static_cast<std::size_t>(d);
                    next[i] = std::clamp(current[i] + sign * steps[i], kLowest[i], highest_[i]);
                    if (next != current) neighbours.push_back(next);
                }
            evaluate(neighbours);
            Point best = current;
            for (const Point& neighbour : neighbours)
                if (fits_.count(neighbour) && betterFit(fits_.at(neighbour), fits_.at(best))) best = neighbour;
            if (best != current) {
                current = best;
                continue;
            }
            bool smallest = true;
            for (int& step : steps) {
                smallest = smallest && step <= 1;
                step = std::max(1, step / 2);
            }
            if (smallest) break;
        }
        return current;
    }

    const std::vector<Mark>& marks_;
    std::uint32_t colour_;
    double matchRadius_;
    const TeachOptions& options_;
    std::function<void(std::int64_t counted, std::int64_t most)> poll_;
    std::atomic<int> counted_{0};
    std::int64_t most_ = 1;
    Picture crop_;
    PixelRegion regionInCrop_;
    int dx_ = 0, dy_ = 0;
    int threads_ = 1;
    std::vector<Layers> layers_;
    std::array<std::vector<int>, kDimensions> grid_;
    Point highest_{};
    Point firstSteps_{};
    std::map<Point, MarkFit> fits_;
};

/// The in-region peaks of one scale and distance, strongest first.
std::vector<Blob> peaksInRegion(const std::vector<Blob>& kept, const PixelRegion& regionInCrop)
{
    std::vector<Blob> inside;
    for (const Blob& blob : kept)
        if (regionInCrop.contains(blob.x, blob.y)) inside.push_back(blob);
    return inside;
}

}  // namespace

MarkFit fitMarks(const std::vector<Mark>& marks, const std::vector<Mark>& detections, double radius)
{
    MarkFit fit;
    fit.marks = static_cast<int>(marks.size());
    fit.found = static_cast<int>(detections.size());
    struct Pair {
        long long distance2;
        int mark, detection;
    };
    std::vector<Pair> pairs;
    const long long limit = static_cast<long long>(std::floor(radius * radius));
    // The detections in square cells of the radius: a mark meets only those of the cells around it,
    // so the work grows with the marks, not with marks times detections.
    const long long cell = std::max(1LL, static_cast<long long>(std::ceil(radius)));
    const auto cellOf = [cell](const Mark& point) {
        return std::make_pair(point.x >= 0 ? point.x / cell : (point.x + 1) / cell - 1,
                              point.y >= 0 ? point.y / cell : (point.y + 1) / cell - 1);
    };
    std::map<std::pair<long long, long long>, std::vector<int>> cells;
    for (std::size_t d = 0; d < detections.size(); ++d)
        cells[cellOf(detections[d])].push_back(static_cast<int>(d));
    for (std::size_t m = 0; m < marks.size(); ++m) {
        const auto [cx, cy] = cellOf(marks[m]);
        for (long long y = cy - 1; y <= cy + 1; ++y)
            for (long long x = cx - 1; x <= cx + 1; ++x) {
                const auto found = cells.find({x, y});
                if (found == cells.end()) continue;
                for (int d : found->second) {
                    const long long dx = marks[m].x - detections[static_cast<std::size_t>(d)].x;
                    const long long dy = marks[m].y - detections[static_cast<std::size_t>(d)].y;
                    if (dx * dx + dy * dy <= limit)
                        pairs.push_back({dx * dx + dy * dy, static_cast<int>(m), d});
                }
            }
    }
    // Closest first; between equal distances the earlier mark, then the earlier detection.
    std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
        if (a.distance2 != b.distance2) return a.distance2 < b.distance2;
        if (a.mark != b.mark) return a.mark < b.mark;
        return a.detection < b.detection;
    });
    std::vector<char> markUsed(marks.size(), 0), detectionUsed(detections.size(), 0);
    for (const Pair& pair : pairs) {
        if (markUsed[static_cast<std::size_t>(pair.mark)] || detectionUsed[static_cast<std::size_t>(pair.detection)])
            continue;
        markUsed[static_cast<std::size_t>(pair.mark)] = detectionUsed[static_cast<std::size_t>(pair.detection)] = 1;
        ++fit.matched;
    }
    return fit;
}

bool betterFit(const MarkFit& a, const MarkFit& b)
{
    const int offA = std::abs(a.found - a.marks), offB = std::abs(b.found - b.marks);
    if (offA != offB) return offA < offB;
    return a.f1() > b.f1() + 1e-12;
}

std::uint32_t markedColour(const Picture& picture, const std::vector<Mark>& marks)
{
    std::array<std::vector<int>, 3> channels;
    for (const Mark& mark : marks) {
        int sums[3] = {0, 0, 0}, n = 0;
        for (int y = mark.y - 1; y <= mark.y + 1; ++y)
            for (int x = mark.x - 1; x <= mark.x + 1; ++x) {
                if (!picture.contains(x, y)) continue;
                const std::uint8_t* pixel = picture.row(y) + 3 * static_cast<std::size_t>(x);
                for (int c = 0; c < 3; ++c) sums[c] += pixel[c];
                ++n;
            }
        if (n == 0) continue;
        for (int c = 0; c < 3; ++c) channels[static_cast<std::size_t>(c)].push_back((sums[c] + n / 2) / n);
    }
    if (channels[0].empty()) return rgbColour(121, 223, 95);
    int median[3];
    for (int c = 0; c < 3; ++c) {
        std::vector<int>& values = channels[static_cast<std::size_t>(c)];
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
        median[c] = values[values.size() / 2];
    }
    return rgbColour(median[2], median[1], median[0]);
}

std::vector<Mark> countInRegion(const Picture& picture, const PixelRegion& region, const CountParams& params)
{
    const int margin = static_cast<int>(countReach(params.maxSize)) + params.minSize + 8;
    const PixelRegion area = grown(region, margin, picture.width(), picture.height());
    if (area.empty()) return {};
    Layers layers;
    layers.Image1 = cropPicture(picture, area);
    const PixelRegion inside = {std::max(region.x, 0) - area.x, std::max(region.y, 0) - area.y,
                                std::min(region.x + region.width, picture.width()) - std::max(region.x, 0),
                                std::min(region.y + region.height, picture.height()) - std::max(region.y, 0)};
    if (inside.empty()) return {};
    return countCrop(layers, inside, params, area.x, area.y);
}

std::vector<Mark> blobsInRegion(const Picture& picture, const PixelRegion& region, const BlobSettings& settings,
                                std::uint32_t targetColour)
{
    std::vector<Mark> inside;
    for (const Blob& blob : findBlobs(picture, targetColour, settings))
        if (region.contains(blob.x, blob.y)) inside.push_back({blob.x, blob.y});
    return inside;
}

Teaching teachFromMarks(const Picture& picture, const PixelRegion& region, const std::vector<Mark>& allMarks,
                        const TeachOptions& given)
{
    // The searches watch one flag: set by the caller's own flag or by its progress hook's answer.
    std::atomic<bool> stop{false};
    TeachOptions options = given;
    options.cancel = &stop;
    const auto poll = [&](std::int64_t done, std::int64_t total) {
        if ((given.cancel && given.cancel->load(std::memory_order_relaxed)) ||
            (given.progress && !given.progress(done, total)))
            stop.store(true, std::memory_order_relaxed);
    };
    Teaching teaching;
    if (picture.empty()) {
        teaching.error = "There is no picture to teach on.";
        return teaching;
    }
    if (region.empty() || region.x + region.width > picture.width() || region.y + region.height > picture.height()) {
        teaching.error = "The teaching region " + std::to_string(region.x) + "," + std::to_string(region.y) + "," +
                         std::to_string(region.width) + "," + std::to_string(region.height) +
                         " does not lie inside the picture (" + std::to_string(picture.width()) + " x " +
                         std::to_string(picture.height()) + " pixels).";
        return teaching;
    }
    std::vector<Mark> marks;
    {
        // A pixel marked twice (a double click, a file joined from two) is one particle.
        std::set<std::pair<int, int>> seen;
        for (const Mark& mark : marksInside(allMarks, region)) {
            if (seen.insert({mark.x, mark.y}).second)
                marks.push_back(mark);
            else
                ++teaching.duplicateMarks;
        }
    }
    if (static_cast<int>(marks.size()) > kMostTeachingMarks) {
        teaching.error = "The teaching region holds " + std::to_string(marks.size()) + " marks; at most " +
                         std::to_string(kMostTeachingMarks) +
                         " can be taught on at once: choose a smaller region.";
        return teaching;
    }
    if (static_cast<int>(marks.size()) < kLeastTeachingMarks) {
        teaching.error = "The teaching region holds " + std::to_string(marks.size()) + " marks; at least " +
                         std::to_string(kLeastTeachingMarks) + " are needed, " +
                         std::to_string(kAdvisedTeachingMarks) + " or more give good parameters.";
        return teaching;
    }
    const int threads = workerThreads(options.threads);
    const std::uint32_t colour = markedColour(picture, marks);

    // Every candidate is a count of the searched part: a region larger than kMostSearchedPixels is
    // searched in its middle part of that size, so the work stays bounded; the whole region still gives
    // the fits reported.
    const PixelRegion searched = searchedPart(region, marks);
    const std::vector<Mark> searchedMarks = marksInside(marks, searched);

    // Blob responses of the searched part plus a margin, at every scale tried.
    const PixelRegion area = grown(searched, kBlobMargin, picture.width(), picture.height());
    const PixelRegion regionInCrop = {searched.x - area.x, searched.y - area.y, searched.width,
                                      searched.height};
    const FloatPlane flat =
        cropPlane(flattenedChannel(picture, colour, threads), area.x, area.y, area.width, area.height);
    std::vector<double> scales(kScaleCount);
    std::vector<std::vector<Blob>> peaks(kScaleCount);
    std::vector<double> markResponse(kScaleCount);
    // Rounded as the report writes them, so that a restored setting is the learnt one.
    for (int s = 0; s < kScaleCount; ++s)
        scales[static_cast<std::size_t>(s)] = std::round(100 * kFirstScale * std::pow(2.0, s / 4.0)) / 100;
    parallelSlices(kScaleCount, threads, [&](int first, int end) {
        for (int s = first; s < end; ++s) {
            const FloatPlane response = blobResponse(flat, scales[static_cast<std::size_t>(s)], 1);
            peaks[static_cast<std::size_t>(s)] = responsePeaks(response, static_cast<float>(kLeastBlobThreshold), 1);
            // How strongly the marked particles answer this scale: the best response next to each mark.
            double sum = 0;
            for (const Mark& mark : searchedMarks) {
                float best = -1e30F;
                for (int y = mark.y - 1; y <= mark.y + 1; ++y)
                    for (int x = mark.x - 1; x <= mark.x + 1; ++x) {
                        const int cx = x - area.x, cy = y - area.y;
                        if (cx >= 0 && cy >= 0 && cx < response.width && cy < response.height)
                            best = std::max(best, response.row(cy)[cx]);
                    }
                sum += best;
            }
            markResponse[static_cast<std::size_t>(s)] = sum / static_cast<double>(searchedMarks.size());
        }
    });
    const auto strongest = std::max_element(markResponse.begin(), markResponse.end()) - markResponse.begin();
    teaching.particleScale = scales[static_cast<std::size_t>(strongest)];
    const double particleRadius = kSqrt2 * teaching.particleScale;
    teaching.matchRadius = std::max(3.0, 2.0 * particleRadius);

    // Blob settings: for each scale and distance the threshold that gives the number of marks, the
    // best fit winning; between equal fits the wider gap around the threshold.
    bool haveBlobs = false;
    double bestGap = -1;
    for (int s = 0; s < kScaleCount; ++s) {
        const double scale = scales[static_cast<std::size_t>(s)];
        std::vector<int> distances;
        for (double factor : {0.0, 0.5, 0.75, 1.0, 1.25, 1.5}) {
            const int distance = std::max(1, static_cast<int>(std::lround(factor * 2.0 * kSqrt2 * scale)));
            if (std::find(distances.begin(), distances.end(), distance) == distances.end()) distances.push_back(distance);
        }
        for (int distance : distances) {
            const std::vector<Blob> inside =
                peaksInRegion(keepDistantPeaks(peaks[static_cast<std::size_t>(s)], distance), regionInCrop);
            const std::size_t wanted = searchedMarks.size();
            double threshold, gap;
            if (inside.size() > wanted) {
                const double above = inside[wanted - 1].response, below = inside[wanted].response;
                threshold = 0.5 * (above + below);
                gap = (above - below) / above;
            } else if (!inside.empty()) {
                threshold = 0.9 * inside.back().response;
                gap = 0;
            } else {
                continue;
            }
            threshold = std::max(std::round(1000 * threshold) / 1000, kLeastBlobThreshold);
            std::vector<Mark> found;
            for (const Blob& blob : inside)
                if (blob.response >= threshold) found.push_back({blob.x + area.x, blob.y + area.y});
            const MarkFit fit = fitMarks(searchedMarks, found, teaching.matchRadius);
            const bool better = !haveBlobs || betterFit(fit, teaching.blobFit) ||
                                (!betterFit(teaching.blobFit, fit) && gap > bestGap);
            if (better) {
                haveBlobs = true;
                bestGap = gap;
                teaching.blobFit = fit;
                teaching.blobs = {scale, threshold, distance};
            }
        }
    }

    // The count's parameters.
    poll(0, 1);
    CountSearch search(picture, searched, searchedMarks, colour, particleRadius, teaching.matchRadius, options,
                       poll);
    bool wasCancelled = false;
    const Point best = search.run(wasCancelled);
    teaching.cancelled = wasCancelled;
    teaching.count = search.params(best);
    teaching.evaluations = search.evaluations();
    teaching.countFit = fitMarks(marks, countInRegion(picture, region, teaching.count), teaching.matchRadius);
    // The blob count follows the count's target colour (its dominant channel), as the counts will.
    teaching.blobFit = fitMarks(marks, blobsInRegion(picture, region, teaching.blobs, teaching.count.targetColour),
                                teaching.matchRadius);
    if (!teaching.cancelled && teaching.countFit.matched == 0)
        teaching.error = "No parameters tried find any of the " + std::to_string(marks.size()) +
                         " marked particles: nothing was learnt. Mark the particles themselves, at their "
                         "middle.";
    return teaching;
}

void writeLearntTexts(const CountParams& learnt, ParameterTexts& texts)
{
    texts.Edmin = std::to_string(learnt.minSize);
    texts.EdMax = std::to_string(learnt.maxSize);
    texts.EdR = std::to_string(colourRed(learnt.targetColour));
    texts.EdG = std::to_string(colourGreen(learnt.targetColour));
    texts.EdB = std::to_string(colourBlue(learnt.targetColour));
    texts.EdDevi = std::to_string(learnt.colourTolerance);
    texts.Edhell = std::to_string(learnt.brightnessTolerance);
    texts.EdCont = std::to_string(learnt.minContrast);
}
