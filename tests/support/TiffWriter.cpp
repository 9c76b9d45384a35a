#include "support/TiffWriter.h"

#include <algorithm>

namespace tifftest {
namespace {

std::uint32_t typeSize(std::uint16_t type) { return type == kShort ? 2 : (type == kLong ? 4 : 1); }

class Writer {
public:
    explicit Writer(bool bigEndian) : big_(bigEndian) {}
    std::vector<std::uint8_t> bytes;

    void put(std::uint32_t value, std::uint32_t size)
    {
        for (std::uint32_t i = 0; i < size; ++i) {
            const std::uint32_t shift = big_ ? 8 * (size - 1 - i) : 8 * i;
            bytes.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    /// Overwrites the 32-bit number at offset.
    void patch(std::size_t offset, std::uint32_t value)
    {
        for (std::uint32_t i = 0; i < 4; ++i)
            bytes[offset + i] = static_cast<std::uint8_t>(value >> (big_ ? 8 * (3 - i) : 8 * i));
    }
    void align() { if (bytes.size() % 2) bytes.push_back(0); }

private:
    bool big_;
};

}  // namespace

void TiffFile::put16(std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(bigEndian ? value >> 8 : value);
    bytes[offset + 1] = static_cast<std::uint8_t>(bigEndian ? value : value >> 8);
}

void TiffFile::put32(std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (bigEndian ? 8 * (3 - i) : 8 * i));
}

static std::uint32_t get16(const TiffFile& file, std::size_t offset)
{
    const auto* p = file.bytes.data() + offset;
    return file.bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
}

std::size_t TiffFile::nextOffsetField(std::size_t index) const
{
    const std::size_t ifd = directoryOffsets.at(index);
    return ifd + 2 + 12 * get16(*this, ifd);
}

std::size_t TiffFile::valueField(std::size_t index, std::uint16_t tag) const
{
    const std::size_t ifd = directoryOffsets.at(index);
    std::size_t found = 0;
    for (std::uint32_t i = 0; i < get16(*this, ifd); ++i)
        if (get16(*this, ifd + 2 + 12 * i) == tag) found = ifd + 2 + 12 * i + 8;
    return found;
}

TiffFile writeTiff(const std::vector<Page>& pages, bool bigEndian)
{
    Writer w(bigEndian);
    TiffFile file;
    file.bigEndian = bigEndian;
    w.bytes = {static_cast<std::uint8_t>(bigEndian ? 'M' : 'I'), static_cast<std::uint8_t>(bigEndian ? 'M' : 'I')};
    w.put(42, 2);
    w.put(0, 4);  // first directory: patched below
    std::size_t previousLink = 4;
    for (const Page& page : pages) {
        std::vector<Field> fields = page.fields;
        if (page.writeStripTags) {
            Field offsets{273, page.stripArrayType, {}}, counts{279, page.stripArrayType, {}};
            for (const auto& strip : page.strips) {
                w.align();
                offsets.values.push_back(static_cast<std::uint32_t>(w.bytes.size()));
                counts.values.push_back(static_cast<std::uint32_t>(strip.size()));
                w.bytes.insert(w.bytes.end(), strip.begin(), strip.end());
            }
            fields.push_back(offsets);
            fields.push_back(counts);
        }
        // Values that do not fit the entry go before the directory.
        std::vector<std::uint32_t> valueOffsets(fields.size(), 0);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].values.size() * typeSize(fields[i].type) <= 4) continue;
            w.align();
            valueOffsets[i] = static_cast<std::uint32_t>(w.bytes.size());
            for (std::uint32_t v : fields[i].values) w.put(v, typeSize(fields[i].type));
        }
        w.align();
        const auto ifd = static_cast<std::uint32_t>(w.bytes.size());
        file.directoryOffsets.push_back(ifd);
        w.patch(previousLink, ifd);
        w.put(static_cast<std::uint32_t>(fields.size()), 2);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const Field& f = fields[i];
            w.put(f.tag, 2);
            w.put(f.type, 2);
            w.put(static_cast<std::uint32_t>(f.values.size()), 4);
            if (valueOffsets[i] != 0 || f.values.size() * typeSize(f.type) > 4) {
                w.put(valueOffsets[i], 4);
            } else {
                std::uint32_t used = 0;
                for (std::uint32_t v : f.values) {
                    w.put(v, typeSize(f.type));
                    used += typeSize(f.type);
                }
                for (; used < 4; ++used) w.bytes.push_back(0);
            }
        }
        previousLink = w.bytes.size();
        w.put(0, 4);
    }
    file.bytes = std::move(w.bytes);
    return file;
}

Page imagePage(std::uint32_t width, std::uint32_t height, std::vector<std::uint32_t> bitsPerSample,
               std::uint32_t photometric, std::uint32_t samplesPerPixel, const std::vector<std::uint8_t>& data,
               std::uint32_t rowBytes, std::uint32_t rowsPerStrip)
{
    Page page;
    page.fields = {{256, kLong, {width}},
                   {257, kShort, {height}},
                   {258, kShort, std::move(bitsPerSample)},
                   {259, kShort, {1}},
                   {262, kShort, {photometric}},
                   {277, kShort, {samplesPerPixel}}};
    if (rowsPerStrip == 0) {
        page.strips.push_back(data);
    } else {
        page.fields.push_back({278, kLong, {rowsPerStrip}});
        const std::size_t stripBytes = std::size_t{rowBytes} * rowsPerStrip;
        for (std::size_t at = 0; at < data.size(); at += stripBytes)
            page.strips.emplace_back(data.begin() + at, data.begin() + std::min(data.size(), at + stripBytes));
    }
    return page;
}

void setField(Page& page, std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values)
{
    for (Field& f : page.fields)
        if (f.tag == tag) {
            f.type = type;
            f.values = std::move(values);
            return;
        }
    page.fields.push_back({tag, type, std::move(values)});
}

void removeField(Page& page, std::uint16_t tag)
{
    std::erase_if(page.fields, [tag](const Field& f) { return f.tag == tag; });
}

}  // namespace tifftest
