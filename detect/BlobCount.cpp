#include "detect/BlobCount.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "detect/ColourModel.h"
#include "detect/Parallel.h"
#include "detect/TileBlur.h"

namespace {

constexpr int kBlock = 32;                 // side of the blocks the background is estimated in
constexpr int kBlockSampleStep = 2;        // every second pixel of every second row is enough
constexpr double kBackgroundShare = 0.10;  // the background is at least this share of any block
constexpr float kDarkestBackground = 8.0F; // a black ground would make the quotient meaningless

}  // namespace

/// The value below which share of the histogram's samples lie.
int histogramPercentile(const int* histogram, int samples, double share)
{
    const int wanted = std::max(1, static_cast<int>(samples * share));
    int seen = 0;
    for (int value = 0; value < 256; ++value) {
        seen += histogram[value];
        if (seen >= wanted) return value;
    }
    return 255;
}

BlockPercentiles blockPercentiles(const Picture& picture, int channel, int block, int step, double share, int threads)
{
    BlockPercentiles blocks;
    const int width = picture.width(), height = picture.height();
    blocks.columns = (width + block - 1) / block;
    blocks.rows = (height + block - 1) / block;
    const int columns = blocks.columns;
    blocks.low.resize(static_cast<std::size_t>(columns) * static_cast<std::size_t>(blocks.rows));
    blocks.high.resize(blocks.low.size());
    parallelSlices(blocks.rows, workerThreads(threads), [&](int firstBlockRow, int endBlockRow) {
        std::vector<int> histograms(static_cast<std::size_t>(columns) * 256);
        for (int by = firstBlockRow; by < endBlockRow; ++by) {
            std::fill(histograms.begin(), histograms.end(), 0);
            const int y0 = by * block, y1 = std::min(height, y0 + block);
            for (int y = y0; y < y1; y += step) {
                const std::uint8_t* row = picture.row(y) + channel;
                for (int x = 0; x < width; x += step) ++histograms[static_cast<std::size_t>(x / block) * 256 + row[3 * x]];
            }
            for (int bx = 0; bx < columns; ++bx) {
                const int* histogram = histograms.data() + static_cast<std::size_t>(bx) * 256;
                int samples = 0;
                for (int v = 0; v < 256; ++v) samples += histogram[v];
                const std::size_t index = static_cast<std::size_t>(by) * columns + bx;
                blocks.low[index] = static_cast<float>(histogramPercentile(histogram, samples, share));
                blocks.high[index] = static_cast<float>(histogramPercentile(histogram, samples, 1.0 - share));
            }
        }
    });
    return blocks;
}

