#include "support/ReferenceCount.h"

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Channels by byte offset within a pixel.
enum Channel { Blue = 0, Green = 1, Red = 2 };

struct Model {
    int dom, sec, thi;
    int domValue;
    int expected;
};

Model makeModel(std::uint32_t colour)
{
    const std::array<int, 3> v{colourBlue(colour), colourGreen(colour), colourRed(colour)};
    // Largest channel, ties to red, then green, then blue.
    int dom = Red;
    if (!(v[Red] >= v[Green] && v[Red] >= v[Blue])) dom = (v[Green] >= v[Blue]) ? Green : Blue;
    // Of the other two the larger; on a tie blue before green before red.
    int a = -1, b = -1;
    for (int c = 0; c < 3; ++c) {
        if (c == dom) continue;
        (a < 0 ? a : b) = c;
    }  // a < b by offset
    const int sec = v[a] >= v[b] ? a : b;
    const int thi = sec == a ? b : a;
    return Model{dom, sec, thi, v[dom], v[dom] - v[sec]};
}

// Byte at pixel column, row and channel.
int byteAt(const Picture& p, std::int64_t column, std::int64_t row, int channel)
{
    return p.row(static_cast<int>(row))[column * 3 + channel];
}

// Byte at a raw byte offset within a row (the contrast samples are m bytes, not pixels, away).
int rawByte(const Picture& p, std::int64_t row, std::int64_t offset)
{
    return p.row(static_cast<int>(row))[offset];
}

int penaltyDistance(const Picture& p, std::int64_t column, std::int64_t row, const Model& m, int firstWeight)
{
    const int qd = byteAt(p, column, row, m.dom), qs = byteAt(p, column, row, m.sec),
              qt = byteAt(p, column, row, m.thi);
    int result = std::abs((qd - qs) - m.expected);
    if (qt > qd) result += firstWeight * (qt - qd);
    if (qt > qs) result += qt - qs;
    return result;
}

// clang-format off
const char* const kRingArt[10] = {
    "...####...", ".##....##.", ".#......#.", "#........#", "#........#",
    "#........#", "#........#", ".#......#.", ".##....##.", "...####...",
};
// clang-format on

class Reference {
public:
    Reference(const Picture& original, const CountParams& params)
        : orig_(original), p_(params), model_(makeModel(params.targetColour))
    {
        count_ = original;
        area_ = count_;
        W_ = original.width();
        H_ = original.height();
    }

