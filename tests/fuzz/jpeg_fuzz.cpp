// Feeds arbitrary bytes to our libjpeg-turbo decoding and its error handling: a corrupt file must end
// in a message, never abort, and never jump past the release of the decompressor (ASan's leak check
// sees a decompressor left behind).
#include <cstddef>
#include <cstdint>

#include "picture/JpegCodec.h"
#include "picture/PictureMemory.h"

namespace {

// Pictures above this many pixels are legal but take seconds each under the sanitizers; their size
// limit has tests of its own.
constexpr std::uint64_t kMaxFuzzPixels = std::uint64_t{1} << 22;

// The largest width x height any frame header (SOF0 to SOF15) in the bytes declares.
std::uint64_t largestFrame(const std::uint8_t* data, std::size_t size) {
    std::uint64_t largest = 0;
    for (std::size_t i = 0; i + 8 < size; ++i) {
        if (data[i] != 0xFF || data[i + 1] < 0xC0 || data[i + 1] > 0xCF) continue;
        if (data[i + 1] == 0xC4 || data[i + 1] == 0xC8 || data[i + 1] == 0xCC) continue;  // DHT, JPG, DAC
        const std::uint64_t height = (data[i + 5] << 8) | data[i + 6];
        const std::uint64_t width = (data[i + 7] << 8) | data[i + 8];
        if (width * height > largest) largest = width * height;
    }
    return largest;
}

}  // namespace

// The readers' size caps at what the targets' pictures may take: 4 megapixels in three layers.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setPictureMemoryLimit(std::uint64_t{9} << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (largestFrame(data, size) > kMaxFuzzPixels) return 0;
    const DecodedPicture result = decodeJpegBytes(data, size, "fuzz.jpg");
    if (result.failed() != result.picture.empty()) __builtin_trap();
    if (result.failed() && !result.messages.empty()) __builtin_trap();
    // Touch both ends of every row: a picture smaller than its size says shows up under ASan.
    unsigned sum = 0;
    for (int y = 0; y < result.picture.height(); ++y)
        sum += result.picture.row(y)[0] + result.picture.row(y)[result.picture.stride() - 1];
    return static_cast<int>(sum & 0);
}
