#include "picture/PngPalette.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

namespace {

struct Source {
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t at = 0;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->size - source->at) png_error(png, "the file ends early");
    std::memcpy(out, source->bytes + source->at, length);
    source->at += length;
}

// The reader's own messages stay unprinted: a picture Qt has read already needs no second say.
void quietWarning(png_structp, png_const_charp) {}
[[noreturn]] void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

}  // namespace

PaletteCheck checkPngPalette(const std::uint8_t* bytes, std::size_t size)
{
    PaletteCheck check;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    if (!png) return check;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return check;
    }
    Source source{bytes, size};
    // Made before the jump is set and never reassigned: freed whichever way the reading ends.
    struct Rows {
        std::vector<png_byte> indices;
        std::vector<png_bytep> starts;
    };
    Rows* const rows = new Rows();
    if (setjmp(png_jmpbuf(png))) {
        delete rows;
        png_destroy_read_struct(&png, &info, nullptr);
        return PaletteCheck();
    }
    png_set_read_fn(png, &source, readFromMemory);
    png_read_info(png, info);
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int colours = 0;
        png_get_PLTE(png, info, &palette, &colours);
        check.paletteColours = colours;
        if (png_get_bit_depth(png, info) < 8) png_set_packing(png);  // one index a byte
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
        const std::size_t rowBytes = png_get_rowbytes(png, info);
        rows->indices.resize(rowBytes * height);
        rows->starts.resize(height);
        for (png_uint_32 y = 0; y < height; ++y) rows->starts[y] = rows->indices.data() + rowBytes * y;
        // The whole picture at once: interlaced pictures fill their rows pass by pass.
        png_read_image(png, rows->starts.data());
        for (png_uint_32 y = 0; y < height; ++y)
            for (png_uint_32 x = 0; x < width; ++x) check.badIndices += rows->starts[y][x] >= colours ? 1 : 0;
        check.readable = true;
    }
    delete rows;
    png_destroy_read_struct(&png, &info, nullptr);
    return check;
}
