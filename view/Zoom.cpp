#include "view/Zoom.h"

#include <cmath>
#include <limits>

DisplaySize displayedSize(std::uint16_t zoom, std::int64_t width, std::int64_t height)
{
    return {zoom * width / 100, zoom * height / 100};
}

std::uint16_t zoomedIn(std::uint16_t zoom, std::int64_t width, std::int64_t height)
{
    const std::int64_t next = zoom + (zoom >= kZoomFull ? kZoomStepLarge : kZoomStepSmall);
    if (next > std::numeric_limits<std::uint16_t>::max()) return zoom;
    const DisplaySize shown = displayedSize(static_cast<std::uint16_t>(next), width, height);
    if (shown.width > kMaxDisplaySide || shown.height > kMaxDisplaySide) return zoom;
    return static_cast<std::uint16_t>(next);
}

std::uint16_t zoomedOut(std::uint16_t zoom)
{
    if (zoom > kZoomFull) return static_cast<std::uint16_t>(zoom - kZoomStepLarge);
    if (zoom > kZoomFloor) return static_cast<std::uint16_t>(zoom - kZoomStepSmall);
    return zoom;
}

std::uint16_t fittingZoom(std::int64_t width, std::int64_t height, std::int64_t viewWidth,
                          std::int64_t viewHeight)
{
    if (width <= 0 || height <= 0) return kZoomFull;
    const auto fits = [&](std::uint16_t zoom) {
        const DisplaySize shown = displayedSize(zoom, width, height);
        return shown.width <= viewWidth && shown.height <= viewHeight;
    };
    std::uint16_t zoom = kZoomFloor;
    for (;;) {
        const std::uint16_t next = zoomedIn(zoom, width, height);
        if (next == zoom || !fits(next)) return zoom;
        zoom = next;
    }
}

std::int64_t anchoredOffset(std::int64_t offset, std::int64_t anchor, std::uint16_t from, std::uint16_t to)
{
    if (from == 0) return offset;
    // The anchor's place on the layer scales with the zoom; the view moves so that it stays put.
    const double place = double(offset + anchor) * to / from;
    return std::llround(place - double(anchor));
}
