#pragma once
// AnalysisState: the one program-wide analysis record. Every window reads and writes its fields
// directly; the core functions take the record as a parameter, so the headless counter and the tests
// can hold records of their own.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

/// Export button's job (ExportMode).
enum : std::uint8_t { kExportOff = 0, kExportXY = 1, kExportStatistics = 2, kExportParticles = 3 };
/// Layer in front (ViewMode).
enum : std::uint8_t { kViewNone = 0, kViewOriginal = 1, kViewCount = 2, kViewArea = 3 };

/// One particle centre for the x/y export: row from the top, then column, in picture pixels.
struct MarkerPosition {
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    bool operator==(const MarkerPosition&) const = default;
};

struct TAnalysisState {
    std::int32_t ImageWidth = 0;   // width of the current picture in pixels
    std::int32_t ImageHeight = 0;  // height of the current picture in pixels
    bool ReportActive = false;     // the report window holds a report of the current picture, not the manual
    std::uint8_t ExportMode = 0;   // kExportOff, kExportXY, kExportStatistics or kExportParticles
    std::uint8_t GridMicrons = 0;  // grid spacing in micrometres; 0 = no grid
    std::uint8_t ScaleMicrons = 0; // scale bar length in micrometres; 0 = no scale bar
    bool AddMode = false;          // a click on the count view adds (true) or removes (false) a particle
    std::uint8_t ViewMode = 0;     // kViewNone .. kViewArea
    std::int32_t AutoCount = 0;    // particles found by the last count, plus manual adds, minus removals
    std::uint16_t ZoomPercent = 0; // display zoom of the image window
    std::uint16_t ManualRemoved = 0;  // particles removed by hand since the last count
    std::uint16_t ManualAdded = 0;    // particles added by hand since the last count
    double ParticlesPerFilter = 0;
    double ParticlesPerCm3 = 0;
    std::string ImageFileName;     // picture's file name without its directory, extension included
    // Centre positions collected by the x/y export. Unbounded: every marker is exported.
    std::vector<MarkerPosition> MarkerList;
    std::array<std::uint16_t, 256> FieldHistogram{};  // grid fields holding n particles, n = 0..255
    // Sum of the accepted particles' areas. Wide so that large pictures cannot wrap it.
    std::int64_t TotalAreaPixels = 0;
};
