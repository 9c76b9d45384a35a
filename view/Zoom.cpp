#include "view/Zoom.h"

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
