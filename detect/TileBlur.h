#pragma once
// Gaussian smoothing of part of a tile: the learnt count's features smooth one tile's neighbourhood
// of the picture many times, each time needing the result over a smaller rectangle than its input.
// Rows are worked eight values at a time; every value is the same sum, in the same order, as the
// plain loop gives, so results do not depend on how the work is split.

#include <cstddef>
#include <cstdint>
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

/// The weights of a Gaussian of sigma from its centre out to max(1, ceil(3 sigma)), summing to one
/// over both sides.
std::vector<float> gaussianHalfKernel(double sigma);

/// out over area = in smoothed with the kernel half (horizontally, then vertically); in's values
/// continue past its edges with the edge values. area must lie inside in's rectangle. across is
/// scratch. wanted (when given: a flag per pixel of area, rows packed): out is made only where it is
/// set, and holds anything elsewhere.
void gaussianBlur(const TileBuffer& in, const TileRect& area, const std::vector<float>& half, TileBuffer& out,
                  TileBuffer& across, const std::uint8_t* wanted = nullptr);
