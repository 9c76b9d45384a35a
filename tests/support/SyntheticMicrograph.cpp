#include "support/SyntheticMicrograph.h"

#include <algorithm>
#include <cmath>

namespace {

/// splitmix64: small, fast, and the same sequence everywhere (std distributions are not).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double uniform(double low, double high) { return low + (high - low) * uniform(); }
    /// Roughly normal with standard deviation 1 (sum of four uniforms).
    double noise() { return (uniform() + uniform() + uniform() + uniform() - 2.0) * 1.732; }

private:
    std::uint64_t state_;
};

std::uint8_t toByte(double value)
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

Micrograph makeSyntheticMicrograph(const MicrographOptions& options)
{
    Micrograph result;
    const int width = options.width, height = options.height;
    result.picture.resize(width, height);
    Random random(options.seed * 0x100000001B3ull + 7);

    // Background: dark green-grey, brighter towards one off-centre spot and fading to the corners.
    const double hotColumn = width * random.uniform(0.3, 0.7), hotRow = height * random.uniform(0.3, 0.7);
    const double diagonal = std::hypot(width, height);
    const auto lightAt = [&](double x, double y) {
        const double distance = std::hypot(x - hotColumn, y - hotRow) / diagonal;
        return 1.25 - options.lightFalloff * distance + 0.08 * std::sin(x * 0.01 + y * 0.007);
    };
    const double groundBlue = colourBlue(options.groundColour), groundGreen = colourGreen(options.groundColour),
                 groundRed = colourRed(options.groundColour);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = result.picture.row(y);
        for (int x = 0; x < width; ++x) {
            const double level = lightAt(x, y);
            row[3 * x + 0] = toByte(groundBlue * level + 2.5 * random.noise());  // blue
            row[3 * x + 1] = toByte(groundGreen * level + 3.0 * random.noise());  // green
            row[3 * x + 2] = toByte(groundRed * level + 2.5 * random.noise());  // red
        }
    }

    // Particles: non-overlapping domed disks with a soft edge and a faint glow around them.
    const double red = colourRed(options.particleColour), green = colourGreen(options.particleColour),
                 blue = colourBlue(options.particleColour);
    const int border = static_cast<int>(std::ceil(options.maxRadius)) + 3;
    // Particles already placed, by cells at least as wide as the largest allowed centre distance.
    const double cellSize = 2 * options.maxRadius + 4.0;
    const int cellColumns = static_cast<int>(width / cellSize) + 1,
              cellRows = static_cast<int>(height / cellSize) + 1;
    std::vector<std::vector<int>> cells(static_cast<std::size_t>(cellColumns) * cellRows);
    for (int attempt = 0;
         attempt < options.particles * 20 && static_cast<int>(result.particles.size()) < options.particles;
         ++attempt) {
        if (width <= 2 * border || height <= 2 * border) break;
        DrawnParticle particle{random.uniform(border, width - border), random.uniform(border, height - border),
                               random.uniform(options.minRadius, options.maxRadius)};
        // A touching particle sits against the one drawn last, its edge just overlapping.
        int partner = -1;
        if (options.touchingShare > 0 && !result.particles.empty() && random.uniform() < options.touchingShare) {
            partner = static_cast<int>(result.particles.size()) - 1;
            const DrawnParticle& base = result.particles.back();
            const double angle = random.uniform(0, 6.283185307179586);
            const double distance = 0.9 * (base.radius + particle.radius);
            particle.column = base.column + distance * std::cos(angle);
            particle.row = base.row + distance * std::sin(angle);
            if (particle.column < border || particle.row < border || particle.column >= width - border ||
                particle.row >= height - border)
                continue;
        }
        const int cellColumn = static_cast<int>(particle.column / cellSize);
        const int cellRow = static_cast<int>(particle.row / cellSize);
        bool crowded = false;
        for (int cy = std::max(0, cellRow - 1); cy <= std::min(cellRows - 1, cellRow + 1); ++cy)
            for (int cx = std::max(0, cellColumn - 1); cx <= std::min(cellColumns - 1, cellColumn + 1); ++cx)
                for (int index : cells[static_cast<std::size_t>(cy) * cellColumns + cx]) {
                    if (index == partner) continue;
                    const DrawnParticle& other = result.particles[static_cast<std::size_t>(index)];
                    crowded =
                        crowded || std::hypot(other.column - particle.column, other.row - particle.row) <
                                       particle.radius + other.radius + 4.0;
                }
        if (crowded) continue;
        cells[static_cast<std::size_t>(cellRow) * cellColumns + cellColumn].push_back(
            static_cast<int>(result.particles.size()));
        result.particles.push_back(particle);
        double intensity = random.uniform(0.84, 1.04);
        if (options.particlesFollowLight)
            intensity *= 0.45 + 0.55 * std::clamp(lightAt(particle.column, particle.row), 0.0, 1.25) / 1.25;
        const int reach = static_cast<int>(std::ceil(particle.radius + 2.5));
        const int centreColumn = static_cast<int>(particle.column),
                  centreRow = static_cast<int>(particle.row);
        for (int y = centreRow - reach; y <= centreRow + reach; ++y) {
            std::uint8_t* row = result.picture.row(y);
            for (int x = centreColumn - reach; x <= centreColumn + reach; ++x) {
                const double distance = std::hypot(x + 0.5 - particle.column, y + 0.5 - particle.row);
                const double cover = std::clamp(particle.radius + 0.5 - distance, 0.0, 1.0);
                const double dome = 1.0 - 0.12 * std::min(1.0, distance / particle.radius);
                const double glow =
                    distance > particle.radius ? 0.10 * std::exp(-(distance - particle.radius)) : 0.0;
                const double weight = std::max(cover * dome, glow) * intensity;
                if (weight <= 0) continue;
                const double keep = 1.0 - std::min(1.0, weight);
                std::uint8_t* pixel = row + 3 * x;
                pixel[0] = toByte(pixel[0] * keep + blue * weight + 2.0 * random.noise());
                pixel[1] = toByte(pixel[1] * keep + green * weight + 2.0 * random.noise());
                pixel[2] = toByte(pixel[2] * keep + red * weight + 2.0 * random.noise());
            }
        }
    }

    // Debris: clumps of two to five small specks of another colour, dimmer than the particles.
    const double debrisRed = colourRed(options.debrisColour), debrisGreen = colourGreen(options.debrisColour),
                 debrisBlue = colourBlue(options.debrisColour);
    for (int speck = 0; speck < options.debris && width > 20 && height > 20; ++speck) {
        const double column = random.uniform(8, width - 8), row = random.uniform(8, height - 8);
        const int pieces = 2 + static_cast<int>(random.uniform() * 4);
        const double strength = random.uniform(0.35, 0.8);
        result.debris.push_back({column, row, 0});
        for (int piece = 0; piece < pieces; ++piece) {
            const double pc = column + random.uniform(-3, 3), pr = row + random.uniform(-3, 3);
            const double radius = random.uniform(0.8, 2.2);
            result.debris.back().radius = std::max(result.debris.back().radius, radius);
            for (int y = static_cast<int>(pr) - 3; y <= static_cast<int>(pr) + 3; ++y)
                for (int x = static_cast<int>(pc) - 3; x <= static_cast<int>(pc) + 3; ++x) {
                    if (!result.picture.contains(x, y)) continue;
                    const double distance = std::hypot(x + 0.5 - pc, y + 0.5 - pr);
                    const double weight = std::clamp(radius + 0.5 - distance, 0.0, 1.0) * strength;
                    if (weight <= 0) continue;
                    std::uint8_t* pixel = result.picture.row(y) + 3 * x;
                    pixel[0] = toByte(pixel[0] * (1 - weight) + debrisBlue * weight);
                    pixel[1] = toByte(pixel[1] * (1 - weight) + debrisGreen * weight);
                    pixel[2] = toByte(pixel[2] * (1 - weight) + debrisRed * weight);
                }
        }
    }
    return result;
}

