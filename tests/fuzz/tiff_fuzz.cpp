// Feeds arbitrary bytes to the TIFF reader; the sanitizers catch any access outside a buffer.
#include <cstddef>
#include <cstdint>

#include "picture/PictureMemory.h"
#include "picture/tiff/ReadTiff.h"

// The readers' size caps at what the targets' pictures may take: 4 megapixels in three layers.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setPictureMemoryLimit(std::uint64_t{9} << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const TiffResult result = ReadTiffFromMemory(data, size, "fuzz.tif");
    // Touch every decoded byte so a picture built from unread memory shows up under the sanitizers.
    unsigned sum = 0;
    for (std::size_t i = 0; i < result.picture.byteCount(); ++i) sum += result.picture.data()[i];
    return static_cast<int>(sum & 0);
}
