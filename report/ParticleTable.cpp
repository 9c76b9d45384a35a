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

namespace {

// The columns the reader takes, by their place in kParticleTableHeader.
constexpr std::size_t kAreaPixelsColumn = 5;
constexpr std::size_t kAreaUm2Column = 6;
constexpr std::size_t kAddedColumn = 11;
constexpr std::size_t kRemovedColumn = 12;
constexpr std::size_t kColumns = 13;
// A table holds a line of about 60 bytes per particle: far more than any picture's particles.
constexpr std::uintmax_t kMaxParticleTableBytes = 256u << 20;

std::vector<std::string_view> splitCommas(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

}  // namespace

ParticleTableReading readParticleTableText(std::string_view text, const std::string& fileName)
{
    ParticleTableReading reading;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++lineNumber;
        if (lineNumber == 1) {
            if (line != kParticleTableHeader) {
                reading.error = "The file \"" + fileName +
                                "\" is no particle table: its first line is not the table's header.";
                return reading;
            }
            continue;
        }
        if (line.empty() && text.empty()) break;
        const std::vector<std::string_view> fields = splitCommas(line);
        ParticleTableRow row;
        const auto number = [&](std::size_t column) { return parseWholeNumber(fields[column]); };
        const auto area = fields.size() == kColumns ? number(kAreaPixelsColumn) : std::nullopt;
        const auto areaUm2 = fields.size() == kColumns ? parseDecimal(fields[kAreaUm2Column]) : std::nullopt;
        const auto added = fields.size() == kColumns ? number(kAddedColumn) : std::nullopt;
        const auto removed = fields.size() == kColumns ? number(kRemovedColumn) : std::nullopt;
        if (!area || *area < 0 || !areaUm2 || !(*areaUm2 >= 0) || !added || *added < 0 || *added > 1 ||
            !removed || *removed < 0 || *removed > 1) {
            reading.rows.clear();
            reading.error = "The particle table \"" + fileName + "\" cannot be read: line " +
                            std::to_string(lineNumber) + " is no row of it.";
            return reading;
        }
        row.areaPixels = *area;
        row.areaUm2 = *areaUm2;
        row.added = *added == 1;
        row.removed = *removed == 1;
        reading.rows.push_back(row);
    }
    if (lineNumber == 0) reading.error = "The particle table \"" + fileName + "\" is empty.";
    return reading;
}

ParticleTableReading readParticleTable(const std::filesystem::path& path)
{
    const BoundedRead read = readBoundedFile(path, kMaxParticleTableBytes);
    if (!read.reason.empty()) {
        ParticleTableReading reading;
        reading.error = "Cannot read the particle table " + quotedPath(path) + ": " + read.reason;
        return reading;
    }
    return readParticleTableText(read.bytes, path.filename().string());
}
