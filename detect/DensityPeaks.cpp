#include "detect/DensityPeaks.h"

#include <algorithm>
#include <cmath>
#include <cstring>

DensityPeakFinder::DensityPeakFinder(int width, int height, float peakFloor, float patchFloor)
    : width_(std::max(0, width)), height_(std::max(0, height)), peakFloor_(peakFloor), patchFloor_(patchFloor)
{
    for (std::vector<float>& row : rows_) row.resize(static_cast<std::size_t>(width_));
}

void DensityPeakFinder::addRows(const float* rows, int count)
{
    for (int i = 0; i < count && received_ < height_; ++i) addRow(rows + static_cast<std::size_t>(i) * width_);
}

void DensityPeakFinder::addRow(const float* row)
{
    const int y = received_++;
    std::memcpy(rows_[y % 3].data(), row, sizeof(float) * static_cast<std::size_t>(width_));
    if (y >= 1) scanRow(y >= 2 ? rows_[(y - 2) % 3].data() : nullptr, rows_[(y - 1) % 3].data(), rows_[y % 3].data(), y - 1);
}

int DensityPeakFinder::newPatch(int y)
{
    int index;
    if (!unused_.empty()) {
        index = unused_.back();
        unused_.pop_back();
    } else {
        index = static_cast<int>(patches_.size());
        patches_.emplace_back();
    }
    Patch& patch = patches_[static_cast<std::size_t>(index)];
    patch.parent = index;
    patch.first = runs_++;
    patch.sum = 0;
    patch.lastRow = y;
    patch.done = false;
    patch.peaks.clear();
    return index;
}

int DensityPeakFinder::root(int patch)
{
    int top = patch;
    while (patches_[static_cast<std::size_t>(top)].parent != top) top = patches_[static_cast<std::size_t>(top)].parent;
    while (patches_[static_cast<std::size_t>(patch)].parent != top) {
        const int next = patches_[static_cast<std::size_t>(patch)].parent;
        patches_[static_cast<std::size_t>(patch)].parent = top;
        patch = next;
    }
    return top;
}

void DensityPeakFinder::unite(int a, int b)
{
    a = root(a);
    b = root(b);
    if (a == b) return;
    // The earlier patch takes in the later one.
    if (patches_[static_cast<std::size_t>(b)].first < patches_[static_cast<std::size_t>(a)].first) std::swap(a, b);
    Patch& kept = patches_[static_cast<std::size_t>(a)];
    Patch& joined = patches_[static_cast<std::size_t>(b)];
    kept.sum += joined.sum;
    kept.lastRow = std::max(kept.lastRow, joined.lastRow);
    if (kept.peaks.size() < joined.peaks.size()) kept.peaks.swap(joined.peaks);
    kept.peaks.insert(kept.peaks.end(), joined.peaks.begin(), joined.peaks.end());
    joined.peaks.clear();
    joined.parent = a;
    released_.push_back(b);
}

void DensityPeakFinder::finish(int patch)
{
    Patch& done = patches_[static_cast<std::size_t>(patch)];
    done.done = true;
    std::sort(done.peaks.begin(), done.peaks.end(), [](const Peak& a, const Peak& b) {
        if (a.value != b.value) return a.value > b.value;
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    const auto wanted = static_cast<std::size_t>(std::max(0L, std::lround(done.sum)));
    Finished finished{done.first, {}};
    for (std::size_t i = 0; i < done.peaks.size() && i < wanted; ++i)
        finished.positions.push_back({done.peaks[i].x, done.peaks[i].y});
    if (!finished.positions.empty()) finished_.push_back(std::move(finished));
    done.peaks.clear();
    released_.push_back(patch);
}

void DensityPeakFinder::scanRow(const float* above, const float* row, const float* below, int y)
{
    current_.clear();
    std::size_t overlapping = 0;  // the first run above that may still touch a run of this row
    for (int x = 0; x < width_;) {
        if (row[x] < patchFloor_) {
            ++x;
            continue;
        }
        const int patch = newPatch(y);
        Run run{x, x, patch};
        double sum = 0;
        for (; x < width_ && row[x] >= patchFloor_; ++x) {
            const float v = row[x];
            sum += v;
            if (v < peakFloor_) continue;
            // Above and to the left come first in reading order: there an equal value wins.
            const int left = std::max(0, x - 1), right = std::min(width_ - 1, x + 1);
            bool peak = (x == 0 || row[x - 1] < v) && (x + 1 == width_ || row[x + 1] <= v);
            for (int n = left; n <= right && peak; ++n)
                peak = (above == nullptr || above[n] < v) && (below == nullptr || below[n] <= v);
            if (peak) patches_[static_cast<std::size_t>(patch)].peaks.push_back({x, y, v});
        }
        run.x1 = x - 1;
        patches_[static_cast<std::size_t>(patch)].sum = sum;
        while (overlapping < above_.size() && above_[overlapping].x1 < run.x0) ++overlapping;
        for (std::size_t i = overlapping; i < above_.size() && above_[i].x0 <= run.x1; ++i)
            unite(above_[i].patch, patch);
        current_.push_back(run);
    }
    for (Run& run : current_) {
        run.patch = root(run.patch);
        patches_[static_cast<std::size_t>(run.patch)].lastRow = y;
    }
    // A patch that has no pixel in this row is whole.
    for (const Run& run : above_) {
        const int patch = root(run.patch);
        if (patches_[static_cast<std::size_t>(patch)].lastRow < y && !patches_[static_cast<std::size_t>(patch)].done)
            finish(patch);
    }
    unused_.insert(unused_.end(), released_.begin(), released_.end());
    released_.clear();
    above_.swap(current_);
}

std::vector<Mark> DensityPeakFinder::positions()
{
    if (received_ > 0) {
        const int y = received_ - 1;
        scanRow(y >= 1 ? rows_[(y - 1) % 3].data() : nullptr, rows_[y % 3].data(), nullptr, y);
        received_ = height_ = 0;  // nothing more comes
        for (const Run& run : above_) {
            const int patch = root(run.patch);
            if (!patches_[static_cast<std::size_t>(patch)].done) finish(patch);
        }
        above_.clear();
    }
    std::sort(finished_.begin(), finished_.end(),
              [](const Finished& a, const Finished& b) { return a.first < b.first; });
    std::vector<Mark> positions;
    for (const Finished& patch : finished_) positions.insert(positions.end(), patch.positions.begin(), patch.positions.end());
    finished_.clear();
    return positions;
}