int workerThreads(int threads)
{
    return threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

namespace {

/// What flattening a picture's rows needs: the inverse background level per block (signed for the
/// polarity) and, per column, its block to the left and the weight towards the next.
struct Flattening {
    int channel = 0;
    int blockColumns = 0, blockRows = 0;
    float sign = 1;
    std::vector<float> level;
    std::vector<int> leftBlock;
    std::vector<float> rightWeight;
};

Flattening flattening(const Picture& picture, std::uint32_t targetColour, int threads)
{
    Flattening f;
    const int width = picture.width(), height = picture.height();
    const ColourModel model = buildColourModel(targetColour);
    f.channel = model.dominant;

    // Block histograms: the brightest quarter-percentile rule picks background in a bright-particle
    // picture; for dark particles the roles turn, so both ends are taken and the polarity decides.
    const int blockColumns = (width + kBlock - 1) / kBlock, blockRows = (height + kBlock - 1) / kBlock;
    f.blockColumns = blockColumns;
    f.blockRows = blockRows;
    const BlockPercentiles blocks = blockPercentiles(picture, f.channel, kBlock, kBlockSampleStep, kBackgroundShare, threads);
    const std::vector<float>& low = blocks.low;
    const std::vector<float>& high = blocks.high;
    std::vector<float> sortedLow = low;
    std::nth_element(sortedLow.begin(), sortedLow.begin() + static_cast<std::ptrdiff_t>(sortedLow.size() / 2),
                     sortedLow.end());
    const float typicalBackground = sortedLow[sortedLow.size() / 2];
    const bool brightParticles = model.dominantValue >= typicalBackground;
    const std::vector<float>& raw = brightParticles ? low : high;

    // Smooth the block levels over their 3 x 3 neighbourhood: a block crowded with particles is
    // pulled towards its neighbours.
    std::vector<float>& level = f.level;
    level.resize(raw.size());
    for (int by = 0; by < blockRows; ++by)
        for (int bx = 0; bx < blockColumns; ++bx) {
            float sum = 0;
            int n = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int ny = by + dy, nx = bx + dx;
                    if (ny < 0 || nx < 0 || ny >= blockRows || nx >= blockColumns) continue;
                    sum += raw[static_cast<std::size_t>(ny) * blockColumns + nx];
                    ++n;
                }
            level[static_cast<std::size_t>(by) * blockColumns + bx] = std::max(kDarkestBackground, sum / n);
        }

    // Particles = light / background - 1: the inverse level is interpolated (bilinearly between block
    // centres), so a pixel costs one multiplication.
    f.sign = brightParticles ? 1.0F : -1.0F;
    for (float& value : level) value = f.sign / value;
    // Per column: the block column to its left (clamped) and its weight towards the next one.
    f.leftBlock.resize(static_cast<std::size_t>(width));
    f.rightWeight.resize(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const float fx = std::clamp((x + 0.5F) / kBlock - 0.5F, 0.0F, static_cast<float>(blockColumns - 1));
        f.leftBlock[static_cast<std::size_t>(x)] = std::min(static_cast<int>(fx), std::max(0, blockColumns - 2));
        f.rightWeight[static_cast<std::size_t>(x)] = fx - static_cast<float>(f.leftBlock[static_cast<std::size_t>(x)]);
    }
    return f;
}

/// Scratch rows of one thread's flattening.
struct FlatScratch {
    std::vector<float> inverse, column;
    explicit FlatScratch(const Flattening& f, int width)
        : inverse(static_cast<std::size_t>(width)), column(static_cast<std::size_t>(f.blockColumns) + 1)
    {
    }
};

/// Row y of the flattened channel into out.
void flattenRow(const Flattening& f, const Picture& picture, int y, float* out, FlatScratch& scratch)
{
    const int width = picture.width(), blockColumns = f.blockColumns, blockRows = f.blockRows;
    const std::vector<float>& level = f.level;
    std::vector<float>& column = scratch.column;
    std::vector<float>& inverse = scratch.inverse;
    const float fy = std::clamp((y + 0.5F) / kBlock - 0.5F, 0.0F, static_cast<float>(blockRows - 1));
    const int by = std::min(static_cast<int>(fy), std::max(0, blockRows - 2));
    const int by1 = std::min(by + 1, blockRows - 1);
    const float wy = fy - static_cast<float>(by);
    for (int bx = 0; bx < blockColumns; ++bx)
        column[static_cast<std::size_t>(bx)] = level[static_cast<std::size_t>(by) * blockColumns + bx] * (1 - wy) +
                                               level[static_cast<std::size_t>(by1) * blockColumns + bx] * wy;
    column[static_cast<std::size_t>(blockColumns)] = column[static_cast<std::size_t>(blockColumns) - 1];
    for (int x = 0; x < width; ++x) {
        const auto b = static_cast<std::size_t>(f.leftBlock[static_cast<std::size_t>(x)]);
        const float w = f.rightWeight[static_cast<std::size_t>(x)];
        inverse[static_cast<std::size_t>(x)] = column[b] + w * (column[b + 1] - column[b]);
    }
    const std::uint8_t* source = picture.row(y) + f.channel;
    for (int x = 0; x < width; ++x) out[x] = static_cast<float>(source[3 * x]) * inverse[static_cast<std::size_t>(x)] - f.sign;
}

}  // namespace

FloatPlane flattenedChannel(const Picture& picture, std::uint32_t targetColour, int threads)
{
    threads = workerThreads(threads);
    FloatPlane flat;
    if (picture.empty()) return flat;
    const Flattening f = flattening(picture, targetColour, threads);
    flat.width = picture.width();
    flat.height = picture.height();
    flat.values.resize(static_cast<std::size_t>(flat.width) * flat.height);
    parallelSlices(flat.height, threads, [&](int firstRow, int endRow) {
        FlatScratch scratch(f, flat.width);
        for (int y = firstRow; y < endRow; ++y) flattenRow(f, picture, y, flat.row(y), scratch);
    });
    return flat;
}

