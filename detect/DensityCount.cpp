#include "detect/DensityCount.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numeric>
#include <utility>

#include "detect/ColourModel.h"
#include "detect/DensityForest.h"
#include "detect/DensityPeaks.h"
#include "detect/ParameterSearch.h"
#include "detect/Parallel.h"
#include "detect/TileBlur.h"

namespace {

// Features: per scale the smoothed value, gradient magnitude, Laplacian of Gaussian, both Hessian and
// both structure-tensor eigenvalues and a difference of Gaussians.
constexpr int kFeaturesPerScale = 8;
// The first of a scale's features are made from its smoothed values alone: the count can look at
// them (the gate) before it makes the others.
constexpr int kSmoothedFeatures = 5;
constexpr int kLogFeature = 2;  // of a scale's features, the Laplacian of Gaussian
// The feature scales as multiples of the particle scale (about a third to three times it).
constexpr double kScaleFactors[] = {0.3, 0.5, 0.8, 1.3, 2.0, 3.0};
constexpr double kDogRatio = 1.6;          // the second Gaussian of a difference, over the first
constexpr double kIntegrationRatio = 0.5;  // the structure tensor's smoothing, over the scale
constexpr double kLeastScale = 0.3;        // pixels
constexpr int kColourFeatures = 6;         // two other channels and the dominant one, at two scales

// The forest.
constexpr int kTrees = 24;
constexpr int kMaxDepth = 18;
constexpr int kLeastLeafSamples = 6;
constexpr int kFeatureTries = 40;          // random (feature, threshold) pairs tried at a split
constexpr std::size_t kMaxSamples = 300000; // teaching pixels used at most (sampled evenly beyond)
constexpr std::uint64_t kSeed = 0x5107A11EDu;
constexpr double kLeastCalibration = 0.5;  // out-of-bag scaling of the leaves: at least this, at most its inverse

// The gate: pixels plainly background are neither taught on nor predicted. Below the gate's threshold
// lies at most this share of the marks' density in the teaching pictures...
constexpr double kGateMassShare = 0.001;
// ... and the threshold is then this share of that value, for fainter particles on later pictures.
constexpr double kGateSafety = 0.5;

// Cropping and tiling.
constexpr int kTile = 320;                 // the count's tiles: fixed, so the result ignores the threads
constexpr std::size_t kBandValues = 1u << 20;  // the density kept at a time while counting, at most
constexpr int kPredictedTogether = 2048;       // pixels the forest walks at a time (at least a tile's row)
static_assert(kPredictedTogether >= kTile);
constexpr int kCropMargin = 192;           // kept around the teaching region for the background level
constexpr int kBlockAlign = 32;            // the background level's blocks; crops start on them

// The particle scale: the LoG scales tried.
constexpr double kLeastParticleScale = 0.8;
constexpr double kLargestParticleScale = 24.0;
constexpr double kScaleStep = 1.12;
constexpr double kLeastTargetSigma = 1.0;
// Each mark is taught as a Gaussian this much narrower than the particle: the density then lies on the
// particle's body, whose look carries to the next picture, rather than on the ground around it.
constexpr double kTargetSpread = 0.7;

// The positions: a peak must reach this share of one particle's peak density.
constexpr double kPeakShare = 0.2;

constexpr int kAdvisedDensityMarks = 30;

std::uint64_t splitMix(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

/// A uniform number in (0, 1), from the top 53 bits.
double uniformOpen(std::uint64_t& state)
{
    return (static_cast<double>(splitMix(state) >> 11) + 0.5) * (1.0 / 9007199254740992.0);
}

// ---- The background-normalised channel ----

constexpr int kBlock = 32;                 // the background level's blocks
constexpr double kBackgroundShare = 0.05;  // the background is at least this share of a block...
constexpr int kEnvelopeReach = 2;          // ... or of some block within this many blocks
// A ground darker than this (a quarter of the full scale) is taken as this level: so dark a ground is
// the camera's offset and the glow of particles nearby, not light, and dividing by it would make the
// particles of a crowded field look fainter than the same particles on an empty one.
constexpr float kDarkestLevel = 64.0F;

/// The background level a picture's target channel is divided by (see normalisedChannel): per block
/// the sign over the level, and where each column lies between the blocks' centres.
struct BackgroundLevel {
    int channel = 0;                 // the target's dominant channel
    float sign = 1;                  // -1 for dark particles on a bright ground
    int blockColumns = 0, blockRows = 0;
    std::vector<float> level;        // sign / level, block after block
    std::vector<float> offset;       // the level itself, block after block
    std::vector<int> leftBlock;      // per column: the block whose centre is at or left of it...
    std::vector<float> rightWeight;  // ... and the share of the next block
};

/// The level is a low percentile of 32 x 32 blocks (a high one for dark particles), then the lowest
/// (highest) of the blocks around, so that a block crowded with particles takes its level from the
/// gaps near it; then smoothed over the blocks around.
BackgroundLevel backgroundLevel(const Picture& picture, std::uint32_t targetColour, int threads)
{
    BackgroundLevel background;
    const int width = picture.width(), height = picture.height();
    const ColourModel model = buildColourModel(targetColour);
    const int channel = model.dominant;
    const int blockColumns = (width + kBlock - 1) / kBlock, blockRows = (height + kBlock - 1) / kBlock;
    const BlockPercentiles percentiles = blockPercentiles(picture, channel, kBlock, 1, kBackgroundShare, threads);
    const std::vector<float>& low = percentiles.low;
    const std::vector<float>& high = percentiles.high;
    std::vector<float> sortedLow = low;
    std::nth_element(sortedLow.begin(), sortedLow.begin() + static_cast<std::ptrdiff_t>(sortedLow.size() / 2),
                     sortedLow.end());
    const bool brightParticles = model.dominantValue >= sortedLow[sortedLow.size() / 2];
    const std::vector<float>& raw = brightParticles ? low : high;
    const auto neighbourhood = [&](const std::vector<float>& in, int reach, bool envelope) {
        std::vector<float> out(in.size());
        for (int by = 0; by < blockRows; ++by)
            for (int bx = 0; bx < blockColumns; ++bx) {
                float best = in[static_cast<std::size_t>(by) * blockColumns + bx], sum = 0;
                int n = 0;
                for (int ny = std::max(0, by - reach); ny <= std::min(blockRows - 1, by + reach); ++ny)
                    for (int nx = std::max(0, bx - reach); nx <= std::min(blockColumns - 1, bx + reach); ++nx) {
                        const float v = in[static_cast<std::size_t>(ny) * blockColumns + nx];
                        best = brightParticles ? std::min(best, v) : std::max(best, v);
                        sum += v;
                        ++n;
                    }
                out[static_cast<std::size_t>(by) * blockColumns + bx] = envelope ? best : sum / static_cast<float>(n);
            }
        return out;
    };
    const std::vector<float> level = neighbourhood(neighbourhood(raw, kEnvelopeReach, true), kEnvelopeReach, false);
    background.sign = brightParticles ? 1.0F : -1.0F;
    // The level is taken off and what is left divided by it: on a dark ground the level is mostly the
    // camera's offset and uneven light, which must not reach the features either.
    background.offset = level;
    background.level.resize(level.size());
    for (std::size_t i = 0; i < level.size(); ++i) background.level[i] = background.sign / std::max(kDarkestLevel, level[i]);
    background.channel = channel;
    background.blockColumns = blockColumns;
    background.blockRows = blockRows;
    background.leftBlock.resize(static_cast<std::size_t>(width));
    background.rightWeight.resize(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const float fx = std::clamp((x + 0.5F) / kBlock - 0.5F, 0.0F, static_cast<float>(blockColumns - 1));
        const int left = std::min(static_cast<int>(fx), std::max(0, blockColumns - 2));
        background.leftBlock[static_cast<std::size_t>(x)] = left;
        background.rightWeight[static_cast<std::size_t>(x)] = fx - static_cast<float>(left);
    }
    return background;
}

/// Columns x0 to x1 - 1 of row y of the normalised channel into out. column is scratch.
void normalisedRow(const Picture& picture, const BackgroundLevel& background, int y, int x0, int x1, float* out,
                   std::vector<float>& column)
{
    const int blockColumns = background.blockColumns, blockRows = background.blockRows;
    const std::size_t stride = static_cast<std::size_t>(blockColumns) + 1;
    column.resize(2 * stride);  // the gains, then the offsets
    const float fy = std::clamp((y + 0.5F) / kBlock - 0.5F, 0.0F, static_cast<float>(blockRows - 1));
    const int by = std::min(static_cast<int>(fy), std::max(0, blockRows - 2));
    const int by1 = std::min(by + 1, blockRows - 1);
    const float wy = fy - static_cast<float>(by);
    // The level down this row, at the block centres the columns lie between.
    const int firstBlock = background.leftBlock[static_cast<std::size_t>(x0)];
    const int endBlock = std::min(blockColumns, background.leftBlock[static_cast<std::size_t>(x1 - 1)] + 2);
    const float* level = background.level.data();
    const float* offset = background.offset.data();
    float* gains = column.data();
    float* offsets = column.data() + stride;
    for (int bx = firstBlock; bx < endBlock; ++bx) {
        const std::size_t above = static_cast<std::size_t>(by) * blockColumns + bx;
        const std::size_t below = static_cast<std::size_t>(by1) * blockColumns + bx;
        gains[bx] = level[above] * (1 - wy) + level[below] * wy;
        offsets[bx] = offset[above] * (1 - wy) + offset[below] * wy;
    }
    gains[blockColumns] = gains[blockColumns - 1];
    offsets[blockColumns] = offsets[blockColumns - 1];
    const std::uint8_t* source = picture.row(y) + background.channel;
    for (int x = x0; x < x1; ++x) {
        const auto b = static_cast<std::size_t>(background.leftBlock[static_cast<std::size_t>(x)]);
        const float w = background.rightWeight[static_cast<std::size_t>(x)];
        const float ground = offsets[b] + w * (offsets[b + 1] - offsets[b]);
        out[x - x0] = (static_cast<float>(source[3 * x]) - ground) * (gains[b] + w * (gains[b + 1] - gains[b]));
    }
}

}  // namespace

FloatPlane normalisedChannel(const Picture& picture, std::uint32_t targetColour, int threads)
{
    FloatPlane flat;
    if (picture.empty()) return flat;
    const BackgroundLevel background = backgroundLevel(picture, targetColour, threads);
    flat.width = picture.width();
    flat.height = picture.height();
    flat.values.resize(static_cast<std::size_t>(flat.width) * static_cast<std::size_t>(flat.height));
    parallelSlices(flat.height, threads, [&](int firstRow, int endRow) {
        std::vector<float> column;
        for (int y = firstRow; y < endRow; ++y) normalisedRow(picture, background, y, 0, flat.width, flat.row(y), column);
    });
    return flat;
}

namespace {

// ---- Features ----

// Four floats worked side by side (a GCC and Clang vector type), each as the plain loop works it.
typedef float Floats4 __attribute__((vector_size(16)));

/// The margin features need around a pixel.
int featureMargin(const std::vector<double>& scales)
{
    const double largest = scales.empty() ? 1.0 : scales.back();
    const double reach = std::max(largest * kDogRatio, largest * (1.0 + kIntegrationRatio));
    return static_cast<int>(std::ceil(3.0 * reach)) + 2;
}

/// The features of one tile's pixels. Each plane is computed over just the part of the tile's
/// neighbourhood that the tile's own features need; the smoothed values first, so that a caller can
/// look at them before asking for the rest.
class TileFeatures {
public:
    TileFeatures(const std::vector<double>& scales, std::uint32_t targetColour);

