#pragma once
// Picture files in and out: choosing the decoder by the name's suffix, decoding JPEG, BMP, PNG and
// TIFF into a 24-bit blue-green-red Picture, and writing JPEG files.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Picture.h"
#include "core/WorkProgress.h"

enum class PictureKind { None, Jpeg, Bmp, Tiff, Png };

/// Largest decoded picture accepted, in bytes of 24-bit rows (2 GB): a bigger size in a file's header
/// is refused before anything is allocated.
constexpr std::size_t kMaxPictureBytes = std::size_t{1} << 31;

/// The decoder for a file name (folders allowed): by the name's own last suffix, in any letter case.
/// .jpg/.jpeg/.jpe: Jpeg, .bmp: Bmp, .tif/.tiff: Tiff, .png: Png; anything else, or no suffix: None.
PictureKind pictureKindForName(std::string_view fileName);

/// Why a file of any other suffix is not opened.
inline constexpr const char* kUnreadablePictureKindReason =
    "Only JPEG (.jpg, .jpeg, .jpe), BMP (.bmp), TIFF (.tif, .tiff) and PNG (.png) pictures can be read.";

/// The suffixes pictureKindForName reads, as an open dialog's patterns: "*.jpg;*.jpeg;...".
std::string readablePicturePatterns();

/// What follows the last '/' of fileName: only '/' separates folders here, so '\' and ':' are
/// ordinary characters of a name ("scan 12:30:45.jpg").
std::string namePart(std::string_view fileName);

struct DecodedPicture {
    Picture picture;                    // 24-bit; empty when nothing could be decoded
    std::vector<std::string> messages;  // the reader's messages, one message box each, in order: the
                                        // TIFF reader's problems, or a damaged JPEG or BMP whose picture is kept
    bool damaged = false;               // the messages report damage: the picture may be incomplete or
                                        // not the file's whole content (not plain information)
    std::string error;                  // JPEG/BMP: why the file could not be read; empty on success
    std::string mapping;                // 16-bit pictures: how the samples became 8 bits (SampleRange)
    int pages = 1;                      // full-resolution pages in the file; only the first (or the one
                                        // asked for) is decoded
    bool morePages = false;             // more pages than pages: the file was not looked at to its end
    bool cancelled = false;             // the progress hook stopped the decoding: no picture, no error
    bool failed() const { return !error.empty(); }
};

/// Which full-resolution page of a TIFF file of several is loaded, from 1; 0 (the default) leaves the choice
/// to the readers. A page other than the first is read through libtiff. Applies from the next picture on.
int picturePage();
void setPicturePage(int page);

/// Decodes path with the decoder of kind. PictureKind::None decodes nothing and fails nothing (the
/// caller refuses such a name before it gets here);
/// PictureKind::Tiff is read by our TIFF reader (ReadTiff) first; when it decodes no picture, libtiff
/// reads the first full-resolution page instead (LibTiffReader), and when neither does, the messages say why. A file that cannot be read or
/// decoded gives an error naming the file and the reason, and no picture.
DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind);

/// The same, decoding a JPEG into recycled's memory where that is large enough (its contents are
/// lost either way). Loading picture after picture through one spare buffer spares allocating and
/// first touching 72 MB for each 24-megapixel picture.
DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind, Picture recycled);

/// The same, telling progress how far the decoding is: a JPEG once per band of rows, the other kinds
/// when they are decoded. When progress answers false the result is cancelled: no picture, no
/// messages, no error.
DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind, const WorkProgress& progress);
/// Both: into recycled's memory, telling progress.
DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind, Picture recycled,
                                 const WorkProgress& progress);

class RowsReady;

/// A picture file decoded while its first rows are already being worked on. A JPEG's or BMP's header
/// is read and its picture sized on the calling thread (whose memory claim it is); its rows are decoded
/// (a BMP's read) on a second thread, band by band, each band told to rows() once it is final. The
/// other kinds are decoded whole before the constructor returns. The outcome is decodePictureFile(path, kind)'s, byte for byte.
class PictureDecoding {
public:
    PictureDecoding(const std::filesystem::path& path, PictureKind kind);
    /// Waits for the second thread.
    ~PictureDecoding();
    PictureDecoding(const PictureDecoding&) = delete;
    PictureDecoding& operator=(const PictureDecoding&) = delete;

    /// The picture being decoded, with its final size; empty when the decoding ended without one (finish
    /// says why). A row may be read only once rows() says it is ready; none may be written.
    const Picture& picture() const;
    /// How many rows of picture() are decoded; closed when the decoding has ended, also when it failed
    /// half-way. Then fewer rows than the picture's height may ever be ready.
    const RowsReady& rows() const;
    /// Waits for the end of the decoding and gives its outcome, as decodePictureFile gives it. Once.
    DecodedPicture finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

/// Reads the rest of an open file (path names it, and gives its size) into bytes. Returns an empty text
/// on success, else why it failed.
std::string readWholeStream(std::FILE* file, const std::filesystem::path& path, std::vector<std::uint8_t>& bytes);

/// Decodes a whole BMP file held in memory, as decodePictureFile does for a ".bmp" name (ReadBmp).
/// fileLabel names the file in the error text and the messages.
DecodedPicture decodeBmpBytes(const char* data, std::size_t size, const std::string& fileLabel);

/// Writes picture as a baseline colour JPEG file. Returns an empty text on success, else the reason;
/// on failure no file is left at path.
std::string writeJpegFile(const Picture& picture, const std::filesystem::path& path, int quality = 90);
/// The same through a temporary file in the same folder, renamed over path once it is complete: an
/// existing file is replaced whole or not at all, and keeps its permissions.
std::string replaceWithJpegFile(const Picture& picture, const std::filesystem::path& path, int quality = 90);
