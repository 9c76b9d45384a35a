#include "app/PictureLoading.h"

#include <array>

PictureKind pictureKindForName(std::string_view fileName)
{
    struct Suffix {
        std::string_view text;
        PictureKind kind;
    };
    static constexpr std::array<Suffix, 6> kSuffixes{{{".jpg", PictureKind::Jpeg},
                                                      {".JPG", PictureKind::Jpeg},
                                                      {".BMP", PictureKind::Bmp},
                                                      {".bmp", PictureKind::Bmp},
                                                      {".TIF", PictureKind::Tiff},
                                                      {".tif", PictureKind::Tiff}}};
    // Deliberate: a suffix counts only where its first occurrence is at the end, and a name of exactly
    // three characters matches ".jpg" (absent = position 0 = length - 3). Names rely on this rule.
    const auto length = static_cast<long long>(fileName.size());
    for (const Suffix& suffix : kSuffixes) {
        const auto found = fileName.find(suffix.text);
        const long long position = found == std::string_view::npos ? 0 : static_cast<long long>(found) + 1;
        if (position == length - 3) return suffix.kind;
    }
    return PictureKind::None;
}

std::string namePart(std::string_view fileName)
{
    const auto cut = fileName.find_last_of("\\/:");
    return std::string(cut == std::string_view::npos ? fileName : fileName.substr(cut + 1));
}

// Temporary until the decoders land: every picture fails with a clear reason.
DecodedPicture decodePictureFile(const std::filesystem::path& path, PictureKind kind)
{
    DecodedPicture result;
    if (kind != PictureKind::None) result.error = "Cannot decode " + path.string() + " yet.";
    return result;
}

std::string writeJpegFile(const Picture&, const std::filesystem::path& path, int)
{
    return "Cannot write " + path.string() + " yet.";
}
