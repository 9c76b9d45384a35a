#include "report/ParticleTable.h"

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "core/FieldLabels.h"
#include "core/FieldText.h"
#include "report/ReportFile.h"

namespace {

/// value with a fixed number of decimals and '.', whatever the locale (to_chars ignores it).
std::string dotted(double value, int decimals)
{
    char buffer[64];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, written.ptr);
}

std::string meanOf(std::uint64_t sum, std::int64_t count)
{
    return count > 0 ? dotted(static_cast<double>(sum) / static_cast<double>(count), 2) : std::string();
}

}  // namespace

std::string particleTableFileName(std::string_view imageFileName)
{
    std::string name = withoutPictureSuffix(imageFileName) + ".csv";
    return name.rfind("c_", 0) == 0 ? name : "c_" + name;
}

std::string particleTableText(const ParticleList& list, double pixelsPerMm)
{
    const double micronsPerPixel = 1000.0 / pixelsPerMm;
    std::string text = std::string(kParticleTableHeader) + "\n";
    std::size_t number = 0;
    for (const ParticleRecord& p : list.particles) {
        const double areaMicrons = static_cast<double>(p.areaPixels) * micronsPerPixel * micronsPerPixel;
        // The diameter of the circle of the same area.
        const double diameter = 2.0 * std::sqrt(areaMicrons / std::numbers::pi);
        text += std::to_string(++number) + "," + std::to_string(p.x) + "," + std::to_string(p.y) + "," +
                meanOf(p.sumX, p.areaPixels) + "," + meanOf(p.sumY, p.areaPixels) + "," +
                std::to_string(p.areaPixels) + "," + dotted(areaMicrons, 3) + "," + dotted(diameter, 3) +
                "," + meanOf(p.sumRed, p.areaPixels) + "," + meanOf(p.sumGreen, p.areaPixels) + "," +
                meanOf(p.sumBlue, p.areaPixels) + "," + (p.added ? "1" : "0") + "," +
                (p.removed ? "1" : "0") + "\n";
    }
    return text;
}

FileSaveOutcome writeParticleTable(const std::filesystem::path& path, const ParticleList& list,
                                   const ParameterTexts& fields)
{
    const std::int64_t pixelsPerMm = readWholeField(kPixelsPerMmField, fields.Edpixmm, 0, INT32_MAX);
    if (pixelsPerMm == 0)
        throw FieldError{"Pixels / mm is 0: the particles' sizes in micrometres cannot be computed."};
    return writeFileAtomically(path, particleTableText(list, static_cast<double>(pixelsPerMm)));
}
