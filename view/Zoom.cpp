#include "view/Zoom.h"

#include <algorithm>
#include <cmath>
#include <limits>

DisplaySize displayedSize(std::uint16_t zoom, std::int64_t width, std::int64_t height)
{
    return {zoom * width / 100, zoom * height / 100};
}

std::uint16_t zoomedIn(std::uint16_t zoom, std::int64_t width, std::int64_t height)
{
    // The next step above zoom: steps of 10 below 100 %, of 25 from 100 % on.
    const std::int64_t next = zoom < kZoomFull
                                  ? (zoom / kZoomStepSmall + 1) * kZoomStepSmall
                                  : kZoomFull + ((zoom - kZoomFull) / kZoomStepLarge + 1) * kZoomStepLarge;
    if (next > std::numeric_limits<std::uint16_t>::max()) return zoom;
    const DisplaySize shown = displayedSize(static_cast<std::uint16_t>(next), width, height);
    if (shown.width > kMaxDisplaySide || shown.height > kMaxDisplaySide) return zoom;
    return static_cast<std::uint16_t>(next);
}

std::uint16_t zoomedOut(std::uint16_t zoom)
{
    // The next step below zoom; below the smallest step nothing.
    if (zoom > kZoomFull)
        return static_cast<std::uint16_t>(kZoomFull +
                                          (zoom - kZoomFull - 1) / kZoomStepLarge * kZoomStepLarge);
    if (zoom > kZoomFloor) return static_cast<std::uint16_t>((zoom - 1) / kZoomStepSmall * kZoomStepSmall);
    return zoom;
}

std::uint16_t fittingZoom(std::int64_t width, std::int64_t height, std::int64_t viewWidth,
                          std::int64_t viewHeight)
{
    if (width <= 0 || height <= 0) return kZoomFull;
    // zoom x size div 100 <= view holds for every zoom below (view + 1) x 100 / size.
    const auto largest = [](std::int64_t size, std::int64_t view) {
        const std::int64_t limit = (std::max<std::int64_t>(view, 0) + 1) * 100;
        return (limit + size - 1) / size - 1;
    };
    // Never larger than the view, nor than the window system can show.
    const std::int64_t zoom = std::min({largest(width, viewWidth), largest(height, viewHeight),
                                        largest(width, kMaxDisplaySide), largest(height, kMaxDisplaySide)});
    return static_cast<std::uint16_t>(
        std::clamp<std::int64_t>(zoom, 1, std::numeric_limits<std::uint16_t>::max()));
}

std::int64_t anchoredOffset(std::int64_t offset, std::int64_t anchor, std::uint16_t from, std::uint16_t to)
{
    if (from == 0) return offset;
    // The anchor's place on the layer scales with the zoom; the view moves so that it stays put.
    const double place = double(offset + anchor) * to / from;
    return std::llround(place - double(anchor));
}