    /// Starts the tile inner (picture coordinates) of picture, whose background level is background.
    void start(const Picture& picture, const BackgroundLevel& background, const TileRect& inner);
    /// The smoothed value at scale s over the tile (feature s * kFeaturesPerScale).
    const TileBuffer& smoothed(std::size_t s);
    /// Only the pixels of area (inside the tile) will be asked for: the planes still to come are made
    /// over it alone, and it is the tile from now on.
    void narrow(const TileRect& area) { inner_ = area; }
    /// Computes every other plane the features need; wanted (when given, over the tile) holds the only
    /// pixels whose features will be asked for.
    void complete(const TileRuns* wanted = nullptr);
    /// Feature (one made from a scale's smoothed values alone) at the pixels xs of row y; its scale
    /// must have been smoothed.
    void gateValues(int feature, int y, const int* xs, int count, float* out) const;
    /// The features of the pixels xs of row y of the tile, featureCount after featureCount into out.
    void rowFeatures(int y, const int* xs, int count, float* out) const;
    int featureCount() const { return featureCount_; }

private:
    struct Scale {
        double sigma;
        std::vector<float> kernel, wider, integration;  // the Gaussians of sigma, of the DoG and of the tensor
        TileBuffer smooth;                              // over the tile, grown by what the tensor reaches
        TileBuffer wide;                                // over the tile
        TileBuffer tensorHigh, tensorLow;               // the structure tensor's eigenvalues, over the tile
        bool smoothed = false;
    };

    /// The first kSmoothedFeatures features of scale s at the pixels xs of row y, stride apart in out.
    void smoothedFeatures(std::size_t s, int y, const int* xs, int count, float* out, std::size_t stride) const;

