#pragma once
// Deliberately wrong: a sibling layer (view/ including detect/). The layer check must refuse it.
#include "core/Picture.h"
#include "detect/CountRun.h"
