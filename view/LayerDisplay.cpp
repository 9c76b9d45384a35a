#include "view/LayerDisplay.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "view/Zoom.h"

namespace {

constexpr int kBrightnessStep = 16;
constexpr int kLeastRange = 8;
constexpr int kWidestRange = 4 * 255;
constexpr int kLowestMiddle = -255;
constexpr int kHighestMiddle = 510;

/// Twice the range's middle, so that no half is lost.
int doubleMiddle(const DisplayAdjustment& a) { return a.black + a.white; }

DisplayAdjustment withRange(DisplayAdjustment adjustment, int doubledMiddle, int width)
{
    // floor((doubledMiddle - width) / 2) for either sign
    const int twice = doubledMiddle - width;
    adjustment.black = twice >= 0 ? twice / 2 : -((-twice + 1) / 2);
    adjustment.white = adjustment.black + width;
    return adjustment;
}

DisplayAdjustment shifted(DisplayAdjustment adjustment, int by)
{
    const int middle2 = doubleMiddle(adjustment) + 2 * by;
    if (middle2 < 2 * kLowestMiddle || middle2 > 2 * kHighestMiddle) return adjustment;
    adjustment.black += by;
    adjustment.white += by;
    return adjustment;
}

std::uint16_t effectiveZoom(std::uint16_t zoom) { return zoom == 0 ? kZoomFull : zoom; }

/// The first picture coordinate of display coordinate d's box.
int boxStart(int d, std::uint16_t zoom) { return static_cast<int>(std::int64_t{d} * 100 / zoom); }

QRgb rgbWord(unsigned red, unsigned green, unsigned blue)
{
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

/// The display words of layer values through the curve, one table per byte of a pixel, so that a
/// pixel's word is the three entries put together: each channel into its own place, or one channel
/// into all three (grey).
struct WordTables {
    std::array<std::uint32_t, 256> blue{}, green{}, red{};

    WordTables(const std::array<std::uint8_t, 256>& curve, DisplayChannel channel)
    {
        for (std::size_t v = 0; v < 256; ++v) {
            const std::uint32_t c = curve[v];
            const std::uint32_t grey = (c << 16) | (c << 8) | c;
            blue[v] = channel == DisplayChannel::All ? c : channel == DisplayChannel::Blue ? grey : 0;
            green[v] = channel == DisplayChannel::All ? c << 8 : channel == DisplayChannel::Green ? grey : 0;
            red[v] = channel == DisplayChannel::All ? c << 16 : channel == DisplayChannel::Red ? grey : 0;
        }
    }
    QRgb operator()(unsigned b, unsigned g, unsigned r) const
    {
        return 0xFF000000u | blue[b] | green[g] | red[r];
    }
};

/// The marks of one display pixel's box, summed.
struct MarkSums {
    std::uint32_t blue = 0, green = 0, red = 0, count = 0;
};

/// Adds count bytes from row to sums, byte by byte. A display pixel averages at most 100 rows, so a
/// 16-bit sum cannot overflow.
void addBytes(const std::uint8_t* row, std::uint16_t* sums, std::size_t count)
{
    std::size_t k = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; k + 16 <= count; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + k));
        auto* s = reinterpret_cast<__m128i*>(sums + k);
        _mm_storeu_si128(s, _mm_add_epi16(_mm_loadu_si128(s), _mm_unpacklo_epi8(v, zero)));
        _mm_storeu_si128(s + 1, _mm_add_epi16(_mm_loadu_si128(s + 1), _mm_unpackhi_epi8(v, zero)));
    }
#endif
    for (; k < count; ++k) sums[k] = static_cast<std::uint16_t>(sums[k] + row[k]);
}

/// Pixels compared with the base at once: most of a count layer is the original, and a run of
/// pixels equal to it is summed without looking at each.
constexpr std::size_t kRunBytes = 16 * Picture::kBytesPerPixel;

/// True when the kRunBytes bytes from a and from b are the same.
inline bool sameRun(const std::uint8_t* a, const std::uint8_t* b)
{
#if defined(__SSE2__)
    __m128i same = _mm_set1_epi8(-1);
    for (std::size_t k = 0; k < kRunBytes; k += 16)
        same = _mm_and_si128(same, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k)),
                                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k))));
    return _mm_movemask_epi8(same) == 0xFFFF;
#else
    return std::memcmp(a, b, kRunBytes) == 0;
#endif
}