    std::vector<Scale> scales_;
    std::vector<float> colourKernels_[2];
    int others_[3];  // the channels of the colour features; the third is the dominant one
    int featureCount_;
    int margin_;  // featureMargin
    const Picture* picture_ = nullptr;
    TileRect inner_, outer_;
    TileBuffer source_, across_, gxx_, gyy_, gxy_, sxx_, syy_, sxy_;
    TileBuffer colours_[3][2];  // per channel and scale, over the tile
};

TileFeatures::TileFeatures(const std::vector<double>& scales, std::uint32_t targetColour)
{
    for (double sigma : scales) {
        Scale scale;
        scale.sigma = sigma;
        scale.kernel = gaussianHalfKernel(sigma);
        scale.wider = gaussianHalfKernel(sigma * kDogRatio);
        scale.integration = gaussianHalfKernel(std::max(kLeastScale, sigma * kIntegrationRatio));
        scales_.push_back(std::move(scale));
    }
    const double colourScales[2] = {scales[std::min<std::size_t>(1, scales.size() - 1)],
                                    scales[std::min<std::size_t>(3, scales.size() - 1)]};
    for (int k = 0; k < 2; ++k) colourKernels_[k] = gaussianHalfKernel(colourScales[k]);
    const ColourModel colours = buildColourModel(targetColour);
    others_[0] = colours.second;
    others_[1] = colours.third;
    others_[2] = colours.dominant;
    featureCount_ = static_cast<int>(scales.size()) * kFeaturesPerScale + kColourFeatures;
    margin_ = featureMargin(scales);
}

void TileFeatures::start(const Picture& picture, const BackgroundLevel& background, const TileRect& inner)
{
    picture_ = &picture;
    inner_ = inner;
    outer_ = inner.grown(margin_, {0, 0, picture.width(), picture.height()});
    source_.resize(outer_);
    std::vector<float> column;
    for (int y = outer_.y0; y < outer_.y1; ++y)
        normalisedRow(picture, background, y, outer_.x0, outer_.x1, source_.row(y), column);
    for (Scale& scale : scales_) scale.smoothed = false;
}

const TileBuffer& TileFeatures::smoothed(std::size_t s)
{
    Scale& scale = scales_[s];
    if (!scale.smoothed) {
        // The tensor's blur reaches its radius, and the gradient one pixel further.
        const int reach = static_cast<int>(scale.integration.size());
        gaussianBlur(source_, inner_.grown(reach, outer_), scale.kernel, scale.smooth, across_);
        scale.smoothed = true;
    }
    return scale.smooth;
}

void TileFeatures::complete(const TileRuns* wanted)
{
    for (std::size_t s = 0; s < scales_.size(); ++s) {
        Scale& scale = scales_[s];
        const TileBuffer& smooth = smoothed(s);
        gaussianBlur(source_, inner_, scale.wider, scale.wide, across_, wanted);
        // Gradients by central differences (one-sided at the picture's edge), and their products.
        const auto norm1 = static_cast<float>(scale.sigma);
        const TileRect products = inner_.grown(static_cast<int>(scale.integration.size()) - 1, outer_);
        gxx_.resize(products);
        gyy_.resize(products);
        gxy_.resize(products);
        const int sx = smooth.rect.x0, px0 = products.x0;
        for (int y = products.y0; y < products.y1; ++y) {
            const float* row = smooth.row(y);
            const float* up = smooth.row(std::max(outer_.y0, y - 1));
            const float* down = smooth.row(std::min(outer_.y1 - 1, y + 1));
            float* a = gxx_.row(y);
            float* b = gyy_.row(y);
            float* c = gxy_.row(y);
            const auto product = [&](int x) {
                const float left = row[std::max(outer_.x0, x - 1) - sx], right = row[std::min(outer_.x1 - 1, x + 1) - sx];
                const float px = 0.5F * (right - left) * norm1;
                const float py = 0.5F * (down[x - sx] - up[x - sx]) * norm1;
                a[x - px0] = px * px;
                b[x - px0] = py * py;
                c[x - px0] = px * py;
            };
            // Away from the picture's edge four at a time, with the same sums.
            const int first = std::max(products.x0, outer_.x0 + 1), end = std::min(products.x1, outer_.x1 - 1);
            int x = products.x0;
            for (; x < first; ++x) product(x);
            for (; x + 4 <= end; x += 4) {
                Floats4 left, right, above, below;
                std::memcpy(&left, row + (x - 1 - sx), sizeof left);
                std::memcpy(&right, row + (x + 1 - sx), sizeof right);
                std::memcpy(&above, up + (x - sx), sizeof above);
                std::memcpy(&below, down + (x - sx), sizeof below);
                const Floats4 px = 0.5F * (right - left) * norm1;
                const Floats4 py = 0.5F * (below - above) * norm1;
                const Floats4 xx = px * px, yy = py * py, xy = px * py;
                std::memcpy(a + (x - px0), &xx, sizeof xx);
                std::memcpy(b + (x - px0), &yy, sizeof yy);
                std::memcpy(c + (x - px0), &xy, sizeof xy);
            }
            for (; x < products.x1; ++x) product(x);
        }
        gaussianBlur(gxx_, inner_, scale.integration, sxx_, across_, wanted);
        gaussianBlur(gyy_, inner_, scale.integration, syy_, across_, wanted);
        gaussianBlur(gxy_, inner_, scale.integration, sxy_, across_, wanted);
        scale.tensorHigh.resize(inner_);
        scale.tensorLow.resize(inner_);
        for (int y = inner_.y0; y < inner_.y1; ++y) {
            const std::size_t row = static_cast<std::size_t>(y - inner_.y0);
            const int firstRun = wanted != nullptr ? wanted->first[row] : 0;
            const int endRun = wanted != nullptr ? wanted->first[row + 1] : 1;
            for (int r = firstRun; r < endRun; ++r) {
                const auto [x0, x1] =
                    wanted != nullptr ? wanted->runs[static_cast<std::size_t>(r)] : std::pair{inner_.x0, inner_.x1};
                const float* txx = sxx_.row(y);
                const float* tyy = syy_.row(y);
                const float* txy = sxy_.row(y);
                float* high = scale.tensorHigh.row(y);
                float* low = scale.tensorLow.row(y);
                for (int i = x0 - inner_.x0; i < x1 - inner_.x0; ++i) {
                    const float tm = 0.5F * (txx[i] + tyy[i]);
                    const float td = std::sqrt(0.25F * (txx[i] - tyy[i]) * (txx[i] - tyy[i]) + txy[i] * txy[i]);
                    high[i] = tm + td;
                    low[i] = tm - td;
                }
            }
        }
    }
    // Colour: each other channel over the dominant one (the light cancels), smoothed at two scales.
    // They tell particles from debris of another colour.
    const int reach = static_cast<int>(std::max(colourKernels_[0].size(), colourKernels_[1].size())) - 1;
    const TileRect area = inner_.grown(reach, outer_);
    const int dominant = others_[2];
    for (int c = 0; c < 3; ++c) {
        source_.resize(area);  // the normalised channel is no longer needed
        for (int y = area.y0; y < area.y1; ++y) {
            const std::uint8_t* pixels = picture_->row(y) + 3 * static_cast<std::size_t>(area.x0);
            float* out = source_.row(y);
            if (c == 2) {
                // The dominant channel compressed: the brightness of overlapping particles adds up.
                for (int x = 0; x < area.width(); ++x) out[x] = 4.0F / (static_cast<float>(pixels[3 * x + dominant]) + 4.0F);
                continue;
            }
            for (int x = 0; x < area.width(); ++x)
                out[x] = (static_cast<float>(pixels[3 * x + others_[c]]) + 4.0F) /
                         (static_cast<float>(pixels[3 * x + dominant]) + 4.0F);
        }
        for (int k = 0; k < 2; ++k) gaussianBlur(source_, inner_, colourKernels_[k], colours_[c][k], across_, wanted);
    }
}

void TileFeatures::smoothedFeatures(std::size_t s, int y, const int* xs, int count, float* out,
                                    std::size_t stride) const
{
    const Scale& scale = scales_[s];
    const int left = outer_.x0, right = outer_.x1 - 1;
    const auto norm1 = static_cast<float>(scale.sigma);
    const auto norm2 = static_cast<float>(scale.sigma * scale.sigma);
    const TileBuffer& smooth = scale.smooth;
    const float* row = smooth.row(y);
    const float* up = smooth.row(std::max(outer_.y0, y - 1));
    const float* down = smooth.row(std::min(outer_.y1 - 1, y + 1));
    const int sx = smooth.rect.x0;
    float* f = out;
    for (int i = 0; i < count; ++i, f += stride) {
        const int x = xs[i] - sx;  // in the smoothed rows
        const int xl = std::max(left, xs[i] - 1) - sx, xr = std::min(right, xs[i] + 1) - sx;
        const float px = 0.5F * (row[xr] - row[xl]) * norm1;
        const float py = 0.5F * (down[x] - up[x]) * norm1;
        const float hxx = (row[xr] - 2 * row[x] + row[xl]) * norm2;
        const float hyy = (down[x] - 2 * row[x] + up[x]) * norm2;
        const float hxy = 0.25F * (down[xr] - down[xl] - up[xr] + up[xl]) * norm2;
        const float hm = 0.5F * (hxx + hyy);
        const float hd = std::sqrt(0.25F * (hxx - hyy) * (hxx - hyy) + hxy * hxy);
        f[0] = row[x];
        f[1] = std::sqrt(px * px + py * py);
        f[2] = -(hxx + hyy);
        f[3] = hm + hd;
        f[4] = hm - hd;
    }
}

void TileFeatures::gateValues(int feature, int y, const int* xs, int count, float* out) const
{
    const auto s = static_cast<std::size_t>(feature / kFeaturesPerScale);
    const int kind = feature % kFeaturesPerScale;
    if (kind == kLogFeature) {
        // The Laplacian alone, as smoothedFeatures makes it.
        const Scale& scale = scales_[s];
        const auto norm2 = static_cast<float>(scale.sigma * scale.sigma);
        const TileBuffer& smooth = scale.smooth;
        const float* row = smooth.row(y);
        const float* up = smooth.row(std::max(outer_.y0, y - 1));
        const float* down = smooth.row(std::min(outer_.y1 - 1, y + 1));
        const int sx = smooth.rect.x0, left = outer_.x0, right = outer_.x1 - 1;
        for (int i = 0; i < count; ++i) {
            const int x = xs[i] - sx;
            const int xl = std::max(left, xs[i] - 1) - sx, xr = std::min(right, xs[i] + 1) - sx;
            const float hxx = (row[xr] - 2 * row[x] + row[xl]) * norm2;
            const float hyy = (down[x] - 2 * row[x] + up[x]) * norm2;
            out[i] = -(hxx + hyy);
        }
        return;
    }
    float values[kSmoothedFeatures];
    for (int i = 0; i < count; ++i) {
        smoothedFeatures(s, y, xs + i, 1, values, kSmoothedFeatures);
        out[i] = values[kind];
    }
}

void TileFeatures::rowFeatures(int y, const int* xs, int count, float* out) const
{
    const std::size_t stride = static_cast<std::size_t>(featureCount_);
    for (std::size_t s = 0; s < scales_.size(); ++s) {
        const Scale& scale = scales_[s];
        smoothedFeatures(s, y, xs, count, out + s * kFeaturesPerScale, stride);
        const float* row = scale.smooth.row(y);
        const float* wideRow = scale.wide.row(y);
        const float* high = scale.tensorHigh.row(y);
        const float* low = scale.tensorLow.row(y);
        const int sx = scale.smooth.rect.x0, ix0 = inner_.x0;
        float* f = out + s * kFeaturesPerScale;
        for (int i = 0; i < count; ++i, f += stride) {
            const int ix = xs[i] - ix0;  // in the tile's rows
            f[5] = high[ix];
            f[6] = low[ix];
            f[7] = row[xs[i] - sx] - wideRow[ix];
        }
    }
    const std::size_t base = scales_.size() * kFeaturesPerScale;
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 2; ++k) {
            const float* row = colours_[c][k].row(y);
            float* f = out + base + static_cast<std::size_t>(2 * c + k);
            for (int i = 0; i < count; ++i, f += stride) *f = row[xs[i] - inner_.x0];
        }
}

// ---- Teaching samples ----

/// Teaching is bagged by blocks of this size, a few particles across: neighbouring pixels show the
/// same particle, so a pixel held out alone would not be new to a tree.
int bagBlockSize(const DensityModel& model)
{
    return std::max(24, static_cast<int>(std::ceil(8.0 * model.particleScale)));
}

struct Samples {
    int featureCount = 0;
    std::vector<float> features;  // sample after sample
    std::vector<float> targets;
    std::vector<std::uint32_t> blocks;  // the teaching block each sample lies in (see bagBlockSize)
    std::size_t size() const { return targets.size(); }
};

/// A deterministic pseudo-random number in [0, 1) for a pixel of a teaching picture.
double pixelHash(std::size_t picture, int x, int y)
{
    std::uint64_t state = kSeed ^ (static_cast<std::uint64_t>(picture) << 48) ^
                          (static_cast<std::uint64_t>(static_cast<std::uint32_t>(y)) << 24) ^
                          static_cast<std::uint64_t>(static_cast<std::uint32_t>(x));
    return static_cast<double>(splitMix(state) >> 11) * (1.0 / 9007199254740992.0);
}

/// The colour the set's marks show: per channel the median over all pictures' marks.
std::uint32_t setColour(const TeachingSet& set)
{
    std::vector<int> channels[3];
    for (const TeachingPicture& taught : set.pictures) {
        std::vector<Mark> local;
        for (const Mark& mark : taught.marks) local.push_back({mark.x - taught.cropX, mark.y - taught.cropY});
        if (local.empty()) continue;
        const std::uint32_t colour = markedColour(taught.crop, local);
        // Weighted by the picture's marks: each mark adds the picture's colour once.
        for (std::size_t i = 0; i < local.size(); ++i) {
            channels[0].push_back(colourRed(colour));
            channels[1].push_back(colourGreen(colour));
            channels[2].push_back(colourBlue(colour));
        }
    }
    int median[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c) {
        if (channels[c].empty()) continue;
        std::nth_element(channels[c].begin(), channels[c].begin() + static_cast<std::ptrdiff_t>(channels[c].size() / 2),
                         channels[c].end());
        median[c] = channels[c][channels[c].size() / 2];
    }
    return rgbColour(median[0], median[1], median[2]);
}

/// The particle scale of the set: the LoG scale whose response, summed over all marks (each the
/// largest of its 3 x 3 neighbourhood), is highest; at most half the marks' median neighbour distance.
double setParticleScale(const TeachingSet& set, std::uint32_t colour, int threads)
{
    std::vector<double> ladder;
    for (double s = kLeastParticleScale; s <= kLargestParticleScale; s *= kScaleStep) ladder.push_back(s);
    std::vector<double> response(ladder.size(), 0.0);
    std::vector<double> neighbourDistances;
    for (const TeachingPicture& taught : set.pictures) {
        if (taught.marks.empty()) continue;
        const FloatPlane flat = normalisedChannel(taught.crop, colour, threads);
        for (std::size_t i = 0; i < ladder.size(); ++i) {
            const FloatPlane log = blobResponse(flat, ladder[i], threads);
            for (const Mark& mark : taught.marks) {
                const int x = mark.x - taught.cropX, y = mark.y - taught.cropY;
                float best = -1e30F;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = std::clamp(x + dx, 0, log.width - 1), ny = std::clamp(y + dy, 0, log.height - 1);
                        best = std::max(best, log.row(ny)[nx]);
                    }
                response[i] += best;
            }
        }
        for (std::size_t i = 0; i < taught.marks.size(); ++i) {
            double nearest = 1e30;
            for (std::size_t j = 0; j < taught.marks.size(); ++j) {
                if (i == j) continue;
                const double dx = taught.marks[i].x - taught.marks[j].x, dy = taught.marks[i].y - taught.marks[j].y;
                nearest = std::min(nearest, std::sqrt(dx * dx + dy * dy));
            }
            if (nearest < 1e29) neighbourDistances.push_back(nearest);
        }
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < ladder.size(); ++i)
        if (response[i] > response[best]) best = i;
    double scale = ladder[best];
    // Between the ladder's steps: the top of the parabola through the best and its neighbours (in log scale).
    if (best > 0 && best + 1 < ladder.size()) {
        const double a = response[best - 1], b = response[best], c = response[best + 1];
        const double denominator = a - 2 * b + c;
        if (denominator < 0) {
            const double offset = std::clamp(0.5 * (a - c) / denominator, -0.5, 0.5);
            scale = ladder[best] * std::pow(kScaleStep, offset);
        }
    }
    if (!neighbourDistances.empty()) {
        std::nth_element(neighbourDistances.begin(),
                         neighbourDistances.begin() + static_cast<std::ptrdiff_t>(neighbourDistances.size() / 2),
                         neighbourDistances.end());
        const double median = neighbourDistances[neighbourDistances.size() / 2];
        scale = std::min(scale, std::max(kLeastParticleScale, median / 2));
    }
    return scale;
}

