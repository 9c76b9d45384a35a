#include "picture/tiff/ReadTiffTags.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kEntrySize = 12;
constexpr std::uint16_t kTiffMagic = 42;
// Directory offsets below this point into the header: they end the chain.
constexpr std::int32_t kFirstDirectoryOffset = 8;

enum FieldType : std::uint16_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kSByte = 6,
    kUndefined = 7,
    kSShort = 8,
};

/// Bytes of one value of a field type, as the integer readers take it: BYTE-like 1, SHORT-like 2,
/// every other type one 32-bit number.
std::uint32_t valueSize(std::uint16_t fieldType)
{
    switch (fieldType) {
        case kByte:
        case kAscii:
        case kSByte:
        case kUndefined:
            return 1;
        case kShort:
        case kSShort:
            return 2;
        default:
            return 4;
    }
}

}  // namespace

bool readWholeFile(const std::string& name, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) return false;  // a folder, a device, nothing
    // "rb": opening for reading never creates the file.
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    ok = ok && size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        try {
            bytes.resize(static_cast<std::size_t>(size));
        } catch (const std::exception&) {  // too large to hold
            ok = false;
        }
    }
    if (ok && size > 0) ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    if (!ok) bytes.clear();
    return ok;
}

// --- TFileTiff ----------------------------------------------------------------------------------

std::uint16_t TFileTiff::get16(std::size_t offset) const
{
    const std::uint8_t* p = Bytes.data() + offset;
    return LittleEndian_ ? static_cast<std::uint16_t>(p[0] | (p[1] << 8))
                         : static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t TFileTiff::get32(std::size_t offset) const
{
    const std::uint8_t* p = Bytes.data() + offset;
    if (LittleEndian_)
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

void TFileTiff::clear()
{
    ClearDirectories();
    Bytes.clear();
    Bytes.shrink_to_fit();
    Valid_ = false;
}

void TFileTiff::SetFileName(const std::string& name)
{
    if (name.empty()) {
        clear();
        FileName_.clear();
        return;
    }
    if (name == FileName_) return;  // already read
    clear();
    FileName_ = name;
    if (!readWholeFile(name, Bytes)) return;  // not valid
    parse();
}

void TFileTiff::ReadFromMemory(const std::uint8_t* data, std::size_t size, const std::string& name)
{
    clear();
    FileName_ = name;
    if (data && size > 0) Bytes.assign(data, data + size);
    parse();
}

void TFileTiff::parse()
{
    if (Bytes.size() < kHeaderSize) return;
    if (Bytes[0] == 'I' && Bytes[1] == 'I')
        LittleEndian_ = true;
    else if (Bytes[0] == 'M' && Bytes[1] == 'M')
        LittleEndian_ = false;
    else
        return;
    if (get16(2) != kTiffMagic) return;
    Valid_ = true;

    // Follow the chain; it ends at an offset below 8 or beyond the file, at an offset already read
    // (a loop) and after kMaxDirectories directories.
    std::set<std::uint32_t> visited;
    std::uint32_t offset = get32(4);
    while (static_cast<std::int32_t>(offset) >= kFirstDirectoryOffset && holds(offset, 2) &&
           Directories.size() < kMaxDirectories && visited.insert(offset).second) {
        offset = AddDirectory(offset).NextOffset();
    }
}

const TGraphicTiff* TFileTiff::Images(std::size_t index) const
{
    return index < Directories.size() ? Directories[index].get() : nullptr;
}

TGraphicTiff& TFileTiff::AddDirectory(std::uint32_t offset)
{
    Directories.push_back(std::make_unique<TGraphicTiff>(*this));
    TGraphicTiff& directory = *Directories.back();
    directory.ReadDirectory(offset);
    return directory;
}

// --- TGraphicTiff -------------------------------------------------------------------------------

void TGraphicTiff::ReadDirectory(std::uint32_t offset)
{
    const TFileTiff& file = *Owner;
    Entries.clear();
    Strips.clear();
    NextOffset_ = 0;
    if (!file.holds(offset, 2)) return;

    const std::uint32_t declared = file.get16(offset);
    const std::uint64_t first = std::uint64_t{offset} + 2;
    // Only entries that lie wholly inside the file are taken.
    const std::uint64_t room = (file.FileSize() - first) / kEntrySize;
    const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(declared, room));
    Entries.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = static_cast<std::size_t>(first + std::uint64_t{i} * kEntrySize);
        TiffEntry& entry = Entries[i];
        entry.Tag = file.get16(at);
        entry.FieldType = file.get16(at + 2);
        entry.Count = file.get32(at + 4);
        // A lone SHORT or BYTE sits in the value field's first bytes in file order.
        if (entry.Count == 1 && valueSize(entry.FieldType) == 2)
            entry.Value = file.get16(at + 8);
        else if (entry.Count == 1 && valueSize(entry.FieldType) == 1)
            entry.Value = file.bytes()[at + 8];
        else
            entry.Value = file.get32(at + 8);
    }
    buildStripTable();

    const std::uint64_t next = first + std::uint64_t{declared} * kEntrySize;
    if (count == declared && file.holds(next, 4)) NextOffset_ = file.get32(static_cast<std::size_t>(next));
}

