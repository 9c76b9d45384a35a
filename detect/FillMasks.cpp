#include "detect/FillMasks.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/Ring.h"
#include "detect/AreaFill.h"

// Bits are counted with the processor's own instruction where it has one, chosen once as the program
// loads; the build itself targets processors without it.
#if defined(__x86_64__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define WITH_POPCNT_CLONE __attribute__((target_clones("popcnt", "default")))
#endif
#endif
#ifndef WITH_POPCNT_CLONE
#define WITH_POPCNT_CLONE
#endif
// The edges of a ring go into growRing whole, so that they count bits with its instruction.
#if defined(__GNUC__)
#define ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define ALWAYS_INLINE inline
#endif

namespace {

constexpr int kTile = FillMasks::kTile;

/// Transposes a 64 x 64 bit block in place: bit c of word r becomes bit r of word c. Swaps ever
/// smaller off-diagonal blocks, 32 x 32 first.
void transpose64(std::uint64_t block[64])
{
    std::uint64_t mask = 0x00000000FFFFFFFFull;
    for (int j = 32; j != 0; j >>= 1, mask ^= mask << j) {
        for (int k = 0; k < 64; k = ((k | j) + 1) & ~j) {
            const std::uint64_t t = (block[k | j] ^ (block[k] >> j)) & mask;
            block[k | j] ^= t;
            block[k] ^= t << j;
        }
    }
}

/// Bit i set where flags[i] is 1 (flags are 0 or 1).
inline std::uint64_t packBits(const std::uint8_t flags[kTile])
{
    std::uint64_t bits = 0;
#if defined(__SSE2__)
    for (int i = 0; i < kTile; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(flags + i));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_sub_epi8(_mm_setzero_si128(), v)));
        bits |= static_cast<std::uint64_t>(mask) << i;
    }
#else
    for (int i = 0; i < kTile; ++i) bits |= static_cast<std::uint64_t>(flags[i]) << i;
#endif
    return bits;
}

/// One edge of a ring along a plane line, first..last (both included, first <= last): a pixel grows
/// where it passes and bit b - 1, b or b + 1 of the inner line near is set. Fresh bits (grown, not yet
/// marked) are or'ed into marked and handed to fresh(word, bits). Returns how many grew, fresh or not.
/// Every line has a zero word before its first and after its last, so the neighbours of its end words
/// read as unmarked. A word is stored only when it gains bits: most of a ring goes over pixels an
/// earlier ring or fill marked already.
/// Word i of a line is kStride words after word 0.
template <std::size_t kStride, typename Fresh>
ALWAYS_INLINE int growLine(const std::uint64_t* near, std::uint64_t* marked, const std::uint64_t* pass, unsigned first,
                    unsigned last, Fresh&& fresh)
{
    const std::size_t firstWord = first / kTile, lastWord = last / kTile;
    const std::uint64_t firstMask = ~0ull << (first % kTile);
    const std::uint64_t lastMask = ~0ull >> (kTile - 1 - last % kTile);
    int passed = 0;
    // Word i, its neighbours in the inner line before and after, and the bits of the range in it.
    const auto word = [&](std::size_t i, std::uint64_t before, std::uint64_t here, std::uint64_t after,
                          std::uint64_t range) {
        const std::uint64_t grown =
            (here | (here << 1) | (before >> 63) | (here >> 1) | (after << 63)) & pass[i * kStride] & range;
        passed += std::popcount(grown);
        const std::uint64_t newBits = grown & ~marked[i * kStride];
        if (newBits != 0) {
            marked[i * kStride] |= newBits;
            fresh(i, newBits);
        }
    };
    std::uint64_t before = near[(firstWord - 1) * kStride], here = near[firstWord * kStride];
    if (firstWord == lastWord) {
        word(firstWord, before, here, near[(firstWord + 1) * kStride], firstMask & lastMask);
        return passed;
    }
    std::uint64_t after = near[(firstWord + 1) * kStride];
    word(firstWord, before, here, after, firstMask);
    for (std::size_t i = firstWord + 1; i < lastWord; ++i) {
        before = here;
        here = after;
        after = near[(i + 1) * kStride];
        word(i, before, here, after, ~0ull);
    }
    word(lastWord, here, after, near[(lastWord + 1) * kStride], lastMask);
    return passed;
}

}  // namespace

FillMasks::FillMasks(CountLayers layers, LayerRowSupply* rows, const FillTest& test)
    : layers_(layers), rows_(rows), test_(test), width_(layers.Image1.width()), height_(layers.Image1.height())
{
}

