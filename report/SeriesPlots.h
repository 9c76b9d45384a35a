#pragma once
// The numbers behind the series' plots: the particle-size histogram (of one picture or of the whole
// series), the field counts against what random (Poisson) scatter at the pooled mean predicts, and the
// counts per picture. Plain numbers and labels; the window draws them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Particles.h"
#include "report/ParticleTable.h"
#include "report/Series.h"

enum class AreaUnit { Pixels, SquareMicrons };
/// The axis label of each unit (UTF-8).
const char* areaUnitLabel(AreaUnit unit);

/// Bars of the size histogram unless asked otherwise.
inline constexpr int kSizeHistogramBins = 20;

/// One bar: the areas from low up to high (the last bar includes high).
struct HistogramBin {
    double low = 0, high = 0;
    std::int64_t count = 0;
};

struct SizeHistogram {
    AreaUnit unit = AreaUnit::Pixels;
    std::vector<HistogramBin> bins;  // equal widths from the smallest area to the largest; none for no areas
    std::int64_t particles = 0;      // the areas counted: the bars' sum
};

/// Areas of the particles the count found and nobody removed; those added by hand have no area and are
/// left out. In µm² when pixelsPerMm is above 0, else in pixels.
std::vector<double> particleAreas(const ParticleList& list, double pixelsPerMm);
/// The same from a saved particle table, in unit.
std::vector<double> particleAreas(const ParticleTableReading& table, AreaUnit unit);

/// The histogram of areas in bins bars (at least 1).
SizeHistogram sizeHistogram(const std::vector<double>& areas, AreaUnit unit, int bins = kSizeHistogramBins);

/// The areas of every saved row's particle table, in row order; a saved row whose table is missing or
/// cannot be read adds nothing, and problems says which.
struct SeriesAreas {
    std::vector<double> areas;
    std::vector<std::string> problems;
};
SeriesAreas seriesParticleAreas(const Series& series, AreaUnit unit);

/// Bars of the field-count plot at most.
inline constexpr int kFieldCountBins = 20;

/// One bar: the fields whose counts lie from low to high (both included), and how many fields random
/// scatter at the mean would put there. The first bar also takes every count below it and the last every
/// count above it, for the expectation: so the expectations add up to the number of fields.
struct FieldCountBin {
    std::int64_t low = 0, high = 0;
    int fields = 0;
    double expected = 0;
};

struct FieldCountPlot {
    double mean = 0;  // the mean count per field the expectation is for
    int fields = 0;
    std::vector<FieldCountBin> bins;  // equal widths of whole counts from the smallest count to the largest
};

/// The counts' plot at mean (the pooled mean per field); no bars for no counts.
FieldCountPlot fieldCountPlot(const std::vector<std::int64_t>& counts, double mean,
                              int maxBins = kFieldCountBins);
/// The same for the pooled fields of a series, at their pooled mean.
FieldCountPlot fieldCountPlot(const SeriesPool& pool, int maxBins = kFieldCountBins);

/// The probability of k under Poisson scatter at mean (mean >= 0).
double poissonProbability(std::int64_t k, double mean);

/// One picture's counts, for the counts-per-picture plot: unset where the row has none.
struct PictureCounts {
    std::string label;  // the picture's name
    std::optional<std::int32_t> specified;
    std::optional<int> blob, learnt;
};
std::vector<PictureCounts> countsPerPicture(const Series& series);
