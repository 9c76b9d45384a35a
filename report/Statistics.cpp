#include "report/Statistics.h"
#include "core/FieldLabels.h"

#include <cmath>

#include "core/FieldText.h"
#include "core/Markers.h"
#include "report/NumberFormat.h"
#include "report/ReportFile.h"

void scanMarkerPositions(const Picture& area, TAnalysisState& state)
{
    state.MarkerList.clear();
    const std::size_t width = static_cast<std::size_t>(area.width());
    for (int y = 0; y < area.height(); ++y) {
        const std::uint8_t* row = area.row(y);
        for (std::size_t x = 0; x < width; ++x)
            if (isCentreMarker(row + 3 * x))
                state.MarkerList.push_back({static_cast<std::uint32_t>(y), static_cast<std::uint32_t>(x)});
    }
}

std::string xyDataText(const std::vector<MarkerPosition>& markers)
{
    std::string text;
    text.reserve(markers.size() * 12);
    for (const MarkerPosition& marker : markers)
        text += std::to_string(marker.row) + ";" + std::to_string(marker.column) + "\r\n";
    return text;
}

std::string xyDataFileName(std::string_view imageFileName)
{
    std::string name = withoutPictureSuffix(imageFileName) + ".asc";
    if (name.rfind("c_", 0) != 0) name = "c_" + name;
    return name;
}

FieldScan scanmarkers(const Picture& area, TAnalysisState& state, const ParameterTexts& texts)
{
    FieldScan scan;
    const std::int64_t minSkip = readWholeField(kMinSizeField, texts.Edmin, 0, 255);
    const std::int64_t pixelsPerMm = readWholeField(kPixelsPerMmField, texts.Edpixmm, 0, 2147483647);
    if (state.GridMicrons == 0) {
        scan.error = kNoStatisticsWithoutGrid;
        return scan;
    }
    scan.fieldSize = pixelsPerMm * state.GridMicrons / 1000;
    if (scan.fieldSize == 0) {
        scan.error = "No statistics: a grid field would be smaller than one pixel (pixels per mm x grid "
                     "spacing must be at least 1000).";
        return scan;
    }
    const int width = area.width(), height = area.height();
    scan.fieldsX = width / scan.fieldSize;
    scan.fieldsY = height / scan.fieldSize;
    if (scan.fieldsX < 1 || scan.fieldsY < 1) {
        scan.error = "No statistics: the picture is smaller than one grid field.";
        return scan;
    }
    if (scan.fieldsX > kMaxFieldsPerDirection || scan.fieldsY > kMaxFieldsPerDirection) {
        scan.error = "No statistics: more than 255 grid fields in one direction; choose a larger grid.";
        return scan;
    }
    const std::int64_t marginX = (width - scan.fieldsX * scan.fieldSize) / 2;
    const std::int64_t marginY = (height - scan.fieldsY * scan.fieldSize) / 2;
    state.FieldHistogram.fill(0);
    for (std::int64_t j = 0; j < scan.fieldsY; ++j) {
        for (std::int64_t i = 0; i < scan.fieldsX; ++i) {
            int fieldCount = 0;
            const std::int64_t left = marginX + i * scan.fieldSize, right = left + scan.fieldSize;
            const std::int64_t top = marginY + j * scan.fieldSize;
            for (std::int64_t y = top; y < top + scan.fieldSize; ++y) {
                const std::uint8_t* row = area.row(static_cast<int>(y));
                for (std::int64_t x = left; x < right; ++x) {
                    if (isCentreMarker(row + 3 * x) && fieldCount < kMaxFieldCount) {
                        ++fieldCount;
                        ++scan.total;
                        x += minSkip;
                    }
                }
            }
            ++state.FieldHistogram[fieldCount];
        }
    }
    return scan;
}

std::vector<std::string> statisticsLines(const FieldScan& scan, const TAnalysisState& state)
{
    const std::int64_t fields = scan.fieldsX * scan.fieldsY;
    std::vector<std::string> lines;
    lines.push_back("<STATISTICS> ");
    lines.push_back("<Small field area (um^2):> " + std::to_string(int(state.GridMicrons) * int(state.GridMicrons)));
    lines.push_back("<Fields analysed:> " + std::to_string(fields));
    lines.push_back("<Total count:> " + std::to_string(scan.total));
    for (int n = 0; n < 256; ++n)
        if (state.FieldHistogram[n] > 0)
            lines.push_back("<Fields with> " + std::to_string(n) + " <counts:> " +
                            std::to_string(state.FieldHistogram[n]));
    const long double average = static_cast<long double>(scan.total) / static_cast<long double>(fields);
    lines.push_back("<Average count per grid field:> " + formatFixed(static_cast<double>(average)));
    const std::int64_t empty = state.FieldHistogram[0];
    if (empty > 0 && empty > scan.total / 2) {
        const long double p0 = static_cast<long double>(empty) / static_cast<long double>(fields);
        const long double lambda = 0.0L - std::log(p0);  // +0 rather than -0 when every field is empty
        lines.push_back("<with \xC2\xB4" "Count = -ln(p0)\xC2\xB4 per field:> " + formatFixed(static_cast<double>(lambda)));
        // With no marker at all both means are 0: the corrected figure is 0 as well.
        const long double corrected =
            scan.total == 0 ? 0.0L : lambda / average * static_cast<long double>(state.ParticlesPerCm3);
        lines.push_back("<corresponding count per cm^3:> " + formatScientific(static_cast<double>(corrected)));
    }
    return lines;
}