void FillMasks::allocate()
{
    rowWords_ = (static_cast<std::size_t>(width_) + kTile - 1) / kTile;
    columnWords_ = (static_cast<std::size_t>(height_) + kTile - 1) / kTile;
    const auto plane = [](std::size_t words) {
        // calloc: pages of tiles never made are never touched.
        Plane p(static_cast<std::uint64_t*>(std::calloc(words, sizeof(std::uint64_t))));
        if (!p) throw std::bad_alloc();
        return p;
    };
    const std::size_t rowPlane = static_cast<std::size_t>(height_) * (rowWords_ + 2);
    const std::size_t columnPlane = rowWords_ * (columnWords_ + 2) * kTile;
    markedRows_ = plane(rowPlane);
    originalPassRows_ = plane(rowPlane);
    countPassRows_ = plane(rowPlane);
    markedColumns_ = plane(columnPlane);
    countPassColumns_ = plane(columnPlane);
    made_.reset(static_cast<std::uint8_t*>(std::calloc(rowWords_ * columnWords_, 1)));
    if (!made_) throw std::bad_alloc();
}

void FillMasks::prepare(int firstRow, int lastRow, int firstColumn, int lastColumn)
{
    firstRow = std::max(firstRow, 0);
    firstColumn = std::max(firstColumn, 0);
    lastRow = std::min(lastRow, height_ - 1);
    lastColumn = std::min(lastColumn, width_ - 1);
    if (lastRow < firstRow || lastColumn < firstColumn) return;
    if (!made_) allocate();
    for (int tileRow = firstRow / kTile; tileRow <= lastRow / kTile; ++tileRow)
        for (int tileColumn = firstColumn / kTile; tileColumn <= lastColumn / kTile; ++tileColumn)
            if (!made_[static_cast<std::size_t>(tileRow) * rowWords_ + tileColumn]) makeTile(tileRow, tileColumn);
}

std::uint64_t FillMasks::markedBits(const std::uint8_t* pixels, int count) const
{
    std::uint8_t marked[kTile] = {};
    for (int i = 0; i < count; ++i) marked[i] = pixels[Picture::kBytesPerPixel * i] == kMarkBlue;
    return packBits(marked);
}

std::uint64_t FillMasks::passBits(const std::uint8_t* pixels, int count) const
{
    // The channels apart first, so that the test itself runs on whole vectors of pixels.
    std::int16_t dominant[kTile] = {}, second[kTile] = {}, third[kTile] = {};
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* pixel = pixels + Picture::kBytesPerPixel * i;
        dominant[i] = pixel[test_.model.dominant];
        second[i] = pixel[test_.model.second];
        third[i] = pixel[test_.model.third];
    }
    const int dominantValue = test_.model.dominantValue, expected = test_.model.expectedDifference;
    const int brightness = test_.brightnessTolerance, colour = test_.colourTolerance;
    std::uint8_t passes[kTile];
    for (int i = 0; i < kTile; ++i) {
        const int qd = dominant[i], qs = second[i], qt = third[i];
        const int distance = std::abs(qd - qs - expected) + std::max(qt - qd, 0) + std::max(qt - qs, 0);
        passes[i] = (std::abs(qd - dominantValue) <= brightness) & (distance <= colour) & (i < count);
    }
    return packBits(passes);
}

bool FillMasks::made(int firstRow, int lastRow, int firstColumn, int lastColumn) const
{
    if (!made_) return false;
    firstRow = std::max(firstRow, 0);
    firstColumn = std::max(firstColumn, 0);
    lastRow = std::min(lastRow, height_ - 1);
    lastColumn = std::min(lastColumn, width_ - 1);
    for (int tileRow = firstRow / kTile; tileRow <= lastRow / kTile; ++tileRow)
        for (int tileColumn = firstColumn / kTile; tileColumn <= lastColumn / kTile; ++tileColumn)
            if (!made_[static_cast<std::size_t>(tileRow) * rowWords_ + tileColumn]) return false;
    return true;
}

void FillMasks::makeTile(int tileRow, int tileColumn)
{
    const int firstRow = tileRow * kTile, endRow = std::min(height_, firstRow + kTile);
    const int firstColumn = tileColumn * kTile, endColumn = std::min(width_, firstColumn + kTile);
    if (rows_) rows_->ensure(endRow - 1);
    std::uint64_t marked[kTile] = {}, countPass[kTile] = {};
    const std::ptrdiff_t firstByte = Picture::kBytesPerPixel * static_cast<std::ptrdiff_t>(firstColumn);
    const std::size_t bytes = Picture::kBytesPerPixel * static_cast<std::size_t>(endColumn - firstColumn);
    for (int r = firstRow; r < endRow; ++r) {
        const std::uint8_t* area = layers_.Image3.row(r) + firstByte;
        const std::uint8_t* original = layers_.Image1.row(r) + firstByte;
        const std::uint8_t* count = layers_.Image2.row(r) + firstByte;
        const std::uint64_t m = markedBits(area, endColumn - firstColumn);
        const std::uint64_t originalPass = passBits(original, endColumn - firstColumn);
        // Most rows of the count layer carry no ring here: they pass where the original passes.
        const std::uint64_t pass =
            std::memcmp(count, original, bytes) == 0 ? originalPass : passBits(count, endColumn - firstColumn);
        *rowWord(markedRows_.get(), r, firstColumn) = m;
        *rowWord(originalPassRows_.get(), r, firstColumn) = originalPass;
        *rowWord(countPassRows_.get(), r, firstColumn) = pass;
        marked[r - firstRow] = m;
        countPass[r - firstRow] = pass;
    }
    transpose64(marked);
    transpose64(countPass);
    for (int c = firstColumn; c < endColumn; ++c) {
        *columnWord(markedColumns_.get(), firstRow, c) = marked[c - firstColumn];
        *columnWord(countPassColumns_.get(), firstRow, c) = countPass[c - firstColumn];
    }
    made_[static_cast<std::size_t>(tileRow) * rowWords_ + tileColumn] = 1;
}

