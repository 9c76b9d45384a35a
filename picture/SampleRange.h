#pragma once
// How pictures of 16-bit samples (TIFF or PNG; 12-bit pictures stored in 16 bits too) become the 8-bit
// picture layers: a linear mapping of a range of sample values onto 0..255. Plain C++.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Picture.h"

struct SampleRange {
    enum class Mode {
        Auto,        // one range over all channels, from their 0.1st to their 99.9th percentile: keeps the hue
        PerChannel,  // each channel from its own 0.1st to its 99.9th percentile: stretches each one
        Full,        // 0..65535: value / 257, rounded to the nearest (257 * v gives v back)
        Fixed,       // low..high, the same for every channel
    };
    Mode mode = Mode::Auto;
    std::uint16_t low = 0;
    std::uint16_t high = 65535;
};

/// "auto", "per-channel", "full" or "LOW,HIGH" (0 <= LOW < HIGH <= 65535). Returns false for anything
/// else.
bool parseSampleRange(std::string_view text, SampleRange& range);
/// The text parseSampleRange reads back as range.
std::string sampleRangeText(const SampleRange& range);

bool operator==(const SampleRange& a, const SampleRange& b);

/// The fixed mapping that reproduces a picture's own (auto) one: from the lowest channel's low end to
/// the highest channel's high end of a mapping text ("... red 120..3400, green 98..3100 ..."). None
/// when the text holds no range.
std::optional<SampleRange> fixedRangeOfMapping(const std::string& mapping);

/// The mapping the readers use from the next picture on (by default Auto).
SampleRange sampleRange();
void setSampleRange(const SampleRange& range);

/// Maps 16-bit channels (one: grey, or three: red, green, blue; each width * height values, top row
/// first) onto picture, which must already have that size. Returns the mapping used, for instance
/// "16-bit samples mapped linearly: 98..3400 over all channels (0.1st to 99.9th percentile)" or, per
/// channel, "16-bit samples mapped linearly: red 120..3400, green 98..3100, blue 101..2990 (0.1st to
/// 99.9th percentile)", so that a count can be reproduced with the same range. Values below a range's low
/// end become 0, above its high end 255; a flat range (low == high) becomes 0 at and below its value.
std::string mapSamplesTo8Bit(const std::vector<std::vector<std::uint16_t>>& channels,
                             const SampleRange& range, Picture& picture);
