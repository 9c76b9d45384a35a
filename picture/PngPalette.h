#pragma once
// The palette check of PNG pictures. Qt's reader shows a pixel whose index lies past the palette as
// the palette's first colour, and says nothing; this reads the indices themselves, so that such a
// picture is called damaged, as a BMP picture with the same fault is.

#include <cstddef>
#include <cstdint>

struct PaletteCheck {
    bool readable = false;        // the rows could be read (else nothing is known)
    int paletteColours = 0;       // entries of the PLTE chunk
    std::uint64_t badIndices = 0; // pixels whose index has no palette entry
};

/// Reads the rows of a palette PNG held in bytes and counts the pixels past its palette.
PaletteCheck checkPngPalette(const std::uint8_t* bytes, std::size_t size);
