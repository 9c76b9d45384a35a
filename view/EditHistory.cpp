#include "view/EditHistory.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/Markers.h"
#include "view/ManualEdit.h"

namespace {

constexpr std::size_t kUnreachable = std::numeric_limits<std::size_t>::max();
// The ring around (x, y) lies in columns x-5 .. x+4 and rows y-5 .. y+4.
constexpr int kRingBefore = 5;
constexpr int kRingSide = 10;

PixelBox clipped(PixelBox box, const Picture& picture) {
    const int left = std::max(box.x, 0), top = std::max(box.y, 0);
    const int right = std::min(box.x + box.width, picture.width());
    const int bottom = std::min(box.y + box.height, picture.height());
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
}

PixelBox ringBox(int x, int y) { return {x - kRingBefore, y - kRingBefore, kRingSide, kRingSide}; }

std::vector<std::uint8_t> copyOut(const Picture& picture, const PixelBox& box) {
    const std::size_t rowBytes = static_cast<std::size_t>(box.width) * Picture::kBytesPerPixel;
    std::vector<std::uint8_t> bytes(rowBytes * static_cast<std::size_t>(box.height));
    for (int row = 0; row < box.height; ++row)
        std::memcpy(bytes.data() + rowBytes * static_cast<std::size_t>(row),
                    picture.row(box.y + row) + static_cast<std::size_t>(box.x) * Picture::kBytesPerPixel,
                    rowBytes);
    return bytes;
}

void copyIn(Picture& picture, const PixelBox& box, const std::vector<std::uint8_t>& bytes) {
    const std::size_t rowBytes = static_cast<std::size_t>(box.width) * Picture::kBytesPerPixel;
    for (int row = 0; row < box.height; ++row)
        std::memcpy(picture.row(box.y + row) + static_cast<std::size_t>(box.x) * Picture::kBytesPerPixel,
                    bytes.data() + rowBytes * static_cast<std::size_t>(row), rowBytes);
}

Picture& layerOf(Layers& layers, int layer) { return layer == 3 ? layers.Image3 : layers.Image2; }

}  // namespace

PixelBox unitedBox(const PixelBox& a, const PixelBox& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    const int left = std::min(a.x, b.x), top = std::min(a.y, b.y);
    const int right = std::max(a.x + a.width, b.x + b.width),
              bottom = std::max(a.y + a.height, b.y + b.height);
    return {left, top, right - left, bottom - top};
}

void EditHistory::reset(std::int32_t countedParticles) {
    steps_.clear();
    applied_ = 0;
    savedAt_ = 0;
    counted_ = countedParticles;
    current_ = Step();
    lastChange_ = {};
}

EditHistory::Counters EditHistory::countersOf(const TAnalysisState& state) {
    return {state.AutoCount, state.ManualAdded, state.ManualRemoved};
}

void EditHistory::setCounters(TAnalysisState& state, const Counters& counters) {
    state.AutoCount = counters.autoCount;
    state.ManualAdded = counters.added;
    state.ManualRemoved = counters.removed;
}

void EditHistory::open(EditTarget target) {
    current_ = Step();
    current_.before = countersOf(target.state);
    current_.particlesBefore = target.particles.particles.size();
}

void EditHistory::take(EditTarget target, int layer, PixelBox box) {
    box = clipped(box, layerOf(target.layers, layer));
    if (box.empty()) return;
    // Taken before each change: boxes that overlap are put back in reverse order on undo, so the
    // earliest copy of a pixel is the one that stays.
    current_.patches.push_back(Patch{layer, box, copyOut(layerOf(target.layers, layer), box), {}});
    current_.changed = unitedBox(current_.changed, box);
}

void EditHistory::close(EditTarget target) {
    for (Patch& patch : current_.patches)
        patch.after = copyOut(layerOf(target.layers, patch.layer), patch.box);
    current_.after = countersOf(target.state);
    const auto& list = target.particles.particles;
    current_.appended.assign(
        list.begin() + static_cast<std::ptrdiff_t>(std::min(current_.particlesBefore, list.size())),
        list.end());
    // A new step ends every undone one; saved corrections among them can no longer be reached.
    steps_.resize(applied_);
    if (savedAt_ > applied_) savedAt_ = kUnreachable;
    lastChange_ = current_.changed;
    steps_.push_back(std::move(current_));
    current_ = Step();
    ++applied_;
}

