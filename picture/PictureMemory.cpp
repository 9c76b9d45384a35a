#include "picture/PictureMemory.h"

#include <unistd.h>

#include <atomic>

namespace {

constexpr std::uint64_t kLayers = 3;        // original, count and area layer
constexpr std::uint64_t kBytesPerPixel = 3;  // blue, green, red

std::atomic<std::uint64_t> limitSet{0};  // 0: the default

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

std::uint64_t pictureLayersBytes(std::uint64_t width, std::uint64_t height)
{
    // Sides come from 32-bit header fields: the product cannot overflow 64 bits.
    return width * height * kBytesPerPixel * kLayers;
}

bool pictureFitsMemoryLimit(std::uint64_t width, std::uint64_t height)
{
    return pictureLayersBytes(width, height) <= pictureMemoryLimit();
}

std::string overMemoryLimitReason(std::uint64_t width, std::uint64_t height)
{
    const auto megabytes = [](std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20); };
    return std::to_string(width) + " x " + std::to_string(height) + " pixels need " +
           megabytes(pictureLayersBytes(width, height)) + " MB in three picture layers, more than the memory limit of " +
           std::to_string(pictureMemoryLimit() >> 20) + " MB";
}
