// Feeds arbitrary bytes to the BMP path as loading runs it: Qt's reader restricted to BMP content,
// then our conversion to 24-bit rows. The sanitizers catch any access outside a buffer.
#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <cstddef>
#include <cstdint>

#include "app/PictureLoading.h"

namespace {
// Pictures above this many pixels are legal but take seconds each under the sanitizers; their size
// limit has tests of its own.
constexpr qint64 kMaxFuzzPixels = qint64{1} << 22;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "bmp");
        const QSize declared = reader.size();
        if (declared.isValid() && qint64{declared.width()} * declared.height() > kMaxFuzzPixels) return 0;
    }
    const DecodedPicture result = decodeBmpBytes(reinterpret_cast<const char*>(data), size, "fuzz.bmp");
    // A picture comes with no error, an error with no picture: anything else is a fault.
    if (result.failed() != result.picture.empty()) __builtin_trap();
    // Touch both ends of every row: a picture smaller than its size says shows up under ASan.
    unsigned sum = 0;
    for (int y = 0; y < result.picture.height(); ++y)
        sum += result.picture.row(y)[0] + result.picture.row(y)[result.picture.stride() - 1];
    return static_cast<int>(sum & 0);
}