/// Adds the count bytes (whole pixels) from row to sums as addBytes does, except the marks: the
/// pixels that differ from under's. Those go to the sums of their box, marks[columnOf[pixel]].
void addPlainBytes(const std::uint8_t* row, const std::uint8_t* under, std::uint16_t* sums, std::size_t count,
                   const std::uint32_t* columnOf, MarkSums* marks)
{
    const auto addPixels = [&](std::size_t begin, std::size_t end) {
        for (std::size_t b = begin; b < end; b += Picture::kBytesPerPixel) {
            const std::uint8_t* p = row + b;
            if (p[0] != under[b] || p[1] != under[b + 1] || p[2] != under[b + 2]) {
                MarkSums& box = marks[columnOf[b / Picture::kBytesPerPixel]];
                box.blue += p[0];
                box.green += p[1];
                box.red += p[2];
                ++box.count;
            } else {
                sums[b] = static_cast<std::uint16_t>(sums[b] + p[0]);
                sums[b + 1] = static_cast<std::uint16_t>(sums[b + 1] + p[1]);
                sums[b + 2] = static_cast<std::uint16_t>(sums[b + 2] + p[2]);
            }
        }
    };
    std::size_t k = 0;
    for (; k + kRunBytes <= count; k += kRunBytes) {
        if (sameRun(row + k, under + k))
            addBytes(row + k, sums + k, kRunBytes);
        else
            addPixels(k, k + kRunBytes);
    }
    addPixels(k, count);
}

/// Rounded means (halves up) without a division per pixel: each count's reciprocal, taken once per
/// render. The fractional part of a mean of n values lies at least 1 / (2n) from the next integer,
/// far beyond the reciprocal's error, so the small nudge only guards the exact quotients.
class Means {
public:
    explicit Means(std::uint32_t largestCount) : inverse_(largestCount + 1)
    {
        for (std::uint32_t n = 1; n <= largestCount; ++n) inverse_[n] = 1.0 / n;
    }
    unsigned operator()(std::uint32_t sum, std::uint32_t count) const
    {
        if (count == 1) return sum;
        return static_cast<unsigned>((sum + 0.5 * count) * inverse_[count] + 1e-9);
    }

private:
    std::vector<double> inverse_;
};

}  // namespace

std::array<std::uint8_t, 256> displayCurve(const DisplayAdjustment& adjustment)
{
    std::array<std::uint8_t, 256> curve{};
    const std::int64_t width = std::max(1, adjustment.white - adjustment.black);
    for (int v = 0; v < 256; ++v) {
        const std::int64_t scaled = std::int64_t{v - adjustment.black} * 255;
        if (scaled <= 0) continue;
        curve[static_cast<std::size_t>(v)] =
            static_cast<std::uint8_t>(std::min<std::int64_t>(255, (2 * scaled + width) / (2 * width)));
    }
    return curve;
}

DisplayAdjustment brighter(DisplayAdjustment adjustment) { return shifted(adjustment, -kBrightnessStep); }

DisplayAdjustment darker(DisplayAdjustment adjustment) { return shifted(adjustment, kBrightnessStep); }

DisplayAdjustment moreContrast(DisplayAdjustment adjustment)
{
    const int width = adjustment.white - adjustment.black;
    const int narrower = std::max(kLeastRange, (width * 4 + 2) / 5);
    if (narrower >= width) return adjustment;
    return withRange(adjustment, doubleMiddle(adjustment), narrower);
}

DisplayAdjustment lessContrast(DisplayAdjustment adjustment)
{
    const int width = adjustment.white - adjustment.black;
    const int wider = std::min(kWidestRange, width + (width + 3) / 4);
    if (wider <= width) return adjustment;
    return withRange(adjustment, doubleMiddle(adjustment), wider);
}

DisplayAdjustment stretchedToPicture(const Picture& picture, DisplayAdjustment adjustment)
{
    std::array<std::uint64_t, 256> histogram{};
    // Which bytes of a pixel count: blue, green, red are at offsets 0, 1, 2.
    int first = 0, last = 2;
    if (adjustment.channel == DisplayChannel::Red) first = last = 2;
    if (adjustment.channel == DisplayChannel::Green) first = last = 1;
    if (adjustment.channel == DisplayChannel::Blue) first = last = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width(); ++x, row += Picture::kBytesPerPixel)
            for (int c = first; c <= last; ++c) ++histogram[row[c]];
    }
    std::uint64_t total = 0;
    for (const std::uint64_t n : histogram) total += n;
    if (total == 0) return adjustment;
    const std::uint64_t tail = total / 1000;  // 0.1 % at either end
    int low = 0, high = 255;
    for (std::uint64_t below = 0; low < 255 && below + histogram[static_cast<std::size_t>(low)] <= tail;
         ++low)
        below += histogram[static_cast<std::size_t>(low)];
    for (std::uint64_t above = 0; high > 0 && above + histogram[static_cast<std::size_t>(high)] <= tail;
         --high)
        above += histogram[static_cast<std::size_t>(high)];
    if (high <= low) return adjustment;
    adjustment.black = low;
    adjustment.white = high;
    return adjustment;
}

