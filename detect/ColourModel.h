#pragma once
// ColourModel: the target colour reduced to the values the count's colour tests use.

#include <cstdint>

struct ColourModel {
    int dominant = 0;                     // byte offset (0 blue, 1 green, 2 red) of the largest channel
    std::uint8_t dominantValue = 0;       // the target's value in that channel
    int second = 0;                       // byte offset of the larger of the two other channels
    int third = 0;                        // byte offset of the remaining channel
    std::int32_t expectedDifference = 0;  // D: dominant value minus the target's second-channel value
};

/// The model of a target colour given as 0xBBGGRR (red in the low byte). Ties for the largest
/// channel go to red before green before blue; ties for the second place as the rules below say.
ColourModel buildColourModel(std::uint32_t targetColour);

/// The pen colour of the count rings: each channel 127 + (255 - c) / 2 of the target's channel c.
std::uint32_t ringColour(std::uint32_t targetColour);