    ReferenceResult run()
    {
        const std::int64_t m = (static_cast<std::int64_t>(p_.maxSize) + 3) / 2;
        for (std::int64_t y = m + 2; y <= H_ - m - 3; ++y) {
            std::int64_t nextTested = m + 1;
            for (std::int64_t px = m + 1; px <= W_ - m - 4; ++px) {
                if (px < nextTested) continue;
                if (tryPixel(px, y, m)) nextTested = px + 2 * p_.minSize + 1;
            }
        }
        ReferenceResult r;
        r.countLayer = count_;
        r.areaLayer = area_;
        r.autoCount = accepted_;
        r.totalArea = total_;
        return r;
    }

private:
    bool tryPixel(std::int64_t px, std::int64_t y, std::int64_t m)
    {
        const int pd = byteAt(orig_, px, y, model_.dom), ps = byteAt(orig_, px, y, model_.sec);
        if (std::abs(pd - model_.domValue) > p_.brightnessTolerance) return false;
        if (std::abs((pd - ps) - model_.expected) > p_.colourTolerance) return false;
        const std::int64_t x = 3 * px;
        int contrastSum = 0;
        for (int c : {model_.dom, model_.sec}) {
            const int s = rawByte(orig_, y - m, x + c - m) + rawByte(orig_, y - m, x + c + m) +
                          rawByte(orig_, y + m, x + c - m) + rawByte(orig_, y + m, x + c + m) -
                          4 * byteAt(orig_, px, y, c);
            contrastSum += std::abs(s);
        }
        if (!(contrastSum / 8 > p_.minContrast)) return false;
        if (markedNear(px, y)) return false;
        if (!manyMatches(px, y)) return false;
        ++accepted_;
        const std::uint32_t pen = ringPen();
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < 10; ++c) {
                if (kRingArt[r][c] != '#') continue;
                const std::int64_t cx = px - 5 + c, cy = y - 5 + r;
                if (cx >= 0 && cy >= 0 && cx < W_ && cy < H_)
                    count_.setPixel(static_cast<int>(cx), static_cast<int>(cy), pen);
            }
        std::uint8_t* centre = area_.row(static_cast<int>(y)) + x;
        centre[0] = 252;
        centre[1] = 55;
        grow(px, y);
        return true;
    }

    std::uint32_t ringPen() const
    {
        const std::uint32_t t = p_.targetColour;
        return rgbColour(127 + (255 - colourRed(t)) / 2, 127 + (255 - colourGreen(t)) / 2,
                         127 + (255 - colourBlue(t)) / 2);
    }

    // Window pixels inside the picture; empty if the window starts above or left of the picture.
    std::vector<std::array<std::int64_t, 2>> window(std::int64_t px, std::int64_t y) const
    {
        std::vector<std::array<std::int64_t, 2>> cells;
        const std::int64_t n = p_.minSize;
        if (y - n < 0 || px - n < 0) return cells;
        for (std::int64_t r = y - n; r <= y + n; ++r)
            for (std::int64_t c = px - n; c <= px + n - 1; ++c)
                if (r < H_ && c < W_) cells.push_back({c, r});
        return cells;
    }

    bool markedNear(std::int64_t px, std::int64_t y) const
    {
        for (const auto& cell : window(px, y))
            if (byteAt(area_, cell[0], cell[1], Blue) == 252) return true;
        return false;
    }

    bool manyMatches(std::int64_t px, std::int64_t y) const
    {
        std::int64_t matches = 0;
        for (const auto& cell : window(px, y))
            if (penaltyDistance(count_, cell[0], cell[1], model_, 2) <= p_.colourTolerance) ++matches;
        return matches > 2 * p_.minSize;
    }

    bool fillTest(const Picture& layer, std::int64_t column, std::int64_t row) const
    {
        return std::abs(byteAt(layer, column, row, model_.dom) - model_.domValue) <= p_.brightnessTolerance &&
               penaltyDistance(layer, column, row, model_, 1) <= p_.colourTolerance;
    }

    bool marked(std::int64_t column, std::int64_t row) const
    {
        return byteAt(area_, column, row, Blue) == 252;
    }

    void paint(std::int64_t column, std::int64_t row)
    {
        std::uint8_t* q = area_.row(static_cast<int>(row)) + 3 * column;
        if (q[0] != 252 && q[1] == 55) q[1] = 54;
        q[0] = 252;
    }

    // One test of a ring: a pixel, its reference layer and its three inner neighbours.
    struct RingTest {
        std::int64_t column, row;
        const Picture* reference;
        std::array<std::array<std::int64_t, 2>, 3> inner;
    };

    void grow(std::int64_t px, std::int64_t y)
    {
        std::int64_t particle = 0;
        for (std::int64_t k = 1;; ++k) {
            const std::int64_t top = y - k, bottom = y + k, leftCol = px - k, rightCol = px + k;
            std::vector<RingTest> tests;
            for (std::int64_t c = leftCol; c < rightCol; ++c)
                tests.push_back({c, top, &orig_, {{{c - 1, top + 1}, {c, top + 1}, {c + 1, top + 1}}}});
            for (std::int64_t c = leftCol; c < rightCol; ++c)
                tests.push_back(
                    {c, bottom, &count_, {{{c - 1, bottom - 1}, {c, bottom - 1}, {c + 1, bottom - 1}}}});
            for (std::int64_t r = top; r <= bottom && r <= H_ - 2; ++r) {
                tests.push_back(
                    {leftCol, r, &count_, {{{leftCol + 1, r - 1}, {leftCol + 1, r}, {leftCol + 1, r + 1}}}});
                tests.push_back({rightCol,
                                 r,
                                 &count_,
                                 {{{rightCol - 1, r - 1}, {rightCol - 1, r}, {rightCol - 1, r + 1}}}});
            }
            std::int64_t hits = 0;
            for (const RingTest& t : tests) {
                bool neighbour = false;
                for (const auto& cell : t.inner) neighbour = neighbour || marked(cell[0], cell[1]);
                if (neighbour && fillTest(*t.reference, t.column, t.row)) {
                    paint(t.column, t.row);
                    ++hits;
                }
            }
            particle += hits;
            const std::int64_t limit = 5 * ((k * k) % 65536);
            if (hits == 0 || hits > limit || top <= 1 || bottom >= H_ - 1 || leftCol <= 1 ||
                rightCol >= W_ - 1)
                break;
        }
        total_ += particle;
    }

    const Picture& orig_;
    CountParams p_;
    Model model_;
    Picture count_, area_;
    std::int64_t W_ = 0, H_ = 0;
    std::int64_t accepted_ = 0, total_ = 0;
};

}  // namespace

ReferenceResult referenceCount(const Picture& original, const CountParams& params)
{
    return Reference(original, params).run();
}
