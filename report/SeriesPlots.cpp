#include "report/SeriesPlots.h"

#include <algorithm>
#include <cmath>

#include "report/ParticleTable.h"

namespace fs = std::filesystem;

const char* areaUnitLabel(AreaUnit unit)
{
    return unit == AreaUnit::SquareMicrons ? "\xC2\xB5m\xC2\xB2" : "pixels";
}

std::vector<double> particleAreas(const ParticleList& list, double pixelsPerMm)
{
    const double micronsPerPixel = pixelsPerMm > 0 ? 1000.0 / pixelsPerMm : 1.0;
    std::vector<double> areas;
    for (const ParticleRecord& particle : list.particles)
        if (!particle.removed && !particle.added)
            areas.push_back(static_cast<double>(particle.areaPixels) * micronsPerPixel * micronsPerPixel);
    return areas;
}

std::vector<double> particleAreas(const ParticleTableReading& table, AreaUnit unit)
{
    std::vector<double> areas;
    for (const ParticleTableRow& row : table.rows)
        if (!row.removed && !row.added)
            areas.push_back(unit == AreaUnit::SquareMicrons ? row.areaUm2
                                                            : static_cast<double>(row.areaPixels));
    return areas;
}

SizeHistogram sizeHistogram(const std::vector<double>& areas, AreaUnit unit, int bins)
{
    SizeHistogram histogram;
    histogram.unit = unit;
    if (areas.empty()) return histogram;
    bins = std::max(bins, 1);
    const auto [smallest, largest] = std::minmax_element(areas.begin(), areas.end());
    const double low = *smallest, high = *largest;
    // All areas alike: one bar holds them.
    if (!(high > low)) bins = 1;
    const double width = bins == 1 ? 0 : (high - low) / bins;
    histogram.bins.resize(static_cast<std::size_t>(bins));
    for (int i = 0; i < bins; ++i) {
        histogram.bins[i].low = low + i * width;
        histogram.bins[i].high = i + 1 == bins ? high : low + (i + 1) * width;
    }
    for (double area : areas) {
        const int index = width > 0 ? std::min(bins - 1, static_cast<int>((area - low) / width)) : 0;
        ++histogram.bins[static_cast<std::size_t>(index)].count;
    }
    histogram.particles = static_cast<std::int64_t>(areas.size());
    return histogram;
}

SeriesAreas seriesParticleAreas(const Series& series, AreaUnit unit)
{
    SeriesAreas result;
    for (const SeriesRow& row : series.rows()) {
        if (row.state != SeriesState::Saved) continue;
        const fs::path table = row.path.parent_path() / particleTableFileName(row.name);
        const ParticleTableReading reading = readParticleTable(table);
        if (!reading.error.empty()) {
            result.problems.push_back(reading.error);
            continue;
        }
        const std::vector<double> areas = particleAreas(reading, unit);
        result.areas.insert(result.areas.end(), areas.begin(), areas.end());
    }
    return result;
}

double poissonProbability(std::int64_t k, double mean)
{
    if (k < 0) return 0;
    if (mean <= 0) return k == 0 ? 1.0 : 0.0;
    // In logarithms: a mean of hundreds overflows the power and underflows the exponential.
    const double kk = static_cast<double>(k);
    return std::exp(kk * std::log(mean) - mean - std::lgamma(kk + 1));
}

FieldCountPlot fieldCountPlot(const std::vector<std::int64_t>& counts, double mean, int maxBins)
{
    FieldCountPlot plot;
    plot.mean = mean;
    plot.fields = static_cast<int>(counts.size());
    if (counts.empty()) return plot;
    maxBins = std::max(maxBins, 1);
    const auto [smallest, largest] = std::minmax_element(counts.begin(), counts.end());
    const std::int64_t first = *smallest, span = *largest - *smallest + 1;
    const std::int64_t width = (span + maxBins - 1) / maxBins;
    const std::int64_t bins = (span + width - 1) / width;
    plot.bins.resize(static_cast<std::size_t>(bins));
    for (std::int64_t i = 0; i < bins; ++i) {
        plot.bins[i].low = first + i * width;
        plot.bins[i].high = first + (i + 1) * width - 1;
    }
    for (std::int64_t count : counts) ++plot.bins[static_cast<std::size_t>((count - first) / width)].fields;
    // The chance of each bar's counts; the first bar takes the lower tail and the last the upper one.
    double below = 0;  // P(X < the bar's low)
    for (std::int64_t k = 0; k < first; ++k) below += poissonProbability(k, mean);
    double taken = 0;
    for (std::int64_t i = 0; i < bins; ++i) {
        FieldCountBin& bin = plot.bins[i];
        double chance = i == 0 ? below : 0;
        for (std::int64_t k = bin.low; k <= bin.high; ++k) chance += poissonProbability(k, mean);
        if (i + 1 == bins) chance = std::max(0.0, 1.0 - taken);
        taken += chance;
        bin.expected = plot.fields * chance;
    }
    return plot;
}

FieldCountPlot fieldCountPlot(const SeriesPool& pool, int maxBins)
{
    std::vector<std::int64_t> counts;
    for (const PoolField& field : pool.fields) counts.push_back(field.count);
    return fieldCountPlot(counts, pool.result.error.empty() ? pool.result.meanPerField : 0.0, maxBins);
}

std::vector<PictureCounts> countsPerPicture(const Series& series)
{
    std::vector<PictureCounts> counts;
    for (const SeriesRow& row : series.rows())
        counts.push_back({row.name, row.count, row.blobCount, row.learntCount});
    return counts;
}
