#pragma once
// The marked picture: the count layer saved as a JPEG file beside the picture.

#include <filesystem>
#include <string>

#include "core/Picture.h"

inline constexpr int kMarkedPictureQuality = 90;  // JPEG quality of the marked picture

/// Writes countLayer to path as a baseline colour JPEG at kMarkedPictureQuality, whatever the name's
/// extension. The picture goes to a temporary file in the same folder first and is then renamed over
/// path, so a failure leaves an existing file as it was - which matters because the marked picture of
/// "c_sample.jpg" is that picture itself. Returns an empty text on success, else a message naming
/// path and the reason.
std::string writeMarkedPicture(const Picture& countLayer, const std::filesystem::path& path);
