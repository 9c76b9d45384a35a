#include "detect/DensityForest.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int kBlock = 2048; // pixels that go through one tree before the next: its upper nodes stay cached
constexpr int kGroup = 16;   // pixels walking a tree side by side

}  // namespace

DensityForest::DensityForest(const std::vector<DensityTree>& trees)
{
    struct Pending {
        int node;             // in the model's tree
        std::uint32_t placed; // in the laid-out tree
        int depth;
    };
    std::vector<Pending> pending;
    for (const DensityTree& tree : trees) {
        if (tree.empty()) continue;
        Tree laid{nodes_.size(), 0};
        nodes_.push_back({});
        values_.push_back(0);
        pending.assign(1, {0, 0, 0});
        while (!pending.empty()) {
            const Pending job = pending.back();
            pending.pop_back();
            const DensityTreeNode& node = tree[static_cast<std::size_t>(job.node)];
            const std::size_t at = laid.first + job.placed;
            if (node.feature < 0) {
                nodes_[at] = {std::numeric_limits<float>::quiet_NaN(), job.placed};
                values_[at] = node.value;
                laid.depth = std::max(laid.depth, job.depth);
                continue;
            }
            const auto right = static_cast<std::uint32_t>(nodes_.size() - laid.first);
            nodes_.resize(nodes_.size() + 2);
            values_.resize(values_.size() + 2, 0.0F);
            nodes_[at] = {node.threshold, static_cast<std::uint32_t>(node.feature) << kChildBits | right};
            pending.push_back({node.right, right, job.depth + 1});
            pending.push_back({node.left, right + 1, job.depth + 1});  // the left subtree comes first
        }
        trees_.push_back(laid);
    }
}

void DensityForest::predict(const float* features, std::size_t stride, int count, double* out) const
{
    double sums[kBlock];
    const float* pixels[kBlock];
    for (int start = 0; start < count; start += kBlock) {
        const int n = std::min(kBlock, count - start);
        // A last group short of kGroup pixels walks copies of its last pixel.
        const int walked = (n + kGroup - 1) / kGroup * kGroup;
        for (int i = 0; i < walked; ++i)
            pixels[i] = features + static_cast<std::size_t>(start + std::min(i, n - 1)) * stride;
        std::fill(sums, sums + walked, 0.0);
        for (const Tree& tree : trees_) {
            const Node* nodes = nodes_.data() + tree.first;
            const float* values = values_.data() + tree.first;
            for (int group = 0; group < walked; group += kGroup) {
                const float* const* x = pixels + group;
                std::uint32_t at[kGroup] = {};
                for (int step = 0; step < tree.depth; ++step) {
#pragma GCC unroll 16
                    for (int j = 0; j < kGroup; ++j) {
                        const Node node = nodes[at[j]];
                        at[j] = (node.next & kChildMask) + (x[j][node.next >> kChildBits] < node.threshold ? 1u : 0u);
                    }
                }
                // Summed in the trees' order, as a walk tree after tree does.
                for (int j = 0; j < kGroup; ++j) sums[group + j] += values[at[j]];
            }
        }
        for (int i = 0; i < n; ++i) out[start + i] = sums[i] / static_cast<double>(trees_.size());
    }
}