/// Each mark spread as a discrete Gaussian of sigma that sums to one, over the crop of taught.
TileBuffer targetDensity(const TeachingPicture& taught, double sigma)
{
    TileBuffer target;
    target.resize({0, 0, taught.crop.width(), taught.crop.height()});
    std::fill(target.values.begin(), target.values.end(), 0.0F);
    const int radius = static_cast<int>(std::ceil(3.0 * sigma));
    std::vector<double> weights;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) weights.push_back(std::exp(-0.5 * (dx * dx + dy * dy) / (sigma * sigma)));
    // A mark near the picture's edge keeps all of its particle inside: the count of a picture is the
    // marks whose centres lie in it, and the density must sum to that.
    for (const Mark& mark : taught.marks) {
        const int cx = mark.x - taught.cropX, cy = mark.y - taught.cropY;
        double inside = 0;
        std::size_t index = 0;
        for (int dy = -radius; dy <= radius; ++dy)
            for (int dx = -radius; dx <= radius; ++dx, ++index) {
                const int x = cx + dx, y = cy + dy;
                if (x >= 0 && y >= 0 && x < target.rect.width() && y < target.rect.height()) inside += weights[index];
            }
        if (!(inside > 0)) continue;
        index = 0;
        for (int dy = -radius; dy <= radius; ++dy)
            for (int dx = -radius; dx <= radius; ++dx, ++index) {
                const int x = cx + dx, y = cy + dy;
                if (x < 0 || y < 0 || x >= target.rect.width() || y >= target.rect.height()) continue;
                target.row(y)[x] += static_cast<float>(weights[index] / inside);
            }
    }
    return target;
}

/// The gate's threshold from the gate's values at the pixels of the teaching regions where the target
/// density is above zero, with those densities; none (the lowest float) when those pixels do not
/// stand above the ground.
float gateThreshold(std::vector<std::pair<float, float>> valueAndDensity)
{
    const float none = std::numeric_limits<float>::lowest();
    if (valueAndDensity.empty()) return none;
    std::sort(valueAndDensity.begin(), valueAndDensity.end());
    double total = 0;
    for (const auto& pair : valueAndDensity) total += pair.second;
    const double allowed = kGateMassShare * total;
    double below = 0;
    float threshold = valueAndDensity.back().first;
    for (const auto& [value, density] : valueAndDensity) {
        if (below + density > allowed) {
            threshold = value;
            break;
        }
        below += density;
    }
    // Where particles crowd, some of a particle's density lies where the Laplacian is below zero, as on
    // ground beside a particle: the gate cannot tell them apart, and there is none.
    return threshold > 0 ? static_cast<float>(kGateSafety * threshold) : none;
}

/// What one teaching picture gives to learn from, before the pixels are sampled.
struct TeachingPixels {
    BackgroundLevel background;
    std::vector<std::uint8_t> role;  // per crop pixel: 1 inside the region, 2 in a background box
    TileBuffer gate;                 // the gate's value, over the pixels that teach
    TileBuffer target;               // the taught density over the crop
};

/// The gate's feature over area of picture, tile by tile.
TileBuffer gatePlane(const Picture& picture, const BackgroundLevel& background, const DensityModel& model,
                     int feature, const TileRect& area, int threads)
{
    TileBuffer values;
    values.resize(area);
    const int tileColumns = (area.width() + kTile - 1) / kTile, tileRows = (area.height() + kTile - 1) / kTile;
    parallelSlices(tileColumns * tileRows, threads, [&](int first, int end) {
        TileFeatures features(model.featureScales, model.targetColour);
        std::vector<int> xs;
        for (int t = first; t < end; ++t) {
            const int tx = area.x0 + (t % tileColumns) * kTile, ty = area.y0 + (t / tileColumns) * kTile;
            const TileRect tile{tx, ty, std::min(area.x1, tx + kTile), std::min(area.y1, ty + kTile)};
            features.start(picture, background, tile);
            features.smoothed(static_cast<std::size_t>(feature / kFeaturesPerScale));
            xs.resize(static_cast<std::size_t>(tile.width()));
            std::iota(xs.begin(), xs.end(), tile.x0);
            for (int y = tile.y0; y < tile.y1; ++y)
                features.gateValues(feature, y, xs.data(), tile.width(), values.row(y) + (tile.x0 - area.x0));
        }
    });
    return values;
}

