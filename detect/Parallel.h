#pragma once
// Splitting a loop over rows (or any index range) between threads.

#include <algorithm>
#include <thread>
#include <vector>

/// Calls work(begin, end) on consecutive slices of [0, count), one slice per thread; the calling
/// thread takes the first slice. Returns when every slice is done.
template <typename Work>
void parallelSlices(int count, int threads, const Work& work)
{
    threads = std::max(1, std::min(threads, count));
    if (threads <= 1) {
        if (count > 0) work(0, count);
        return;
    }
    std::vector<std::thread> helpers;
    const auto sliceStart = [&](int slice) {
        return static_cast<int>(static_cast<long long>(count) * slice / threads);
    };
    for (int slice = 1; slice < threads; ++slice)
        helpers.emplace_back([&, slice] { work(sliceStart(slice), sliceStart(slice + 1)); });
    work(0, sliceStart(1));
    for (std::thread& helper : helpers) helper.join();
}
