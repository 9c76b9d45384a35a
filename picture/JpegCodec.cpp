#include "picture/JpegCodec.h"

#include "core/AtomicFile.h"
#include "picture/PictureMemory.h"
#include "core/RowsReady.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

// clang-format off
#include <jpeglib.h>  // needs <cstdio> before it
// clang-format on

// libjpeg reports fatal errors by calling error_exit, which must not return. We longjmp back to the
// setjmp in the function that called libjpeg. Every function holding such a setjmp keeps only
// trivially destructible locals, and no C++ frame lies between it and libjpeg, so the jump skips
// no destructor. The caller owns the libjpeg object and releases it on every path.

namespace {

constexpr int kMaxScans = 500;  // a progressive JPEG with more scans is refused (real ones have ~10)
constexpr int kRowsPerCall = 16;  // scanline pointers handed to libjpeg at once

struct ErrorManager {
    jpeg_error_mgr pub;  // first member: libjpeg sees this struct as a jpeg_error_mgr
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];        // the fatal error's text
    char firstWarning[JMSG_LENGTH_MAX];   // the first warning's text
    int warnings;
    const WorkProgress* progress;  // asked as libjpeg reports its progress; may be empty
    bool stopped;                  // the jump came from progress asking to stop, not from an error
    std::int64_t reported;         // the furthest point progress was told of
};

ErrorManager& errorManagerOf(j_common_ptr info) { return *reinterpret_cast<ErrorManager*>(info->err); }

void exitWithError(j_common_ptr info)
{
    ErrorManager& manager = errorManagerOf(info);
    (*info->err->format_message)(info, manager.message);
    std::longjmp(manager.jump, 1);
}

// Warnings (level -1) are kept, the first one's text with a count; trace messages are dropped.
void keepWarning(j_common_ptr info, int level)
{
    if (level >= 0) return;
    ErrorManager& manager = errorManagerOf(info);
    if (manager.warnings == 0) (*info->err->format_message)(info, manager.firstWarning);
    ++manager.warnings;
    ++info->err->num_warnings;
}

void installErrorManager(ErrorManager& manager)
{
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = exitWithError;
    manager.pub.emit_message = keepWarning;
    manager.message[0] = '\0';
    manager.firstWarning[0] = '\0';
    manager.warnings = 0;
    manager.progress = nullptr;
    manager.stopped = false;
    manager.reported = 0;
}

// libjpeg's progress monitor, called once per band of rows (or of a progressive scan's blocks). A file
// of thousands of tiny progressive scans would keep the decoder busy for minutes: it is refused. The
// caller's progress hook hears how far the decoding is and may stop it.
void monitorDecoding(j_common_ptr info)
{
    if (!info->is_decompressor) return;
    ErrorManager& manager = errorManagerOf(info);
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
        std::snprintf(manager.message, sizeof manager.message, "more than %d progressive scans", kMaxScans);
        std::longjmp(manager.jump, 1);
    }
    if (manager.progress == nullptr || !*manager.progress) return;
    // Each pass counts for kPassSteps steps.
    constexpr std::int64_t kPassSteps = 1000;
    const jpeg_progress_mgr& monitor = *info->progress;
    const std::int64_t passes = std::max(1, monitor.total_passes);
    const std::int64_t inPass =
        monitor.pass_limit > 0 ? std::min<std::int64_t>(kPassSteps, monitor.pass_counter * kPassSteps / monitor.pass_limit) : 0;
    const std::int64_t done = std::min(passes, std::int64_t{monitor.completed_passes}) * kPassSteps + inPass;
    // libjpeg raises a pass's limit when a progressive file has more scans than it guessed: the share
    // told never goes back.
    manager.reported = std::max(manager.reported, std::min(done, passes * kPassSteps));
    if ((*manager.progress)(manager.reported, passes * kPassSteps)) return;
    manager.stopped = true;
    std::snprintf(manager.message, sizeof manager.message, "stopped");
    std::longjmp(manager.jump, 1);
}

struct JpegReader {
    jpeg_decompress_struct info;
    ErrorManager error;
    jpeg_progress_mgr progress;
    bool created;
    bool cmykOutput;  // decoded as (Adobe, inverted) CMYK, converted to colour row by row
};

// Where the compressed data comes from: an open file, else bytes in memory.
struct JpegSource {
    std::FILE* file;
    const std::uint8_t* data;
    std::size_t size;
};

