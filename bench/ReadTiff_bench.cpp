// Decoding a 24-megapixel uncompressed RGB TIFF (6000 x 4000, one strip per 16 rows) against merely
// reading the file's bytes into memory. Target: decoding within twice the reading time.
// A file of 256 directories sharing one strip table of 4 million strips: target well under a second
// (each directory is checked, only the last one decoded, and no strip beyond a picture's rows read).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "picture/tiff/ReadTiff.h"
#include "picture/tiff/ReadTiffTags.h"

namespace {

constexpr std::uint32_t kWidth = 6000, kHeight = 4000, kRowsPerStrip = 16;

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

/// A little-endian RGB TIFF: pixel data first, then the strip arrays, then the directory.
std::vector<std::uint8_t> makeRgbTiff()
{
    const std::uint32_t rowBytes = kWidth * 3;
    std::vector<std::uint8_t> out = {'I', 'I', 42, 0, 0, 0, 0, 0};
    out.reserve(8 + std::size_t{rowBytes} * kHeight + 64 * 1024);
    for (std::uint32_t y = 0; y < kHeight; ++y)
        for (std::uint32_t x = 0; x < rowBytes; ++x) out.push_back(static_cast<std::uint8_t>(x * 7 + y));
    const std::uint32_t strips = (kHeight + kRowsPerStrip - 1) / kRowsPerStrip;
    const auto offsetsAt = static_cast<std::uint32_t>(out.size());
    for (std::uint32_t s = 0; s < strips; ++s) put(out, 8 + s * kRowsPerStrip * rowBytes, 4);
    const auto countsAt = static_cast<std::uint32_t>(out.size());
    for (std::uint32_t s = 0; s < strips; ++s)
        put(out, std::min(kRowsPerStrip, kHeight - s * kRowsPerStrip) * rowBytes, 4);
    const auto bitsAt = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 3; ++i) put(out, 8, 2);
    const auto ifd = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(ifd >> (8 * i));
    const std::uint32_t entries[][4] = {{256, 4, 1, kWidth},  {257, 4, 1, kHeight},      {258, 3, 3, bitsAt},
                                        {259, 3, 1, 1},       {262, 3, 1, 2},            {273, 4, strips, offsetsAt},
                                        {277, 3, 1, 3},       {278, 4, 1, kRowsPerStrip}, {279, 4, strips, countsAt}};
    put(out, sizeof entries / sizeof entries[0], 2);
    for (const auto& e : entries) {
        put(out, e[0], 2);
        put(out, e[1], 2);
        put(out, e[2], 4);
        put(out, e[3], 4);
    }
    put(out, 0, 4);
    return out;
}

const std::string& benchFile()
{
    static const std::string path = [] {
        const auto file = std::filesystem::temp_directory_path() /
                          ("spottally_bench_rgb_" + std::to_string(::getpid()) + ".tif");
        const auto bytes = makeRgbTiff();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        std::atexit([] { std::filesystem::remove(benchFile()); });
        return file.string();
    }();
    return path;
}

void BM_ReadFileBytes(benchmark::State& state)
{
    const std::string& file = benchFile();
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes;
        readWholeFile(file, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(file)));
}
BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond);

void BM_ReadTiffToBitmap(benchmark::State& state)
{
    const std::string& file = benchFile();
    for (auto _ : state) {
        TiffResult result = ReadTiffToBitmap(file);
        if (result.picture.width() != static_cast<int>(kWidth)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(result.picture.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(file)));
}
BENCHMARK(BM_ReadTiffToBitmap)->Unit(benchmark::kMillisecond);

/// 256 directories of a 1000 x 1000 8-bit grey picture, one row a strip, all pointing at one pair of
/// strip arrays of 4 million entries (the strips after the picture's rows point at row 0).
std::vector<std::uint8_t> makeSharedTableTiff()
{
    constexpr std::uint32_t kSide = 1000, kStrips = 1u << 22, kDirectories = 256;
    std::vector<std::uint8_t> out = {'I', 'I', 42, 0, 0, 0, 0, 0};
    for (std::uint32_t i = 0; i < kSide * kSide; ++i) out.push_back(static_cast<std::uint8_t>(i * 13));
    const auto offsetsAt = static_cast<std::uint32_t>(out.size());
    for (std::uint32_t s = 0; s < kStrips; ++s) put(out, 8 + (s < kSide ? s : 0) * kSide, 4);
    const auto countsAt = static_cast<std::uint32_t>(out.size());
    for (std::uint32_t s = 0; s < kStrips; ++s) put(out, kSide, 4);
    const auto first = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(first >> (8 * i));
    const std::uint32_t entries[][4] = {{256, 4, 1, kSide},    {257, 4, 1, kSide},        {258, 3, 1, 8},
                                        {262, 3, 1, 1},        {273, 4, kStrips, offsetsAt}, {278, 4, 1, 1},
                                        {279, 4, kStrips, countsAt}};
    constexpr std::uint32_t kEntries = sizeof entries / sizeof entries[0];
    for (std::uint32_t d = 0; d < kDirectories; ++d) {
        put(out, kEntries, 2);
        for (const auto& e : entries) {
            put(out, e[0], 2);
            put(out, e[1], 2);
            put(out, e[2], 4);
            put(out, e[3], 4);
        }
        put(out, d + 1 < kDirectories ? first + (d + 1) * (2 + 12 * kEntries + 4) : 0, 4);
    }
    return out;
}

void BM_ReadSharedStripTable(benchmark::State& state)
{
    const auto file = std::filesystem::temp_directory_path() /
                      ("spottally_bench_shared_" + std::to_string(::getpid()) + ".tif");
    {
        const auto bytes = makeSharedTableTiff();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    for (auto _ : state) {
        TiffResult result = ReadTiffToBitmap(file.string());
        if (result.picture.width() != 1000 || !result.messages.empty()) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(result.picture.data());
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_ReadSharedStripTable)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