/// Learns the model's gate from the teaching set and gathers the teaching pixels' features and
/// targets: the pixels the gate lets through, sampled evenly when they are too many.
Samples gatherSamples(const TeachingSet& set, DensityModel& model, int threads)
{
    Samples samples;
    samples.featureCount = model.featureCount();
    const int bagBlock = bagBlockSize(model);
    const auto featureCount = static_cast<std::size_t>(samples.featureCount);
    // The gate: the Laplacian of Gaussian at the largest scale. It is zero on even ground whatever its
    // level, and above zero all over a particle's spread in the taught density.
    model.gateFeature = (static_cast<int>(model.featureScales.size()) - 1) * kFeaturesPerScale + kLogFeature;
    std::vector<TeachingPixels> pictures(set.pictures.size());
    std::vector<std::pair<float, float>> gateAndDensity;
    for (std::size_t p = 0; p < set.pictures.size(); ++p) {
        const TeachingPicture& taught = set.pictures[p];
        TeachingPixels& pixels = pictures[p];
        const int width = taught.crop.width(), height = taught.crop.height();
        pixels.background = backgroundLevel(taught.crop, model.targetColour, threads);
        pixels.role.assign(static_cast<std::size_t>(width) * height, 0);
        TileRect bounds{width, height, 0, 0};
        const auto paint = [&](const PixelRegion& box, std::uint8_t value) {
            const TileRect area = TileRect{box.x - taught.cropX, box.y - taught.cropY, box.x + box.width - taught.cropX,
                                           box.y + box.height - taught.cropY}
                                      .grown(0, {0, 0, width, height});
            for (int y = area.y0; y < area.y1; ++y)
                std::fill_n(pixels.role.begin() + static_cast<std::ptrdiff_t>(y) * width + area.x0,
                            std::max(0, area.width()), value);
            if (!area.empty())
                bounds = {std::min(bounds.x0, area.x0), std::min(bounds.y0, area.y0), std::max(bounds.x1, area.x1),
                          std::max(bounds.y1, area.y1)};
        };
        if (!taught.region.empty()) paint(taught.region, 1);
        for (const PixelRegion& box : taught.background) paint(box, 2);
        if (bounds.empty()) continue;
        pixels.gate = gatePlane(taught.crop, pixels.background, model, model.gateFeature, bounds, threads);
        pixels.target = targetDensity(taught, model.targetSigma);
        const TileBuffer& target = pixels.target;
        for (int y = bounds.y0; y < bounds.y1; ++y)
            for (int x = bounds.x0; x < bounds.x1; ++x)
                if (pixels.role[static_cast<std::size_t>(y) * width + x] == 1 && target.row(y)[x] > 0)
                    gateAndDensity.push_back({pixels.gate.at(x, y), target.row(y)[x]});
    }
    model.gateThreshold = gateThreshold(std::move(gateAndDensity));
    if (model.gateThreshold == std::numeric_limits<float>::lowest()) model.gateFeature = -1;

    std::size_t candidates = 0;
    for (std::size_t p = 0; p < set.pictures.size(); ++p) {
        TeachingPixels& pixels = pictures[p];
        const int width = set.pictures[p].crop.width();
        const TileRect& area = pixels.gate.rect;
        for (int y = area.y0; y < area.y1; ++y)
            for (int x = area.x0; x < area.x1; ++x) {
                std::uint8_t& role = pixels.role[static_cast<std::size_t>(y) * width + x];
                if (role != 0 && pixels.gate.at(x, y) < model.gateThreshold) role = 0;
                candidates += role != 0 ? 1 : 0;
            }
    }
    const double keep = candidates > kMaxSamples ? static_cast<double>(kMaxSamples) / candidates : 1.0;

    for (std::size_t p = 0; p < set.pictures.size(); ++p) {
        const TeachingPicture& taught = set.pictures[p];
        const Picture& crop = taught.crop;
        const int width = crop.width();
        std::vector<std::uint8_t>& role = pictures[p].role;
        const TileRect area = pictures[p].gate.rect;
        TileRect bounds{area.x1, area.y1, area.x0, area.y0};
        for (int y = area.y0; y < area.y1; ++y)
            for (int x = area.x0; x < area.x1; ++x)
                if (role[static_cast<std::size_t>(y) * width + x] != 0 && pixelHash(p, x, y) < keep) {
                    bounds = {std::min(bounds.x0, x), std::min(bounds.y0, y), std::max(bounds.x1, x + 1),
                              std::max(bounds.y1, y + 1)};
                } else {
                    role[static_cast<std::size_t>(y) * width + x] = 0;
                }
        if (bounds.empty()) continue;
        pictures[p].gate = TileBuffer();
        const TileBuffer& target = pictures[p].target;
        // Features tile by tile over the bounds, in a fixed order.
        const int tileColumns = (bounds.width() + kTile - 1) / kTile;
        const int tileRows = (bounds.height() + kTile - 1) / kTile;
        const int tiles = tileColumns * tileRows;
        std::vector<Samples> perTile(static_cast<std::size_t>(tiles));
        parallelSlices(tiles, workerThreads(threads), [&](int first, int end) {
            TileFeatures features(model.featureScales, model.targetColour);
            std::vector<int> xs;
            TileRuns wanted;
            for (int t = first; t < end; ++t) {
                const int tx = bounds.x0 + (t % tileColumns) * kTile, ty = bounds.y0 + (t / tileColumns) * kTile;
                const int tw = std::min(kTile, bounds.x1 - tx), th = std::min(kTile, bounds.y1 - ty);
                bool teaches = false;
                for (int y = ty; y < ty + th && !teaches; ++y)
                    for (int x = tx; x < tx + tw && !teaches; ++x) teaches = role[static_cast<std::size_t>(y) * width + x] != 0;
                if (!teaches) continue;
                features.start(crop, pictures[p].background, {tx, ty, tx + tw, ty + th});
                wanted.build({tx, ty, tx + tw, ty + th},
                             [&](int x, int y) { return role[static_cast<std::size_t>(y) * width + x] != 0; });
                features.complete(&wanted);
                Samples& out = perTile[static_cast<std::size_t>(t)];
                for (int y = ty; y < ty + th; ++y) {
                    xs.clear();
                    for (int x = tx; x < tx + tw; ++x) {
                        const std::uint8_t r = role[static_cast<std::size_t>(y) * width + x];
                        if (r == 0) continue;
                        xs.push_back(x);
                        out.targets.push_back(r == 2 ? 0.0F : target.row(y)[x]);
                        out.blocks.push_back(static_cast<std::uint32_t>(p) * 1000003u +
                                             static_cast<std::uint32_t>(y / bagBlock) * 1009u +
                                             static_cast<std::uint32_t>(x / bagBlock));
                    }
                    if (xs.empty()) continue;
                    const std::size_t at = out.features.size();
                    out.features.resize(at + xs.size() * featureCount);
                    features.rowFeatures(y, xs.data(), static_cast<int>(xs.size()), out.features.data() + at);
                }
            }
        });
        for (const Samples& part : perTile) {
            samples.features.insert(samples.features.end(), part.features.begin(), part.features.end());
            samples.targets.insert(samples.targets.end(), part.targets.begin(), part.targets.end());
            samples.blocks.insert(samples.blocks.end(), part.blocks.begin(), part.blocks.end());
        }
    }
    return samples;
}

// ---- The forest ----

/// Grows one tree on the samples whose inBag is set.
DensityTree growTree(const Samples& samples, const std::vector<std::uint8_t>& inBag, std::uint64_t seed,
                     const std::atomic<bool>* cancel)
{
    const int featureCount = samples.featureCount;
    std::vector<std::uint32_t> order;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (inBag[i] != 0) order.push_back(static_cast<std::uint32_t>(i));
    const std::size_t n = order.size();
    std::uint64_t state = seed;
    DensityTree tree;
    struct Pending {
        int node;
        std::size_t begin, end;
        int depth;
    };
    std::vector<Pending> pending;
    std::vector<float> values, nodeTargets;
    tree.push_back({});
    pending.push_back({0, 0, n, 0});
    const float* x = samples.features.data();
    const float* y = samples.targets.data();
    while (!pending.empty()) {
        if (cancel != nullptr && cancel->load()) return {};
        const Pending job = pending.back();
        pending.pop_back();
        const std::size_t count = job.end - job.begin;
        double sum = 0, squares = 0;
        for (std::size_t i = job.begin; i < job.end; ++i) {
            const double v = y[order[i]];
            sum += v;
            squares += v * v;
        }
        const double mean = count == 0 ? 0.0 : sum / static_cast<double>(count);
        tree[static_cast<std::size_t>(job.node)].value = static_cast<float>(mean);
        const double spread = squares - sum * mean;
        if (job.depth >= kMaxDepth || count < 2 * static_cast<std::size_t>(kLeastLeafSamples) || spread <= 1e-12 * count)
            continue;
        int bestFeature = -1;
        float bestThreshold = 0;
        double bestScore = sum * mean;  // a split must explain more than the node's mean does
        values.resize(count);
        nodeTargets.resize(count);
        for (std::size_t i = 0; i < count; ++i) nodeTargets[i] = y[order[job.begin + i]];
        for (int attempt = 0; attempt < kFeatureTries; ++attempt) {
            const int feature = static_cast<int>(splitMix(state) % static_cast<std::uint64_t>(featureCount));
            // The node's values of the feature, gathered once: the two passes below then run along memory.
            float low = 1e30F, high = -1e30F;
            for (std::size_t i = 0; i < count; ++i) {
                const float v = x[static_cast<std::size_t>(order[job.begin + i]) * featureCount + feature];
                values[i] = v;
                low = std::min(low, v);
                high = std::max(high, v);
            }
            const double u = uniformOpen(state);
            if (!(high > low)) continue;
            const auto threshold = static_cast<float>(low + u * (static_cast<double>(high) - low));
            if (!(threshold > low)) continue;
            double leftSum = 0;
            std::size_t leftCount = 0;
            for (std::size_t i = 0; i < count; ++i) {
                if (values[i] < threshold) {
                    leftSum += nodeTargets[i];
                    ++leftCount;
                }
            }
            const std::size_t rightCount = count - leftCount;
            if (leftCount < static_cast<std::size_t>(kLeastLeafSamples) ||
                rightCount < static_cast<std::size_t>(kLeastLeafSamples))
                continue;
            const double rightSum = sum - leftSum;
            const double score = leftSum * leftSum / static_cast<double>(leftCount) +
                                 rightSum * rightSum / static_cast<double>(rightCount);
            if (score > bestScore) {
                bestScore = score;
                bestFeature = feature;
                bestThreshold = threshold;
            }
        }
        if (bestFeature < 0) continue;
        const auto middle = std::stable_partition(
            order.begin() + static_cast<std::ptrdiff_t>(job.begin), order.begin() + static_cast<std::ptrdiff_t>(job.end),
            [&](std::uint32_t s) { return x[static_cast<std::size_t>(s) * featureCount + bestFeature] < bestThreshold; });
        const auto split = static_cast<std::size_t>(middle - order.begin());
        const int left = static_cast<int>(tree.size());
        tree.push_back({});
        tree.push_back({});
        DensityTreeNode& node = tree[static_cast<std::size_t>(job.node)];
        node.feature = bestFeature;
        node.threshold = bestThreshold;
        node.left = left;
        node.right = left + 1;
        pending.push_back({left + 1, split, job.end, job.depth + 1});
        pending.push_back({left, job.begin, split, job.depth + 1});
    }
    return tree;
}