QSize displaySize(std::uint16_t zoom, int width, int height)
{
    const DisplaySize shown = displayedSize(effectiveZoom(zoom), std::max(width, 0), std::max(height, 0));
    return QSize(static_cast<int>(std::min(shown.width, kMaxDisplaySide)),
                 static_cast<int>(std::min(shown.height, kMaxDisplaySide)));
}

QRect displayArea(const QRect& area, std::uint16_t zoom)
{
    if (area.isEmpty()) return QRect();
    zoom = effectiveZoom(zoom);
    // Display pixel d shows picture pixel p when d * 100 div zoom = p (scaled up) or when p lies in
    // d * 100 div zoom .. (d + 1) * 100 div zoom - 1 (scaled down). The last such d is the last whose
    // box starts at or before p; scaled up, the first is the first whose box starts at p.
    const auto ceilScaled = [zoom](int p) {
        return static_cast<int>((std::int64_t{std::max(p, 0)} * zoom + 99) / 100);
    };
    const auto last = [&](int p) { return ceilScaled(p + 1) - 1; };
    const auto first = [&](int p) { return zoom >= kZoomFull ? ceilScaled(p) : last(p); };
    return QRect(QPoint(first(area.left()), first(area.top())),
                 QPoint(last(area.right()), last(area.bottom())));
}

