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

FloatPlane flattenedChannel(const Picture& picture, std::uint32_t targetColour, int threads)
{
    threads = workerThreads(threads);
    FloatPlane flat;
    if (picture.empty()) return flat;
    const int width = picture.width(), height = picture.height();
    const ColourModel model = buildColourModel(targetColour);
    const int channel = model.dominant;

    // Block histograms: the brightest quarter-percentile rule picks background in a bright-particle
    // picture; for dark particles the roles turn, so both ends are taken and the polarity decides.
    const int blockColumns = (width + kBlock - 1) / kBlock, blockRows = (height + kBlock - 1) / kBlock;
    const BlockPercentiles blocks = blockPercentiles(picture, channel, kBlock, kBlockSampleStep, kBackgroundShare, threads);
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
    std::vector<float> level(raw.size());
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

    flat.width = width;
    flat.height = height;
    flat.values.resize(static_cast<std::size_t>(width) * height);
    // Particles = light / background - 1: the inverse level is interpolated (bilinearly between block
    // centres), so a pixel costs one multiplication.
    const float sign = brightParticles ? 1.0F : -1.0F;
    for (float& value : level) value = sign / value;
    // Per column: the block column to its left (clamped) and its weight towards the next one.
    std::vector<int> leftBlock(static_cast<std::size_t>(width));
    std::vector<float> rightWeight(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const float fx = std::clamp((x + 0.5F) / kBlock - 0.5F, 0.0F, static_cast<float>(blockColumns - 1));
        leftBlock[static_cast<std::size_t>(x)] = std::min(static_cast<int>(fx), std::max(0, blockColumns - 2));
        rightWeight[static_cast<std::size_t>(x)] = fx - static_cast<float>(leftBlock[static_cast<std::size_t>(x)]);
    }
    parallelSlices(height, threads, [&](int firstRow, int endRow) {
        std::vector<float> inverse(static_cast<std::size_t>(width));
        std::vector<float> column(static_cast<std::size_t>(blockColumns) + 1);
        for (int y = firstRow; y < endRow; ++y) {
            const float fy = std::clamp((y + 0.5F) / kBlock - 0.5F, 0.0F, static_cast<float>(blockRows - 1));
            const int by = std::min(static_cast<int>(fy), std::max(0, blockRows - 2));
            const int by1 = std::min(by + 1, blockRows - 1);
            const float wy = fy - static_cast<float>(by);
            for (int bx = 0; bx < blockColumns; ++bx)
                column[static_cast<std::size_t>(bx)] =
                    level[static_cast<std::size_t>(by) * blockColumns + bx] * (1 - wy) +
                    level[static_cast<std::size_t>(by1) * blockColumns + bx] * wy;
            column[static_cast<std::size_t>(blockColumns)] = column[static_cast<std::size_t>(blockColumns) - 1];
            for (int x = 0; x < width; ++x) {
                const auto b = static_cast<std::size_t>(leftBlock[static_cast<std::size_t>(x)]);
                const float w = rightWeight[static_cast<std::size_t>(x)];
                inverse[static_cast<std::size_t>(x)] = column[b] + w * (column[b + 1] - column[b]);
            }
            const std::uint8_t* source = picture.row(y) + channel;
            float* out = flat.row(y);
            for (int x = 0; x < width; ++x)
                out[x] = static_cast<float>(source[3 * x]) * inverse[static_cast<std::size_t>(x)] - sign;
        }
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

FloatPlane blobResponse(FloatPlane flat, double scale, int threads)
{
    threads = workerThreads(threads);
    const int width = flat.width, height = flat.height;
    if (width == 0 || height == 0) return flat;
    const std::vector<float> half = gaussianHalfKernel(scale);
    const int radius = static_cast<int>(half.size()) - 1;

    // Across: each row smoothed into blurred, its ends continued with their edge values.
    FloatPlane blurred;
    blurred.width = width;
    blurred.height = height;
    blurred.values.resize(flat.values.size());
    parallelSlices(height, threads, [&](int firstRow, int endRow) {
        std::vector<float> padded(static_cast<std::size_t>(width + 2 * radius));
        for (int y = firstRow; y < endRow; ++y) {
            const float* in = flat.row(y);
            std::fill(padded.begin(), padded.begin() + radius, in[0]);
            std::copy(in, in + width, padded.begin() + radius);
            std::fill(padded.begin() + radius + width, padded.end(), in[width - 1]);
            float* out = blurred.row(y);
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
    });
    // Down: back into flat's buffer; whole rows at a time so the inner loop runs along memory.
    FloatPlane& smooth = flat;
    parallelSlices(height, threads, [&](int firstRow, int endRow) {
        for (int y = firstRow; y < endRow; ++y) {
            float* out = smooth.row(y);
            const float* centre = blurred.row(y);
            for (int x = 0; x < width; ++x) out[x] = half[0] * centre[x];
            for (int k = 1; k <= radius; ++k) {
                const float* up = blurred.row(std::max(0, y - k));
                const float* down = blurred.row(std::min(height - 1, y + k));
                const float w = half[static_cast<std::size_t>(k)];
                for (int x = 0; x < width; ++x) out[x] += w * (up[x] + down[x]);
            }
        }
    });
    // The Laplacian of the smoothed plane, into blurred's buffer.
    const auto factor = static_cast<float>(scale * scale);
    parallelSlices(height, threads, [&](int firstRow, int endRow) {
        for (int y = firstRow; y < endRow; ++y) {
            const float* up = smooth.row(std::max(0, y - 1));
            const float* here = smooth.row(y);
            const float* down = smooth.row(std::min(height - 1, y + 1));
            float* out = blurred.row(y);
            out[0] = factor * (4 * here[0] - here[0] - here[std::min(width - 1, 1)] - up[0] - down[0]);
            for (int x = 1; x + 1 < width; ++x)
                out[x] = factor * (4 * here[x] - here[x - 1] - here[x + 1] - up[x] - down[x]);
            if (width > 1)
                out[width - 1] = factor * (3 * here[width - 1] - here[width - 2] - up[width - 1] - down[width - 1]);
        }
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
            std::vector<Blob>& peaks = found[static_cast<std::size_t>(slice)];
            for (int y = firstRow; y < endRow; ++y) {
                const float* up = y > 0 ? response.row(y - 1) : nullptr;
                const float* here = response.row(y);
                const float* down = y + 1 < height ? response.row(y + 1) : nullptr;
                for (int x = 0; x < width; ++x) {
                    const float v = here[x];
                    if (v < floor) continue;
                    // Strictly above the neighbours before it in reading order, at least equal to the
                    // ones after: a flat top gives one peak, its first pixel.
                    bool peak = true;
                    if (up) {
                        peak = up[x] < v && (x == 0 || up[x - 1] < v) && (x + 1 == width || up[x + 1] < v);
                    }
                    peak = peak && (x == 0 || here[x - 1] < v) && (x + 1 == width || here[x + 1] <= v);
                    if (peak && down)
                        peak = down[x] <= v && (x == 0 || down[x - 1] <= v) && (x + 1 == width || down[x + 1] <= v);
                    if (peak) peaks.push_back({x, y, v});
                }
            }
        }
    });
    std::vector<Blob> peaks;
    for (const std::vector<Blob>& part : found) peaks.insert(peaks.end(), part.begin(), part.end());
    std::stable_sort(peaks.begin(), peaks.end(), [](const Blob& a, const Blob& b) { return a.response > b.response; });
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

std::vector<Blob> findBlobs(const Picture& picture, std::uint32_t targetColour, const BlobSettings& settings,
                            int threads)
{
    if (picture.empty() || !(settings.scale > 0)) return {};
    const FloatPlane response = blobResponse(flattenedChannel(picture, targetColour, threads), settings.scale, threads);
    return keepDistantPeaks(responsePeaks(response, static_cast<float>(settings.threshold), threads),
                            settings.minDistance);
}