// ---- Model text ----

std::string exactNumber(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string exactNumber(float value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

template <typename Number>
bool readNumber(std::string_view text, Number& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, value);
    return problem == std::errc() && stop == end;
}

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) parts.push_back(line.substr(start, i - start));
    }
    return parts;
}

constexpr const char* kModelHeader = "SpotTally density model 1";
constexpr int kMaxTrees = 1000;
// Scales beyond any taught (24 px particles, features to 3 times that): a larger one would make
// every tile's margin, and so its memory, grow without bound.
constexpr int kLargestModelScale = 100;
/// The positions' finder for a density of width x height with model's floors.
DensityPeakFinder densityPeakFinder(int width, int height, const DensityModel& model)
{
    const double sigma = std::max(kLeastTargetSigma, model.targetSigma);
    const auto peakFloor = static_cast<float>(kPeakShare / (2.0 * 3.14159265358979 * sigma * sigma));
    return DensityPeakFinder(width, height, peakFloor, 0.5F * peakFloor);
}


constexpr std::size_t kMaxNodes = 1u << 22;  // per tree
static_assert(kMaxNodes <= DensityForest::kMaxNodes, "every tree read can be laid out for prediction");
static_assert(32 * kFeaturesPerScale + kColourFeatures <= DensityForest::kMaxFeatures,
              "every feature of the most scales a model file holds can be named by a node");

}  // namespace

int TeachingSet::markCount() const
{
    int marks = 0;
    for (const TeachingPicture& taught : pictures) marks += static_cast<int>(taught.marks.size());
    return marks;
}

int TeachingSet::backgroundCount() const
{
    int boxes = 0;
    for (const TeachingPicture& taught : pictures) boxes += static_cast<int>(taught.background.size());
    return boxes;
}

int DensityModel::featureCount() const
{
    return featureScales.empty() ? 0 : static_cast<int>(featureScales.size()) * kFeaturesPerScale + kColourFeatures;
}

std::string addTeachingPicture(TeachingSet& set, const Picture& picture, const std::string& name,
                               const PixelRegion& region, const std::vector<Mark>& marks,
                               const std::vector<PixelRegion>& background)
{
    if (picture.empty()) return name + ": there is no picture to teach on";
    const PixelRegion whole{0, 0, picture.width(), picture.height()};
    const auto clip = [&](const PixelRegion& box) {
        const int x0 = std::clamp(box.x, 0, whole.width), y0 = std::clamp(box.y, 0, whole.height);
        const int x1 = std::clamp(box.x + std::max(0, box.width), x0, whole.width);
        const int y1 = std::clamp(box.y + std::max(0, box.height), y0, whole.height);
        return PixelRegion{x0, y0, x1 - x0, y1 - y0};
    };
    TeachingPicture taught;
    taught.name = name;
    taught.region = clip(region);
    if (!region.empty() && taught.region.empty()) return name + ": the teaching region lies outside the picture";
    taught.marks = taught.region.empty() ? std::vector<Mark>{} : marksInside(marks, taught.region);
    for (const PixelRegion& box : background) {
        const PixelRegion clipped = clip(box);
        if (!clipped.empty()) taught.background.push_back(clipped);
    }
    if (taught.marks.empty() && taught.background.empty())
        return name + ": no marks inside the teaching region and no background box";
    // The crop: everything teaching looks at, plus a margin, starting on the background's blocks.
    int x0 = whole.width, y0 = whole.height, x1 = 0, y1 = 0;
    const auto include = [&](const PixelRegion& box) {
        x0 = std::min(x0, box.x);
        y0 = std::min(y0, box.y);
        x1 = std::max(x1, box.x + box.width);
        y1 = std::max(y1, box.y + box.height);
    };
    if (!taught.region.empty()) include(taught.region);
    for (const PixelRegion& box : taught.background) include(box);
    x0 = std::max(0, x0 - kCropMargin) / kBlockAlign * kBlockAlign;
    y0 = std::max(0, y0 - kCropMargin) / kBlockAlign * kBlockAlign;
    x1 = std::min(whole.width, x1 + kCropMargin);
    y1 = std::min(whole.height, y1 + kCropMargin);
    taught.cropX = x0;
    taught.cropY = y0;
    taught.crop = Picture(x1 - x0, y1 - y0);
    for (int y = y0; y < y1; ++y)
        std::copy(picture.row(y) + 3 * static_cast<std::size_t>(x0), picture.row(y) + 3 * static_cast<std::size_t>(x1),
                  taught.crop.row(y - y0));
    const auto same = std::find_if(set.pictures.begin(), set.pictures.end(),
                                   [&](const TeachingPicture& earlier) { return earlier.name == name; });
    if (same != set.pictures.end())
        *same = std::move(taught);
    else
        set.pictures.push_back(std::move(taught));
    return {};
}

std::vector<std::string> teachingWarnings(const TeachingSet& set)
{
    std::vector<std::string> warnings;
    const int marks = set.markCount();
    if (marks == 0) return warnings;
    if (marks < kAdvisedDensityMarks)
        warnings.push_back("only " + std::to_string(marks) + " marks: about 100 marks over 2 or 3 pictures give a " +
                           "learnt count that holds across the series");
    if (set.backgroundCount() > 0) return warnings;
    // Mostly particles: more than half of the teaching regions' pixels are at least half as far
    // from the background as the marked particles' centres.
    const std::uint32_t colour = setColour(set);
    std::size_t covered = 0, area = 0;
    for (const TeachingPicture& taught : set.pictures) {
        if (taught.region.empty() || taught.marks.empty()) continue;
        const FloatPlane flat = normalisedChannel(taught.crop, colour, 1);
        std::vector<float> centres;
        for (const Mark& mark : taught.marks) centres.push_back(flat.row(mark.y - taught.cropY)[mark.x - taught.cropX]);
        std::nth_element(centres.begin(), centres.begin() + static_cast<std::ptrdiff_t>(centres.size() / 2), centres.end());
        const float half = 0.5F * centres[centres.size() / 2];
        if (!(half > 0)) continue;
        for (int y = taught.region.y; y < taught.region.y + taught.region.height; ++y) {
            const float* row = flat.row(y - taught.cropY) - taught.cropX;
            for (int x = taught.region.x; x < taught.region.x + taught.region.width; ++x) covered += row[x] >= half ? 1 : 0;
        }
        area += static_cast<std::size_t>(taught.region.width) * static_cast<std::size_t>(taught.region.height);
    }
    if (area > 0 && 2 * covered > area)
        warnings.push_back("no background was marked and particles cover most of the teaching region: mark a "
                           "box without particles as background, or the learnt count may take background for "
                           "particles");
    return warnings;
}

DensityTraining trainDensityModel(const TeachingSet& set, const DensityOptions& options)
{
    DensityTraining training;
    if (set.markCount() == 0) {
        training.error = "there are no marks to learn from";
        return training;
    }
    if (set.markCount() < kLeastTeachingMarks) {
        training.error = "at least " + std::to_string(kLeastTeachingMarks) + " marks are needed to learn from";
        return training;
    }
    training.warnings = teachingWarnings(set);
    const int threads = workerThreads(options.threads);
    DensityModel model;
    model.targetColour = setColour(set);
    model.particleScale = setParticleScale(set, model.targetColour, threads);
    model.targetSigma = std::max(kLeastTargetSigma, kTargetSpread * model.particleScale);
    for (double factor : kScaleFactors) model.featureScales.push_back(std::max(kLeastScale, factor * model.particleScale));
    model.marks = set.markCount();
    model.pictures = static_cast<int>(set.pictures.size());
    model.backgroundBoxes = set.backgroundCount();

    const Samples samples = gatherSamples(set, model, threads);
    if (samples.size() < 2 * static_cast<std::size_t>(kLeastLeafSamples)) {
        training.error = "the teaching region is too small to learn from";
        return training;
    }
    // Each tree learns from half of the teaching blocks; the other half tells how far the forest's
    // predictions fall from the marks on pixels it never saw.
    const auto inBag = [&](int tree, std::uint32_t block) {
        std::uint64_t state = kSeed ^ (static_cast<std::uint64_t>(tree) << 40) ^ block;
        return (splitMix(state) & 1u) == 0;
    };
    model.trees.resize(kTrees);
    parallelSlices(kTrees, threads, [&](int first, int end) {
        std::vector<std::uint8_t> bag(samples.size());
        for (int t = first; t < end; ++t) {
            for (std::size_t i = 0; i < samples.size(); ++i) bag[i] = inBag(t, samples.blocks[i]) ? 1 : 0;
            std::uint64_t state = kSeed + static_cast<std::uint64_t>(t) * 0x100000001B3ull;
            model.trees[static_cast<std::size_t>(t)] = growTree(samples, bag, splitMix(state), options.cancel);
        }
    });
    if (options.cancel != nullptr && options.cancel->load()) {
        training.cancelled = true;
        return training;
    }
    // Out of the bag: the leaves are scaled so that, on the teaching pixels each tree did not see, the
    // forest counts the marks (averaged leaves shrink the peaks towards the mean).
    double taught = 0, predicted = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        double sum = 0;
        int trees = 0;
        const float* f = samples.features.data() + i * static_cast<std::size_t>(samples.featureCount);
        for (int t = 0; t < kTrees; ++t) {
            if (inBag(t, samples.blocks[i])) continue;
            const DensityTreeNode* nodes = model.trees[static_cast<std::size_t>(t)].data();
            int node = 0;
            while (nodes[node].feature >= 0)
                node = f[nodes[node].feature] < nodes[node].threshold ? nodes[node].left : nodes[node].right;
            sum += nodes[node].value;
            ++trees;
        }
        if (trees == 0) continue;
        taught += samples.targets[i];
        predicted += sum / trees;
    }
    if (taught > 0 && predicted > 0) {
        const double factor = std::clamp(taught / predicted, kLeastCalibration, 1.0 / kLeastCalibration);
        for (DensityTree& tree : model.trees)
            for (DensityTreeNode& node : tree)
                if (node.feature < 0) node.value = static_cast<float>(node.value * factor);
    }
    training.model = std::move(model);
    return training;
}

