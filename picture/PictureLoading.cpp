#include "picture/PictureLoading.h"

#include "picture/tiff/LibTiffReader.h"
#include "picture/tiff/ReadTiff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "core/AtomicFile.h"
#include "core/RowsReady.h"
#include "picture/JpegCodec.h"
#include "picture/PngDecoding.h"
#include "picture/PictureMemory.h"
#include "picture/ReadBmp.h"
#include "picture/SampleRange.h"

namespace {

struct ReadableSuffix {
    std::string_view text;  // lower case, without the dot
    PictureKind kind;
};
constexpr std::array<ReadableSuffix, 7> kReadableSuffixes{{{"jpg", PictureKind::Jpeg},
                                                           {"jpeg", PictureKind::Jpeg},
                                                           {"jpe", PictureKind::Jpeg},
                                                           {"bmp", PictureKind::Bmp},
                                                           {"tif", PictureKind::Tiff},
                                                           {"tiff", PictureKind::Tiff},
                                                           {"png", PictureKind::Png}}};

}  // namespace

PictureKind pictureKindForName(std::string_view fileName)
{
    // The file's own name only: a folder called "pics.jpg" says nothing about the files in it.
    const std::string name = namePart(fileName);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return PictureKind::None;
    std::string suffix = name.substr(dot + 1);
    for (char& c : suffix)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const ReadableSuffix& readable : kReadableSuffixes)
        if (suffix == readable.text) return readable.kind;
    return PictureKind::None;
}

std::string readablePicturePatterns()
{
    std::string patterns;
    for (const ReadableSuffix& readable : kReadableSuffixes) {
        if (!patterns.empty()) patterns += ';';
        patterns += "*.";
        patterns += readable.text;
    }
    return patterns;
}

std::string namePart(std::string_view fileName)
{
    const auto cut = fileName.find_last_of('/');
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

}  // namespace

std::string readWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes)
{
    errno = 0;
    CFile file(std::fopen(path.c_str(), "rb"));
    if (!file.get()) return "Cannot open " + quotedPath(path) + ": " + systemReason(errno) + ".";
    return readWholeStream(file.get(), path, bytes);
}

std::string readWholeStream(std::FILE* file, const std::filesystem::path& path, std::vector<std::uint8_t>& bytes)
{
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    errno = 0;
    try {
        // The first read asks for the file's size and one byte more, so a small file costs no more
        // memory than its size; a file that grows meanwhile is read on in chunks.
        std::size_t chunk = kChunk;
        std::error_code sizeUnknown;
        const auto expected = std::filesystem::file_size(path, sizeUnknown);
        if (!sizeUnknown && expected < kMaxPictureBytes) {
            chunk = static_cast<std::size_t>(expected) + 1;
            bytes.reserve(chunk);
        }
        for (;;) {
            const std::size_t used = bytes.size();
            bytes.resize(used + chunk);
            const std::size_t got = std::fread(bytes.data() + used, 1, chunk, file);
            bytes.resize(used + got);
            if (got < chunk) break;
            chunk = kChunk;
        }
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return "Not enough memory to read " + quotedPath(path) + ".";
    }
    if (std::ferror(file)) {
        bytes.clear();
        return "Cannot read " + quotedPath(path) + ": " + systemReason(errno ? errno : EIO) + ".";
    }
    return {};
}

namespace {

// Streams the file through libjpeg as it decodes, as djpeg does: no copy of the whole file in memory.
DecodedPicture decodeJpeg(const std::filesystem::path& path, Picture recycled, const WorkProgress& progress)
{
    errno = 0;
    CFile file(std::fopen(path.c_str(), "rb"));
    DecodedPicture result;
    if (!file.get()) {
        result.error = "Cannot open " + quotedPath(path) + ": " + systemReason(errno) + ".";
        return result;
    }
    errno = 0;
    result = decodeJpegStream(file.get(), path.string(), std::move(recycled), progress);
    if (std::ferror(file.get())) {  // libjpeg takes a failed read for the end of the file
        const int error = errno ? errno : EIO;
        result = DecodedPicture();
        result.error = "Cannot read " + quotedPath(path) + ": " + systemReason(error) + ".";
    }
    return result;
}

/// A BMP file bigger than the largest picture we would load (32 bits a pixel) is not even read; nor is
/// one that cannot be opened. Otherwise file is the open file, the caller's to close.
std::optional<DecodedPicture> openBmp(const std::filesystem::path& path, std::FILE*& file)
{
    DecodedPicture result;
    std::error_code sizeUnknown;
    const auto fileBytes = std::filesystem::file_size(path, sizeUnknown);
    if (!sizeUnknown && fileBytes > kMaxPictureBytes / 3 * 4 + (std::uintmax_t{1} << 20)) {
        result.error = quotedPath(path) + " is too large to load: " + std::to_string(fileBytes >> 20) +
                       " MB, at most " + std::to_string(kMaxPictureBytes >> 20) +
                       " MB of picture can be loaded.";
        return result;
    }
    errno = 0;
    file = std::fopen(path.c_str(), "rb");
    if (!file) {
        result.error = "Cannot open " + quotedPath(path) + ": " + systemReason(errno) + ".";
        return result;
    }
    return std::nullopt;
}

DecodedPicture decodeBmp(const std::filesystem::path& path)
{
    std::FILE* opened = nullptr;
    if (std::optional<DecodedPicture> refusal = openBmp(path, opened)) return std::move(*refusal);
    CFile file(opened);
    BmpFileDecoding decoding(file.get(), path.string());
    if (decoding.start()) decoding.decodeRows(nullptr);
    return decoding.finish();
}

}  // namespace

