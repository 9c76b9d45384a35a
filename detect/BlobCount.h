#pragma once
// The blob count: a second count beside the scan of CountRun. It looks for peaks of the
// Laplacian of Gaussian on the target's dominant channel, after dividing out the uneven illumination
// estimated from the background, so touching particles give a peak each. Its three settings (scale,
// peak threshold, least peak distance) are learnt from marks (ParameterSearch).

#include <cstdint>
#include <vector>

#include "core/BlobSettings.h"
#include "core/Picture.h"

/// One found blob: its accepted pixel and its response.
struct Blob {
    int x = 0;
    int y = 0;
    float response = 0;
};

/// A plane of floats, rows top first, packed.
struct FloatPlane {
    int width = 0;
    int height = 0;
    std::vector<float> values;
    float* row(int y) { return values.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width); }
    const float* row(int y) const
    {
        return values.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    }
};

/// The value below which share of a 256-bin histogram's samples lie (255 when none do).
int histogramPercentile(const int* histogram, int samples, double share);

/// Per block of block x block pixels of one channel (byte offset 0-2), the values below which share and
/// 1 - share of its pixels lie; every step-th pixel of every step-th row is looked at. Blocks row by
/// row, the last ones cut by the picture's edges.
struct BlockPercentiles {
    int columns = 0;
    int rows = 0;
    std::vector<float> low;
    std::vector<float> high;
};
BlockPercentiles blockPercentiles(const Picture& picture, int channel, int block, int step, double share,
                                  int threads);

/// The target's dominant channel divided by the background level and shifted so that the background
/// lies near 0 and particles are positive (for dark particles on a bright ground the sign is turned).
/// The background is a low percentile of 32 x 32 blocks (a high one for dark particles), smoothed
/// over neighbouring blocks and interpolated between block centres.
FloatPlane flattenedChannel(const Picture& picture, std::uint32_t targetColour, int threads = 0);

/// The part of a plane inside the rectangle (clipped to the plane).
FloatPlane cropPlane(const FloatPlane& plane, int x, int y, int width, int height);

/// Scale-normalised Laplacian of Gaussian, turned so that a bright blob gives a positive peak:
/// -scale^2 (d2/dx2 + d2/dy2) of the plane smoothed with a Gaussian of sigma scale (separable).
/// Takes the plane by value: its buffer is reused.
FloatPlane blobResponse(FloatPlane flat, double scale, int threads = 0);

/// Pixels that are the largest of their 3 x 3 neighbourhood (the first one of a flat top) with a
/// response of at least floor, strongest first (ties by row, then column).
std::vector<Blob> responsePeaks(const FloatPlane& response, float floor, int threads = 0);

/// Walks peaks strongest first and drops each one closer than minDistance to a peak kept before it.
/// Since a peak is dropped only for a stronger one, a threshold may be applied before or after.
std::vector<Blob> keepDistantPeaks(const std::vector<Blob>& strongestFirst, int minDistance);

/// The whole blob count of a picture, strongest first. threads 0: all cores.
std::vector<Blob> findBlobs(const Picture& picture, std::uint32_t targetColour, const BlobSettings& settings,
                            int threads = 0);

/// Threads to use for threads 0: the number of cores.
int workerThreads(int threads);
