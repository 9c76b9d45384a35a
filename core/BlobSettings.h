#pragma once
// BlobSettings: the three learnt values of the blob count. Plain data, so that the blob detector
// (detect/) and the report lines that carry them (report/) share one definition.

struct BlobSettings {
    double scale = 2.0;      // sigma of the Laplacian of Gaussian, pixels; particle radius is about 1.4 x this
    double threshold = 1.0;  // least peak response, in units of the local background level
    int minDistance = 3;     // least distance between two peaks, pixels
    bool operator==(const BlobSettings&) const = default;
};
