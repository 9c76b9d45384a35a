#pragma once
// The progress and cancel hook of a long piece of work (a count, a picture's decoding): the work calls
// it now and then, between bands of rows, never per pixel.

#include <cstdint>
#include <functional>

/// Called with the work done so far and the work in all (rows, or the decoder's own steps); returning
/// false asks the work to stop as soon as it can. A work stopped so leaves no partial result. An empty
/// hook is never called. The hook must not throw: a decoder may call it from inside a C library.
using WorkProgress = std::function<bool(std::int64_t done, std::int64_t total)>;
