// Feeds arbitrary bytes to the BMP path as loading runs it: our own BMP reader into 24-bit rows.
// The sanitizers catch any access outside a buffer.
#include <cstddef>
#include <cstdint>

#include "picture/PictureLoading.h"
#include "picture/PictureMemory.h"

namespace {
// Pictures above this many pixels are legal but take seconds each under the sanitizers; their size
// limit has tests of its own.
constexpr std::int64_t kMaxFuzzPixels = std::int64_t{1} << 22;

std::int64_t little(const std::uint8_t* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return bytes == 4 ? std::int64_t{static_cast<std::int32_t>(value)} : std::int64_t{value};
}

// Width x height as the header says: 16-bit fields in an OS/2 core header, signed 32-bit ones else.
std::int64_t declaredPixels(const std::uint8_t* data, std::size_t size) {
    if (size < 26) return 0;
    const bool core = little(data + 14, 4) == 12;
    const std::int64_t width = core ? little(data + 18, 2) : little(data + 18, 4);
    const std::int64_t height = core ? little(data + 20, 2) : little(data + 22, 4);
    return (width < 0 ? -width : width) * (height < 0 ? -height : height);
}
}  // namespace

// The readers' size caps at what the targets' pictures may take: 4 megapixels in three layers.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setPictureMemoryLimit(std::uint64_t{9} << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (declaredPixels(data, size) > kMaxFuzzPixels) return 0;
    const DecodedPicture result = decodeBmpBytes(reinterpret_cast<const char*>(data), size, "fuzz.bmp");
    // A picture comes with no error, an error with no picture: anything else is a fault.
    if (result.failed() != result.picture.empty()) __builtin_trap();
    // Touch both ends of every row: a picture smaller than its size says shows up under ASan.
    unsigned sum = 0;
    for (int y = 0; y < result.picture.height(); ++y)
        sum += result.picture.row(y)[0] + result.picture.row(y)[result.picture.stride() - 1];
    return static_cast<int>(sum & 0);
}
