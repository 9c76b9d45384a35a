#pragma once
// Mouse work on the picture layers, without the window: picture coordinates of mouse positions, the
// selection band, and adding or removing a particle by hand.

#include <cstdint>
#include <vector>

#include "core/AnalysisState.h"
#include "core/Layers.h"

/// Picture coordinate of a press or release at control position `position`: truncated.
int pressCoordinate(int position, std::uint16_t zoomPercent);
/// Picture coordinate of a drag move: rounded to the nearest integer, halves to even.
int moveCoordinate(int position, std::uint16_t zoomPercent);

constexpr std::uint32_t kAddedRingColour = 0x55FF99;    // ring of a particle added by hand
constexpr std::uint32_t kRemovedRingColour = 0x5511FF;  // ring over a particle removed by hand
constexpr std::uint32_t kAddedMarkerColour = 0xFC3700;  // CentreMarker written by a manual add
constexpr int kRemoveReach = 5;  // a removal click takes a marker within 5 pixels each way

/// One straight run of band pixels, in picture coordinates: `length` pixels from (x, y) to the right
/// (horizontal) or downwards.
struct BandRun {
    int x = 0;
    int y = 0;
    int length = 0;
    bool horizontal = true;
    bool operator==(const BandRun&) const = default;
};

/// The dotted outline of the selection band between the corners (x0, y0) and (x1, y1), whichever comes
/// first: right and bottom edges excluded, 3 pixels on and 3 off, walked once clockwise from the top-left
/// corner, so no pixel lies in two runs. Clipped to a width x height picture; none for an empty
/// rectangle. The band is shown over the picture by inverting these pixels on screen; it never goes into
/// a layer.
std::vector<BandRun> selectionBandRuns(int x0, int y0, int x1, int y1, int width, int height);

/// Adds a particle at (x, y): ring in the count layer, CentreMarker in the area layer, counters.
void manualAdd(Layers& layers, TAnalysisState& state, int x, int y);

/// Removes the first CentreMarker in reading order within kRemoveReach of (x, y): disables it, rings
/// it in the removal colour and updates the counters. False, with nothing changed, when none is found.
/// With removedAt given, the position of the marker taken is written there.
bool manualRemove(Layers& layers, TAnalysisState& state, int x, int y, MarkerPosition* removedAt = nullptr);

/// The CentreMarker a removal click at (x, y) takes (the first in reading order within kRemoveReach),
/// without changing anything. False when there is none.
bool findRemovableMarker(const Picture& area, int x, int y, MarkerPosition& found);

/// Removes the CentreMarker at exactly (x, y) as a removal click that takes it does: disabled, ringed
/// in the removal colour, counters updated. False, with nothing changed, when (x, y) holds none.
bool removeMarkerAt(Layers& layers, TAnalysisState& state, int x, int y);
