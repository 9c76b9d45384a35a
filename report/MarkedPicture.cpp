#include "report/MarkedPicture.h"

#include "picture/PictureLoading.h"

namespace fs = std::filesystem;

std::string writeMarkedPicture(const Picture& countLayer, const fs::path& path)
{
    const std::string reason = replaceWithJpegFile(countLayer, path, kMarkedPictureQuality);
    return reason.empty() ? reason : "Cannot save the marked picture \"" + path.string() + "\": " + reason;
}
