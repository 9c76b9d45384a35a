#pragma once
// The learnt particle positions, found in one pass down the density's rows: the count hands its
// rows over as its bands of tiles are done, so that no plane of the whole picture's density is
// needed. What it keeps is a few rows and the patches the last row still touches.
//
// A patch is a 4-connected set of pixels whose density reaches patchFloor; a peak is a pixel of at
// least peakFloor above its eight neighbours (the first pixel of a flat top, in reading order). Each
// patch gives its strongest peaks (ties by row, then column), as many as its density's sum rounded;
// patches follow each other in the order of their first pixels.

#include <cstdint>
#include <vector>

#include "detect/Marks.h"

class DensityPeakFinder {
public:
    DensityPeakFinder(int width, int height, float peakFloor, float patchFloor);

    /// The next count rows of the density, width values each, rows packed.
    void addRows(const float* rows, int count);

    /// The positions, once all rows are in.
    std::vector<Mark> positions();

private:
    struct Peak {
        int x, y;
        float value;
    };
    struct Patch {
        int parent;           // itself while the patch is not part of another
        std::uint64_t first;  // the patches' order: that of their first runs
        double sum;
        int lastRow;          // the last row holding one of its pixels
        bool done;
        std::vector<Peak> peaks;
    };
    struct Run {
        int x0, x1;  // inclusive
        int patch;
    };

    void addRow(const float* row);
    /// Finds the patches and peaks of the row before the newest, which now has both its neighbours.
    void scanRow(const float* above, const float* row, const float* below, int y);
    int newPatch(int y);
    int root(int patch);
    void unite(int a, int b);
    void finish(int patch);

    int width_, height_;
    float peakFloor_, patchFloor_;
    std::vector<float> rows_[3];  // the last three rows received, by row number modulo 3
    int received_ = 0;
    std::vector<Run> above_, current_;  // the runs of the row scanned last and of the one scanned now
    std::vector<Patch> patches_;
    std::vector<int> unused_;    // patches free for reuse
    std::vector<int> released_;  // patches to free once the row is scanned
    std::uint64_t runs_ = 0;
    struct Finished {
        std::uint64_t first;
        std::vector<Mark> positions;
    };
    std::vector<Finished> finished_;
};
