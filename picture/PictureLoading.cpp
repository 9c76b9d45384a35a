#include "picture/PictureLoading.h"

#include "picture/tiff/ReadTiff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/AtomicFile.h"
#include "picture/JpegCodec.h"
#include "picture/ReadBmp.h"

PictureKind pictureKindForName(std::string_view fileName)
{
    struct Suffix {
        std::string_view text;
        PictureKind kind;
    };
    static constexpr std::array<Suffix, 6> kSuffixes{{{".jpg", PictureKind::Jpeg},
                                                      {".JPG", PictureKind::Jpeg},
                                                      {".BMP", PictureKind::Bmp},
                                                      {".bmp", PictureKind::Bmp},
                                                      {".TIF", PictureKind::Tiff},
                                                      {".tif", PictureKind::Tiff}}};
    // Deliberate: a suffix counts only where its first occurrence is at the end, and a name of exactly
    // three characters matches ".jpg" (absent = position 0 = length - 3). Names rely on this rule.
    const auto length = static_cast<long long>(fileName.size());
    for (const Suffix& suffix : kSuffixes) {
        const auto found = fileName.find(suffix.text);
        const long long position = found == std::string_view::npos ? 0 : static_cast<long long>(found) + 1;
        if (position == length - 3) return suffix.kind;
    }
    return PictureKind::None;
}

std::string namePart(std::string_view fileName)
{
    const auto cut = fileName.find_last_of("\\/:");
    return std::string(cut == std::string_view::npos ? fileName : fileName.substr(cut + 1));
}

namespace {

// Owns an open C file; closes it on every path.
class CFile {
public:
    explicit CFile(std::FILE* file) : file_(file) {}
    ~CFile()
    {
        if (file_) std::fclose(file_);
    }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    std::FILE* get() const { return file_; }
    /// Closes now; false (errno set) when the close failed, e.g. buffered data that could not be written.
    bool close()
    {
        std::FILE* file = file_;
        file_ = nullptr;
        return std::fclose(file) == 0;
    }

private:
    std::FILE* file_;
};

// Reads the whole file into bytes. Returns an empty text on success, else why it failed.
std::string readWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes)
{
    errno = 0;
    CFile file(std::fopen(path.c_str(), "rb"));
    if (!file.get()) return "Cannot open " + quotedPath(path) + ": " + systemReason(errno) + ".";
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    try {
        std::error_code sizeUnknown;
        const auto expected = std::filesystem::file_size(path, sizeUnknown);
        if (!sizeUnknown && expected < kMaxPictureBytes) bytes.reserve(static_cast<std::size_t>(expected) + kChunk);
        for (;;) {
            const std::size_t used = bytes.size();
            bytes.resize(used + kChunk);
            const std::size_t got = std::fread(bytes.data() + used, 1, kChunk, file.get());
            bytes.resize(used + got);
            if (got < kChunk) break;
        }
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return "Not enough memory to read " + quotedPath(path) + ".";
    }
    if (std::ferror(file.get())) {
        bytes.clear();
        return "Cannot read " + quotedPath(path) + ": " + systemReason(errno ? errno : EIO) + ".";
    }
    return {};
}

// Streams the file through libjpeg as it decodes, as djpeg does: no copy of the whole file in memory.
DecodedPicture decodeJpeg(const std::filesystem::path& path, Picture recycled)
{
    errno = 0;
    CFile file(std::fopen(path.c_str(), "rb"));
    DecodedPicture result;
    if (!file.get()) {
        result.error = "Cannot open " + quotedPath(path) + ": " + systemReason(errno) + ".";
        return result;
    }
    errno = 0;
    result = decodeJpegStream(file.get(), path.string(), std::move(recycled));
    if (std::ferror(file.get())) {  // libjpeg takes a failed read for the end of the file
        const int error = errno ? errno : EIO;
        result = DecodedPicture();
        result.error = "Cannot read " + quotedPath(path) + ": " + systemReason(error) + ".";
    }
    return result;
}

