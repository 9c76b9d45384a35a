#pragma once
// The learnt count: a third count beside the scan of CountRun and the blob count. Every pixel gets
// features of the target's dominant channel (divided by the local background level, so the same
// particle gives the same features under any light or stretch): Gaussian smoothing, gradient
// magnitude, Laplacian of Gaussian, Hessian and structure-tensor eigenvalues and differences of
// Gaussians, at scales that follow the particle scale the marks show. A forest of extremely
// randomised regression trees, trained on the teaching set, turns them into a density: each mark
// was taught as a Gaussian of one particle, each background box as zero. The count is the density's
// sum over the picture; the learnt particle positions are its peaks. Where the marks stand clear of
// the ground, teaching also learns a gate: pixels plainly ground by it are neither taught on nor
// predicted, and have density 0.
//
// Teaching is deterministic (every tree has its own seed), and so is the count: the picture is
// worked in fixed tiles with a margin, whatever the number of threads.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/AtomicFile.h"
#include "core/Picture.h"
#include "detect/BlobCount.h"
#include "detect/Marks.h"
#include "picture/SampleRange.h"

/// What one picture of a series teaches: its particle marks inside the teaching region and boxes
/// that hold no particle. Only the part of the picture teaching needs is kept (the region and the
/// boxes plus a margin), so the window can go on to the next picture.
struct TeachingPicture {
    std::string name;                     // the picture's file name, for messages
    Picture crop;                         // the picture around region and background, 24-bit BGR
    int cropX = 0;                        // where crop's top-left pixel lies in the picture
    int cropY = 0;
    PixelRegion region;                   // the teaching region, picture coordinates (may be empty
                                          // when the picture only gives background boxes)
    std::vector<Mark> marks;              // the particles marked inside region, picture coordinates
    std::vector<PixelRegion> background;  // boxes with no particle, picture coordinates
};

/// The teaching set: every picture taught so far in a series.
struct TeachingSet {
    std::vector<TeachingPicture> pictures;
    int markCount() const;        // all pictures' marks
    int backgroundCount() const;  // all pictures' background boxes
    bool empty() const { return pictures.empty(); }
};

/// Adds what picture teaches. Marks outside region are dropped, boxes are clipped to the picture.
/// An entry of the same name is replaced (teaching a picture again corrects it). Returns an empty
/// text, or why nothing was added (an empty picture, a region outside it, nothing to teach).
std::string addTeachingPicture(TeachingSet& set, const Picture& picture, const std::string& name,
                               const PixelRegion& region, const std::vector<Mark>& marks,
                               const std::vector<PixelRegion>& background);

/// Warnings the user should see before teaching (empty: none): no background box was given while the
/// teaching region is mostly covered by particles, or fewer marks than advised.
std::vector<std::string> teachingWarnings(const TeachingSet& set);

/// One node of a regression tree: a split (feature >= 0: go to left when the feature's value is below
/// threshold, else to right) or a leaf (feature -1: value is the predicted density).
struct DensityTreeNode {
    int feature = -1;
    float threshold = 0;
    int left = 0;
    int right = 0;
    float value = 0;
};

using DensityTree = std::vector<DensityTreeNode>;  // the root first

/// What was learnt: the features' settings, the forest and what it was taught on.
struct DensityModel {
    std::uint32_t targetColour = 0;    // 0xBBGGRR; gives the dominant channel and the polarity
    double particleScale = 0;          // pixels: sigma of the Laplacian of Gaussian the marks answer best
    double targetSigma = 0;            // pixels: width of each mark's Gaussian in the training target
    std::vector<double> featureScales; // pixels: the Gaussian scales features are computed at
    std::vector<DensityTree> trees;
    int marks = 0;                     // marks it was taught on
    int pictures = 0;                  // pictures it was taught on
    int backgroundBoxes = 0;           // background boxes it was taught on
    bool hasSampleRange = false;       // teaching pictures had 16-bit samples mapped with sampleRange;
    SampleRange sampleRange;           // every later count with this model maps them the same way
    int gateFeature = -1;              // a smoothed value (feature scale x 8): a pixel where it is below
    float gateThreshold = 0;           // gateThreshold is plainly background, of density 0, and was not
                                       // taught on; -1: every pixel is predicted (models from before)
    bool empty() const { return trees.empty(); }
    /// The number of features a pixel has (8 per scale, and 4 of colour).
    int featureCount() const;
};

struct DensityOptions {
    int threads = 0;                            // 0: all cores; the result does not depend on it
    const std::atomic<bool>* cancel = nullptr;  // set from another thread to stop early
};

/// Teaching's outcome.
struct DensityTraining {
    std::string error;                  // set when nothing could be learnt; model is then empty
    bool cancelled = false;             // stopped: model is empty
    DensityModel model;
    std::vector<std::string> warnings;  // teachingWarnings of the set
};

/// Learns a model from the teaching set. The same set gives the same model on any number of threads.
DensityTraining trainDensityModel(const TeachingSet& set, const DensityOptions& options = {});

/// The learnt count of a picture.
struct DensityResult {
    bool cancelled = false;
    double count = 0;             // the density's sum over the picture
    FloatPlane density;           // per pixel (kept only when asked for: the window's view)
    std::vector<Mark> positions;  // the learnt particle positions, strongest first
};

/// Predicts the density of picture with model. keepDensity: also return the density plane.
DensityResult predictDensity(const Picture& picture, const DensityModel& model, const DensityOptions& options = {},
                             bool keepDensity = false);

/// The target's dominant channel with the local background level taken off, over that level: the
/// ground lies near 0 and particles above it (for dark particles on a bright ground the sign is
/// turned). Unlike a stretch to the picture's maximum it means the same on every picture of a
/// series; a ground darker than a quarter of the full scale is divided by that quarter, since so dark
/// a ground is the camera's offset and the glow of particles nearby, not light.
FloatPlane normalisedChannel(const Picture& picture, std::uint32_t targetColour, int threads = 1);

/// The learnt count rounded to a whole number of particles, as the report and the counter give it.
int learntParticleCount(const DensityResult& result);

/// The 16-bit mapping pictures are loaded with while model (none: nullptr) is the learnt count's: the
/// one it was taught with, when it holds one, so that its count means the same on every picture;
/// otherwise chosen, the mapping asked for.
SampleRange countingSampleRange(const DensityModel* model, const SampleRange& chosen);

/// The positions in a density plane: local maxima (above a floor of a fraction of one particle's
/// peak), then per connected patch of density the strongest ones, as many as the patch's sum.
std::vector<Mark> densityPositions(const FloatPlane& density, const DensityModel& model);

/// The model as text (first line "SpotTally density model 1"); every number is written exactly.
std::string densityModelText(const DensityModel& model);

struct DensityModelReading {
    std::string error;  // set when the text was refused; model is then empty
    DensityModel model;
};
/// Reads a model text; anything malformed (an unknown line, a number out of range, a tree whose
/// branches do not point forward inside it) refuses the whole text with a message naming fileName.
DensityModelReading parseDensityModelText(std::string_view text, const std::string& fileName);
DensityModelReading readDensityModelFile(const std::filesystem::path& path);
FileSaveOutcome writeDensityModelFile(const std::filesystem::path& path, const DensityModel& model);

/// Largest model file read.
inline constexpr std::uintmax_t kMaxDensityModelBytes = 256u << 20;

/// The model file kept beside a parameter report: "params.txt" -> "params.model.txt".
std::filesystem::path densityModelPath(const std::filesystem::path& report);
