#include "detect/ColourModel.h"

#include "core/Picture.h"

namespace {

constexpr int kBlue = 0;
constexpr int kGreen = 1;
constexpr int kRed = 2;

}  // namespace

ColourModel buildColourModel(std::uint32_t targetColour)
{
    const int r = colourRed(targetColour);
    const int g = colourGreen(targetColour);
    const int b = colourBlue(targetColour);
    ColourModel model;
    // The three rules run in this order and a later one that holds overwrites an earlier one:
    // that is what makes red win a tie over green and green over blue.
    if (b >= g && b >= r) {
        model.dominant = kBlue;
        model.dominantValue = static_cast<std::uint8_t>(b);
        if (g >= r) {
            model.second = kGreen, model.third = kRed, model.expectedDifference = b - g;
        } else {
            model.second = kRed, model.third = kGreen, model.expectedDifference = b - r;
        }
    }
    if (g >= b && g >= r) {
        model.dominant = kGreen;
        model.dominantValue = static_cast<std::uint8_t>(g);
        if (b >= r) {
            model.second = kBlue, model.third = kRed, model.expectedDifference = g - b;
        } else {
            model.second = kRed, model.third = kBlue, model.expectedDifference = g - r;
        }
    }
    if (r >= b && r >= g) {
        model.dominant = kRed;
        model.dominantValue = static_cast<std::uint8_t>(r);
        if (b >= g) {
            model.second = kBlue, model.third = kGreen, model.expectedDifference = r - b;
        } else {
            model.second = kGreen, model.third = kBlue, model.expectedDifference = r - g;
        }
    }
    return model;
}

std::uint32_t ringColour(std::uint32_t targetColour)
{
    const auto lighten = [](int channel) { return 127 + (255 - channel) / 2; };
    return rgbColour(lighten(colourRed(targetColour)), lighten(colourGreen(targetColour)),
                     lighten(colourBlue(targetColour)));
}