DecodedPicture decodeBmp(const std::filesystem::path& path)
{
    DecodedPicture result;
    // A file bigger than the largest picture we would load (32 bits a pixel) is not even read.
    std::error_code sizeUnknown;
    const auto fileBytes = std::filesystem::file_size(path, sizeUnknown);
    if (!sizeUnknown && fileBytes > kMaxPictureBytes / 3 * 4 + (std::uintmax_t{1} << 20)) {
        result.error = quotedPath(path) + " is too large to load: " + std::to_string(fileBytes >> 20) +
                       " MB, at most " + std::to_string(kMaxPictureBytes >> 20) +
                       " MB of picture can be loaded.";
        return result;
    }
    std::vector<std::uint8_t> bytes;
    result.error = readWholeFile(path, bytes);
    if (result.failed()) return result;
    return ReadBmpFromMemory(bytes.data(), bytes.size(), path.string());
}

}  // namespace

DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind)
{
    return decodePictureFile(path, kind, Picture());
}

DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind, Picture recycled)
{
    if (kind == PictureKind::Jpeg || kind == PictureKind::Bmp) {
        // A folder or a device with a picture's name is refused before it is opened: a named pipe would
        // wait for a writer for ever.
        std::error_code unknown;
        const auto status = std::filesystem::status(path, unknown);
        if (!unknown && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
            DecodedPicture result;
            result.error = "Cannot open " + quotedPath(path) + ": " +
                           (std::filesystem::is_directory(status) ? systemReason(EISDIR) : "it is not a file") + ".";
            return result;
        }
    }
    switch (kind) {
    case PictureKind::Jpeg:
        return decodeJpeg(path, std::move(recycled));
    case PictureKind::Bmp:
        return decodeBmp(path);
    case PictureKind::Tiff: {
        // The TIFF reader never fails the load: what it could not read comes back as messages, and the
        // picture stays empty when no directory decoded.
        TiffResult tiff = ReadTiffToBitmap(path.string());
        DecodedPicture result;
        result.picture = std::move(tiff.picture);
        result.messages = std::move(tiff.messages);
        result.damaged = tiff.damaged;
        return result;
    }
    case PictureKind::None:
        break;
    }
    return {};
}

DecodedPicture decodeBmpBytes(const char* data, std::size_t size, const std::string& fileLabel)
{
    if (size > kMaxPictureBytes / 3 * 4 + (std::size_t{1} << 20)) {
        DecodedPicture result;
        result.error = "\"" + fileLabel + "\" is too large to load: " + std::to_string(size >> 20) +
                       " MB, at most " + std::to_string(kMaxPictureBytes >> 20) + " MB of picture can be loaded.";
        return result;
    }
    return ReadBmpFromMemory(reinterpret_cast<const std::uint8_t*>(data), size, fileLabel);
}

std::string writeJpegFile(const Picture& picture, const std::filesystem::path& path, int quality)
{
    if (picture.empty()) return "Cannot write " + quotedPath(path) + ": there is no picture.";
    errno = 0;
    CFile file(std::fopen(path.c_str(), "wb"));
    if (!file.get()) return "Cannot write " + quotedPath(path) + ": " + systemReason(errno) + ".";
    std::string reason = encodeJpegFile(picture, file.get(), quality);
    if (reason.empty() && std::fflush(file.get()) != 0) reason = systemReason(errno);
    if (reason.empty() && std::ferror(file.get())) reason = systemReason(errno ? errno : EIO);
    if (!file.close() && reason.empty()) reason = systemReason(errno);
    if (reason.empty()) return {};
    std::error_code ignored;
    if (std::filesystem::is_regular_file(path, ignored))
        std::filesystem::remove(path, ignored);  // no half-written picture stays behind
    return "Cannot write " + quotedPath(path) + ": " + reason + ".";
}

std::string replaceWithJpegFile(const Picture& picture, const std::filesystem::path& path, int quality)
{
    if (picture.empty()) return "Cannot write " + quotedPath(path) + ": there is no picture.";
    const std::string reason = replaceFileAtomically(path, [&](int fd) -> std::string {
        const int own = ::dup(fd);
        CFile file(own < 0 ? nullptr : ::fdopen(own, "wb"));
        if (!file.get()) {
            const int error = errno;
            if (own >= 0) ::close(own);
            return systemReason(error);
        }
        std::string failure = encodeJpegFile(picture, file.get(), quality);
        if (failure.empty() && std::fflush(file.get()) != 0) failure = systemReason(errno);
        if (failure.empty() && std::ferror(file.get())) failure = systemReason(errno ? errno : EIO);
        if (!file.close() && failure.empty()) failure = systemReason(errno);
        return failure;
    });
    if (reason.empty()) return {};
    return "Cannot write " + quotedPath(path) + ": " + reason + ".";
}
