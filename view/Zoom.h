#pragma once
// The image window's zoom steps and the layers' displayed size. The pictures themselves are never
// resampled: a zoom changes only the size at which the layer widgets show them. The zoom is a whole
// percent; "Fit to window" may give any, the steps lead back onto their own values.

#include <cstdint>

/// Steps of 10 percentage points up to 100 %, 25 above.
constexpr std::uint16_t kZoomStepSmall = 10;
constexpr std::uint16_t kZoomStepLarge = 25;
constexpr std::uint16_t kZoomFull = 100;
constexpr std::uint16_t kZoomFloor = 10;
/// The largest width or height a layer widget can take (the window system's limit).
constexpr std::int64_t kMaxDisplaySide = 16777215;

struct DisplaySize {
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool operator==(const DisplaySize&) const = default;
};

/// The layers' displayed size at zoom percent: zoom x picture size div 100, truncated.
DisplaySize displayedSize(std::uint16_t zoom, std::int64_t width, std::int64_t height);

/// Zoom in ("[ + ]"): +25 from 100 % on, else +10; from a zoom between the steps, the next step up
/// (37 % gives 40 %, 137 % gives 150 %). Stays where it is when the step would pass the 16-bit zoom
/// range or make the displayed picture larger than the window system can show.
std::uint16_t zoomedIn(std::uint16_t zoom, std::int64_t width, std::int64_t height);
/// Zoom out ("[ - ]"): -25 above 100 %, -10 above 10 %, else unchanged (10 % is the floor of the
/// steps); from a zoom between the steps, the next step down (37 % gives 30 %, 137 % gives 125 %).
std::uint16_t zoomedOut(std::uint16_t zoom);

/// "Fit to window": the largest whole percent at which the whole picture fits into a view of
/// viewWidth x viewHeight, at least 1 %, at most the largest zoom there is. 100 % for an empty picture.
std::uint16_t fittingZoom(std::int64_t width, std::int64_t height, std::int64_t viewWidth,
                          std::int64_t viewHeight);

/// The scroll offset that keeps the picture point under an anchor in place when the zoom changes from
/// `from` to `to`: the anchor lies at anchor pixels into the view, which is scrolled by offset. Not
/// clamped to what the view can scroll.
std::int64_t anchoredOffset(std::int64_t offset, std::int64_t anchor, std::uint16_t from, std::uint16_t to);
