#include "picture/tiff/ReadTiffTags.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
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

/// True when the entry's values lie inside the entry or wholly inside the file.
bool valuesInFile(const TFileTiff& file, const TiffEntry& entry);

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

TFileTiff::~TFileTiff() { clear(); }

std::uint16_t TFileTiff::get16(const std::uint8_t* p) const
{
    return LittleEndian_ ? static_cast<std::uint16_t>(p[0] | (p[1] << 8))
                         : static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t TFileTiff::get32(const std::uint8_t* p) const
{
    if (LittleEndian_)
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

bool TFileTiff::ReadAt(std::uint64_t offset, std::size_t length, std::uint8_t* out) const
{
    if (!holds(offset, length)) return false;
    if (length == 0) return true;
    if (Descriptor < 0) {
        std::memcpy(out, Bytes.data() + offset, length);
        return true;
    }
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(Descriptor, out + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;  // a read error, or the file shrank under us
        done += static_cast<std::size_t>(got);
    }
    return true;
}

const std::uint8_t* TFileTiff::MemoryAt(std::uint64_t offset, std::uint64_t length) const
{
    if (Descriptor >= 0 || !holds(offset, length)) return nullptr;
    return Bytes.data() + offset;
}

void TFileTiff::clear()
{
    ClearDirectories();
    DirectoryOffsets.clear();
    Bytes.clear();
    Bytes.shrink_to_fit();
    if (Descriptor >= 0) ::close(Descriptor);
    Descriptor = -1;
    FileSize_ = 0;
    Valid_ = false;
}

void TFileTiff::ClearDirectories() { Directories.clear(); }

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
    // Read-only and non-blocking: nothing is ever created, and a named pipe does not wait for a writer.
    const int descriptor = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) return;  // not valid
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {  // a folder, a device, a pipe
        ::close(descriptor);
        return;
    }
    Descriptor = descriptor;
    FileSize_ = static_cast<std::uint64_t>(status.st_size);
    parse();
}

void TFileTiff::ReadFromMemory(const std::uint8_t* data, std::size_t size, const std::string& name)
{
    clear();
    FileName_ = name;
    if (data && size > 0) Bytes.assign(data, data + size);
    FileSize_ = Bytes.size();
    parse();
}

void TFileTiff::parse()
{
    std::uint8_t header[kHeaderSize];
    if (!ReadAt(0, kHeaderSize, header)) return;
    if (header[0] == 'I' && header[1] == 'I')
        LittleEndian_ = true;
    else if (header[0] == 'M' && header[1] == 'M')
        LittleEndian_ = false;
    else
        return;
    if (get16(header + 2) != kTiffMagic) return;
    Valid_ = true;

    // Follow the chain; it ends at an offset below 8 or beyond the file, at an offset already read
    // (a loop) and after kMaxDirectories directories. Only each directory's entry count and next
    // offset are read here; the entries are read when a directory is asked for.
    std::set<std::uint32_t> visited;
    std::uint32_t offset = get32(header + 4);
    while (static_cast<std::int32_t>(offset) >= kFirstDirectoryOffset && holds(offset, 2) &&
           DirectoryOffsets.size() < kMaxDirectories && visited.insert(offset).second) {
        DirectoryOffsets.push_back(offset);
        std::uint8_t count[2];
        std::uint8_t next[4];
        if (!ReadAt(offset, 2, count)) break;
        // The next offset follows the entries; a directory cut short by the end of the file ends the chain.
        const std::uint64_t nextField = std::uint64_t{offset} + 2 + std::uint64_t{get16(count)} * kEntrySize;
        offset = ReadAt(nextField, 4, next) ? get32(next) : 0;
    }
}

const TGraphicTiff* TFileTiff::Images(std::size_t index) const
{
    if (index >= DirectoryOffsets.size()) return nullptr;
    if (Directories.size() < DirectoryOffsets.size()) Directories.resize(DirectoryOffsets.size());
    if (!Directories[index]) Directories[index] = ReadImage(index);
    return Directories[index].get();
}

std::unique_ptr<TGraphicTiff> TFileTiff::ReadImage(std::size_t index) const
{
    if (index >= DirectoryOffsets.size()) return nullptr;
    auto directory = std::make_unique<TGraphicTiff>(*this);
    directory->ReadDirectory(DirectoryOffsets[index]);
    return directory;
}

const TGraphicTiff& TFileTiff::AddDirectory(std::uint32_t offset)
{
    DirectoryOffsets.push_back(offset);
    return *Images(DirectoryOffsets.size() - 1);
}

// --- TGraphicTiff -------------------------------------------------------------------------------

