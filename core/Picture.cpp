#include "core/Picture.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// A buffer for delete[], zero-filled when asked. Large buffers ask for transparent huge pages before
// their first touch: a 24-megapixel layer is 72 MB, and faulting it in 4 KB pages costs far more than
// filling it (on virtual machines ten times more).
std::uint8_t* newPixelBuffer(std::size_t bytes, bool zeroFill)
{
    auto* buffer = new std::uint8_t[bytes];
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
    if (bytes >= 2 * kHugePage) {
        const auto start = reinterpret_cast<std::uintptr_t>(buffer);
        const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
        const std::uintptr_t end = (start + bytes) & ~(kHugePage - 1);
        if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);  // a hint only
    }
#endif
    if (zeroFill) std::memset(buffer, 0, bytes);
    return buffer;
}

}  // namespace

Picture::Picture(int width, int height) { resize(width, height); }

Picture::Picture(const Picture& other) { copyFrom(other); }

Picture& Picture::operator=(const Picture& other)
{
    if (this != &other) copyFrom(other);
    return *this;
}

Picture::Picture(Picture&& other) noexcept
    : width_(other.width_), height_(other.height_), capacity_(other.capacity_), data_(std::move(other.data_))
{
    other.width_ = other.height_ = 0;
    other.capacity_ = 0;
}

Picture& Picture::operator=(Picture&& other) noexcept
{
    if (this != &other) {
        width_ = other.width_;
        height_ = other.height_;
        capacity_ = other.capacity_;
        data_ = std::move(other.data_);
        other.width_ = other.height_ = 0;
        other.capacity_ = 0;
    }
    return *this;
}

void Picture::resize(int width, int height) { resizeBuffer(width, height, true); }

void Picture::resizeForOverwrite(int width, int height) { resizeBuffer(width, height, false); }

void Picture::resizeBuffer(int width, int height, bool zeroFill)
{
    if (width < 0 || height < 0) throw std::invalid_argument("negative picture size");
    if (width == 0 || height == 0) width = height = 0;
    const std::size_t bytes = static_cast<std::size_t>(width) * kBytesPerPixel * static_cast<std::size_t>(height);
    if (bytes > capacity_) {
        data_.reset(newPixelBuffer(bytes, zeroFill));
        capacity_ = bytes;
    }
    width_ = width;
    height_ = height;
}

void Picture::copyFrom(const Picture& other)
{
    if (this == &other) return;
    resizeForOverwrite(other.width_, other.height_);
    if (other.byteCount() > 0) std::memcpy(data_.get(), other.data_.get(), other.byteCount());
}

void Picture::clear()
{
    data_.reset();
    width_ = height_ = 0;
    capacity_ = 0;
}

std::uint32_t Picture::pixel(int x, int y) const
{
    const std::uint8_t* p = row(y) + static_cast<std::size_t>(x) * kBytesPerPixel;
    return rgbColour(p[2], p[1], p[0]);
}

void Picture::setPixel(int x, int y, std::uint32_t colour)
{
    std::uint8_t* p = row(y) + static_cast<std::size_t>(x) * kBytesPerPixel;
    p[0] = static_cast<std::uint8_t>(colourBlue(colour));
    p[1] = static_cast<std::uint8_t>(colourGreen(colour));
    p[2] = static_cast<std::uint8_t>(colourRed(colour));
}

bool Picture::operator==(const Picture& other) const
{
    if (width_ != other.width_ || height_ != other.height_) return false;
    return byteCount() == 0 || std::memcmp(data_.get(), other.data_.get(), byteCount()) == 0;
}
