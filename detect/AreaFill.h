#pragma once
// The checks of a count candidate's surroundings (nomarknear, enoughmatches) and the area fill of an
// accepted particle (fillarea), with the two colour distances they use.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/AnalysisState.h"
#include "detect/ColourModel.h"
#include "core/Layers.h"
#include "detect/CountLayers.h"
#include "core/Particles.h"
#include "core/Picture.h"
#include "core/RowsReady.h"

class FillMasks;

/// Thrown by a LayerRowSupply asked for a row of an original that will never be decoded: the
/// decoding ended before it.
struct RowsNeverReady {};

/// Makes the count and area layers copies of the original row by row, just ahead of the rows the
/// count first touches, so that each row is still in the cache when the count reads it. Rows not
/// yet copied are never read or written through the layers while a supply is in use.
/// The original may still be being decoded: then a row is copied, and the count reads it, only once
/// decoded says it is ready, and every row below the count's current row that the count reads is
/// asked for here first.
class LayerRowSupply {
public:
    /// Sizes the count and area layers like the original (reusing their buffers); copies nothing yet.
    /// decoded, when given, tells which rows of the original are decoded so far.
    explicit LayerRowSupply(CountLayers layers, const RowsReady* decoded = nullptr);
    /// Copies every row up to lastRow (clipped to the picture) that is not copied yet, once it is
    /// decoded. Throws RowsNeverReady when one never will be.
    void ensure(std::int64_t lastRow)
    {
        if (lastRow >= copiedRows_) copyUpTo(lastRow);
    }
    void copyAll() { ensure(height_ - 1); }
    /// Waits until the original's rows up to lastRow (clipped to the picture) are decoded, copying
    /// nothing. Throws RowsNeverReady when one never will be.
    void ensureDecoded(std::int64_t lastRow)
    {
        if (lastRow >= decodedRows_) waitForDecoded(lastRow);
    }

private:
    void copyUpTo(std::int64_t lastRow);
    void waitForDecoded(std::int64_t lastRow);
    CountLayers layers_;
    const RowsReady* decoded_ = nullptr;
    std::int64_t height_ = 0;
    std::int64_t copiedRows_ = 0;  // rows 0 .. copiedRows_ - 1 are copied
    std::int64_t decodedRows_ = 0;  // rows 0 .. decodedRows_ - 1 of the original are known decoded
    std::int64_t rowsPerStep_ = 1;
};

/// The working values of a count run that the checks and the fill see: the layers, the parameters
/// and the candidate's position.
struct CountWorkingValues {
    const Picture* original = nullptr;  // Image1, read only
    Picture* countLayer = nullptr;      // Image2, carries the rings drawn so far
    Picture* areaLayer = nullptr;       // Image3, carries the marks written so far
    ColourModel model;
    std::uint16_t colourTolerance = 0;
    std::uint16_t brightnessTolerance = 0;
    std::uint8_t minSize = 0;        // n: the candidate window is 2n + 1 rows by 2n pixels
    int y = 0;                       // candidate row
    std::ptrdiff_t x = 0;            // candidate byte offset in its row (blue byte of pixel x / 3)
    LayerRowSupply* rows = nullptr;  // when set, the fill asks it for the rows of each new ring
    ParticleRecord* particle = nullptr;  // when set, the fill adds its area and colour sums to it
    // When set, rings from kMaskedRing on are grown on these bit planes, and every mark the fill
    // writes is noted in them.
    FillMasks* masks = nullptr;
    // The marked pixel nomarknear found last. Marks only accumulate during a run, and neighbouring
    // candidates inside one particle share it, so it is the first place nomarknear looks.
    int knownMarkRow = -1;
    std::ptrdiff_t knownMarkByte = -1;
};

/// Distance of the pixel at byte offset o of row from the colour model, with a penalty for each of
/// the dominant and second channels that the third channel exceeds. Used by the fill.
inline std::uint16_t colourdistance(const std::uint8_t* row, std::ptrdiff_t o, const ColourModel& model)
{
    const int qd = row[o + model.dominant], qs = row[o + model.second], qt = row[o + model.third];
    const int p1 = qt > qd ? qt - qd : 0;
    const int p2 = qt > qs ? qt - qs : 0;
    return static_cast<std::uint16_t>(std::abs(qd - qs - model.expectedDifference) + p1 + p2);
}

/// As colourdistance, but the third channel rising above the dominant one weighs double. Used by
/// enoughmatches.
inline std::uint16_t colourdistance2(const std::uint8_t* row, std::ptrdiff_t o, const ColourModel& model)
{
    const int qd = row[o + model.dominant], qs = row[o + model.second], qt = row[o + model.third];
    const int p1 = qt > qd ? qt - qd : 0;
    const int p2 = qt > qs ? qt - qs : 0;
    return static_cast<std::uint16_t>(std::abs(qd - qs - model.expectedDifference) + 2 * p1 + p2);
}

/// True when no area-layer pixel of the candidate window (rows y-n .. y+n, pixels px-n .. px+n-1) is
/// marked. A window reaching above row 0 or left of column 0 examines nothing (answer true); the part
/// of a window beyond the bottom or right edge counts as unmarked. Remembers the mark it found in run.
bool nomarknear(CountWorkingValues& run);

/// True when more than 2n pixels of the candidate window in the count layer are within the colour
/// tolerance by colourdistance2. A window reaching above row 0 or left of column 0 examines nothing
/// (answer false); the part beyond the bottom or right edge counts as unmatched.
bool enoughmatches(const CountWorkingValues& run);

/// The first ring that fillarea grows on FillMasks when it has them. Smaller rings are cheaper pixel by
/// pixel than the tiles of bit planes they would need; most particles end long before it.
constexpr int kMaskedRing = 24;
/// From this ring on, fillarea grows on FillMasks already where their tiles are made.
constexpr int kMaskedEarlyRing = 4;

/// Grows the accepted particle at (y, x) ring by ring through connected pixels that pass the fill
/// test, paints them into the area layer with AreaMarkers and adds the particle's area (the sum of
/// its rings' successes) to TotalAreaPixels. Returns that area. With run.particle set, the area and
/// the sums of the original's bytes over every success are added to that record as well.
std::int64_t fillarea(const CountWorkingValues& run, TAnalysisState& state);
