#include "support/TeachingPictures.h"

#include <cmath>

std::vector<TeachingKind> teachingKinds()
{
    const auto kind = [](const char* name, std::uint32_t particle, std::uint32_t ground, double minRadius,
                         double maxRadius, std::uint32_t debris) {
        TeachingKind made;
        made.name = name;
        MicrographOptions& o = made.options;
        o.width = 800;
        o.height = 600;
        o.particles = 170;
        o.particleColour = particle;
        o.groundColour = ground;
        o.minRadius = minRadius;
        o.maxRadius = maxRadius;
        o.lightFalloff = 1.4;
        o.particlesFollowLight = true;
        o.touchingShare = 0.2;
        o.debris = 40;
        o.debrisColour = debris;
        return made;
    };
    return {kind("green", rgbColour(121, 223, 95), rgbColour(12, 26, 14), 2.5, 4.0, rgbColour(150, 140, 120)),
            kind("red", rgbColour(235, 70, 55), rgbColour(26, 10, 12), 3.0, 4.5, rgbColour(140, 150, 150)),
            kind("blue", rgbColour(80, 120, 240), rgbColour(8, 10, 24), 3.5, 5.5, rgbColour(160, 150, 90)),
            kind("orange", rgbColour(245, 160, 50), rgbColour(24, 16, 8), 2.0, 3.2, rgbColour(120, 170, 160))};
}

Micrograph makeTeachingPicture(const TeachingKind& kind, int index)
{
    MicrographOptions options = kind.options;
    options.seed = static_cast<std::uint32_t>(1000 + 17 * index);
    return makeSyntheticMicrograph(options);
}

std::vector<Mark> trueCentres(const Micrograph& micrograph, const PixelRegion& region)
{
    std::vector<Mark> marks;
    for (const DrawnParticle& particle : micrograph.particles) {
        const Mark mark{static_cast<int>(std::floor(particle.column)), static_cast<int>(std::floor(particle.row))};
        if (region.contains(mark.x, mark.y)) marks.push_back(mark);
    }
    return marks;
}