// Phase 1: reads the header and chooses the output colour space. False on error (reader.error.message).
bool readJpegHeader(JpegReader& reader, const JpegSource& source)
{
    if (setjmp(reader.error.jump)) return false;
    jpeg_create_decompress(&reader.info);
    reader.created = true;
    reader.progress.progress_monitor = monitorDecoding;
    reader.info.progress = &reader.progress;
    if (source.file)
        jpeg_stdio_src(&reader.info, source.file);
    else
        jpeg_mem_src(&reader.info, source.data, static_cast<unsigned long>(source.size));
    jpeg_read_header(&reader.info, TRUE);

    reader.cmykOutput = false;
    switch (reader.info.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        reader.info.out_color_space = JCS_EXT_BGR;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        reader.info.out_color_space = JCS_CMYK;  // libjpeg converts YCCK to CMYK, not further
        reader.cmykOutput = true;
        break;
    default:
        std::snprintf(reader.error.message, sizeof reader.error.message,
                      "%d colour components in an unknown colour space", reader.info.num_components);
        return false;
    }
    reader.info.dct_method = JDCT_ISLOW;
    reader.info.do_fancy_upsampling = TRUE;
    reader.info.do_block_smoothing = TRUE;
    reader.info.buffered_image = FALSE;
    reader.info.quantize_colors = FALSE;
    reader.info.scale_num = reader.info.scale_denom = 1;
    return true;
}

// The conversion of libjpeg-turbo's djpeg: Adobe CMYK JPEGs store inverted inks, so the ink values
// scaled by black are the colour values.
void cmykRowToBgr(const JSAMPLE* cmyk, std::uint8_t* bgr, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const double black = cmyk[3];
        bgr[0] = static_cast<std::uint8_t>(cmyk[2] * black / 255.0 + 0.5);
        bgr[1] = static_cast<std::uint8_t>(cmyk[1] * black / 255.0 + 0.5);
        bgr[2] = static_cast<std::uint8_t>(cmyk[0] * black / 255.0 + 0.5);
    }
}

// Phase 2: decodes every row into pixels (stride bytes a row, from the top); ready, when given, hears
// of each band once its rows are final. False on error.
bool readJpegRows(JpegReader& reader, std::uint8_t* pixels, std::size_t stride, RowsReady* ready)
{
    if (setjmp(reader.error.jump)) return false;
    jpeg_start_decompress(&reader.info);
    jpeg_decompress_struct& info = reader.info;
    JSAMPARRAY cmykRows = nullptr;  // libjpeg's pool owns it: released with the decompressor
    if (reader.cmykOutput) {
        cmykRows = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                             info.output_width * 4, kRowsPerCall);
    }
    JSAMPROW rows[kRowsPerCall];
    while (info.output_scanline < info.output_height) {
        const JDIMENSION first = info.output_scanline;
        JDIMENSION count = info.output_height - first;
        if (count > kRowsPerCall) count = kRowsPerCall;
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = cmykRows ? cmykRows[i] : pixels + stride * (first + i);
        const JDIMENSION done = jpeg_read_scanlines(&info, rows, count);
        if (cmykRows) {
            for (JDIMENSION i = 0; i < done; ++i)
                cmykRowToBgr(cmykRows[i], pixels + stride * (first + i), info.output_width);
        }
        if (ready) ready->publish(std::int64_t{first} + done);
    }
    jpeg_finish_decompress(&info);
    return true;
}

std::string notReadable(const std::string& fileLabel, std::string_view reason)
{
    return quotedPath(fileLabel) + " is not a readable JPEG picture: " + std::string(reason) + ".";
}

}  // namespace

// Everything one decoding holds, at a fixed address: libjpeg keeps pointers to the error manager
// and the progress monitor.
struct JpegDecoding::State {
    JpegReader reader{};
    JpegSource source{};
    std::string fileLabel;
    WorkProgress progress;
    DecodedPicture result;
    bool rowsToDecode = false;  // start succeeded and the rows are not decoded yet