FloatPlane cropPlane(const FloatPlane& plane, int x, int y, int width, int height)
{
    const int x0 = std::clamp(x, 0, plane.width), y0 = std::clamp(y, 0, plane.height);
    const int x1 = std::clamp(x + width, x0, plane.width), y1 = std::clamp(y + height, y0, plane.height);
    FloatPlane crop;
    crop.width = x1 - x0;
    crop.height = y1 - y0;
    crop.values.resize(static_cast<std::size_t>(crop.width) * crop.height);
    for (int row = y0; row < y1; ++row) std::copy(plane.row(row) + x0, plane.row(row) + x1, crop.row(row - y0));
    return crop;
}

namespace {

/// Row in smoothed across with the half kernel into out, its ends continued with their edge values.
/// padded holds width + 2 radius floats.
void blurAcross(const float* in, int width, const std::vector<float>& half, std::vector<float>& padded, float* out)
{
    const int radius = static_cast<int>(half.size()) - 1;
    std::fill(padded.begin(), padded.begin() + radius, in[0]);
    std::copy(in, in + width, padded.begin() + radius);
    std::fill(padded.begin() + radius + width, padded.end(), in[width - 1]);
    const float* centre = padded.data() + radius;
    // One tap at a time over the whole row: the inner loop runs along memory and vectorises.
    const float h0 = half[0];
    for (int x = 0; x < width; ++x) out[x] = h0 * centre[x];
    for (int k = 1; k <= radius; ++k) {
        const float w = half[static_cast<std::size_t>(k)];
        const float* left = centre - k;
        const float* right = centre + k;
        for (int x = 0; x < width; ++x) out[x] += w * (left[x] + right[x]);
    }
}

/// Row y smoothed down: blurred(r) gives the row r (0 <= r < height) smoothed across.
template <typename Rows>
void blurDown(int y, int width, int height, const std::vector<float>& half, const Rows& blurred, float* out)
{
    const int radius = static_cast<int>(half.size()) - 1;
    const float* centre = blurred(y);
    for (int x = 0; x < width; ++x) out[x] = half[0] * centre[x];
    for (int k = 1; k <= radius; ++k) {
        const float* up = blurred(std::max(0, y - k));
        const float* down = blurred(std::min(height - 1, y + k));
        const float w = half[static_cast<std::size_t>(k)];
        for (int x = 0; x < width; ++x) out[x] += w * (up[x] + down[x]);
    }
}

/// The Laplacian's row of a smoothed row here between up and down (the same row at the plane's edges).
void laplacianRow(const float* up, const float* here, const float* down, int width, float factor, float* out)
{
    out[0] = factor * (4 * here[0] - here[0] - here[std::min(width - 1, 1)] - up[0] - down[0]);
    for (int x = 1; x + 1 < width; ++x) out[x] = factor * (4 * here[x] - here[x - 1] - here[x + 1] - up[x] - down[x]);
    if (width > 1) out[width - 1] = factor * (3 * here[width - 1] - here[width - 2] - up[width - 1] - down[width - 1]);
}

/// The peaks of response row y (here; up and down null at the plane's edges) at least floor, in row order.
void rowPeaks(const float* up, const float* here, const float* down, int width, int y, float floor,
              std::vector<Blob>& peaks)
{
    for (int x = 0; x < width; ++x) {
        const float v = here[x];
        if (v < floor) continue;
        // Strictly above the neighbours before it in reading order, at least equal to the ones after:
        // a flat top gives one peak, its first pixel.
        bool peak = true;
        if (up) peak = up[x] < v && (x == 0 || up[x - 1] < v) && (x + 1 == width || up[x + 1] < v);
        peak = peak && (x == 0 || here[x - 1] < v) && (x + 1 == width || here[x + 1] <= v);
        if (peak && down) peak = down[x] <= v && (x == 0 || down[x - 1] <= v) && (x + 1 == width || down[x + 1] <= v);
        if (peak) peaks.push_back({x, y, v});
    }
}

void strongestFirst(std::vector<Blob>& peaks)
{
    std::stable_sort(peaks.begin(), peaks.end(), [](const Blob& a, const Blob& b) { return a.response > b.response; });
}

}  // namespace