Micrograph makeClusteredMicrograph(const ClusterOptions& options)
{
    Micrograph result;
    const int width = options.width, height = options.height;
    result.picture.resize(width, height);
    Random random(options.seed * 0x9E3779B97F4A7C15ull + 13);

    // Brightness of the cells, summed where their blur overlaps.
    std::vector<float> light(static_cast<std::size_t>(width) * height, 0.0f);
    const int border = static_cast<int>(std::ceil(3 * options.maxRadius)) + 2;
    for (int cluster = 0; cluster < options.clusters; ++cluster) {
        if (width <= 2 * border || height <= 2 * border) break;
        // A cluster grows as a chain that branches: each cell touches one drawn before it.
        const int cells = 1 + static_cast<int>(random.next() % static_cast<std::uint64_t>(2 * options.cellsPerCluster));
        std::vector<DrawnParticle> members;
        members.push_back({random.uniform(border, width - border), random.uniform(border, height - border),
                           random.uniform(options.minRadius, options.maxRadius)});
        for (int attempt = 1; attempt < 3 * cells && static_cast<int>(members.size()) < cells; ++attempt) {
            const DrawnParticle& parent = members[random.next() % members.size()];
            const double radius = random.uniform(options.minRadius, options.maxRadius);
            const double angle = random.uniform(0, 6.283185307179586);
            const double distance = options.spacing * 0.5 * (parent.radius + radius) * random.uniform(0.8, 1.25);
            const double column = parent.column + distance * std::cos(angle);
            const double row = parent.row + distance * std::sin(angle);
            if (column < border || column >= width - border || row < border || row >= height - border) continue;
            // Cells touch but do not lie on top of each other.
            bool crowded = false;
            for (const DrawnParticle& other : members)
                crowded = crowded || std::hypot(other.column - column, other.row - row) <
                                         0.8 * options.spacing * 0.5 * (other.radius + radius);
            if (!crowded) members.push_back({column, row, radius});
        }
        for (const DrawnParticle& cell : members) {
            result.particles.push_back(cell);
            const double peak = random.uniform(0.75, 1.35);
            const double sigma = cell.radius * 0.75;
            const int reach = static_cast<int>(std::ceil(3 * sigma));
            const int centreColumn = static_cast<int>(cell.column), centreRow = static_cast<int>(cell.row);
            for (int y = centreRow - reach; y <= centreRow + reach; ++y) {
                float* line = light.data() + static_cast<std::size_t>(y) * width;
                for (int x = centreColumn - reach; x <= centreColumn + reach; ++x) {
                    // A dome blurred by the optics: brightest in the middle, dimmer where cells meet.
                    const double dx = x + 0.5 - cell.column, dy = y + 0.5 - cell.row;
                    line[x] += static_cast<float>(peak * std::exp(-0.5 * (dx * dx + dy * dy) / (sigma * sigma)));
                }
            }
        }
    }

    // Dark blue background with a faint gradient, the cells' light on top, sensor noise over all.
    constexpr double kKnee = 1.0, kRoom = 0.45;
    const double red = colourRed(options.cellColour), green = colourGreen(options.cellColour),
                 blue = colourBlue(options.cellColour);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = result.picture.row(y);
        const float* line = light.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const double level = 1.0 + 0.3 * std::sin(x * 0.0011) * std::cos(y * 0.0013);
            // The camera's response flattens towards full brightness: where cells overlap, the
            // cluster stays about as bright as a single cell.
            const double sum = line[x];
            const double weight = sum <= kKnee ? sum : kKnee + kRoom * (1.0 - std::exp(-(sum - kKnee) / kRoom));
            row[3 * x + 0] = toByte(18 * level + blue * weight + 3.0 * random.noise());
            row[3 * x + 1] = toByte(9 * level + green * weight + 2.0 * random.noise());
            row[3 * x + 2] = toByte(4 * level + red * weight + 1.5 * random.noise());
        }
    }
    return result;
}