DensityResult predictDensity(const Picture& picture, const DensityModel& model, const DensityOptions& options,
                             bool keepDensity)
{
    DensityResult result;
    if (picture.empty() || model.empty()) return result;
    const int threads = workerThreads(options.threads);
    const int width = picture.width(), height = picture.height();
    const BackgroundLevel background = backgroundLevel(picture, model.targetColour, threads);
    const DensityForest forest(model.trees);
    const int tileColumns = (width + kTile - 1) / kTile, tileRows = (height + kTile - 1) / kTile;
    std::vector<double> tileSums(static_cast<std::size_t>(tileColumns) * tileRows, 0.0);
    // The picture is worked in bands of whole rows of tiles; each band's density goes to the
    // positions before the next band is worked. Bands of about equal height, each at most
    // kBandValues values unless one row of tiles is more.
    const std::size_t tileRowValues = static_cast<std::size_t>(width) * kTile;
    const int bandLimit = static_cast<int>(std::clamp<std::size_t>(kBandValues / tileRowValues, 1, tileRows));
    const int bands = (tileRows + bandLimit - 1) / bandLimit;
    const int bandTileRows = (tileRows + bands - 1) / bands;
    FloatPlane density;
    std::vector<float> band;
    if (keepDensity) {
        density.width = width;
        density.height = height;
        density.values.assign(static_cast<std::size_t>(width) * height, 0.0F);
    } else {
        band.resize(std::min(static_cast<std::size_t>(bandTileRows) * kTile, static_cast<std::size_t>(height)) * width);
    }
    DensityPeakFinder finder = densityPeakFinder(width, height, model);
    const bool gated = model.gateFeature >= 0;
    const auto gateScale = static_cast<std::size_t>(std::max(0, model.gateFeature) / kFeaturesPerScale);
    std::vector<TileFeatures> workers(static_cast<std::size_t>(threads), TileFeatures(model.featureScales, model.targetColour));
    std::atomic<bool> stopped{false};
    for (int firstTileRow = 0; firstTileRow < tileRows && !stopped; firstTileRow += bandTileRows) {
        const int endTileRow = std::min(tileRows, firstTileRow + bandTileRows);
        const int bandY0 = firstTileRow * kTile, bandY1 = std::min(height, endTileRow * kTile);
        float* bandValues = keepDensity ? density.row(bandY0) : band.data();
        const int firstTile = firstTileRow * tileColumns, endTile = endTileRow * tileColumns;
        // Tiles go to whichever worker is free; each tile's result is the same whoever works it.
        std::atomic<int> nextTile{firstTile};
        parallelSlices(threads, threads, [&](int firstWorker, int endWorker) {
            for (int worker = firstWorker; worker < endWorker; ++worker) {
                TileFeatures& features = workers[static_cast<std::size_t>(worker)];
                std::vector<int> xs;
                std::vector<float> chunkFeatures;
                std::vector<std::size_t> chunkPixels;  // where in the band
                std::vector<double> predicted;
                TileBuffer gate;
                TileRuns wanted;
                for (int t = nextTile++; t < endTile; t = nextTile++) {
                    if (options.cancel != nullptr && options.cancel->load()) {
                        stopped = true;
                        return;
                    }
                    const int tx = (t % tileColumns) * kTile, ty = (t / tileColumns) * kTile;
                    const TileRect tile{tx, ty, std::min(width, tx + kTile), std::min(height, ty + kTile)};
                    for (int y = tile.y0; y < tile.y1; ++y)
                        std::fill_n(bandValues + static_cast<std::size_t>(y - bandY0) * width + tx, tile.width(), 0.0F);
                    features.start(picture, background, tile);
                    // The pixels the gate lets through, and the rectangle around them.
                    TileRect passing = tile;
                    if (gated) {
                        features.smoothed(gateScale);
                        gate.resize(tile);
                        xs.resize(static_cast<std::size_t>(tile.width()));
                        std::iota(xs.begin(), xs.end(), tile.x0);
                        passing = {tile.x1, tile.y1, tile.x0, tile.y0};
                        for (int y = tile.y0; y < tile.y1; ++y) {
                            float* values = gate.row(y);
                            features.gateValues(model.gateFeature, y, xs.data(), tile.width(), values);
                            for (int x = tile.x0; x < tile.x1; ++x)
                                if (values[x - tile.x0] >= model.gateThreshold)
                                    passing = {std::min(passing.x0, x), std::min(passing.y0, y),
                                               std::max(passing.x1, x + 1), std::max(passing.y1, y + 1)};
                        }
                        if (passing.empty()) continue;
                    }
                    features.narrow(passing);
                    if (gated)
                        wanted.build(passing, [&](int x, int y) { return gate.at(x, y) >= model.gateThreshold; });
                    features.complete(gated ? &wanted : nullptr);
                    // The forest walks many pixels at a time, so that each tree's nodes are used many times
                    // while they are at hand: rows of pixels are gathered, then predicted together.
                    const auto featureCount = static_cast<std::size_t>(features.featureCount());
                    chunkFeatures.resize(kPredictedTogether * featureCount);
                    chunkPixels.resize(kPredictedTogether);
                    predicted.resize(kPredictedTogether);
                    int gathered = 0;
                    double sum = 0;
                    const auto predictGathered = [&]() {
                        forest.predict(chunkFeatures.data(), featureCount, gathered, predicted.data());
                        for (int i = 0; i < gathered; ++i) {
                            bandValues[chunkPixels[static_cast<std::size_t>(i)]] =
                                static_cast<float>(predicted[static_cast<std::size_t>(i)]);
                            sum += predicted[static_cast<std::size_t>(i)];
                        }
                        gathered = 0;
                    };
                    for (int y = passing.y0; y < passing.y1; ++y) {
                        xs.clear();
                        const float* values = gated ? gate.row(y) : nullptr;
                        for (int x = passing.x0; x < passing.x1; ++x)
                            if (!gated || values[x - tile.x0] >= model.gateThreshold) xs.push_back(x);
                        const int n = static_cast<int>(xs.size());
                        if (gathered + n > kPredictedTogether) predictGathered();
                        features.rowFeatures(y, xs.data(), n, chunkFeatures.data() + gathered * featureCount);
                        for (int i = 0; i < n; ++i)
                            chunkPixels[static_cast<std::size_t>(gathered + i)] =
                                static_cast<std::size_t>(y - bandY0) * width + xs[static_cast<std::size_t>(i)];
                        gathered += n;
                    }
                    predictGathered();
                    tileSums[static_cast<std::size_t>(t)] = sum;
                }
            }
        });
        if (!stopped) finder.addRows(bandValues, bandY1 - bandY0);
    }
    if (stopped) {
        result.cancelled = true;
        return result;
    }
    for (double sum : tileSums) result.count += sum;
    result.positions = finder.positions();
    if (keepDensity) result.density = std::move(density);
    return result;
}

int learntParticleCount(const DensityResult& result)
{
    return static_cast<int>(std::lround(std::max(0.0, result.count)));
}

SampleRange countingSampleRange(const DensityModel* model, const SampleRange& chosen)
{
    return model != nullptr && model->hasSampleRange ? model->sampleRange : chosen;
}

std::vector<Mark> densityPositions(const FloatPlane& density, const DensityModel& model)
{
    DensityPeakFinder finder = densityPeakFinder(density.width, density.height, model);
    finder.addRows(density.values.data(), density.height);
    return finder.positions();
}

