#pragma once
// A slow, plain second implementation of the count's rules, for comparing the fast count with it
// byte for byte. It shares nothing with the count code but the picture type and the parameters.

#include <cstdint>

#include "detect/CountRun.h"
#include "core/Picture.h"

struct ReferenceResult {
    Picture countLayer;
    Picture areaLayer;
    std::int64_t autoCount = 0;
    std::int64_t totalArea = 0;
};

ReferenceResult referenceCount(const Picture& original, const CountParams& params);
