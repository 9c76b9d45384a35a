#pragma once
// Grid-field statistics and the x/y export, computed from the CentreMarkers of the area layer.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/AnalysisState.h"
#include "core/ParameterTexts.h"
#include "core/Picture.h"

/// Every CentreMarker of the area layer, row by row from the top, left to right: every row and every
/// column, no limit on the number. Fills state.MarkerList.
void scanMarkerPositions(const Picture& area, TAnalysisState& state);

/// The x/y export file's text: "row;column" and CR LF per marker, in MarkerList order.
std::string xyDataText(const std::vector<MarkerPosition>& markers);
/// The export's file name: "c_" + name less its last four characters + ".asc" ("c_" not doubled).
std::string xyDataFileName(std::string_view imageFileName);

/// Why the statistics button refuses while no grid is chosen.
inline constexpr const char* kNoStatisticsWithoutGrid =
    "No statistics without a grid: choose a grid in Options, Grid.";

/// The result of the field scan.
struct FieldScan {
    std::string error;          // set when no statistics can be made; nothing else is then valid
    std::int64_t fieldSize = 0;
    std::int64_t fieldsX = 0;
    std::int64_t fieldsY = 0;
    std::int64_t total = 0;     // markers counted in the fields
};

constexpr int kMaxFieldCount = 255;       // markers counted per field at most
constexpr int kMaxFieldsPerDirection = 255;

/// Counts the markers of every grid field (the cells of the drawn grid) into state.FieldHistogram.
/// After a counted marker the next minSkip columns of the field row are passed over. The fields
/// Edmin and Edpixmm are read in this order (FieldError when they are no numbers). Without a grid,
/// with less than one whole field or more than 255 fields in a direction, error is set and the
/// histogram is left as it was.
FieldScan scanmarkers(const Picture& area, TAnalysisState& state, const ParameterTexts& texts);

/// The lines appended to the report after a field scan.
std::vector<std::string> statisticsLines(const FieldScan& scan, const TAnalysisState& state);
