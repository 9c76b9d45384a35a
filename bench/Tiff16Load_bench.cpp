// Loading a 24-megapixel 16-bit RGB LZW TIFF (6000 x 4000, horizontal predictor) through the loader,
// mapping included, against libtiff merely decompressing its strips (what `tiffcp -c none` spends on
// reading). Target: the load within 1.5 x the decompression, plus the mapping.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/PictureLoading.h"

namespace {

constexpr std::uint32_t kWidth = 6000, kHeight = 4000;

const std::string& testFile() {
    static const std::string path = [] {
        const std::string name = (std::filesystem::temp_directory_path() /
                                  ("spottally-bench16-" + std::to_string(::getpid()) + ".tif"))
                                     .string();
        TIFF* tif = TIFFOpen(name.c_str(), "w");
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
        std::vector<std::uint16_t> line(kWidth * 3);
        for (std::uint32_t y = 0; y < kHeight; ++y) {
            // A dim 12-bit micrograph-like gradient with some texture.
            for (std::uint32_t i = 0; i < kWidth * 3; ++i)
                line[i] = static_cast<std::uint16_t>((i * 7 + y * 3 + (i ^ y) % 97) & 0x0FFF);
            TIFFWriteScanline(tif, line.data(), y, 0);
        }
        TIFFClose(tif);
        return name;
    }();
    return path;
}

void BM_DecompressStrips(benchmark::State& state) {
    const std::string& path = testFile();
    for (auto _ : state) {
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        std::vector<std::uint8_t> strip(static_cast<std::size_t>(TIFFStripSize(tif)));
        for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
            benchmark::DoNotOptimize(
                TIFFReadEncodedStrip(tif, s, strip.data(), static_cast<tmsize_t>(strip.size())));
        TIFFClose(tif);
    }
}
BENCHMARK(BM_DecompressStrips)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadSixteenBitLzw(benchmark::State& state) {
    const std::string& path = testFile();
    for (auto _ : state) {
        DecodedPicture decoded = decodePictureFile(path, PictureKind::Tiff);
        benchmark::DoNotOptimize(decoded.picture.data());
        if (decoded.picture.empty()) state.SkipWithError("not loaded");
    }
}
BENCHMARK(BM_LoadSixteenBitLzw)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove(testFile(), ignored);  // the 144 MB file written for the run
    return 0;
}
