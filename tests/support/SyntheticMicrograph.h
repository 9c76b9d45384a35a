#pragma once
// A synthetic fluorescence micrograph of a membrane filter: green particles on a dark, unevenly lit
// background with sensor noise. Deterministic for a given seed, on every platform.

#include <cstdint>
#include <vector>

#include "core/Picture.h"

struct MicrographOptions {
    int width = 1600;
    int height = 1200;
    int particles = 400;
    std::uint32_t seed = 1;
    std::uint32_t particleColour = rgbColour(121, 223, 95);  // the brightest particles' colour
    double minRadius = 2.5;                                  // particle radius in pixels
    double maxRadius = 4.0;
};

/// One particle as it was drawn.
struct DrawnParticle {
    double column;
    double row;
    double radius;
};

struct Micrograph {
    Picture picture;
    std::vector<DrawnParticle> particles;  // the true particles (fewer than asked when the picture is full)
};

Micrograph makeSyntheticMicrograph(const MicrographOptions& options);
