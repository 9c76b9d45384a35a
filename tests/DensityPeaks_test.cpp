// The positions found row by row are those a flood fill over the whole density plane finds, however
// the rows are handed over.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "detect/DensityPeaks.h"

namespace {

constexpr float kPeakFloor = 0.2F;
constexpr float kPatchFloor = 0.1F;

struct Plane {
    int width, height;
    std::vector<float> values;
    float at(int x, int y) const { return values[static_cast<std::size_t>(y) * width + x]; }
};

/// The plain way: flood fill each patch from its first pixel, test each pixel against its eight
/// neighbours, keep the strongest peaks, as many as the patch's sum rounded.
std::vector<Mark> floodFillPositions(const Plane& plane)
{
    std::vector<Mark> positions;
    std::vector<bool> seen(plane.values.size(), false);
    struct Peak {
        int x, y;
        float value;
    };
    for (int sy = 0; sy < plane.height; ++sy)
        for (int sx = 0; sx < plane.width; ++sx) {
            if (seen[static_cast<std::size_t>(sy) * plane.width + sx] || plane.at(sx, sy) < kPatchFloor) continue;
            double sum = 0;
            std::vector<Peak> peaks;
            std::vector<Mark> stack{{sx, sy}};
            seen[static_cast<std::size_t>(sy) * plane.width + sx] = true;
            while (!stack.empty()) {
                const auto [x, y] = stack.back();
                stack.pop_back();
                const float v = plane.at(x, y);
                sum += v;
                bool peak = v >= kPeakFloor;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= plane.width || ny >= plane.height) continue;
                        const float u = plane.at(nx, ny);
                        if (u > v || (u == v && (ny < y || (ny == y && nx < x)))) peak = false;
                    }
                if (peak) peaks.push_back({x, y, v});
                for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= plane.width || ny >= plane.height) continue;
                    const std::size_t n = static_cast<std::size_t>(ny) * plane.width + nx;
                    if (seen[n] || plane.at(nx, ny) < kPatchFloor) continue;
                    seen[n] = true;
                    stack.push_back({nx, ny});
                }
            }
            std::sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) {
                if (a.value != b.value) return a.value > b.value;
                return a.y != b.y ? a.y < b.y : a.x < b.x;
            });
            for (std::size_t i = 0; i < peaks.size() && i < static_cast<std::size_t>(std::lround(sum)); ++i)
                positions.push_back({peaks[i].x, peaks[i].y});
        }
    return positions;
}

/// Blobs of random size and height, some with flat tops, on a ground of low values.
Plane randomPlane(std::mt19937& random, int width, int height, int blobs)
{
    Plane plane{width, height, std::vector<float>(static_cast<std::size_t>(width) * height)};
    for (float& value : plane.values) value = std::uniform_real_distribution<float>(0, 0.12F)(random);
    for (int b = 0; b < blobs; ++b) {
        const double cx = random() % width, cy = random() % height, radius = 1 + random() % 5;
        const double top = std::uniform_real_distribution<double>(0.15, 1.5)(random);
        const bool flat = random() % 4 == 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const double d2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (radius * radius);
                const auto v = static_cast<float>(flat ? (d2 < 1 ? top : 0) : top * std::exp(-d2));
                float& out = plane.values[static_cast<std::size_t>(y) * width + x];
                out = std::max(out, v);
            }
    }
    return plane;
}

}  // namespace

TEST(DensityPeaks, RowByRowFindsWhatAFloodFillFinds)
{
    std::mt19937 random(11);
    std::vector<Plane> planes;
    // Hand-made: a U whose arms meet only at its bottom row, patches touching only at a corner,
    // an equal pair side by side and one above the other, a single row, a single column.
    planes.push_back({7, 5, {0.5F, 0, 0, 0, 0, 0, 0.9F,   //
                             0.5F, 0, 0.3F, 0.3F, 0, 0, 0.9F,
                             0.6F, 0, 0, 0, 0.3F, 0, 0.8F,
                             0.4F, 0, 0, 0.3F, 0, 0, 0.7F,
                             0.4F, 0.4F, 0.4F, 0.4F, 0.4F, 0.4F, 0.4F}});
    planes.push_back({5, 1, {0.3F, 0.3F, 0, 1.7F, 0.05F}});
    planes.push_back({1, 4, {0.9F, 0.9F, 0.2F, 0.4F}});
    for (int i = 0; i < 12; ++i) {
        const int width = 1 + static_cast<int>(random() % 60), height = 1 + static_cast<int>(random() % 60);
        planes.push_back(randomPlane(random, width, height, 1 + static_cast<int>(random() % 40)));
    }
    for (std::size_t p = 0; p < planes.size(); ++p) {
        const Plane& plane = planes[p];
        const std::vector<Mark> expected = floodFillPositions(plane);
        for (const int chunk : {1, 3, plane.height}) {
            DensityPeakFinder finder(plane.width, plane.height, kPeakFloor, kPatchFloor);
            for (int y = 0; y < plane.height; y += chunk)
                finder.addRows(plane.values.data() + static_cast<std::size_t>(y) * plane.width,
                               std::min(chunk, plane.height - y));
            EXPECT_EQ(finder.positions(), expected) << "plane " << p << ", rows " << chunk << " at a time";
        }
        // The U is one patch of sum 8 with three peaks; the pair at its top gives one more.
        if (p == 0) {
            EXPECT_EQ(expected.size(), 4u);
        }
    }
}
