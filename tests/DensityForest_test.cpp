// The forest laid out for prediction predicts exactly what a walk of the model's trees does.

#include <gtest/gtest.h>

#include <random>

#include "detect/DensityForest.h"

namespace {

/// A tree of random shape over features [0, features): leaves at uneven depths, children placed
/// anywhere after their parent (not side by side, the right one sometimes first).
DensityTree randomTree(std::mt19937& random, int features, int splits)
{
    DensityTree tree(1);
    std::vector<int> leaves{0};
    for (int s = 0; s < splits; ++s) {
        const std::size_t pick = random() % leaves.size();
        const int at = leaves[pick];
        leaves.erase(leaves.begin() + static_cast<std::ptrdiff_t>(pick));
        const int a = static_cast<int>(tree.size()), b = a + 1 + static_cast<int>(random() % 2);
        tree.resize(static_cast<std::size_t>(b) + 1);
        DensityTreeNode& node = tree[static_cast<std::size_t>(at)];
        node.feature = static_cast<int>(random() % static_cast<unsigned>(features));
        node.threshold = std::uniform_real_distribution<float>(-1, 1)(random);
        node.left = random() % 2 ? a : b;
        node.right = node.left == a ? b : a;
        leaves.push_back(a);
        leaves.push_back(b);
    }
    // Nodes no split reaches (the gaps left above) stay leaves, as a model file may hold them.
    for (DensityTreeNode& node : tree)
        if (node.feature < 0) node.value = std::uniform_real_distribution<float>(0, 0.1F)(random);
    return tree;
}

double walk(const std::vector<DensityTree>& trees, const float* features)
{
    double sum = 0;
    for (const DensityTree& tree : trees) {
        int node = 0;
        while (tree[static_cast<std::size_t>(node)].feature >= 0) {
            const DensityTreeNode& split = tree[static_cast<std::size_t>(node)];
            node = features[split.feature] < split.threshold ? split.left : split.right;
        }
        sum += tree[static_cast<std::size_t>(node)].value;
    }
    return sum / static_cast<double>(trees.size());
}

}  // namespace

TEST(DensityForest, PredictsWhatWalkingTheTreesGives)
{
    std::mt19937 random(7);
    constexpr int kFeatures = 5;
    // One lone leaf, a stick, bushy trees; pixel counts around the walk's groups and blocks.
    std::vector<DensityTree> trees{{{-1, 0, 0, 0, 0.25F}}, randomTree(random, kFeatures, 1)};
    for (int t = 0; t < 6; ++t) trees.push_back(randomTree(random, kFeatures, 1 + t * 40));
    const DensityForest forest(trees);
    for (const int pixels : {1, 7, 8, 9, 255, 256, 257, 600}) {
        const std::size_t stride = kFeatures + 3;  // rows longer than the features, as a caller's may be
        std::vector<float> features(static_cast<std::size_t>(pixels) * stride);
        for (float& value : features) value = std::uniform_real_distribution<float>(-1.2F, 1.2F)(random);
        // A value on a threshold goes right, as in the walk.
        features[static_cast<std::size_t>(trees[2][0].feature)] = trees[2][0].threshold;
        std::vector<double> predicted(static_cast<std::size_t>(pixels), -1.0);
        forest.predict(features.data(), stride, pixels, predicted.data());
        for (int i = 0; i < pixels; ++i)
            ASSERT_EQ(predicted[static_cast<std::size_t>(i)], walk(trees, features.data() + i * stride))
                << pixels << " pixels, pixel " << i;
    }
}
