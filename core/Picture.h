#pragma once
// Picture: one picture layer. 24-bit pixels stored as blue, green, red bytes, rows addressed by index
// from the top, rows packed without padding (a row is exactly 3 x width bytes).

#include <cstddef>
#include <cstdint>
#include <memory>

class Picture {
public:
    static constexpr int kBytesPerPixel = 3;

    Picture() = default;
    /// A width x height picture, every byte zero.
    Picture(int width, int height);
    Picture(const Picture& other);
    Picture& operator=(const Picture& other);
    Picture(Picture&& other) noexcept;
    Picture& operator=(Picture&& other) noexcept;
    ~Picture() = default;

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ <= 0 || height_ <= 0; }
    /// Bytes per row: 3 x width.
    std::size_t stride() const { return static_cast<std::size_t>(width_) * kBytesPerPixel; }
    std::size_t byteCount() const { return stride() * static_cast<std::size_t>(height_); }
    /// Bytes of the buffer: a resize up to as many keeps it.
    std::size_t capacity() const { return capacity_; }

    std::uint8_t* row(int y) { return data_.get() + stride() * static_cast<std::size_t>(y); }
    const std::uint8_t* row(int y) const { return data_.get() + stride() * static_cast<std::size_t>(y); }
    std::uint8_t* data() { return data_.get(); }
    const std::uint8_t* data() const { return data_.get(); }

    /// Changes the size; keeps the buffer when it is large enough (contents are then unspecified).
    /// A new buffer is zero-filled.
    void resize(int width, int height);
    /// The same without filling a new buffer: for a picture whose every byte is written before any is
    /// read. The fill would be a pass over the whole buffer for nothing (72 MB at 24 megapixels).
    void resizeForOverwrite(int width, int height);
    /// Makes this an exact copy of other, reusing this picture's buffer where it is large enough.
    void copyFrom(const Picture& other);
    /// Releases the buffer: the picture becomes 0 x 0.
    void clear();

    /// Pixel access for tests and rare single-pixel edits: colour as 0xBBGGRR (red in the low byte).
    std::uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, std::uint32_t colour);
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    bool operator==(const Picture& other) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::size_t capacity_ = 0;
    std::unique_ptr<std::uint8_t[]> data_;

    void resizeBuffer(int width, int height, bool zeroFill);
};

/// Colour values exchanged with the windows: red in the low byte, green in the second, blue in the third.
constexpr std::uint32_t rgbColour(int red, int green, int blue)
{
    return static_cast<std::uint32_t>(red & 0xFF) | (static_cast<std::uint32_t>(green & 0xFF) << 8) |
           (static_cast<std::uint32_t>(blue & 0xFF) << 16);
}
constexpr int colourRed(std::uint32_t colour) { return static_cast<int>(colour & 0xFF); }
constexpr int colourGreen(std::uint32_t colour) { return static_cast<int>((colour >> 8) & 0xFF); }
constexpr int colourBlue(std::uint32_t colour) { return static_cast<int>((colour >> 16) & 0xFF); }
