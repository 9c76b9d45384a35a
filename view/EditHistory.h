#pragma once
// EditHistory: undo and redo of the corrections made by hand on a count. Every step keeps only what it
// changed: the rectangles of the count and area layers it touched (before and after), the manual
// counters before and after, and the particle records it added or flagged. A ring touches 10 x 10
// pixels, so a step costs a few hundred bytes, whatever the picture's size.
//
// The history also knows which corrections are in effect (the steps not undone, in order) and whether
// they were saved since the last count, open or save.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/AnalysisState.h"
#include "core/Layers.h"
#include "core/Particles.h"

/// One correction as it is kept and replayed: an add at the clicked pixel, or the removal of the
/// CentreMarker at exactly this pixel.
struct EditAction {
    enum class Kind : std::uint8_t { Add, Remove };
    Kind kind = Kind::Add;
    int x = 0;
    int y = 0;
    bool operator==(const EditAction&) const = default;
};

/// A rectangle of picture pixels: x, y, width and height.
struct PixelBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const PixelBox&) const = default;
};

/// The smallest box holding both (an empty one holds nothing).
PixelBox unitedBox(const PixelBox& a, const PixelBox& b);

/// What the three parts of a correction act on: the layers, the analysis record and the particle list.
struct EditTarget {
    Layers& layers;
    TAnalysisState& state;
    ParticleList& particles;
};

class EditHistory {
public:
    /// Forgets every step: a new count (countedParticles: the count's AutoCount) or a new picture.
    /// The corrections in effect are then none, and saved.
    void reset(std::int32_t countedParticles = 0);
    /// AutoCount of the count the corrections apply to.
    std::int32_t countedParticles() const { return counted_; }

    /// A click in add mode at (x, y): one step. False (nothing done) outside the picture.
    bool add(EditTarget target, int x, int y);
    /// A click in remove mode at (x, y): one step removing the marker the click takes. False, with no
    /// step, when no marker is within reach.
    bool removeNear(EditTarget target, int x, int y);
    /// Removes the CentreMarker at exactly (x, y) as one step; false (no step) when there is none.
    bool removeAt(EditTarget target, int x, int y);
    /// Removes every CentreMarker in box, in reading order, each as a removal click on it does: one
    /// step. Returns how many were removed (0: no step).
    int removeInBox(EditTarget target, const PixelBox& box);

    bool canUndo() const { return applied_ > 0; }
    bool canRedo() const { return applied_ < steps_.size(); }
    /// Takes back the last step in effect. Returns the box of the layers it changed (empty: nothing
    /// to undo).
    PixelBox undo(EditTarget target);
    /// Makes the last undone step again; the box it changed (empty: nothing to redo).
    PixelBox redo(EditTarget target);
    /// The box the last add or removal changed (for showing it anew).
    PixelBox lastChange() const { return lastChange_; }

    /// The corrections in effect, in the order they were made.
    std::vector<EditAction> actionsInEffect() const;
    /// The corrections in effect differ from those at the last count, open or save.
    bool unsaved() const { return applied_ != savedAt_; }
    /// The corrections in effect are now the saved ones.
    void markSaved() { savedAt_ = applied_; }

    /// Bytes the kept steps hold (for tests of the memory use).
    std::size_t bytesHeld() const;

private:
    struct Patch {
        int layer = 2;  // 2: count layer, 3: area layer
        PixelBox box;
        std::vector<std::uint8_t> before;
        std::vector<std::uint8_t> after;
    };
    struct Counters {
        std::int32_t autoCount = 0;
        std::uint16_t added = 0;
        std::uint16_t removed = 0;
    };
    struct Step {
        std::vector<EditAction> actions;
        std::vector<Patch> patches;
        Counters before, after;
        std::size_t particlesBefore = 0;       // list size before the step
        std::vector<ParticleRecord> appended;  // records the step added at the end
        std::vector<std::size_t> flagged;      // records the step flagged as removed
        PixelBox changed;
    };

    /// A step under construction: open it, take each box before changing it, then close it.
    void open(EditTarget target);
    void take(EditTarget target, int layer, PixelBox box);
    void close(EditTarget target);
    void removeMarker(EditTarget target, int x, int y);
    static Counters countersOf(const TAnalysisState& state);
    static void setCounters(TAnalysisState& state, const Counters& counters);

    std::vector<Step> steps_;
    std::size_t applied_ = 0;  // steps_[0 .. applied_) are in effect
    // The number of steps in effect when last saved; unreachable (SIZE_MAX) once those steps went.
    std::size_t savedAt_ = 0;
    std::int32_t counted_ = 0;
    Step current_;
    PixelBox lastChange_;
};

/// How a replay of saved corrections went.
struct ReplayOutcome {
    int applied = 0;                     // corrections made again
    std::vector<EditAction> notApplied;  // the ones that found no particle (or lay outside the picture)
};

/// Makes the saved corrections again, in order, each as its own step; those that cannot be made are
/// left out. The history then holds them as saved.
ReplayOutcome replayEdits(EditHistory& history, EditTarget target, const std::vector<EditAction>& actions);