FloatPlane blobResponse(FloatPlane flat, double scale, int threads)
{
    threads = workerThreads(threads);
    const int width = flat.width, height = flat.height;
    if (width == 0 || height == 0) return flat;
    const std::vector<float> half = gaussianHalfKernel(scale);
    const int radius = static_cast<int>(half.size()) - 1;

    // Across: each row smoothed into blurred.
    FloatPlane blurred;
    blurred.width = width;
    blurred.height = height;
    blurred.values.resize(flat.values.size());
    parallelSlices(height, threads, [&](int firstRow, int endRow) {
        std::vector<float> padded(static_cast<std::size_t>(width + 2 * radius));
        for (int y = firstRow; y < endRow; ++y) blurAcross(flat.row(y), width, half, padded, blurred.row(y));
    });
    // Down: back into flat's buffer; whole rows at a time so the inner loop runs along memory.
    FloatPlane& smooth = flat;
    const auto blurredRow = [&](int r) { return blurred.row(r); };
    parallelSlices(height, threads, [&](int firstRow, int endRow) {
        for (int y = firstRow; y < endRow; ++y) blurDown(y, width, height, half, blurredRow, smooth.row(y));
    });
    // The Laplacian of the smoothed plane, into blurred's buffer.
    const auto factor = static_cast<float>(scale * scale);
    parallelSlices(height, threads, [&](int firstRow, int endRow) {
        for (int y = firstRow; y < endRow; ++y)
            laplacianRow(smooth.row(std::max(0, y - 1)), smooth.row(y), smooth.row(std::min(height - 1, y + 1)), width,
                         factor, blurred.row(y));
    });
    return blurred;
}

std::vector<Blob> responsePeaks(const FloatPlane& response, float floor, int threads)
{
    threads = workerThreads(threads);
    const int width = response.width, height = response.height;
    const int slices = std::max(1, std::min(threads * 4, height));
    std::vector<std::vector<Blob>> found(static_cast<std::size_t>(slices));
    parallelSlices(slices, threads, [&](int firstSlice, int endSlice) {
        for (int slice = firstSlice; slice < endSlice; ++slice) {
            const int firstRow = static_cast<int>(static_cast<long long>(height) * slice / slices);
            const int endRow = static_cast<int>(static_cast<long long>(height) * (slice + 1) / slices);
            for (int y = firstRow; y < endRow; ++y)
                rowPeaks(y > 0 ? response.row(y - 1) : nullptr, response.row(y),
                         y + 1 < height ? response.row(y + 1) : nullptr, width, y, floor,
                         found[static_cast<std::size_t>(slice)]);
        }
    });
    std::vector<Blob> peaks;
    for (const std::vector<Blob>& part : found) peaks.insert(peaks.end(), part.begin(), part.end());
    strongestFirst(peaks);
    return peaks;
}

std::vector<Blob> keepDistantPeaks(const std::vector<Blob>& strongestFirst, int minDistance)
{
    if (minDistance <= 1 || strongestFirst.empty()) return strongestFirst;  // 3 x 3 peaks are apart already
    int maxX = 0, maxY = 0;
    for (const Blob& blob : strongestFirst) {
        maxX = std::max(maxX, blob.x);
        maxY = std::max(maxY, blob.y);
    }
    // Kept peaks by cells of minDistance: only the 3 x 3 cells around a peak can hold a closer one.
    const int cell = minDistance;
    const int columns = maxX / cell + 1, rows = maxY / cell + 1;
    std::vector<std::vector<int>> cells(static_cast<std::size_t>(columns) * rows);
    const long long limit = static_cast<long long>(minDistance) * minDistance;
    std::vector<Blob> kept;
    for (const Blob& blob : strongestFirst) {
        const int cx = blob.x / cell, cy = blob.y / cell;
        bool close = false;
        for (int y = std::max(0, cy - 1); y <= std::min(rows - 1, cy + 1) && !close; ++y)
            for (int x = std::max(0, cx - 1); x <= std::min(columns - 1, cx + 1) && !close; ++x)
                for (int index : cells[static_cast<std::size_t>(y) * columns + x]) {
                    const Blob& other = kept[static_cast<std::size_t>(index)];
                    const long long dx = other.x - blob.x, dy = other.y - blob.y;
                    if (dx * dx + dy * dy < limit) {
                        close = true;
                        break;
                    }
                }
        if (close) continue;
        cells[static_cast<std::size_t>(cy) * columns + cx].push_back(static_cast<int>(kept.size()));
        kept.push_back(blob);
    }
    return kept;
}

