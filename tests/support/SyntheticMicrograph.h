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
    // Harder pictures, for teaching by example. The defaults draw the pictures as they always were.
    std::uint32_t groundColour = rgbColour(12, 26, 14);  // the background where the light is fullest
    double lightFalloff = 1.1;           // how much the light fades from its brightest spot to a corner
    bool particlesFollowLight = false;   // particles dim with the light as the background does
    double touchingShare = 0;            // share of particles drawn touching the particle before them
    int debris = 0;                      // irregular specks that are not particles
    std::uint32_t debrisColour = rgbColour(150, 140, 120);
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
    std::vector<DrawnParticle> debris;     // the specks drawn as debris (not counted)
};

Micrograph makeSyntheticMicrograph(const MicrographOptions& options);

/// A dense fluorescence micrograph: blurry cells that touch and overlap in clusters of a few to a few
/// dozen, so that the bright areas of a cluster run into each other. The fill of one particle then
/// spreads over its whole cluster, and every further particle found in it goes over the cluster again.
struct ClusterOptions {
    int width = 6000;
    int height = 4000;
    int clusters = 8000;
    int cellsPerCluster = 60;                               // on average; from 1 to twice as many
    std::uint32_t seed = 1;
    std::uint32_t cellColour = rgbColour(0, 27, 210);       // a cell's colour at full brightness
    double minRadius = 2.0;                                 // cell radius (blur width) in pixels
    double maxRadius = 3.5;
    double spacing = 1.9;                                   // distance of touching cells, in radii
};

/// Draws the clusters; particles holds every cell drawn.
Micrograph makeClusteredMicrograph(const ClusterOptions& options);
