#include "picture/SampleRange.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <mutex>

namespace {

std::mutex rangeLock;
SampleRange currentRange;

bool parseSample(std::string_view text, std::uint16_t& value) {
    unsigned number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || number > 65535)
        return false;
    value = static_cast<std::uint16_t>(number);
    return true;
}

// The value below which a share of at most `below` of the n values lies: the smallest v whose
// cumulative count exceeds below * n.
std::uint16_t percentile(const std::vector<std::uint32_t>& histogram, std::size_t n, double share) {
    const double wanted = share * static_cast<double>(n);
    std::uint64_t seen = 0;
    for (std::size_t v = 0; v < histogram.size(); ++v) {
        seen += histogram[v];
        if (static_cast<double>(seen) > wanted) return static_cast<std::uint16_t>(v);
    }
    return 65535;
}

}  // namespace

bool parseSampleRange(std::string_view text, SampleRange& range) {
    if (text == "auto") {
        range = SampleRange{};
        return true;
    }
    if (text == "per-channel") {
        range = SampleRange{SampleRange::Mode::PerChannel, 0, 65535};
        return true;
    }
    if (text == "full") {
        range = SampleRange{SampleRange::Mode::Full, 0, 65535};
        return true;
    }
    const auto comma = text.find(',');
    if (comma == std::string_view::npos) return false;
    SampleRange fixed{SampleRange::Mode::Fixed, 0, 0};
    if (!parseSample(text.substr(0, comma), fixed.low) || !parseSample(text.substr(comma + 1), fixed.high) ||
        fixed.low >= fixed.high)
        return false;
    range = fixed;
    return true;
}

std::string sampleRangeText(const SampleRange& range) {
    switch (range.mode) {
        case SampleRange::Mode::Auto:
            return "auto";
        case SampleRange::Mode::PerChannel:
            return "per-channel";
        case SampleRange::Mode::Full:
            return "full";
        case SampleRange::Mode::Fixed:
            break;
    }
    return std::to_string(range.low) + "," + std::to_string(range.high);
}

bool operator==(const SampleRange& a, const SampleRange& b) {
    if (a.mode != b.mode) return false;
    return a.mode != SampleRange::Mode::Fixed || (a.low == b.low && a.high == b.high);
}

SampleRange sampleRange() {
    const std::lock_guard<std::mutex> lock(rangeLock);
    return currentRange;
}

void setSampleRange(const SampleRange& range) {
    const std::lock_guard<std::mutex> lock(rangeLock);
    currentRange = range;
}

std::string mapSamplesTo8Bit(const std::vector<std::vector<std::uint16_t>>& channels,
                             const SampleRange& range, Picture& picture) {
    static constexpr std::array<const char*, 3> kNames{"red", "green", "blue"};
    const std::size_t pixels =
        static_cast<std::size_t>(picture.width()) * static_cast<std::size_t>(picture.height());
    const bool grey = channels.size() == 1;
    // One range for all channels keeps the ratios between them, and so the hue; a grey picture has one
    // channel, and both percentile rules give it the same range.
    const bool pooled = range.mode == SampleRange::Mode::Auto && !grey;
    const bool percentiles = range.mode == SampleRange::Mode::Auto || range.mode == SampleRange::Mode::PerChannel;
    std::vector<std::array<std::uint8_t, 65536>> tables(pooled ? 1 : channels.size());
    std::string ends;
    for (std::size_t c = 0; c < tables.size(); ++c) {
        std::uint32_t low = range.low, high = range.high;
        if (percentiles) {
            std::vector<std::uint32_t> histogram(65536, 0);
            std::size_t values = 0;
            for (std::size_t k = pooled ? 0 : c; k < (pooled ? channels.size() : c + 1); ++k) {
                for (std::uint16_t v : channels[k]) ++histogram[v];
                values += pixels;
            }
            low = percentile(histogram, values, 0.001);
            high = percentile(histogram, values, 0.999);
            if (!ends.empty()) ends += ", ";
            const std::string span = std::to_string(low) + ".." + std::to_string(high);
            ends += pooled ? span + " over all channels" : std::string(grey ? "grey" : kNames[c]) + " " + span;
        }
        auto& table = tables[c];
        for (std::uint32_t v = 0; v < 65536; ++v) {
            if (range.mode == SampleRange::Mode::Full) {
                table[v] = static_cast<std::uint8_t>((v + 128) / 257);
            } else if (v <= low) {
                table[v] = 0;
            } else if (v >= high) {
                table[v] = 255;  // a flat range (high == low) has nothing between
            } else {
                table[v] = static_cast<std::uint8_t>(((v - low) * 255 + (high - low) / 2) / (high - low));
            }
        }
    }
    const bool oneTable = tables.size() == 1;
    for (int y = 0; y < picture.height(); ++y) {
        std::uint8_t* out = picture.row(y);
        const std::size_t first = static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width());
        const std::uint16_t* red = channels[0].data() + first;
        const std::uint16_t* green = channels[grey ? 0 : 1].data() + first;
        const std::uint16_t* blue = channels[grey ? 0 : 2].data() + first;
        const auto& redTable = tables[0];
        const auto& greenTable = tables[oneTable ? 0 : 1];
        const auto& blueTable = tables[oneTable ? 0 : 2];
        for (int x = 0; x < picture.width(); ++x) {
            out[3 * x] = blueTable[blue[x]];
            out[3 * x + 1] = greenTable[green[x]];
            out[3 * x + 2] = redTable[red[x]];
        }
    }
    switch (range.mode) {
        case SampleRange::Mode::Full:
            return "16-bit samples mapped linearly: full range 0..65535 (value / 257)";
        case SampleRange::Mode::Fixed:
            return "16-bit samples mapped linearly: " + std::to_string(range.low) + ".." +
                   std::to_string(range.high);
        case SampleRange::Mode::Auto:
        case SampleRange::Mode::PerChannel:
            break;
    }
    return "16-bit samples mapped linearly: " + ends + " (0.1st to 99.9th percentile)";
}

std::optional<SampleRange> fixedRangeOfMapping(const std::string& mapping)
{
    long low = 65536, high = -1;
    for (std::size_t at = mapping.find(".."); at != std::string::npos; at = mapping.find("..", at + 2)) {
        std::size_t start = at;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(mapping[start - 1]))) --start;
        std::size_t end = at + 2;
        while (end < mapping.size() && std::isdigit(static_cast<unsigned char>(mapping[end]))) ++end;
        if (start == at || end == at + 2 || end - at > 8 || at - start > 6) continue;
        low = std::min(low, std::stol(mapping.substr(start, at - start)));
        high = std::max(high, std::stol(mapping.substr(at + 2, end - at - 2)));
    }
    if (high < 0 || high > 65535 || low >= high) return std::nullopt;
    return SampleRange{SampleRange::Mode::Fixed, static_cast<std::uint16_t>(low), static_cast<std::uint16_t>(high)};
}