std::string densityModelText(const DensityModel& model)
{
    std::string text = std::string(kModelHeader) + "\n";
    text += "colour " + std::to_string(colourRed(model.targetColour)) + " " +
            std::to_string(colourGreen(model.targetColour)) + " " + std::to_string(colourBlue(model.targetColour)) +
            "\n";
    text += "particle-scale " + exactNumber(model.particleScale) + "\n";
    text += "target-sigma " + exactNumber(model.targetSigma) + "\n";
    text += "scales";
    for (double scale : model.featureScales) text += " " + exactNumber(scale);
    text += "\n";
    text += "taught " + std::to_string(model.marks) + " " + std::to_string(model.pictures) + " " +
            std::to_string(model.backgroundBoxes) + "\n";
    if (model.hasSampleRange) {
        switch (model.sampleRange.mode) {
            case SampleRange::Mode::Auto: text += "range auto\n"; break;
            case SampleRange::Mode::Full: text += "range full\n"; break;
            case SampleRange::Mode::PerChannel: text += "range per-channel\n"; break;
            case SampleRange::Mode::Fixed:
                text += "range " + std::to_string(model.sampleRange.low) + " " + std::to_string(model.sampleRange.high) +
                        "\n";
                break;
        }
    }
    if (model.gateFeature >= 0)
        text += "gate " + std::to_string(model.gateFeature) + " " + exactNumber(model.gateThreshold) + "\n";
    text += "trees " + std::to_string(model.trees.size()) + "\n";
    for (const DensityTree& tree : model.trees) {
        text += "tree " + std::to_string(tree.size()) + "\n";
        for (const DensityTreeNode& node : tree) {
            if (node.feature < 0)
                text += "l " + exactNumber(node.value) + "\n";
            else
                text += "s " + std::to_string(node.feature) + " " + exactNumber(node.threshold) + " " +
                        std::to_string(node.left) + " " + std::to_string(node.right) + "\n";
        }
    }
    text += "end\n";
    return text;
}

DensityModelReading parseDensityModelText(std::string_view text, const std::string& fileName)
{
    DensityModelReading reading;
    DensityModel model;
    std::size_t position = 0;
    int lineNumber = 0;
    std::string_view line;
    const auto nextLine = [&]() {
        if (position >= text.size()) return false;
        std::size_t end = text.find('\n', position);
        if (end == std::string_view::npos) end = text.size();
        line = text.substr(position, end - position);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        position = end + 1;
        ++lineNumber;
        return true;
    };
    const auto refuse = [&](const std::string& why) {
        reading.error = fileName + ": line " + std::to_string(lineNumber) + " " + why + "; the model file is not used";
        reading.model = {};
        return reading;
    };
    if (!nextLine() || line != kModelHeader) return refuse("is not \"" + std::string(kModelHeader) + "\"");
    bool colour = false, scale = false, sigma = false, scales = false, taught = false;
    std::size_t treeCount = 0;
    while (true) {
        if (!nextLine()) return refuse("is missing: the file ends before the trees");
        const std::vector<std::string_view> parts = words(line);
        if (parts.empty()) return refuse("is empty");
        const std::string_view key = parts[0];
        if (key == "colour" && parts.size() == 4) {
            int c[3];
            for (int i = 0; i < 3; ++i)
                if (!readNumber(parts[static_cast<std::size_t>(i) + 1], c[i]) || c[i] < 0 || c[i] > 255)
                    return refuse("does not hold a colour as three numbers from 0 to 255");
            model.targetColour = rgbColour(c[0], c[1], c[2]);
            colour = true;
        } else if ((key == "particle-scale" || key == "target-sigma") && parts.size() == 2) {
            double value = 0;
            if (!readNumber(parts[1], value) || !(value > 0) || value > kLargestModelScale)
                return refuse("does not hold a scale above 0 and at most " + std::to_string(kLargestModelScale));
            (key == "particle-scale" ? model.particleScale : model.targetSigma) = value;
            (key == "particle-scale" ? scale : sigma) = true;
        } else if (key == "scales" && parts.size() >= 2 && parts.size() <= 33) {
            for (std::size_t i = 1; i < parts.size(); ++i) {
                double value = 0;
                if (!readNumber(parts[i], value) || !(value > 0) || value > kLargestModelScale)
                    return refuse("does not hold scales above 0 and at most " + std::to_string(kLargestModelScale));
                model.featureScales.push_back(value);
            }
            scales = true;
        } else if (key == "taught" && parts.size() == 4) {
            if (!readNumber(parts[1], model.marks) || !readNumber(parts[2], model.pictures) ||
                !readNumber(parts[3], model.backgroundBoxes) || model.marks < 0 || model.pictures < 0 ||
                model.backgroundBoxes < 0)
                return refuse("does not hold the marks, pictures and background boxes taught");
            taught = true;
        } else if (key == "range" && (parts.size() == 2 || parts.size() == 3)) {
            model.hasSampleRange = true;
            if (parts.size() == 2 && parts[1] == "auto") {
                model.sampleRange = {};
            } else if (parts.size() == 2 && parts[1] == "per-channel") {
                model.sampleRange = {SampleRange::Mode::PerChannel, 0, 65535};
            } else if (parts.size() == 2 && parts[1] == "full") {
                model.sampleRange = {SampleRange::Mode::Full, 0, 65535};
            } else {
                unsigned low = 0, high = 0;
                if (parts.size() != 3 || !readNumber(parts[1], low) || !readNumber(parts[2], high) || low >= high ||
                    high > 65535)
                    return refuse("does not hold a 16-bit range (auto, per-channel, full or LOW HIGH)");
                model.sampleRange = {SampleRange::Mode::Fixed, static_cast<std::uint16_t>(low),
                                     static_cast<std::uint16_t>(high)};
            }
        } else if (key == "gate" && parts.size() == 3) {
            // The gate is a feature made from a scale's smoothed values alone, which the count makes first.
            const int perScale = static_cast<int>(model.featureScales.size()) * kFeaturesPerScale;
            if (!scales) return refuse("gives a gate before the scales");
            if (!readNumber(parts[1], model.gateFeature) || model.gateFeature < 0 || model.gateFeature >= perScale ||
                model.gateFeature % kFeaturesPerScale >= kSmoothedFeatures || !readNumber(parts[2], model.gateThreshold) ||
                !std::isfinite(model.gateThreshold))
                return refuse("does not hold a gate: a smoothed value's feature and a threshold");
        } else if (key == "trees" && parts.size() == 2) {
            if (!readNumber(parts[1], treeCount) || treeCount < 1 || treeCount > kMaxTrees)
                return refuse("does not hold a number of trees from 1 to " + std::to_string(kMaxTrees));
            break;
        } else {
            return refuse("is not understood: '" + std::string(line.substr(0, 60)) + "'");
        }
    }
    if (!colour || !scale || !sigma || !scales || !taught)
        return refuse("comes before the colour, scales and what was taught are all given");
    const int features = model.featureCount();
    for (std::size_t t = 0; t < treeCount; ++t) {
        std::size_t nodes = 0;
        if (!nextLine()) return refuse("is missing: the file ends inside the trees");
        const std::vector<std::string_view> head = words(line);
        if (head.size() != 2 || head[0] != "tree" || !readNumber(head[1], nodes) || nodes < 1 || nodes > kMaxNodes)
            return refuse("does not start a tree of 1 to " + std::to_string(kMaxNodes) + " nodes");
        DensityTree tree(nodes);
        std::vector<bool> reached(nodes, false);
        for (std::size_t i = 0; i < nodes; ++i) {
            if (!nextLine()) return refuse("is missing: the file ends inside a tree");
            const std::vector<std::string_view> parts = words(line);
            DensityTreeNode& node = tree[i];
            if (parts.size() == 2 && parts[0] == "l") {
                if (!readNumber(parts[1], node.value) || !std::isfinite(node.value)) return refuse("holds a bad leaf");
            } else if (parts.size() == 5 && parts[0] == "s") {
                // Branches point forward inside the tree, so every walk ends at a leaf.
                if (!readNumber(parts[1], node.feature) || node.feature < 0 || node.feature >= features ||
                    !readNumber(parts[2], node.threshold) || !std::isfinite(node.threshold) ||
                    !readNumber(parts[3], node.left) || !readNumber(parts[4], node.right) ||
                    node.left <= static_cast<int>(i) || node.right <= static_cast<int>(i) ||
                    node.left >= static_cast<int>(nodes) || node.right >= static_cast<int>(nodes))
                    return refuse("holds a bad split");
                // And no node has two parents: a tree, not a graph whose paths could be far more than its nodes.
                if (node.left == node.right || reached[static_cast<std::size_t>(node.left)] ||
                    reached[static_cast<std::size_t>(node.right)])
                    return refuse("holds a bad split");
                reached[static_cast<std::size_t>(node.left)] = true;
                reached[static_cast<std::size_t>(node.right)] = true;
            } else {
                return refuse("is neither a leaf nor a split");
            }
        }
        model.trees.push_back(std::move(tree));
    }
    if (!nextLine() || line != "end") return refuse("is not \"end\"");
    while (nextLine())
        if (!line.empty()) return refuse("follows the end");
    reading.model = std::move(model);
    return reading;
}

DensityModelReading readDensityModelFile(const std::filesystem::path& path)
{
    const BoundedRead read = readBoundedFile(path, kMaxDensityModelBytes);
    if (!read.reason.empty()) {
        DensityModelReading reading;
        reading.error = "Cannot read the model file " + quotedPath(path) + ": " + read.reason;
        return reading;
    }
    return parseDensityModelText(read.bytes, path.string());
}

FileSaveOutcome writeDensityModelFile(const std::filesystem::path& path, const DensityModel& model)
{
    return writeFileAtomically(path, densityModelText(model));
}

std::filesystem::path densityModelPath(const std::filesystem::path& report)
{
    std::filesystem::path model = report;
    model.replace_extension(".model.txt");
    return model;
}
