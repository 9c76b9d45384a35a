// Feeds arbitrary bytes to the TIFF reader; the sanitizers catch any access outside a buffer.
#include <cstddef>
#include <cstdint>

#include "picture/tiff/ReadTiff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const TiffResult result = ReadTiffFromMemory(data, size, "fuzz.tif");
    // Touch every decoded byte so a picture built from unread memory shows up under the sanitizers.
    unsigned sum = 0;
    for (std::size_t i = 0; i < result.picture.byteCount(); ++i) sum += result.picture.data()[i];
    return static_cast<int>(sum & 0);
}