    State(const JpegSource& from, const std::string& label, Picture buffer, const WorkProgress& hook)
        : source(from), fileLabel(label), progress(hook)
    {
        result.picture = std::move(buffer);
        installErrorManager(reader.error);
        reader.error.progress = &progress;
        reader.info.err = &reader.error.pub;
    }
    ~State()
    {
        if (reader.created) jpeg_destroy_decompress(&reader.info);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    /// The decoding ended on libjpeg's error (or on the progress hook's stop): no picture, once finish
    /// gives the outcome. Until then the picture stays, for whoever still reads its rows.
    void failWithReaderError()
    {
        if (reader.error.stopped)
            result.cancelled = true;
        else
            result.error = notReadable(fileLabel, reader.error.message);
    }
};

JpegDecoding::JpegDecoding(std::FILE* file, const std::string& fileLabel, Picture buffer, const WorkProgress& progress)
    : state_(std::make_unique<State>(JpegSource{file, nullptr, 0}, fileLabel, std::move(buffer), progress))
{
}

JpegDecoding::JpegDecoding(std::unique_ptr<State> state) : state_(std::move(state)) {}

JpegDecoding::~JpegDecoding() = default;

bool JpegDecoding::start()
{
    State& state = *state_;
    DecodedPicture& result = state.result;
    const std::string& fileLabel = state.fileLabel;
    if (!readJpegHeader(state.reader, state.source)) {
        result.picture.clear();
        state.failWithReaderError();
        return false;
    }
    const JDIMENSION width = state.reader.info.image_width;
    const JDIMENSION height = state.reader.info.image_height;
    const std::size_t bytes = std::size_t{width} * height * Picture::kBytesPerPixel;
    if (bytes > kMaxPictureBytes) {
        result.error = quotedPath(fileLabel) + " is too large to load: " + std::to_string(width) + " x " +
                       std::to_string(height) + " pixels need " + std::to_string(bytes >> 20) +
                       " MB, at most " + std::to_string(kMaxPictureBytes >> 20) + " MB can be loaded.";
        result.picture.clear();
        return false;
    }
    if (!claimPictureMemory(width, height)) {
        result.error = quotedPath(fileLabel) + " is too large to load: " + overMemoryLimitReason(width, height) + ".";
        result.picture.clear();
        return false;
    }
    try {
        // Every row is decoded into it, or the picture is dropped.
        result.picture.resizeForOverwrite(static_cast<int>(width), static_cast<int>(height));
    } catch (const std::bad_alloc&) {
        result.picture.clear();
        result.error = "Not enough memory to load " + quotedPath(fileLabel) + " (" + std::to_string(width) +
                       " x " + std::to_string(height) + " pixels).";
        return false;
    }
    state.rowsToDecode = true;
    return true;
}

const Picture& JpegDecoding::picture() const
{
    return state_->result.picture;
}

void JpegDecoding::decodeRows(RowsReady* ready)
{
    State& state = *state_;
    if (state.rowsToDecode) {
        state.rowsToDecode = false;
        if (!readJpegRows(state.reader, state.result.picture.data(), state.result.picture.stride(), ready))
            state.failWithReaderError();
    }
    if (ready) ready->close();
}

DecodedPicture JpegDecoding::finish()
{
    State& state = *state_;
    DecodedPicture result = std::move(state.result);
    state.result = DecodedPicture();
    if (result.failed() || result.cancelled) result.picture.clear();
    // Deliberate, as djpeg: a warning (junk before a marker, premature end of the file) keeps the
    // picture, of which the missing part is grey; the user hears of it once.
    if (!result.failed() && !result.cancelled && state.reader.error.warnings > 0) {
        std::string message = quotedPath(state.fileLabel) + " is damaged, the picture may be incomplete: " +
                              state.reader.error.firstWarning + ".";
        if (state.reader.error.warnings > 1)
            message += " (" + std::to_string(state.reader.error.warnings - 1) + " more problems of this kind)";
        result.messages.push_back(std::move(message));
        result.damaged = true;
    }
    return result;
}

namespace {

DecodedPicture decodeJpeg(const JpegSource& source, const std::string& fileLabel, Picture buffer,
                          const WorkProgress& progress)
{
    JpegDecoding decoding(std::make_unique<JpegDecoding::State>(source, fileLabel, std::move(buffer), progress));
    if (decoding.start()) decoding.decodeRows(nullptr);
    return decoding.finish();
}

}  // namespace

DecodedPicture decodeJpegBytes(const std::uint8_t* data, std::size_t size, const std::string& fileLabel,
                               Picture buffer)
{
    return decodeJpeg(JpegSource{nullptr, data, size}, fileLabel, std::move(buffer), WorkProgress());
}

DecodedPicture decodeJpegStream(std::FILE* file, const std::string& fileLabel, Picture buffer,
                                const WorkProgress& progress)
{
    return decodeJpeg(JpegSource{file, nullptr, 0}, fileLabel, std::move(buffer), progress);
}

namespace {

struct JpegWriter {
    jpeg_compress_struct info;
    ErrorManager error;
    bool created;
};

// Writes the whole picture; false on error (writer.error.message). Only trivially destructible locals.
bool writeJpegRows(JpegWriter& writer, const Picture& picture, std::FILE* file, int quality)
{
    if (setjmp(writer.error.jump)) return false;
    jpeg_create_compress(&writer.info);
    writer.created = true;
    jpeg_stdio_dest(&writer.info, file);
    writer.info.image_width = static_cast<JDIMENSION>(picture.width());
    writer.info.image_height = static_cast<JDIMENSION>(picture.height());
    writer.info.input_components = Picture::kBytesPerPixel;
    writer.info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&writer.info);
    jpeg_set_quality(&writer.info, quality, TRUE);
    jpeg_start_compress(&writer.info, TRUE);
    JSAMPROW rows[kRowsPerCall];
    while (writer.info.next_scanline < writer.info.image_height) {
        const JDIMENSION first = writer.info.next_scanline;
        JDIMENSION count = writer.info.image_height - first;
        if (count > kRowsPerCall) count = kRowsPerCall;
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(picture.row(static_cast<int>(first + i)));  // only read
        jpeg_write_scanlines(&writer.info, rows, count);
    }
    jpeg_finish_compress(&writer.info);
    return true;
}

}  // namespace

std::string encodeJpegFile(const Picture& picture, std::FILE* file, int quality)
{
    JpegWriter writer{};
    installErrorManager(writer.error);
    writer.info.err = &writer.error.pub;
    const bool written = writeJpegRows(writer, picture, file, quality);
    if (writer.created) jpeg_destroy_compress(&writer.info);
    return written ? std::string() : std::string(writer.error.message);
}
