#pragma once
// RowsReady: how many rows of a picture, counted from the top, are final while another thread still
// writes the rest (a decoder filling the picture band by band). The writer tells it after each band;
// a reader waits until the rows it needs are there, or until the writer has ended without them.
// The lock it takes on both sides is what makes the written rows visible to the reader.

#include <condition_variable>
#include <cstdint>
#include <mutex>

class RowsReady {
public:
    /// Writer: rows 0 .. rows - 1 are written and will not change any more. A smaller number than
    /// before changes nothing.
    void publish(std::int64_t rows);
    /// Writer: no more rows will come, whether the picture is complete or its writing failed. Every
    /// waiting reader wakes.
    void close();
    /// Reader: waits until rows 0 .. rows - 1 are ready, or until the writer closes. Returns the rows
    /// ready then: at least rows, or fewer when the writer closed without them.
    std::int64_t waitFor(std::int64_t rows) const;

private:
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::int64_t ready_ = 0;
    bool closed_ = false;
};
