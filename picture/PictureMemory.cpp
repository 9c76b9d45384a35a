#include "picture/PictureMemory.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

constexpr std::uint64_t kLayers = 3;        // original, count and area layer
constexpr std::uint64_t kBytesPerPixel = 3;  // blue, green, red

std::atomic<std::uint64_t> limitSet{0};  // 0: the default
std::atomic<bool> shared{false};
std::atomic<PictureMemoryClaimer> delegate{nullptr};

// The claims of all threads, under one lock; a thread waiting for room is woken by each release.
std::mutex claimsLock;
std::condition_variable claimsReleased;
std::uint64_t claimedBytes = 0;
thread_local std::uint64_t threadClaim = 0;

std::uint64_t halfOfPhysicalMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return std::uint64_t{4} << 30;  // unknown: assume an 8 GB machine
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

}  // namespace

std::uint64_t pictureMemoryLimit()
{
    const std::uint64_t set = limitSet.load(std::memory_order_relaxed);
    if (set != 0) return set;
    static const std::uint64_t fallback = halfOfPhysicalMemory();
    return fallback;
}

void setPictureMemoryLimit(std::uint64_t bytes) { limitSet.store(bytes, std::memory_order_relaxed); }

std::uint64_t pictureLayersBytes(std::uint64_t width, std::uint64_t height, std::uint64_t extraBytesPerPixel)
{
    // Sides come from 32-bit header fields and the extra is a few bytes: the product cannot overflow.
    return width * height * (kBytesPerPixel * kLayers + extraBytesPerPixel);
}

bool pictureFitsMemoryLimit(std::uint64_t width, std::uint64_t height, std::uint64_t extraBytesPerPixel)
{
    return pictureLayersBytes(width, height, extraBytesPerPixel) <= pictureMemoryLimit();
}

std::string overMemoryLimitReason(std::uint64_t width, std::uint64_t height, std::uint64_t extraBytesPerPixel)
{
    const auto megabytes = [](std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20); };
    return std::to_string(width) + " x " + std::to_string(height) + " pixels need " +
           megabytes(pictureLayersBytes(width, height, extraBytesPerPixel)) + " MB in three picture layers" +
           (extraBytesPerPixel > 0 ? " and their decoding" : "") + ", more than the memory limit of " +
           std::to_string(pictureMemoryLimit() >> 20) + " MB";
}

void setPictureMemoryShared(bool share) { shared.store(share); }

void setPictureMemoryClaimer(PictureMemoryClaimer claimer) { delegate.store(claimer); }

bool claimPictureMemory(std::uint64_t width, std::uint64_t height, std::uint64_t extraBytesPerPixel)
{
    if (const PictureMemoryClaimer claimer = delegate.load())
        return claimer(width, height, extraBytesPerPixel);
    const std::uint64_t bytes = pictureLayersBytes(width, height, extraBytesPerPixel);
    const std::uint64_t limit = pictureMemoryLimit();
    if (bytes > limit) return false;
    if (!shared.load()) return true;
    std::unique_lock<std::mutex> guard(claimsLock);
    claimedBytes -= threadClaim;
    threadClaim = 0;
    claimsReleased.notify_all();
    // Alone a picture always fits (checked above): the wait ends once the others have given back.
    claimsReleased.wait(guard, [&] { return claimedBytes + bytes <= limit; });
    claimedBytes += bytes;
    threadClaim = bytes;
    return true;
}

void releasePictureMemory()
{
    std::lock_guard<std::mutex> guard(claimsLock);
    claimedBytes -= threadClaim;
    threadClaim = 0;
    claimsReleased.notify_all();
}

std::uint64_t claimedPictureMemory()
{
    std::lock_guard<std::mutex> guard(claimsLock);
    return claimedBytes;
}
