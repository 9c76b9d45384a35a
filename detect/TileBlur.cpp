#include "detect/TileBlur.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Rows are worked in a GCC and Clang vector type (the target's SSE, AVX or NEON registers, or plain
// floats where it has none), two vectors at a time. Each lane sums its own value in the plain loop's
// order, so it gives exactly what that loop gives, whatever the vector's width.
typedef float Lanes4 __attribute__((vector_size(16)));
#if defined(__x86_64__) && defined(__GNUC__)
#define WIDE_LANES 1
typedef float Lanes8 __attribute__((vector_size(32)));  // worked only where the processor has AVX
#endif

#define LOAD_LANES(target, from) std::memcpy(&(target), (from), sizeof(target))
#define STORE_LANES(to, source) std::memcpy((to), &(source), sizeof(source))

/// out[i] = half[0] * centre[i] + sum over k of half[k] * (centre[i - k] + centre[i + k]), for n values;
/// centre[-radius] to centre[n - 1 + radius] are read.
template <typename Lanes>
inline __attribute__((always_inline)) void blurRowIn(const float* centre, int n, const std::vector<float>& half,
                                                     float* out)
{
    constexpr int kLanes = sizeof(Lanes) / sizeof(float);
    const int radius = static_cast<int>(half.size()) - 1;
    int i = 0;
    for (; i + 2 * kLanes <= n; i += 2 * kLanes) {
        Lanes a, b;
        LOAD_LANES(a, centre + i);
        LOAD_LANES(b, centre + i + kLanes);
        Lanes sumA = half[0] * a, sumB = half[0] * b;
        for (int k = 1; k <= radius; ++k) {
            Lanes leftA, rightA, leftB, rightB;
            LOAD_LANES(leftA, centre + i - k);
            LOAD_LANES(rightA, centre + i + k);
            LOAD_LANES(leftB, centre + i + kLanes - k);
            LOAD_LANES(rightB, centre + i + kLanes + k);
            const float w = half[static_cast<std::size_t>(k)];
            sumA += w * (leftA + rightA);
            sumB += w * (leftB + rightB);
        }
        STORE_LANES(out + i, sumA);
        STORE_LANES(out + i + kLanes, sumB);
    }
    for (; i < n; ++i) {
        float sum = half[0] * centre[i];
        for (int k = 1; k <= radius; ++k) sum += half[static_cast<std::size_t>(k)] * (centre[i - k] + centre[i + k]);
        out[i] = sum;
    }
}

/// out[i] = half[0] * middle[i] + sum over k of half[k] * (up[k][i] + down[k][i]), for i from first to
/// end - 1.
template <typename Lanes>
inline __attribute__((always_inline)) void blurColumnsIn(const float* middle, const float* const* up,
                                                         const float* const* down, int first, int end,
                                                         const std::vector<float>& half, float* out)
{
    constexpr int kLanes = sizeof(Lanes) / sizeof(float);
    const int radius = static_cast<int>(half.size()) - 1;
    int i = first;
    for (; i + 2 * kLanes <= end; i += 2 * kLanes) {
        Lanes a, b;
        LOAD_LANES(a, middle + i);
        LOAD_LANES(b, middle + i + kLanes);
        Lanes sumA = half[0] * a, sumB = half[0] * b;
        for (int k = 1; k <= radius; ++k) {
            Lanes aboveA, belowA, aboveB, belowB;
            LOAD_LANES(aboveA, up[k] + i);
            LOAD_LANES(belowA, down[k] + i);
            LOAD_LANES(aboveB, up[k] + i + kLanes);
            LOAD_LANES(belowB, down[k] + i + kLanes);
            const float w = half[static_cast<std::size_t>(k)];
            sumA += w * (aboveA + belowA);
            sumB += w * (aboveB + belowB);
        }
        STORE_LANES(out + i, sumA);
        STORE_LANES(out + i + kLanes, sumB);
    }
    for (; i < end; ++i) {
        float sum = half[0] * middle[i];
        for (int k = 1; k <= radius; ++k) sum += half[static_cast<std::size_t>(k)] * (up[k][i] + down[k][i]);
        out[i] = sum;
    }
}

#ifdef WIDE_LANES
__attribute__((target("avx"))) void blurRowWide(const float* centre, int n, const std::vector<float>& half, float* out)
{
    blurRowIn<Lanes8>(centre, n, half, out);
}

__attribute__((target("avx"))) void blurColumnsWide(const float* middle, const float* const* up,
                                                    const float* const* down, int first, int end,
                                                    const std::vector<float>& half, float* out)
{
    blurColumnsIn<Lanes8>(middle, up, down, first, end, half, out);
}

bool wideLanes()
{
    static const bool available = __builtin_cpu_supports("avx");
    return available;
}
#endif