namespace {

constexpr int kBandRows = 64;  // response rows a band of the blob count finds the peaks of

/// The peaks of response rows firstRow..endRow - 1 of the whole picture, at least floor, in row order,
/// the same as responsePeaks finds on blobResponse(flattenedChannel(...)) there: the band's rows are
/// made from the rows around them alone, by the same steps in the same order. Buffers are the caller's,
/// kept from band to band.
struct BandBuffers {
    std::vector<float> flat, blurred, smooth, response, padded;
    FlatScratch scratch;
    BandBuffers(const Flattening& f, int width) : scratch(f, width) {}
};

void bandPeaks(const Picture& picture, const Flattening& f, const std::vector<float>& half, float factor, float floor,
               int firstRow, int endRow, BandBuffers& buffers, std::vector<Blob>& peaks)
{
    const int width = picture.width(), height = picture.height();
    const int radius = static_cast<int>(half.size()) - 1;
    // The response rows the peaks look at, the smoothed rows their Laplacian reads, the rows across
    // those are smoothed from.
    const int responseFirst = std::max(0, firstRow - 1), responseEnd = std::min(height, endRow + 1);
    const int smoothFirst = std::max(0, responseFirst - 1), smoothEnd = std::min(height, responseEnd + 1);
    const int acrossFirst = std::max(0, smoothFirst - radius), acrossEnd = std::min(height, smoothEnd + radius);
    const auto w = static_cast<std::size_t>(width);
    buffers.flat.resize(w);
    buffers.blurred.resize(w * static_cast<std::size_t>(acrossEnd - acrossFirst));
    buffers.smooth.resize(w * static_cast<std::size_t>(smoothEnd - smoothFirst));
    buffers.response.resize(w * static_cast<std::size_t>(responseEnd - responseFirst));
    buffers.padded.resize(w + 2 * static_cast<std::size_t>(radius));
    const auto blurredRow = [&](int r) { return buffers.blurred.data() + w * static_cast<std::size_t>(r - acrossFirst); };
    const auto smoothRow = [&](int r) { return buffers.smooth.data() + w * static_cast<std::size_t>(r - smoothFirst); };
    const auto responseRow = [&](int r) { return buffers.response.data() + w * static_cast<std::size_t>(r - responseFirst); };
    for (int r = acrossFirst; r < acrossEnd; ++r) {
        flattenRow(f, picture, r, buffers.flat.data(), buffers.scratch);
        blurAcross(buffers.flat.data(), width, half, buffers.padded, blurredRow(r));
    }
    for (int r = smoothFirst; r < smoothEnd; ++r) blurDown(r, width, height, half, blurredRow, smoothRow(r));
    for (int r = responseFirst; r < responseEnd; ++r)
        laplacianRow(smoothRow(std::max(0, r - 1)), smoothRow(r), smoothRow(std::min(height - 1, r + 1)), width, factor,
                     responseRow(r));
    for (int y = firstRow; y < endRow; ++y)
        rowPeaks(y > 0 ? responseRow(y - 1) : nullptr, responseRow(y), y + 1 < height ? responseRow(y + 1) : nullptr,
                 width, y, floor, peaks);
}

}  // namespace

// Band by band rather than through whole planes: the planes of a large picture would be several times
// its own size, and a picture's worth of fresh memory costs more to have cleared than the count itself.
std::vector<Blob> findBlobs(const Picture& picture, std::uint32_t targetColour, const BlobSettings& settings,
                            int threads)
{
    if (picture.empty() || !(settings.scale > 0)) return {};
    threads = workerThreads(threads);
    const Flattening f = flattening(picture, targetColour, threads);
    const std::vector<float> half = gaussianHalfKernel(settings.scale);
    const auto factor = static_cast<float>(settings.scale * settings.scale);
    const auto floor = static_cast<float>(settings.threshold);
    const int height = picture.height();
    const int bands = (height + kBandRows - 1) / kBandRows;
    std::vector<std::vector<Blob>> found(static_cast<std::size_t>(bands));
    parallelSlices(bands, threads, [&](int firstBand, int endBand) {
        BandBuffers buffers(f, picture.width());
        for (int band = firstBand; band < endBand; ++band)
            bandPeaks(picture, f, half, factor, floor, band * kBandRows, std::min(height, (band + 1) * kBandRows),
                      buffers, found[static_cast<std::size_t>(band)]);
    });
    std::vector<Blob> peaks;
    for (const std::vector<Blob>& part : found) peaks.insert(peaks.end(), part.begin(), part.end());
    strongestFirst(peaks);
    return keepDistantPeaks(peaks, settings.minDistance);
}