void TGraphicTiff::buildStripTable()
{
    const TiffEntry* offsets = FindEntry(TiffTag::StripOffsets);
    const TiffEntry* byteCounts = FindEntry(TiffTag::StripByteCounts);
    if (!offsets || !byteCounts || offsets->Count != byteCounts->Count || offsets->Count == 0) return;
    const auto offsetValues = ReadValues(*offsets, offsets->Count);
    const auto countValues = ReadValues(*byteCounts, byteCounts->Count);
    if (!offsetValues || !countValues) return;  // an array outside the file: no strip table
    Strips.resize(offsetValues->size());
    for (std::size_t i = 0; i < Strips.size(); ++i) {
        Strips[i].Offset = (*offsetValues)[i];
        Strips[i].ByteCount = (*countValues)[i];
    }
}

std::optional<std::vector<std::uint32_t>> TGraphicTiff::ReadValues(const TiffEntry& entry,
                                                                   std::uint32_t maxCount) const
{
    const TFileTiff& file = *Owner;
    const std::uint32_t size = valueSize(entry.FieldType);
    const std::uint32_t count = std::min(entry.Count, maxCount);
    std::vector<std::uint32_t> values;
    if (count == 0) return values;
    if (entry.Count == 1) {
        values.push_back(entry.Value);
        return values;
    }
    // Packed values sit in the value field: put its four bytes back in file order to read them.
    std::uint8_t inlineBytes[4];
    const std::uint8_t* base = nullptr;
    if (std::uint64_t{entry.Count} * size <= 4) {
        const std::uint32_t v = entry.Value;
        for (int i = 0; i < 4; ++i)
            inlineBytes[i] = static_cast<std::uint8_t>(file.LittleEndian() ? v >> (8 * i) : v >> (8 * (3 - i)));
        base = inlineBytes;
    } else {
        if (!file.holds(entry.Value, std::uint64_t{count} * size)) return std::nullopt;
        base = file.bytes().data() + entry.Value;
    }
    values.resize(count);
    const bool little = file.LittleEndian();
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* p = base + std::size_t{i} * size;
        if (size == 1)
            values[i] = p[0];
        else if (size == 2)
            values[i] = little ? (p[0] | (p[1] << 8)) : ((p[0] << 8) | p[1]);
        else
            values[i] = little ? (std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
                                  (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24))
                               : ((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                  (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]});
    }
    return values;
}

const TiffEntry* TGraphicTiff::FindEntry(std::uint16_t tag) const
{
    for (auto it = Entries.rbegin(); it != Entries.rend(); ++it)
        if (it->Tag == tag) return &*it;
    return nullptr;
}

const StripInfo* TGraphicTiff::GetStrip(std::uint32_t index) const
{
    return index < Strips.size() ? &Strips[index] : nullptr;
}
