#pragma once
// Gaussian smoothing of part of a tile: the learnt count's features smooth one tile's neighbourhood
// of the picture many times, each time needing the result over a smaller rectangle than its input.
// Rows are worked eight values at a time; every value is the same sum, in the same order, as the
// plain loop gives, so results do not depend on how the work is split.

#include <cstddef>
#include <utility>
#include <vector>

/// A rectangle in picture coordinates: columns x0 to x1 - 1, rows y0 to y1 - 1.
struct TileRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
    bool empty() const { return x1 <= x0 || y1 <= y0; }
    /// This rectangle grown by by on every side, then cut to within.
    TileRect grown(int by, const TileRect& within) const;
};

/// Float values over a rectangle, rows packed.
struct TileBuffer {
    TileRect rect;
    std::vector<float> values;
    void resize(const TileRect& area);
    float* row(int y) { return values.data() + offset(rect.x0, y); }
    const float* row(int y) const { return values.data() + offset(rect.x0, y); }
    float at(int x, int y) const { return values[offset(x, y)]; }

private:
    std::size_t offset(int x, int y) const
    {
        return static_cast<std::size_t>(y - rect.y0) * static_cast<std::size_t>(rect.width()) +
               static_cast<std::size_t>(x - rect.x0);
    }
};

/// The pixels of a rectangle that are wanted, as runs along its rows. Runs closer than kGap are
/// joined: a few pixels more are made, in longer stretches that are quicker to work.
struct TileRuns {
    static constexpr int kGap = 8;
    TileRect rect;
    std::vector<int> first;                 // per row of rect, and one past them: its first run
    std::vector<std::pair<int, int>> runs;  // columns from first to second - 1, picture coordinates

    /// The runs of the pixels (x, y) of area for which wanted(x, y) holds.
    template <typename Wanted>
    void build(const TileRect& area, const Wanted& wanted);
    bool rowWanted(int y) const
    {
        return first[static_cast<std::size_t>(y - rect.y0) + 1] > first[static_cast<std::size_t>(y - rect.y0)];
    }
};

template <typename Wanted>
void TileRuns::build(const TileRect& area, const Wanted& wanted)
{
    rect = area;
    first.assign(1, 0);
    runs.clear();
    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t rowStart = runs.size();
        for (int x = area.x0; x < area.x1; ++x) {
            if (!wanted(x, y)) continue;
            if (runs.size() > rowStart && x - runs.back().second < kGap)
                runs.back().second = x + 1;
            else
                runs.push_back({x, x + 1});
        }
        first.push_back(static_cast<int>(runs.size()));
    }
}

/// The weights of a Gaussian of sigma from its centre out to max(1, ceil(3 sigma)), summing to one
/// over both sides.
std::vector<float> gaussianHalfKernel(double sigma);

/// out over area = in smoothed with the kernel half (horizontally, then vertically); in's values
/// continue past its edges with the edge values. area must lie inside in's rectangle. across is
/// scratch. wanted (when given, over area): out is made only at its runs, and holds anything
/// elsewhere.
void gaussianBlur(const TileBuffer& in, const TileRect& area, const std::vector<float>& half, TileBuffer& out,
                  TileBuffer& across, const TileRuns* wanted = nullptr);