void EditHistory::removeMarker(EditTarget target, int x, int y) {
    take(target, 2, ringBox(x, y));
    take(target, 3, {x, y, 1, 1});
    removeMarkerAt(target.layers, target.state, x, y);
    const std::ptrdiff_t index = target.particles.recordRemoveIndex(x, y);
    if (index >= 0 && static_cast<std::size_t>(index) < current_.particlesBefore)
        current_.flagged.push_back(static_cast<std::size_t>(index));
    current_.actions.push_back({EditAction::Kind::Remove, x, y});
}

bool EditHistory::add(EditTarget target, int x, int y) {
    if (!target.layers.Image2.contains(x, y)) return false;
    open(target);
    take(target, 2, ringBox(x, y));
    take(target, 3, {x, y, 1, 1});
    manualAdd(target.layers, target.state, x, y);
    target.particles.recordAdd(x, y);
    current_.actions.push_back({EditAction::Kind::Add, x, y});
    close(target);
    return true;
}

bool EditHistory::removeNear(EditTarget target, int x, int y) {
    MarkerPosition found;
    if (!findRemovableMarker(target.layers.Image3, x, y, found)) return false;
    return removeAt(target, static_cast<int>(found.column), static_cast<int>(found.row));
}

bool EditHistory::removeAt(EditTarget target, int x, int y) {
    const Picture& area = target.layers.Image3;
    if (!area.contains(x, y) ||
        !isCentreMarker(area.row(y) + static_cast<std::size_t>(x) * Picture::kBytesPerPixel))
        return false;
    open(target);
    removeMarker(target, x, y);
    close(target);
    return true;
}

int EditHistory::removeInBox(EditTarget target, const PixelBox& wanted) {
    const PixelBox box = clipped(wanted, target.layers.Image3);
    if (box.empty()) return 0;
    int removed = 0;
    for (int row = box.y; row < box.y + box.height; ++row) {
        const std::uint8_t* line = target.layers.Image3.row(row);
        for (int column = box.x; column < box.x + box.width; ++column) {
            if (!isCentreMarker(line + static_cast<std::size_t>(column) * Picture::kBytesPerPixel)) continue;
            if (removed == 0) open(target);
            removeMarker(target, column, row);
            ++removed;
        }
    }
    if (removed > 0) close(target);
    return removed;
}

PixelBox EditHistory::undo(EditTarget target) {
    if (!canUndo()) return {};
    const Step& step = steps_[--applied_];
    for (auto patch = step.patches.rbegin(); patch != step.patches.rend(); ++patch)
        copyIn(layerOf(target.layers, patch->layer), patch->box, patch->before);
    setCounters(target.state, step.before);
    auto& list = target.particles.particles;
    for (std::size_t index : step.flagged)
        if (index < list.size()) list[index].removed = false;
    if (list.size() > step.particlesBefore) list.resize(step.particlesBefore);
    return step.changed;
}

PixelBox EditHistory::redo(EditTarget target) {
    if (!canRedo()) return {};
    const Step& step = steps_[applied_++];
    for (const Patch& patch : step.patches)
        copyIn(layerOf(target.layers, patch.layer), patch.box, patch.after);
    setCounters(target.state, step.after);
    auto& list = target.particles.particles;
    for (std::size_t index : step.flagged)
        if (index < list.size()) list[index].removed = true;
    list.insert(list.end(), step.appended.begin(), step.appended.end());
    return step.changed;
}

std::vector<EditAction> EditHistory::actionsInEffect() const {
    std::vector<EditAction> actions;
    for (std::size_t i = 0; i < applied_; ++i)
        actions.insert(actions.end(), steps_[i].actions.begin(), steps_[i].actions.end());
    return actions;
}

std::size_t EditHistory::bytesHeld() const {
    std::size_t bytes = 0;
    for (const Step& step : steps_) {
        bytes += sizeof(Step) + step.actions.size() * sizeof(EditAction) +
                 step.appended.size() * sizeof(ParticleRecord) + step.flagged.size() * sizeof(std::size_t);
        for (const Patch& patch : step.patches)
            bytes += sizeof(Patch) + patch.before.size() + patch.after.size();
    }
    return bytes;
}

ReplayOutcome replayEdits(EditHistory& history, EditTarget target, const std::vector<EditAction>& actions) {
    ReplayOutcome outcome;
    for (const EditAction& action : actions) {
        const bool made = action.kind == EditAction::Kind::Add ? history.add(target, action.x, action.y)
                                                               : history.removeAt(target, action.x, action.y);
        if (made)
            ++outcome.applied;
        else
            outcome.notApplied.push_back(action);
    }
    history.markSaved();
    return outcome;
}
