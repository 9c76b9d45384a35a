#pragma once
// FillMasks: one bit per pixel of what the area fill asks about it — is it marked in the area layer,
// does it pass the fill test on the original, does it pass it on the count layer — kept by rows and,
// transposed, by columns. With them a ring's top and bottom edges are tested 64 pixels at a time
// along a row and its sides 64 pixels at a time down a column, so that a fill spreading over a large
// cluster costs about as much per ring as a small one.
//
// The planes are made in tiles of 64 x 64 pixels, each the first time a fill needs it, so a picture
// whose fills stay small never pays for them. Once a tile is made, every change the count run makes
// to its pixels (a mark in the area layer, a ring in the count layer) must be noted here.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "core/Layers.h"
#include "detect/CountLayers.h"
#include "core/Markers.h"
#include "detect/ColourModel.h"

class LayerRowSupply;

/// Paints an AreaMarker. A pixel whose green byte is 55 gets 54 as it is first marked, so that
/// painted area never reads as a CentreMarker; a pixel already marked is left as it is (a genuine
/// CentreMarker stays one). Returns whether the pixel was newly marked.
inline bool markArea(std::uint8_t* pixel)
{
    if (pixel[0] == kMarkBlue) return false;
    if (pixel[1] == kCentreGreen) pixel[1] = kNotCentreGreen;
    pixel[0] = kMarkBlue;
    return true;
}

/// The fill test of a count run: the dominant channel within the brightness tolerance of the target's
/// value, and colourdistance within the colour tolerance.
struct FillTest {
    ColourModel model;
    int colourTolerance = 0;
    int brightnessTolerance = 0;

    bool passes(const std::uint8_t* pixel) const
    {
        const int qd = pixel[model.dominant], qs = pixel[model.second], qt = pixel[model.third];
        const int p1 = std::max(qt - qd, 0);
        const int p2 = std::max(qt - qs, 0);
        return (std::abs(qd - model.dominantValue) <= brightnessTolerance) &
               (std::abs(qd - qs - model.expectedDifference) + p1 + p2 <= colourTolerance);
    }
};

class FillMasks {
public:
    static constexpr int kTile = 64;

    /// Planes for the layers of one count run; nothing is allocated until a fill first asks.
    /// rows, when given, is asked for the count and area layer rows of each tile before it is made.
    FillMasks(CountLayers layers, LayerRowSupply* rows, const FillTest& test);

    /// Makes every tile that the rows firstRow..lastRow and columns firstColumn..lastColumn touch.
    void prepare(int firstRow, int lastRow, int firstColumn, int lastColumn);

    /// Whether every tile that the rectangle touches is made already.
    bool made(int firstRow, int lastRow, int firstColumn, int lastColumn) const;

    /// The area layer's pixel has just been marked (blue byte 252).
    void noteMarked(int row, int column)
    {
        if (tileMade(row, column)) setMarkedBit(row, column);
    }
    /// The count layer's ring around (px, y) has just been drawn.
    void noteRingDrawn(int px, int y);

    /// A whole ring of a fill, in the fill's order: the top edge (row top, on the original), the bottom
    /// edge (row bottom, on the count layer), both from column left to right - 1, then the sides
    /// (columns left and right, rows top to lastSideRow, on the count layer). Returns how many grew in
    /// all. The tiles of rows top - 1 .. bottom + 1, columns left - 1 .. right must be made.
    int growRing(int top, int bottom, int left, int right, int lastSideRow);

private:
    bool tileMade(int row, int column) const
    {
        return made_ && made_[static_cast<std::size_t>(row / kTile) * rowWords_ + column / kTile] != 0;
    }
    void allocate();
    /// A horizontal edge of a ring: each pixel of row target from firstColumn to lastColumn that passes
    /// the fill test (on the original or on the count layer) and has a marked pixel among its three
    /// neighbours on row inner (columns c - 1, c, c + 1) is marked. Returns how many passed. The tiles
    /// of both rows, from firstColumn - 1 to lastColumn + 1, must be made.
    int growRow(int target, int inner, int firstColumn, int lastColumn, bool onOriginal);
    /// A side of a ring, on the count layer: as growRow down column target from firstRow to lastRow,
    /// with the neighbours in column inner (rows r - 1, r, r + 1).
    int growColumn(int target, int inner, int firstRow, int lastRow);
    void makeTile(int tileRow, int tileColumn);
    /// Bit i: whether pixel i of the count pixels from pixels is marked, or passes the fill test.
    std::uint64_t markedBits(const std::uint8_t* pixels, int count) const;
    std::uint64_t passBits(const std::uint8_t* pixels, int count) const;
    void setMarkedBit(int row, int column);
    // Each line of a plane has a zero word before and after its own words. Row planes are stored row
    // after row. Column planes are stored by tiles, the 64 columns of a tile's words side by side, so
    // that a line's words are kTile apart: the next ring's side, one column on, then reads the cache
    // lines this ring's side read.
    std::uint64_t* rowWord(std::uint64_t* plane, int row, int column) const
    {
        return plane + static_cast<std::size_t>(row) * (rowWords_ + 2) + 1 + column / kTile;
    }
    std::uint64_t* columnWord(std::uint64_t* plane, int row, int column) const
    {
        return plane +
               ((static_cast<std::size_t>(column / kTile) * (columnWords_ + 2) + 1 + row / kTile) * kTile +
                column % kTile);
    }

    struct Free {
        void operator()(void* p) const { std::free(p); }
    };
    using Plane = std::unique_ptr<std::uint64_t[], Free>;

    CountLayers layers_;
    LayerRowSupply* rows_;
    FillTest test_;
    int width_ = 0, height_ = 0;
    std::size_t rowWords_ = 0;     // words per row of a row plane (and tiles per tile row)
    std::size_t columnWords_ = 0;  // words per column of a column plane
    std::unique_ptr<std::uint8_t[], Free> made_;  // one byte per tile: 1 when made
    Plane markedRows_, originalPassRows_, countPassRows_;  // bit c of word c / 64 in each row
    Plane markedColumns_, countPassColumns_;               // bit r of word r / 64 in each column
};
