#pragma once
// The particles of one count, one record each: where the count accepted it, the area its fill
// painted and the colour sums of the original under that area; then the particles added by hand.
// Removed ones stay in the list, flagged. The count fills it (when asked to), the manual corrections
// update it, the particle table writes it.

#include <cstddef>
#include <cstdint>
#include <vector>

struct ParticleRecord {
    std::int32_t x = 0;           // the accepted pixel (CentreMarker), column
    std::int32_t y = 0;           // and row
    std::int64_t areaPixels = 0;  // the fill's area as the count adds it to TotalAreaPixels
    // Sums of the original's bytes over the pixels the fill counted in areaPixels.
    std::uint64_t sumRed = 0, sumGreen = 0, sumBlue = 0;
    // Sums of those pixels' columns and rows: their mean is the centre of the particle's area.
    std::uint64_t sumX = 0, sumY = 0;
    bool added = false;    // added by hand
    bool removed = false;  // removed by hand after the count or after its adding
};

/// The particle list of the current picture, in count order, then in the order of adding.
struct ParticleList {
    std::vector<ParticleRecord> particles;

    void clear() { particles.clear(); }
    /// A particle added by hand at (x, y): no fill, so no area and no colour.
    void recordAdd(std::int32_t x, std::int32_t y)
    {
        ParticleRecord record;
        record.x = x;
        record.y = y;
        record.added = true;
        particles.push_back(record);
    }
    /// The particle whose CentreMarker at (x, y) was removed by hand: the latest one there that is
    /// not removed yet (a particle added on top of a counted one shares its pixel and goes first).
    /// False when the list has none there.
    bool recordRemove(std::int32_t x, std::int32_t y) { return recordRemoveIndex(x, y) >= 0; }
    /// recordRemove, telling which record was flagged: its index, or -1 when none.
    std::ptrdiff_t recordRemoveIndex(std::int32_t x, std::int32_t y)
    {
        for (std::size_t i = particles.size(); i-- > 0;) {
            ParticleRecord& record = particles[i];
            if (record.x == x && record.y == y && !record.removed) {
                record.removed = true;
                return static_cast<std::ptrdiff_t>(i);
            }
        }
        return -1;
    }
};
