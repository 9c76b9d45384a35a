#pragma once
// The particle table: one CSV row per particle of the last count and per particle added by hand,
// with its position (the accepted pixel, and the centre of its area), area, equivalent circle
// diameter, mean colour and manual flags. UTF-8, a
// header line, '.' as the decimal point whatever the regional settings, LF line ends.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/AtomicFile.h"
#include "core/ParameterTexts.h"
#include "core/Particles.h"

inline constexpr const char* kParticleTableHeader =
    "number,x,y,centre_x,centre_y,area_pixels,area_um2,ecd_um,mean_red,mean_green,mean_blue,added,removed";

/// The table's file name: "c_" + withoutPictureSuffix(name) + ".csv" ("c_" not doubled), so it sits
/// beside the report of the same picture (photo.jpeg: c_photo.txt and c_photo.csv).
std::string particleTableFileName(std::string_view imageFileName);

/// The whole table. Areas in µm² and diameters in µm use pixelsPerMm (above 0). The centre of area is
/// the mean column and row of the pixels counted in the area, with two decimals. A particle without
/// area (added by hand) has an empty centre of area and empty mean colours.
std::string particleTableText(const ParticleList& list, double pixelsPerMm);

/// Reads Edpixmm as the results do (FieldError when it is no whole number above 0) and writes the
/// table to path atomically.
FileSaveOutcome writeParticleTable(const std::filesystem::path& path, const ParticleList& list,
                                   const ParameterTexts& fields);

/// What a saved table gives of each particle: its area and whether it was added or removed by hand.
struct ParticleTableRow {
    std::int64_t areaPixels = 0;
    double areaUm2 = 0;
    bool added = false, removed = false;
};
struct ParticleTableReading {
    std::vector<ParticleTableRow> rows;
    std::string error;  // the file is not a particle table or a row is broken: why, naming the file
};
/// Reads a table particleTableText wrote (LF or CR LF line ends). Never writes anything.
ParticleTableReading readParticleTable(const std::filesystem::path& path);
/// The same from the table's text; fileName names it in the error.
ParticleTableReading readParticleTableText(std::string_view text, const std::string& fileName);
