// make-sample: writes a synthetic fluorescence micrograph as a binary PPM (convert it with cjpeg).
//   make-sample OUTPUT.ppm [WIDTH HEIGHT PARTICLES SEED]
// Prints the number of particles drawn.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/SyntheticMicrograph.h"

namespace {

bool readNumber(const char* text, long minimum, long maximum, long& value)
{
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= minimum && value <= maximum;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: make-sample OUTPUT.ppm [WIDTH HEIGHT PARTICLES SEED]\n");
        return 2;
    }
    MicrographOptions options;
    if (argc == 6) {
        long width = 0, height = 0, particles = 0, seed = 0;
        if (!readNumber(argv[2], 16, 30000, width) || !readNumber(argv[3], 16, 30000, height) ||
            !readNumber(argv[4], 0, 1000000, particles) || !readNumber(argv[5], 0, 0xFFFFFFFFL, seed)) {
            std::fprintf(stderr,
                         "make-sample: WIDTH and HEIGHT must be 16 to 30000, PARTICLES 0 to 1000000\n");
            return 2;
        }
        options.width = static_cast<int>(width);
        options.height = static_cast<int>(height);
        options.particles = static_cast<int>(particles);
        options.seed = static_cast<std::uint32_t>(seed);
    }
    const Micrograph micrograph = makeSyntheticMicrograph(options);
    const Picture& picture = micrograph.picture;

    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(file, "P6\n%d %d\n255\n", picture.width(), picture.height());
    std::string rgb(static_cast<std::size_t>(picture.width()) * 3, '\0');
    bool written = true;
    for (int y = 0; y < picture.height() && written; ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width(); ++x) {  // the layers hold blue, green, red; PPM wants red first
            rgb[3 * x] = static_cast<char>(row[3 * x + 2]);
            rgb[3 * x + 1] = static_cast<char>(row[3 * x + 1]);
            rgb[3 * x + 2] = static_cast<char>(row[3 * x]);
        }
        written = std::fwrite(rgb.data(), 1, rgb.size(), file) == rgb.size();
    }
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "make-sample: could not write %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu particles\n", micrograph.particles.size());
    return 0;
}
