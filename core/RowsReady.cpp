#include "core/RowsReady.h"

// The readers are woken with the lock held: a band's wake-up is rare next to its decoding, and thread
// checkers then see every wait and wake-up under the one lock.

void RowsReady::publish(std::int64_t rows)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (rows <= ready_) return;
    ready_ = rows;
    changed_.notify_all();
}

void RowsReady::close()
{
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
    changed_.notify_all();
}

std::int64_t RowsReady::waitFor(std::int64_t rows) const
{
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [&] { return ready_ >= rows || closed_; });
    return ready_;
}