void blurRow(const float* centre, int n, const std::vector<float>& half, float* out)
{
#ifdef WIDE_LANES
    if (wideLanes()) return blurRowWide(centre, n, half, out);
#endif
    blurRowIn<Lanes4>(centre, n, half, out);
}

void blurColumns(const float* middle, const float* const* up, const float* const* down, int first, int end,
                 const std::vector<float>& half, float* out)
{
#ifdef WIDE_LANES
    if (wideLanes()) return blurColumnsWide(middle, up, down, first, end, half, out);
#endif
    blurColumnsIn<Lanes4>(middle, up, down, first, end, half, out);
}

#undef LOAD_LANES
#undef STORE_LANES
#undef WIDE_LANES

}  // namespace

TileRect TileRect::grown(int by, const TileRect& within) const
{
    return {std::max(within.x0, x0 - by), std::max(within.y0, y0 - by), std::min(within.x1, x1 + by),
            std::min(within.y1, y1 + by)};
}

void TileBuffer::resize(const TileRect& area)
{
    rect = area;
    const std::size_t size =
        static_cast<std::size_t>(std::max(0, area.width())) * static_cast<std::size_t>(std::max(0, area.height()));
    // Just what the largest tile needs: a vector grown by resizing alone may take twice that.
    if (size > values.capacity()) values.reserve(size);
    values.resize(size);
}

std::vector<float> gaussianHalfKernel(double sigma)
{
    const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
    std::vector<double> weights(static_cast<std::size_t>(radius) + 1);
    double sum = 0;
    for (int i = 0; i <= radius; ++i) {
        weights[static_cast<std::size_t>(i)] = std::exp(-0.5 * i * i / (sigma * sigma));
        sum += (i == 0 ? 1 : 2) * weights[static_cast<std::size_t>(i)];
    }
    std::vector<float> half(weights.size());
    for (std::size_t i = 0; i < weights.size(); ++i) half[i] = static_cast<float>(weights[i] / sum);
    return half;
}

void gaussianBlur(const TileBuffer& in, const TileRect& area, const std::vector<float>& half, TileBuffer& out,
                  TileBuffer& across, const TileRuns* wanted)
{
    const int radius = static_cast<int>(half.size()) - 1;
    const TileRect& source = in.rect;
    out.resize(area);
    if (area.empty()) return;
    const int width = area.width();
    const auto rowWanted = [&](int y) { return wanted == nullptr || wanted->rowWanted(y); };
    // Across: the rows the vertical pass reaches, over area's columns only; of them only those that
    // a wanted row reaches are made.
    across.resize({area.x0, std::max(source.y0, area.y0 - radius), area.x1, std::min(source.y1, area.y1 + radius)});
    std::vector<bool> reached(static_cast<std::size_t>(across.rect.height()), wanted == nullptr);
    for (int y = area.y0; y < area.y1 && wanted != nullptr; ++y)
        if (rowWanted(y))
            for (int r = std::max(across.rect.y0, y - radius); r < std::min(across.rect.y1, y + radius + 1); ++r)
                reached[static_cast<std::size_t>(r - across.rect.y0)] = true;
    std::vector<float> padded(static_cast<std::size_t>(width + 2 * radius));
    for (int y = across.rect.y0; y < across.rect.y1; ++y) {
        if (!reached[static_cast<std::size_t>(y - across.rect.y0)]) continue;
        // The row from area.x0 - radius to area.x1 + radius, its edge values continued beyond in.
        const float* row = in.row(y);
        const int from = area.x0 - radius, to = area.x1 + radius;
        const int first = std::max(from, source.x0), end = std::min(to, source.x1);
        std::fill(padded.begin(), padded.begin() + (first - from), row[0]);
        std::copy(row + (first - source.x0), row + (end - source.x0), padded.begin() + (first - from));
        std::fill(padded.begin() + (end - from), padded.end(), row[source.width() - 1]);
        blurRow(padded.data() + radius, width, half, across.row(y));
    }
    std::vector<const float*> up(static_cast<std::size_t>(radius) + 1), down(up.size());
    for (int y = area.y0; y < area.y1; ++y) {
        if (!rowWanted(y)) continue;
        for (int k = 1; k <= radius; ++k) {
            up[static_cast<std::size_t>(k)] = across.row(std::max(across.rect.y0, y - k));
            down[static_cast<std::size_t>(k)] = across.row(std::min(across.rect.y1 - 1, y + k));
        }
        if (wanted == nullptr) {
            blurColumns(across.row(y), up.data(), down.data(), 0, width, half, out.row(y));
            continue;
        }
        const std::size_t row = static_cast<std::size_t>(y - wanted->rect.y0);
        for (int r = wanted->first[row]; r < wanted->first[row + 1]; ++r) {
            const auto [x0, x1] = wanted->runs[static_cast<std::size_t>(r)];
            blurColumns(across.row(y), up.data(), down.data(), x0 - area.x0, x1 - area.x0, half, out.row(y));
        }
    }
}
