#pragma once
// A small TIFF writer for the reader's tests: pages of tag fields and strips, either byte order, fields
// written exactly in the order given (so duplicates and odd layouts can be made), and the offsets of
// what it wrote, so a test can damage the bytes afterwards.

#include <cstdint>
#include <vector>

namespace tifftest {

enum FieldType : std::uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4 };

struct Field {
    std::uint16_t tag;
    std::uint16_t type;
    std::vector<std::uint32_t> values;
};

struct Page {
    std::vector<Field> fields;                    // written in this order, before the strip tags
    std::vector<std::vector<std::uint8_t>> strips;  // pixel data, one block per strip
    std::uint16_t stripArrayType = kLong;         // field type of StripOffsets and StripByteCounts
    bool writeStripTags = true;
};

struct TiffFile {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> directoryOffsets;  // where each page's directory starts
    bool bigEndian = false;

    /// Overwrites a 16- or 32-bit number at offset in the file's byte order.
    void put16(std::size_t offset, std::uint16_t value);
    void put32(std::size_t offset, std::uint32_t value);
    /// Offset of the next-directory field of page index.
    std::size_t nextOffsetField(std::size_t index) const;
    /// Offset of the value field of the entry with tag in page index (0 when absent).
    std::size_t valueField(std::size_t index, std::uint16_t tag) const;
};

/// Writes the pages as one TIFF file, chained in order.
TiffFile writeTiff(const std::vector<Page>& pages, bool bigEndian = false);

/// A page with the usual tags of an uncompressed image; rows of rowBytes bytes each, rowsPerStrip rows
/// in a strip (0: one strip, and no RowsPerStrip tag).
Page imagePage(std::uint32_t width, std::uint32_t height, std::vector<std::uint32_t> bitsPerSample,
               std::uint32_t photometric, std::uint32_t samplesPerPixel, const std::vector<std::uint8_t>& data,
               std::uint32_t rowBytes, std::uint32_t rowsPerStrip = 0);

/// Replaces the values of tag in page (adds the field when missing).
void setField(Page& page, std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values);
void removeField(Page& page, std::uint16_t tag);

}  // namespace tifftest
