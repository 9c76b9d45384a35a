#pragma once
// ReadTiffTags: the TIFF container. Checks the header, settles the byte order, follows the chain of
// image file directories and keeps each directory's entries and strip table. Pixel data are decoded
// by ReadTiff. Plain C++: the file is read where its structures point (header, directories, value
// arrays, strips), each offset and count checked against the file's size before anything is read or
// allocated, so a small picture inside a huge file costs only its own bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// One 12-byte directory entry, converted to the machine's byte order.
struct TiffEntry {
    std::uint16_t Tag = 0;
    std::uint16_t FieldType = 0;  // TIFF field type number (1 BYTE, 3 SHORT, 4 LONG, ...)
    std::uint32_t Count = 0;      // number of values
    /// The single value of a one-value entry (a SHORT or BYTE taken from the field's first bytes in
    /// file order), otherwise the 32-bit contents of the value field: an offset or packed values.
    std::uint32_t Value = 0;
};

/// One strip of image data as the directory declares it (not yet checked against the file).
struct StripInfo {
    std::uint32_t Offset = 0;
    std::uint32_t ByteCount = 0;
};

// TIFF tags this reader looks at.
namespace TiffTag {
constexpr std::uint16_t NewSubfileType = 254;
constexpr std::uint16_t ImageWidth = 256;
constexpr std::uint16_t ImageLength = 257;
constexpr std::uint16_t BitsPerSample = 258;
constexpr std::uint16_t Compression = 259;
constexpr std::uint16_t Photometric = 262;
constexpr std::uint16_t FillOrder = 266;
constexpr std::uint16_t StripOffsets = 273;
constexpr std::uint16_t SamplesPerPixel = 277;
constexpr std::uint16_t RowsPerStrip = 278;
constexpr std::uint16_t StripByteCounts = 279;
constexpr std::uint16_t PlanarConfiguration = 284;
constexpr std::uint16_t ColorMap = 320;
constexpr std::uint16_t TileWidth = 322;
constexpr std::uint16_t TileOffsets = 324;
}  // namespace TiffTag

class TFileTiff;

/// TGraphicTiff: one image file directory.
class TGraphicTiff {
public:
    explicit TGraphicTiff(const TFileTiff& owner) : Owner(&owner) {}

    /// Reads the directory at offset of the owner's file: entries and next offset. A directory cut
    /// short keeps the entries that are complete and ends the chain (NextOffset 0). The strip arrays
    /// are read only when asked for.
    void ReadDirectory(std::uint32_t offset);

    /// The entry with tag; when the tag occurs more than once the last occurrence wins.
    const TiffEntry* FindEntry(std::uint16_t tag) const;
    /// Number of strips: the common count of StripOffsets and StripByteCounts when both arrays lie
    /// inside the file, else 0 (no strip table).
    std::uint32_t StripCount() const { return StripCount_; }
    /// Strip index, or none without a strip table or when index >= StripCount. Reads the whole table
    /// on first use: for tests and small files; the decoder reads strips in runs with ReadStrips.
    const StripInfo* GetStrip(std::uint32_t index) const;
    /// Up to maxCount strips from index first on, read from the file. Empty beyond StripCount.
    std::vector<StripInfo> ReadStrips(std::uint32_t first, std::uint32_t maxCount) const;

    /// Up to maxCount values of entry as integers, honouring its field type and the byte order; values
    /// of at most 4 bytes in all sit in the entry itself. None when they lie outside the file.
    std::optional<std::vector<std::uint32_t>> ReadValues(const TiffEntry& entry, std::uint32_t maxCount) const;
    /// The same for the values first .. first + maxCount - 1 (fewer at the end of the entry).
    std::optional<std::vector<std::uint32_t>> ReadValues(const TiffEntry& entry, std::uint32_t first,
                                                         std::uint32_t maxCount) const;

    std::uint16_t EntryCount() const { return static_cast<std::uint16_t>(Entries.size()); }
    const std::vector<TiffEntry>& entries() const { return Entries; }
    std::uint32_t NextOffset() const { return NextOffset_; }
    const TFileTiff& owner() const { return *Owner; }

private:
    void checkStripTable();

    const TFileTiff* Owner;
    std::vector<TiffEntry> Entries;
    std::uint32_t StripCount_ = 0;           // 0: no strip table
    mutable std::vector<StripInfo> Strips;   // GetStrip's copy of the whole table, read on first use
    mutable bool StripsRead = false;
    std::uint32_t NextOffset_ = 0;  // 0: last directory of the chain
};

/// TFileTiff: one TIFF file and its directories in chain order.
class TFileTiff {
public:
    /// The chain is not followed beyond this many directories.
    static constexpr std::size_t kMaxDirectories = 256;

    TFileTiff() = default;
    ~TFileTiff();
    TFileTiff(const TFileTiff&) = delete;
    TFileTiff& operator=(const TFileTiff&) = delete;

    const std::string& FileName() const { return FileName_; }
    /// Opens the named file and reads the header and the chain of directory offsets. The file is only
    /// ever read, and stays open for the decoder until the name changes or the object ends; a name that
    /// cannot be opened, or is no regular file, reads as not valid. Setting the name already read reads
    /// nothing again; an empty name empties the object.
    void SetFileName(const std::string& name);
    /// The same from bytes in memory (tests, fuzzing); name is kept as FileName.
    void ReadFromMemory(const std::uint8_t* data, std::size_t size, const std::string& name);

    /// Number of directories in the chain.
    std::size_t Count() const { return DirectoryOffsets.size(); }
    /// The directory at index in chain order, read on first use and kept; none when index >= Count.
    const TGraphicTiff* Images(std::size_t index) const;
    /// The directory at index read afresh and owned by the caller, so a decoder holds one at a time;
    /// none when index >= Count.
    std::unique_ptr<TGraphicTiff> ReadImage(std::size_t index) const;
    /// Reads a directory at offset and appends it to the chain.
    const TGraphicTiff& AddDirectory(std::uint32_t offset);
    void ClearDirectories();

    bool Valid() const { return Valid_; }
    bool LittleEndian() const { return LittleEndian_; }
    std::uint64_t FileSize() const { return FileSize_; }

    /// Reads length bytes at offset into out. False when they do not all lie inside the file or the
    /// read fails.
    bool ReadAt(std::uint64_t offset, std::size_t length, std::uint8_t* out) const;
    /// True when the bytes are a view of memory (ReadFromMemory): then MemoryAt gives them unread.
    const std::uint8_t* MemoryAt(std::uint64_t offset, std::uint64_t length) const;

    // Byte-order helpers: numbers at p in the file's byte order.
    std::uint16_t get16(const std::uint8_t* p) const;
    std::uint32_t get32(const std::uint8_t* p) const;
    /// True when length bytes from offset lie inside the file.
    bool holds(std::uint64_t offset, std::uint64_t length) const
    {
        return offset <= FileSize_ && length <= FileSize_ - offset;
    }

private:
    void parse();
    void clear();

    std::string FileName_;
    int Descriptor = -1;              // the open file; -1 for bytes in memory or none
    std::vector<std::uint8_t> Bytes;  // ReadFromMemory's copy
    std::uint64_t FileSize_ = 0;
    std::vector<std::uint32_t> DirectoryOffsets;
    mutable std::vector<std::unique_ptr<TGraphicTiff>> Directories;  // Images' cache, by index
    bool LittleEndian_ = true;
    bool Valid_ = false;
};

/// Reads a whole file into bytes. False when it cannot be opened or read; nothing is ever created.
bool readWholeFile(const std::string& name, std::vector<std::uint8_t>& bytes);