void renderLayer(const Picture& layer, const Picture* base, const DisplayAdjustment& adjustment,
                 std::uint16_t zoom, QImage& display, const QRect& area)
{
    zoom = std::min(effectiveZoom(zoom), kZoomFull);
    const QSize size = displaySize(zoom, layer.width(), layer.height());
    if (size.isEmpty()) {
        display = QImage();
        return;
    }
    QRect part = area;
    if (display.size() != size || display.format() != QImage::Format_RGB32) {
        display = QImage(size, QImage::Format_RGB32);
        part = QRect();
    }
    part = part.isEmpty() ? display.rect() : part.intersected(display.rect());
    if (part.isEmpty()) return;
    if (base != nullptr && (base->width() != layer.width() || base->height() != layer.height()))
        base = nullptr;

    if (zoom == kZoomFull && adjustment.unchanged()) {
        // Shown as it is: marks and picture alike.
        for (int y = part.top(); y <= part.bottom(); ++y) {
            const std::uint8_t* source =
                layer.row(y) + static_cast<std::size_t>(part.left()) * Picture::kBytesPerPixel;
            auto* target = reinterpret_cast<QRgb*>(display.scanLine(y)) + part.left();
            for (int x = part.left(); x <= part.right(); ++x, source += Picture::kBytesPerPixel)
                *target++ = rgbWord(source[2], source[1], source[0]);
        }
        return;
    }

    const WordTables words(displayCurve(adjustment), adjustment.channel);
    if (zoom == kZoomFull) {
        // One picture pixel per display pixel: marks as drawn, the rest through the curve.
        for (int y = part.top(); y <= part.bottom(); ++y) {
            const std::size_t start = static_cast<std::size_t>(part.left()) * Picture::kBytesPerPixel;
            const std::uint8_t* source = layer.row(y) + start;
            const std::uint8_t* under = base != nullptr ? base->row(y) + start : nullptr;
            auto* target = reinterpret_cast<QRgb*>(display.scanLine(y)) + part.left();
            for (int x = part.left(); x <= part.right(); ++x, source += Picture::kBytesPerPixel) {
                const bool mark = under != nullptr &&
                                  (source[0] != under[0] || source[1] != under[1] || source[2] != under[2]);
                *target++ =
                    mark ? rgbWord(source[2], source[1], source[0]) : words(source[0], source[1], source[2]);
                if (under != nullptr) under += Picture::kBytesPerPixel;
            }
        }
        return;
    }
    const int columns = part.width();
    // Each display column's box, in byte offsets into a row; the boxes lie side by side.
    std::vector<std::size_t> from(static_cast<std::size_t>(columns)), to(static_cast<std::size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        const int x = part.left() + i;
        from[static_cast<std::size_t>(i)] =
            static_cast<std::size_t>(std::min(boxStart(x, zoom), layer.width())) * Picture::kBytesPerPixel;
        to[static_cast<std::size_t>(i)] =
            static_cast<std::size_t>(std::min(boxStart(x + 1, zoom), layer.width())) *
            Picture::kBytesPerPixel;
    }
    const std::size_t firstByte = from.front();
    const std::size_t rowBytes = to.back() - firstByte;
    // The display column of each picture pixel of the boxes, for the marks.
    std::vector<std::uint32_t> columnOf(rowBytes / Picture::kBytesPerPixel);
    for (int i = 0; i < columns; ++i)
        for (std::size_t b = from[static_cast<std::size_t>(i)]; b < to[static_cast<std::size_t>(i)];
             b += Picture::kBytesPerPixel)
            columnOf[(b - firstByte) / Picture::kBytesPerPixel] = static_cast<std::uint32_t>(i);
    // One display row's boxes: the plain pixels summed down each byte column of the picture, the
    // marks summed by box.
    std::vector<std::uint16_t> columnSums(rowBytes);
    std::vector<MarkSums> marks(static_cast<std::size_t>(columns));
    const std::uint32_t side = (100 + zoom - 1) / zoom;  // the largest box's width and height
    const Means mean(side * side);
    for (int y = part.top(); y <= part.bottom(); ++y) {
        std::fill(columnSums.begin(), columnSums.end(), std::uint16_t{0});
        std::fill(marks.begin(), marks.end(), MarkSums{});
        const int rowStart = std::min(boxStart(y, zoom), layer.height());
        const int rowEnd = std::min(boxStart(y + 1, zoom), layer.height());
        for (int r = rowStart; r < rowEnd; ++r) {
            const std::uint8_t* row = layer.row(r) + firstByte;
            if (base == nullptr)
                addBytes(row, columnSums.data(), rowBytes);
            else
                addPlainBytes(row, base->row(r) + firstByte, columnSums.data(), rowBytes, columnOf.data(),
                              marks.data());
        }
        const auto rows = static_cast<std::uint32_t>(rowEnd - rowStart);
        auto* target = reinterpret_cast<QRgb*>(display.scanLine(y)) + part.left();
        for (std::size_t i = 0; i < marks.size(); ++i) {
            const MarkSums& box = marks[i];
            if (box.count > 0) {
                *target++ = rgbWord(mean(box.red, box.count), mean(box.green, box.count),
                                    mean(box.blue, box.count));
                continue;
            }
            const std::size_t end = to[i] - firstByte;
            std::uint32_t blue = 0, green = 0, red = 0;
            for (std::size_t b = from[i] - firstByte; b < end; b += Picture::kBytesPerPixel) {
                blue += columnSums[b];
                green += columnSums[b + 1];
                red += columnSums[b + 2];
            }
            const auto count = static_cast<std::uint32_t>((to[i] - from[i]) / Picture::kBytesPerPixel) * rows;
            *target++ =
                count > 0 ? words(mean(blue, count), mean(green, count), mean(red, count)) : rgbWord(0, 0, 0);
        }
    }
}

void sampleZoomedIn(const QImage& full, std::uint16_t zoom, const QRect& area, QImage& tile)
{
    zoom = std::max(effectiveZoom(zoom), kZoomFull);
    if (tile.size() != area.size() || tile.format() != QImage::Format_RGB32)
        tile = QImage(area.size(), QImage::Format_RGB32);
    if (tile.isNull()) return;
    std::vector<int> column(static_cast<std::size_t>(area.width()));
    for (int i = 0; i < area.width(); ++i)
        column[static_cast<std::size_t>(i)] = boxStart(area.left() + i, zoom);
    for (int j = 0; j < area.height(); ++j) {
        auto* target = reinterpret_cast<QRgb*>(tile.scanLine(j));
        const int y = area.top() + j < 0 ? -1 : boxStart(area.top() + j, zoom);
        if (y < 0 || y >= full.height()) {
            std::fill(target, target + area.width(), rgbWord(0, 0, 0));
            continue;
        }
        const auto* source = reinterpret_cast<const QRgb*>(full.constScanLine(y));
        for (int i = 0; i < area.width(); ++i) {
            const int x = column[static_cast<std::size_t>(i)];
            target[i] = area.left() + i >= 0 && x < full.width() ? source[x] : rgbWord(0, 0, 0);
        }
    }
}
