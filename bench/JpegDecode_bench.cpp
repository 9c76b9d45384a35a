// Decoding a 24-megapixel JPEG (6000 x 4000, quality 90), the size of a modern microscope camera.
// --jpeg=PATH decodes that file, writing it first when it does not exist (bench/jpeg_vs_djpeg.sh
// times djpeg on the same file); without it a file in the temporary folder is used.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/PictureLoading.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kQuality = 90;

std::filesystem::path jpegPath;

// A membrane-filter-like picture: a smooth uneven background, sensor noise and small bright particles.
Picture syntheticMicrograph()
{
    Picture picture(kWidth, kHeight);
    std::uint32_t seed = 2024;
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = picture.row(y);
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 28) - 8;
            const int background = 60 + (x / 60 + y / 50) % 40;
            const bool particle = ((x / 7) * 31 + (y / 7) * 17) % 97 == 0 && x % 7 > 1 && y % 7 > 1;
            row[3 * x + 0] = static_cast<std::uint8_t>(background + 20 + noise);
            row[3 * x + 1] = static_cast<std::uint8_t>((particle ? 220 : background) + noise);
            row[3 * x + 2] = static_cast<std::uint8_t>((particle ? 120 : background / 2) + 8 + noise);
        }
    }
    return picture;
}

void BM_DecodeJpeg24MP(benchmark::State& state)
{
    for (auto _ : state) {
        DecodedPicture decoded = decodePictureFile(jpegPath, PictureKind::Jpeg);
        if (decoded.failed() || decoded.picture.width() != kWidth) {
            state.SkipWithError(decoded.error.c_str());
            break;
        }
        benchmark::DoNotOptimize(decoded.picture.data());
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t{kWidth} * kHeight * 3);
}
BENCHMARK(BM_DecodeJpeg24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// Picture after picture through one spare buffer: the memory is already there and touched.
void BM_DecodeJpeg24MPRecycled(benchmark::State& state)
{
    Picture spare;
    for (auto _ : state) {
        DecodedPicture decoded = decodePictureFile(jpegPath, PictureKind::Jpeg, std::move(spare));
        if (decoded.failed() || decoded.picture.width() != kWidth) {
            state.SkipWithError(decoded.error.c_str());
            break;
        }
        benchmark::DoNotOptimize(decoded.picture.data());
        spare = std::move(decoded.picture);
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t{kWidth} * kHeight * 3);
}
BENCHMARK(BM_DecodeJpeg24MPRecycled)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--jpeg=", 7) == 0)
            jpegPath = argv[i] + 7;
        else
            args.push_back(argv[i]);
    }
    if (jpegPath.empty()) jpegPath = std::filesystem::temp_directory_path() / "spottally_bench_24mp.jpg";
    if (!std::filesystem::exists(jpegPath)) {
        const std::string error = writeJpegFile(syntheticMicrograph(), jpegPath, kQuality);
        if (!error.empty()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