void FillMasks::setMarkedBit(int row, int column)
{
    *rowWord(markedRows_.get(), row, column) |= 1ull << (column % kTile);
    *columnWord(markedColumns_.get(), row, column) |= 1ull << (row % kTile);
}

void FillMasks::noteRingDrawn(int px, int y)
{
    if (!made_) return;
    for (const RingOffset& offset : kRingOffsets) {
        const std::int64_t column = static_cast<std::int64_t>(px) + offset.dx;
        const std::int64_t row = static_cast<std::int64_t>(y) + offset.dy;
        if (column < 0 || row < 0 || column >= width_ || row >= height_) continue;
        const int r = static_cast<int>(row), c = static_cast<int>(column);
        if (!tileMade(r, c)) continue;
        const bool passes = test_.passes(layers_.Image2.row(r) + Picture::kBytesPerPixel * column);
        std::uint64_t& rowBits = *rowWord(countPassRows_.get(), r, c);
        std::uint64_t& columnBits = *columnWord(countPassColumns_.get(), r, c);
        const std::uint64_t rowBit = 1ull << (c % kTile), columnBit = 1ull << (r % kTile);
        rowBits = passes ? rowBits | rowBit : rowBits & ~rowBit;
        columnBits = passes ? columnBits | columnBit : columnBits & ~columnBit;
    }
}

// The edges are defined inline so that a ring, grown by one call, pays for one call.
ALWAYS_INLINE int FillMasks::growRow(int target, int inner, int firstColumn, int lastColumn, bool onOriginal)
{
    if (lastColumn < firstColumn) return 0;
    std::uint8_t* area = layers_.Image3.row(target);
    const std::uint64_t targetBit = 1ull << (target % kTile);
    return growLine<1>(rowWord(markedRows_.get(), inner, 0), rowWord(markedRows_.get(), target, 0),
                    rowWord((onOriginal ? originalPassRows_ : countPassRows_).get(), target, 0),
                    static_cast<unsigned>(firstColumn), static_cast<unsigned>(lastColumn),
                    [&](std::size_t word, std::uint64_t bits) {
                        for (; bits != 0; bits &= bits - 1) {
                            const std::size_t column = word * kTile + std::countr_zero(bits);
                            markArea(area + Picture::kBytesPerPixel * column);
                            *columnWord(markedColumns_.get(), target, static_cast<int>(column)) |= targetBit;
                        }
                    });
}

ALWAYS_INLINE int FillMasks::growColumn(int target, int inner, int firstRow, int lastRow)
{
    if (lastRow < firstRow) return 0;
    std::uint8_t* column = layers_.Image3.row(0) + Picture::kBytesPerPixel * static_cast<std::ptrdiff_t>(target);
    const std::size_t stride = layers_.Image3.stride();
    const std::uint64_t targetBit = 1ull << (target % kTile);
    return growLine<kTile>(columnWord(markedColumns_.get(), 0, inner), columnWord(markedColumns_.get(), 0, target),
                    columnWord(countPassColumns_.get(), 0, target), static_cast<unsigned>(firstRow),
                    static_cast<unsigned>(lastRow), [&](std::size_t word, std::uint64_t bits) {
                        for (; bits != 0; bits &= bits - 1) {
                            const std::size_t row = word * kTile + std::countr_zero(bits);
                            markArea(column + stride * row);
                            *rowWord(markedRows_.get(), static_cast<int>(row), target) |= targetBit;
                        }
                    });
}

WITH_POPCNT_CLONE int FillMasks::growRing(int top, int bottom, int left, int right, int lastSideRow)
{
    return growRow(top, top + 1, left, right - 1, true) + growRow(bottom, bottom - 1, left, right - 1, false) +
           growColumn(left, left + 1, top, lastSideRow) + growColumn(right, right - 1, top, lastSideRow);
}
