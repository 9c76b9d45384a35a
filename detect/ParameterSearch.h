#pragma once
// Teaching by example: the count's parameters and the blob count's settings learnt from the marks a
// user clicked inside a teaching region. Both searches judge a candidate by the detections whose
// accepted pixel lies in the region: the number first (found against marked), then the positions
// (F1, a detection matching a mark within about one particle size).

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/BlobSettings.h"
#include "core/Picture.h"
#include "core/WorkProgress.h"
#include "detect/CountRun.h"
#include "detect/Marks.h"

/// How well detections fit the marks of a region.
struct MarkFit {
    int marks = 0;    // marks in the region
    int found = 0;    // detections in the region
    int matched = 0;  // detections paired with a mark
    int missed() const { return marks - matched; }
    int extra() const { return found - matched; }
    double f1() const { return marks + found == 0 ? 1.0 : 2.0 * matched / (marks + found); }
};

/// Pairs detections with marks, closest pairs first, each at most once, within radius.
MarkFit fitMarks(const std::vector<Mark>& marks, const std::vector<Mark>& detections, double radius);

/// True when a is the better fit: fewer of a number's difference, then the higher F1.
bool betterFit(const MarkFit& a, const MarkFit& b);

struct TeachOptions {
    int threads = 0;                           // 0: all cores
    const std::atomic<bool>* cancel = nullptr; // set from another thread to end the search early
    WorkProgress progress;                     // called on the calling thread now and then (counts run,
                                               // an estimate of all); false ends the search early
};

/// What teaching gave: the learnt values and how they fit the region's marks.
struct Teaching {
    std::string error;            // set when nothing could be learnt (bad region, too few marks)
    bool cancelled = false;       // the search was stopped; the values are the best found so far
    double particleScale = 0;     // the scale at which the marked particles respond best
    double matchRadius = 0;       // distance within which a detection matches a mark
    CountParams count;            // the count's parameters, target colour included
    MarkFit countFit;
    BlobSettings blobs;
    MarkFit blobFit;
    int evaluations = 0;          // counts run by the search
    int duplicateMarks = 0;       // marks on a pixel marked before: taught as one mark
};

/// Fewest marks teaching accepts; fewer cannot pin down seven parameters at all.
inline constexpr int kLeastTeachingMarks = 3;
/// Most marks one teaching region takes: the fit of every candidate pairs each mark with the
/// detections near it, and no region of a picture holds more particles a person marks by hand.
inline constexpr int kMostTeachingMarks = 20000;
/// Marks the manual asks for: fewer give parameters that fit the region but not the picture.
inline constexpr int kAdvisedTeachingMarks = 30;

/// Learns both counts' values from the marks inside region of picture (marks outside are ignored;
/// marks on one pixel count once). Fails when the region holds too few or too many marks, or when no
/// parameters tried find a single marked particle.
/// Deterministic: the same picture, region and marks give the same values whatever the threads.
Teaching teachFromMarks(const Picture& picture, const PixelRegion& region, const std::vector<Mark>& marks,
                        const TeachOptions& options = {});

/// The count's detections (CentreMarkers) whose accepted pixel lies in region, after a count of
/// region plus a margin with params.
std::vector<Mark> countInRegion(const Picture& picture, const PixelRegion& region, const CountParams& params);

/// The blob count's detections whose accepted pixel lies in region.
std::vector<Mark> blobsInRegion(const Picture& picture, const PixelRegion& region, const BlobSettings& settings,
                                std::uint32_t targetColour);

/// The target colour of the marks: per channel the median of the marks' 3 x 3 mean colours (0xBBGGRR).
std::uint32_t markedColour(const Picture& picture, const std::vector<Mark>& marks);

/// The learnt count values as the main window's fields and a parameter file hold them: sizes, target
/// colour, tolerances and contrast written into texts; the scale, filter area and volume are kept.
void writeLearntTexts(const CountParams& learnt, ParameterTexts& texts);
