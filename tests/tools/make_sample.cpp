// make-sample: writes a synthetic fluorescence micrograph as a binary PPM (convert it with cjpeg) or,
// for a name ending in .bmp, as a 24-bit BMP.
//   make-sample OUTPUT [WIDTH HEIGHT PARTICLES SEED [MARKS.csv]]
//   make-sample --clusters OUTPUT WIDTH HEIGHT CLUSTERS SEED [MARKS.csv]
// The first draws separate green particles; --clusters draws blurry blue cells touching in clusters
// (about 20 cells each). Prints the number of particles or cells drawn. MARKS.csv, when given, gets
// their centres (header x,y), as the counter's --learn reads marks.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/SyntheticMicrograph.h"

namespace {

bool readNumber(const char* text, long minimum, long maximum, long& value)
{
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= minimum && value <= maximum;
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void putLittleEndian(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

/// Writes rows bottom-up as BMP wants them (24 bits, rows padded to 4 bytes), or top-down as PPM in
/// red, green, blue order. The layers hold blue, green, red.
bool writePicture(const Picture& picture, const std::string& name)
{
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) {
        std::perror(name.c_str());
        return false;
    }
    const bool bmp = endsWith(name, ".bmp") || endsWith(name, ".BMP");
    const std::size_t rowBytes = picture.stride();
    const std::size_t padded = bmp ? (rowBytes + 3) / 4 * 4 : rowBytes;
    bool written = true;
    if (bmp) {
        std::vector<std::uint8_t> header(54, 0);
        const std::uint32_t pixelBytes = static_cast<std::uint32_t>(padded * picture.height());
        header[0] = 'B';
        header[1] = 'M';
        putLittleEndian(header, 2, 54 + pixelBytes, 4);
        putLittleEndian(header, 10, 54, 4);
        putLittleEndian(header, 14, 40, 4);
        putLittleEndian(header, 18, static_cast<std::uint32_t>(picture.width()), 4);
        putLittleEndian(header, 22, static_cast<std::uint32_t>(picture.height()), 4);
        putLittleEndian(header, 26, 1, 2);
        putLittleEndian(header, 28, 24, 2);
        putLittleEndian(header, 34, pixelBytes, 4);
        written = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    } else {
        std::fprintf(file, "P6\n%d %d\n255\n", picture.width(), picture.height());
    }
    std::vector<std::uint8_t> line(padded, 0);
    for (int i = 0; i < picture.height() && written; ++i) {
        const std::uint8_t* row = picture.row(bmp ? picture.height() - 1 - i : i);
        for (std::size_t x = 0; x < rowBytes; x += 3) {
            line[x] = row[x + (bmp ? 0 : 2)];
            line[x + 1] = row[x + 1];
            line[x + 2] = row[x + (bmp ? 2 : 0)];
        }
        written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    }
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "make-sample: could not write %s\n", name.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool clusters = argc > 1 && std::string(argv[1]) == "--clusters";
    const int sized = clusters ? 7 : 6;  // arguments with the size, the count and the seed
    if (clusters ? (argc != 7 && argc != 8) : (argc != 2 && argc != 6 && argc != 7)) {
        std::fprintf(stderr, "usage: make-sample OUTPUT [WIDTH HEIGHT PARTICLES SEED [MARKS.csv]]\n"
                             "       make-sample --clusters OUTPUT WIDTH HEIGHT CLUSTERS SEED [MARKS.csv]\n");
        return 2;
    }
    char** values = argv + (clusters ? 3 : 2);
    long width = 0, height = 0, count = 0, seed = 0;
    if (argc >= 6 && (!readNumber(values[0], 16, 30000, width) || !readNumber(values[1], 16, 30000, height) ||
                      !readNumber(values[2], 0, 1000000, count) || !readNumber(values[3], 0, 0xFFFFFFFFL, seed))) {
        std::fprintf(stderr, "make-sample: WIDTH and HEIGHT must be 16 to 30000, PARTICLES or CLUSTERS 0 to 1000000\n");
        return 2;
    }
    Micrograph micrograph;
    if (clusters) {
        ClusterOptions options;
        options.width = static_cast<int>(width);
        options.height = static_cast<int>(height);
        options.clusters = static_cast<int>(count);
        options.seed = static_cast<std::uint32_t>(seed);
        micrograph = makeClusteredMicrograph(options);
    } else {
        MicrographOptions options;
        if (argc >= 6) {
            options.width = static_cast<int>(width);
            options.height = static_cast<int>(height);
            options.particles = static_cast<int>(count);
            options.seed = static_cast<std::uint32_t>(seed);
        }
        micrograph = makeSyntheticMicrograph(options);
    }
    if (!writePicture(micrograph.picture, argv[clusters ? 2 : 1])) return 1;
    if (argc == sized + 1) {
        std::FILE* marks = std::fopen(argv[sized], "w");
        if (!marks) return 1;
        std::fprintf(marks, "x,y\n");
        for (const DrawnParticle& particle : micrograph.particles)
            std::fprintf(marks, "%ld,%ld\n", std::lround(particle.column), std::lround(particle.row));
        if (std::fclose(marks) != 0) return 1;
    }
    std::printf("%zu particles\n", micrograph.particles.size());
    return 0;
}