void TGraphicTiff::ReadDirectory(std::uint32_t offset)
{
    const TFileTiff& file = *Owner;
    Entries.clear();
    Strips.clear();
    StripsRead = false;
    StripCount_ = 0;
    NextOffset_ = 0;
    std::uint8_t countBytes[2];
    if (!file.ReadAt(offset, 2, countBytes)) return;

    const std::uint32_t declared = file.get16(countBytes);
    const std::uint64_t first = std::uint64_t{offset} + 2;
    // Only entries that lie wholly inside the file are taken.
    const std::uint64_t room = (file.FileSize() - first) / kEntrySize;
    const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(declared, room));
    std::vector<std::uint8_t> raw(std::size_t{count} * kEntrySize);
    if (!file.ReadAt(first, raw.size(), raw.data())) return;
    Entries.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* at = raw.data() + std::size_t{i} * kEntrySize;
        TiffEntry& entry = Entries[i];
        entry.Tag = file.get16(at);
        entry.FieldType = file.get16(at + 2);
        entry.Count = file.get32(at + 4);
        // A lone SHORT or BYTE sits in the value field's first bytes in file order.
        if (entry.Count == 1 && valueSize(entry.FieldType) == 2)
            entry.Value = file.get16(at + 8);
        else if (entry.Count == 1 && valueSize(entry.FieldType) == 1)
            entry.Value = at[8];
        else
            entry.Value = file.get32(at + 8);
    }
    checkStripTable();

    std::uint8_t next[4];
    if (count == declared && file.ReadAt(first + std::uint64_t{declared} * kEntrySize, 4, next))
        NextOffset_ = file.get32(next);
}

namespace {
bool valuesInFile(const TFileTiff& file, const TiffEntry& entry)
{
    const std::uint64_t bytes = std::uint64_t{entry.Count} * valueSize(entry.FieldType);
    return entry.Count == 1 || bytes <= 4 || file.holds(entry.Value, bytes);
}
}  // namespace

void TGraphicTiff::checkStripTable()
{
    const TiffEntry* offsets = FindEntry(TiffTag::StripOffsets);
    const TiffEntry* byteCounts = FindEntry(TiffTag::StripByteCounts);
    if (!offsets || !byteCounts || offsets->Count != byteCounts->Count || offsets->Count == 0) return;
    if (!valuesInFile(*Owner, *offsets) || !valuesInFile(*Owner, *byteCounts)) return;  // no strip table
    StripCount_ = offsets->Count;
}

std::vector<StripInfo> TGraphicTiff::ReadStrips(std::uint32_t first, std::uint32_t maxCount) const
{
    std::vector<StripInfo> strips;
    if (first >= StripCount_) return strips;
    const std::uint32_t count = std::min(maxCount, StripCount_ - first);
    const auto offsetValues = ReadValues(*FindEntry(TiffTag::StripOffsets), first, count);
    const auto countValues = ReadValues(*FindEntry(TiffTag::StripByteCounts), first, count);
    if (!offsetValues || !countValues || offsetValues->size() != count || countValues->size() != count) return strips;
    strips.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        strips[i].Offset = (*offsetValues)[i];
        strips[i].ByteCount = (*countValues)[i];
    }
    return strips;
}

std::optional<std::vector<std::uint32_t>> TGraphicTiff::ReadValues(const TiffEntry& entry,
                                                                   std::uint32_t maxCount) const
{
    return ReadValues(entry, 0, maxCount);
}

std::optional<std::vector<std::uint32_t>> TGraphicTiff::ReadValues(const TiffEntry& entry, std::uint32_t first,
                                                                   std::uint32_t maxCount) const
{
    const TFileTiff& file = *Owner;
    const std::uint32_t size = valueSize(entry.FieldType);
    const std::uint32_t count = first < entry.Count ? std::min(entry.Count - first, maxCount) : 0;
    std::vector<std::uint32_t> values;
    if (count == 0) return values;
    if (entry.Count == 1) {
        values.push_back(entry.Value);
        return values;
    }
    // Packed values sit in the value field: put its four bytes back in file order to read them.
    std::uint8_t inlineBytes[4];
    std::vector<std::uint8_t> distant;
    const std::uint8_t* base = nullptr;
    if (std::uint64_t{entry.Count} * size <= 4) {
        const std::uint32_t v = entry.Value;
        for (int i = 0; i < 4; ++i)
            inlineBytes[i] = static_cast<std::uint8_t>(file.LittleEndian() ? v >> (8 * i) : v >> (8 * (3 - i)));
        base = inlineBytes + std::size_t{first} * size;
    } else {
        const std::uint64_t at = std::uint64_t{entry.Value} + std::uint64_t{first} * size;
        const std::uint64_t length = std::uint64_t{count} * size;
        if (!file.holds(at, length)) return std::nullopt;
        base = file.MemoryAt(at, length);
        if (!base) {
            distant.resize(static_cast<std::size_t>(length));
            if (!file.ReadAt(at, distant.size(), distant.data())) return std::nullopt;
            base = distant.data();
        }
    }
    values.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* p = base + std::size_t{i} * size;
        if (size == 1)
            values[i] = p[0];
        else if (size == 2)
            values[i] = file.get16(p);
        else
            values[i] = file.get32(p);
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
    if (!StripsRead) {
        Strips = ReadStrips(0, StripCount_);
        StripsRead = true;
    }
    return index < Strips.size() ? &Strips[index] : nullptr;
}
