#include "picture/PngDecoding.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QRgba64>
#include <cstring>
#include <new>

#include "picture/PictureMemory.h"
#include "picture/PngPalette.h"
#include "picture/SampleRange.h"

namespace {

// Qt's reader may build a 32-bit image of a picture we hold in 24 bits: allow it that much more
// (its default limit of 256 MB would refuse pictures we load as JPEG).
constexpr int kQtAllocationLimitMB = static_cast<int>(kMaxPictureBytes / 3 * 4 >> 20);

}  // namespace

// The whole file through Qt's reader restricted to PNG content, then our 24-bit rows; the colour values
// stay as stored.
DecodedPicture decodePng(const std::filesystem::path& path)
{
    DecodedPicture result;
    const std::string quotedLabel = "\"" + path.string() + "\"";
    std::vector<std::uint8_t> bytes;
    result.error = readWholeFile(path, bytes);
    if (result.failed()) return result;
    QByteArray view = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&view);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);  // PNG content only, whatever else Qt could read
    reader.setAllocationLimit(kQtAllocationLimitMB);
    const QSize size = reader.size();  // from the header, before anything is allocated
    // Besides the layers: Qt's image and its 24-bit copy, or for 16 bits a sample Qt's 64-bit image and
    // the 16-bit channels taken from it.
    const QImage::Format stored = reader.imageFormat();
    const std::uint64_t decoding = stored == QImage::Format_RGBA64 || stored == QImage::Format_RGBX64 ||
                                           stored == QImage::Format_RGBA64_Premultiplied ||
                                           stored == QImage::Format_Grayscale16
                                       ? 14
                                       : 7;
    if (size.isValid() && !claimPictureMemory(static_cast<std::uint64_t>(size.width()),
                                              static_cast<std::uint64_t>(size.height()), decoding)) {
        result.error = quotedLabel + " is too large to load: " +
                       overMemoryLimitReason(static_cast<std::uint64_t>(size.width()),
                                             static_cast<std::uint64_t>(size.height()), decoding) +
                       ".";
        return result;
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        result.error = quotedLabel + " is not a readable PNG picture: " + reader.errorString().toStdString() + ".";
        return result;
    }
    buffer.close();
    const QImage::Format format = image.format();
    // Indices past the palette have no colour of their own (Qt shows its first): damage, as in a BMP
    // picture.
    if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono) {
        const PaletteCheck palette = checkPngPalette(bytes.data(), bytes.size());
        if (palette.readable && palette.badIndices > 0) {
            result.messages.push_back(quotedLabel + " is damaged, the picture may be incomplete: " +
                                      std::to_string(palette.badIndices) +
                                      (palette.badIndices == 1 ? " pixel uses a colour" : " pixels use colours") +
                                      " beyond the " + std::to_string(palette.paletteColours) + " of its palette.");
            result.damaged = true;
        }
    }
    std::vector<std::uint8_t>().swap(bytes);  // the file's bytes are no longer needed: keep the peak low
    const bool grey16 = format == QImage::Format_Grayscale16;
    if (grey16 || format == QImage::Format_RGBA64 || format == QImage::Format_RGBX64 ||
        format == QImage::Format_RGBA64_Premultiplied) {
        // 16 bits a sample: mapped onto 8 bits by the chosen range, as 16-bit TIFF pictures are.
        if (format == QImage::Format_RGBA64_Premultiplied) image = std::move(image).convertToFormat(QImage::Format_RGBA64);
        try {
            const std::size_t pixels = static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height());
            std::vector<std::vector<std::uint16_t>> channels(grey16 ? 1 : 3, std::vector<std::uint16_t>(pixels));
            for (int y = 0; y < image.height(); ++y) {
                const auto* line = reinterpret_cast<const std::uint16_t*>(image.constScanLine(y));
                const std::size_t first = static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width());
                for (int x = 0; x < image.width(); ++x)
                    if (grey16) {
                        channels[0][first + static_cast<std::size_t>(x)] = line[x];
                    } else {
                        const QRgba64 pixel = reinterpret_cast<const QRgba64*>(line)[x];
                        channels[0][first + static_cast<std::size_t>(x)] = pixel.red();
                        channels[1][first + static_cast<std::size_t>(x)] = pixel.green();
                        channels[2][first + static_cast<std::size_t>(x)] = pixel.blue();
                    }
            }
            const int width = image.width(), height = image.height();
            image = QImage();  // keep the peak low
            result.picture.resize(width, height);
            result.mapping = mapSamplesTo8Bit(channels, sampleRange(), result.picture);
        } catch (const std::bad_alloc&) {
            result.picture = Picture();
            result.error = "Not enough memory to load " + quotedLabel + ".";
        }
        return result;
    }
    image = std::move(image).convertToFormat(QImage::Format_BGR888);
    if (image.isNull()) {
        result.error = "Not enough memory to load " + quotedLabel + ".";
        return result;
    }
    try {
        result.picture.resize(image.width(), image.height());
    } catch (const std::bad_alloc&) {
        result.error = "Not enough memory to load " + quotedLabel + ".";
        return result;
    }
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(result.picture.row(y), image.constScanLine(y), result.picture.stride());
    return result;
}

