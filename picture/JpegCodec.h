#pragma once
// JPEG decoding and encoding through libjpeg-turbo: the pieces the picture loader puts together.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/WorkProgress.h"
#include "picture/PictureLoading.h"

/// Decodes a whole JPEG file held in memory into 24-bit blue-green-red rows: accurate integer DCT,
/// fancy upsampling and block smoothing, as djpeg -dct int does. Greyscale, CMYK and YCCK pictures
/// are converted to colour. fileLabel names the file in the texts of error and messages.
/// A libjpeg warning (damaged data, premature end) keeps the picture and adds one message.
/// The picture is decoded into buffer's memory where that is large enough.
DecodedPicture decodeJpegBytes(const std::uint8_t* data, std::size_t size, const std::string& fileLabel,
                               Picture buffer = {});

/// The same, reading the JPEG from an open file as it decodes (the file is not closed). progress is
/// asked once per band of rows; when it answers false the decoding stops and gives no picture and no
/// error, only cancelled.
DecodedPicture decodeJpegStream(std::FILE* file, const std::string& fileLabel, Picture buffer = {},
                                const WorkProgress& progress = {});

class RowsReady;

/// decodeJpegStream's decoding in steps, so that the rows can be decoded on one thread while another
/// reads those already done: start reads the header and sizes the picture (on the thread whose memory
/// claim it is, see claimPictureMemory), decodeRows decodes every row into it, finish gives what
/// decodeJpegStream gives. The steps run one after the other, never two at once.
class JpegDecoding {
public:
    JpegDecoding(std::FILE* file, const std::string& fileLabel, Picture buffer = {},
                 const WorkProgress& progress = {});
    ~JpegDecoding();
    JpegDecoding(const JpegDecoding&) = delete;
    JpegDecoding& operator=(const JpegDecoding&) = delete;

    /// Reads the header, checks the size against the limits and sizes the picture. False when the
    /// decoding has ended already: finish says why.
    bool start();
    /// The picture being decoded, sized once start returned true. Its rows are final only as far as
    /// decodeRows has told ready.
    const Picture& picture() const;
    /// Decodes every row (nothing after a failed start). ready, when given, hears of each band of rows
    /// as it is done, and is closed at the end, whatever the end.
    void decodeRows(RowsReady* ready);
    /// The outcome once the steps are done: the picture or the error, and the messages.
    DecodedPicture finish();

    struct State;
    explicit JpegDecoding(std::unique_ptr<State> state);

private:
    std::unique_ptr<State> state_;
};

/// Writes picture to file as a baseline colour JPEG (4:2:0). Returns an empty text on success,
/// else libjpeg's reason. Does not close file.
std::string encodeJpegFile(const Picture& picture, std::FILE* file, int quality);