namespace {
std::atomic<int> chosenPage{0};

DecodedPicture decodeFile(const std::filesystem::path& path, PictureKind kind, Picture recycled,
                          const WorkProgress& progress);
}  // namespace

int picturePage()
{
    return chosenPage.load();
}

void setPicturePage(int page)
{
    chosenPage.store(page < 0 ? 0 : page);
}

DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind)
{
    return decodePictureFile(path, kind, Picture());
}

DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind, Picture recycled)
{
    return decodeFile(path, kind, std::move(recycled), WorkProgress());
}

DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind, const WorkProgress& progress)
{
    return decodePictureFile(path, kind, Picture(), progress);
}

DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind, Picture recycled,
                                 const WorkProgress& progress)
{
    DecodedPicture result = decodeFile(path, kind, std::move(recycled), progress);
    // The other readers are not asked on the way: what they made is dropped when the hook says stop.
    if (!result.cancelled && progress && !progress(1, 1)) {
        result = DecodedPicture();
        result.cancelled = true;
    }
    return result;
}

namespace {

/// A folder or a device with a picture's name is refused before it is opened: a named pipe would wait
/// for a writer for ever. The refusal, or nothing for a file (or a path that does not exist).
std::optional<DecodedPicture> refusalOfNonFile(const std::filesystem::path& path)
{
    std::error_code unknown;
    const auto status = std::filesystem::status(path, unknown);
    if (unknown || !std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) return std::nullopt;
    DecodedPicture result;
    result.error = "Cannot open " + quotedPath(path) + ": " +
                   (std::filesystem::is_directory(status) ? systemReason(EISDIR) : "it is not a file") + ".";
    return result;
}

DecodedPicture decodeFile(const std::filesystem::path& path, PictureKind kind, Picture recycled,
                          const WorkProgress& progress)
{
    if (kind == PictureKind::Jpeg || kind == PictureKind::Bmp || kind == PictureKind::Png) {
        if (std::optional<DecodedPicture> refusal = refusalOfNonFile(path)) return std::move(*refusal);
    }
    switch (kind) {
    case PictureKind::Jpeg:
        return decodeJpeg(path, std::move(recycled), progress);
    case PictureKind::Bmp:
        return decodeBmp(path);
    case PictureKind::Png:
        return decodePng(path);
    case PictureKind::Tiff: {
        // The TIFF reader never fails the load: what it could not read comes back as messages, and the
        // picture stays empty when no directory decoded.
        // A page asked for beyond the first is libtiff's to find: our reader keeps the last one it decodes.
        TiffResult tiff = picturePage() > 1 ? TiffResult() : ReadTiffToBitmap(path.string());
        DecodedPicture result;
        std::error_code unknown;
        if (tiff.picture.empty() && std::filesystem::is_regular_file(path, unknown)) {
            // Nothing our reader decodes: compressed, tiled, planar, 16-bit or BigTIFF pictures are
            // read through libtiff instead of showing our refusal.
            LibTiffResult second = ReadTiffThroughLibtiff(path.string(), sampleRange(), picturePage());
            if (!second.picture.empty()) {
                result.mapping = std::move(second.mapping);
                result.pages = second.pages;
                result.morePages = second.morePages;
                result.picture = std::move(second.picture);
                result.messages = std::move(second.messages);
                result.damaged = second.damaged;
                return result;
            }
            // Neither reads it: our reader's messages name the variant or the fault; libtiff's reason
            // is added where libtiff took it for a TIFF file but could not decode it either, or where
            // there is nothing else to say.
            if (second.opened || tiff.messages.empty())
                tiff.messages.insert(tiff.messages.end(), second.messages.begin(), second.messages.end());
        }
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

}  // namespace

struct PictureDecoding::State {
    std::filesystem::path path;
    std::FILE* file = nullptr;              // a JPEG's or BMP's, open while it is decoded
    std::unique_ptr<JpegDecoding> jpeg;     // a JPEG whose header was read
    std::unique_ptr<BmpFileDecoding> bmp;   // a BMP whose header was read
    std::optional<DecodedPicture> outcome;  // every other kind, or a file that ended early
    Picture none;                           // picture() when there is no picture to show
    RowsReady rows;
    std::thread rowDecoder;
    int headerErrno = 0;  // errno after the header was read
    int rowsErrno = 0;    // errno on the thread that decoded the rows, after it

    ~State()
    {
        if (rowDecoder.joinable()) rowDecoder.join();
        jpeg.reset();
        bmp.reset();
        if (file) std::fclose(file);
    }

    void decodeRows()
    {
        errno = 0;
        if (jpeg)
            jpeg->decodeRows(&rows);
        else
            bmp->decodeRows(&rows);
        rowsErrno = errno;
    }
    /// The rows on a second thread; with none to be had, here and now, before any is used.
    void decodeRowsBeside()
    {
        try {
            rowDecoder = std::thread([this] { decodeRows(); });
        } catch (const std::system_error&) {
            decodeRows();
        }
    }
};

PictureDecoding::PictureDecoding(const std::filesystem::path& path, PictureKind kind)
    : state_(std::make_unique<State>())
{
    State& state = *state_;
    state.path = path;
    if (kind == PictureKind::Jpeg || kind == PictureKind::Bmp) {
        if (std::optional<DecodedPicture> refusal = refusalOfNonFile(path)) {
            state.outcome = std::move(*refusal);
        } else if (kind == PictureKind::Bmp) {
            if (std::optional<DecodedPicture> refusal = openBmp(path, state.file)) state.outcome = std::move(*refusal);
        } else {
            errno = 0;
            state.file = std::fopen(path.c_str(), "rb");
            if (!state.file) {
                state.outcome.emplace();
                state.outcome->error = "Cannot open " + quotedPath(path) + ": " + systemReason(errno) + ".";
            }
        }
        if (state.file && kind == PictureKind::Bmp) {
            state.bmp = std::make_unique<BmpFileDecoding>(state.file, path.string());
            if (state.bmp->start()) {
                state.decodeRowsBeside();
                return;
            }
            state.outcome = state.bmp->finish();
            state.bmp.reset();
            state.rows.publish(state.outcome->picture.height());  // a file read whole
        } else if (state.file) {
            state.jpeg = std::make_unique<JpegDecoding>(state.file, path.string());
            errno = 0;
            const bool started = state.jpeg->start();
            state.headerErrno = errno;
            if (started) {
                state.decodeRowsBeside();
                return;
            }
        }
    } else {
        state.outcome = decodePictureFile(path, kind);
        state.rows.publish(state.outcome->picture.height());
    }
    state.rows.close();
}

PictureDecoding::~PictureDecoding() = default;

const Picture& PictureDecoding::picture() const
{
    const State& state = *state_;
    if (state.outcome) return state.outcome->picture;
    if (state.bmp) return state.bmp->picture();
    return state.jpeg ? state.jpeg->picture() : state.none;
}

const RowsReady& PictureDecoding::rows() const
{
    return state_->rows;
}

DecodedPicture PictureDecoding::finish()
{
    State& state = *state_;
    if (state.rowDecoder.joinable()) state.rowDecoder.join();
    if (state.outcome) {
        DecodedPicture result = std::move(*state.outcome);
        state.outcome.reset();
        return result;
    }
    if (state.bmp) return state.bmp->finish();
    if (!state.jpeg) return {};
    DecodedPicture result = state.jpeg->finish();
    if (state.file && std::ferror(state.file)) {  // libjpeg takes a failed read for the end of the file
        const int error = state.rowsErrno ? state.rowsErrno : state.headerErrno ? state.headerErrno : EIO;
        result = DecodedPicture();
        result.error = "Cannot read " + quotedPath(state.path) + ": " + systemReason(error) + ".";
    }
    return result;
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
