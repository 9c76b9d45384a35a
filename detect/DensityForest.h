#pragma once
// The learnt count's forest laid out for prediction: every node in 8 bytes, the two children of a
// split side by side and each subtree after its parent, the leaves' values apart. A leaf points to
// itself, so that a walk of a fixed number of steps ends on the leaf whatever its depth: several
// pixels then walk one tree side by side without a branch per node, and their loads overlap.
// It predicts exactly what walking the model's trees node by node gives.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "detect/DensityCount.h"

class DensityForest {
public:
    /// The largest tree and the most features a node can name.
    static constexpr std::size_t kMaxNodes = std::size_t{1} << 22;
    static constexpr int kMaxFeatures = 1 << 10;

    /// Lays out trees (each at most kMaxNodes nodes, features below kMaxFeatures, branches forward).
    explicit DensityForest(const std::vector<DensityTree>& trees);

    bool empty() const { return trees_.empty(); }

    /// The mean of the trees' leaves for count pixels, the features of pixel i at features + i * stride;
    /// into out[i].
    void predict(const float* features, std::size_t stride, int count, double* out) const;

private:
    struct Node {
        float threshold;     // a split goes to its left child below it; NaN in a leaf
        std::uint32_t next;  // feature << kChildBits | the right child (the left one follows it)
    };
    static constexpr int kChildBits = 22;
    static constexpr std::uint32_t kChildMask = (std::uint32_t{1} << kChildBits) - 1;
    struct Tree {
        std::size_t first;  // its root in nodes_ and values_
        int depth;          // the steps of the longest walk
    };
    std::vector<Node> nodes_;
    std::vector<float> values_;  // per node; a leaf's predicted density
    std::vector<Tree> trees_;
};
