// 16-bit pictures straight from a camera, counted by the counter: the bundled sample times 257, as a
// 16-bit LZW TIFF and as a 16-bit PNG, counts exactly as the 8-bit original with --range full and with the
// default mapping, which keeps the colours' hue; stretching each channel on its own does not.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <sstream>

#include "core/Picture.h"
#include "picture/PictureLoading.h"

namespace {

struct CounterRun {
    int exitCode = -1;
    std::string out, err;
};

CounterRun count(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(SPOTTALLY_COUNTER), arguments);
    process.waitForFinished(300000);
    CounterRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

// The particle count: the second field of the counter's line.
long particles(const std::string& line) {
    std::istringstream fields(line);
    std::string name, number;
    std::getline(fields, name, '\t');
    std::getline(fields, number, '\t');
    return number.empty() ? -1 : std::stol(number);
}

bool writeTiff16(const std::string& path, const Picture& picture) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, picture.width());
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, picture.height());
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<std::uint16_t> line(static_cast<std::size_t>(picture.width()) * 3);
    bool ok = true;
    for (int y = 0; y < picture.height() && ok; ++y) {
        for (int x = 0; x < picture.width(); ++x)
            for (int c = 0; c < 3; ++c)
                line[3 * x + c] = static_cast<std::uint16_t>(picture.row(y)[3 * x + 2 - c] * 257);
        ok = TIFFWriteScanline(tif, line.data(), static_cast<std::uint32_t>(y), 0) >= 0;
    }
    ok = ok && TIFFWriteDirectory(tif);
    TIFFClose(tif);
    return ok;
}

bool writePng16(const QString& path, const Picture& picture) {
    QImage image(picture.width(), picture.height(), QImage::Format_RGBX64);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgba64*>(image.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint8_t* p = picture.row(y) + 3 * x;
            line[x] = QRgba64::fromRgba64(static_cast<quint16>(p[2] * 257), static_cast<quint16>(p[1] * 257),
                                          static_cast<quint16>(p[0] * 257), 65535);
        }
    }
    return image.save(path, "png");
}

}  // namespace

TEST(SixteenBitCount, SampleTimes257CountsAsTheOriginal) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string sample = std::string(SPOTTALLY_SOURCE_DIR) + "/samples/sample.jpg";
    const DecodedPicture original = decodePictureFile(sample, PictureKind::Jpeg);
    ASSERT_FALSE(original.picture.empty()) << original.error;
    const QString tiff = folder.filePath(QStringLiteral("sample16.tif"));
    const QString png = folder.filePath(QStringLiteral("sample16.png"));
    ASSERT_TRUE(writeTiff16(tiff.toStdString(), original.picture));
    ASSERT_TRUE(writePng16(png, original.picture));
    // Both files really hold 16 bits a sample, mapped back to the original exactly by value / 257.
    for (const QString& file : {tiff, png}) {
        const std::string name = file.toStdString();
        const DecodedPicture sixteen = decodePictureFile(name, pictureKindForName(name));
        EXPECT_NE(sixteen.mapping.find("16-bit samples"), std::string::npos) << name;
    }

    const CounterRun eight = count({QStringLiteral("--out"), folder.path(), QString::fromStdString(sample)});
    ASSERT_EQ(eight.exitCode, 0) << eight.err;
    const long expected = particles(eight.out);
    ASSERT_GT(expected, 0);
    for (const QString& file : {tiff, png}) {
        SCOPED_TRACE(file.toStdString());
        const CounterRun full = count({QStringLiteral("--range"), QStringLiteral("full"), file});
        ASSERT_EQ(full.exitCode, 0) << full.err;
        EXPECT_EQ(particles(full.out), expected);
        EXPECT_NE(full.err.find("16-bit samples mapped linearly: full range 0..65535 (value / 257)"),
                  std::string::npos)
            << full.err;
        // The default maps all channels by one range (0.1st to 99.9th percentile of all samples): the
        // colours keep their hue and the sample counts as its 8-bit original. Each channel stretched on its
        // own moves every channel differently, so the particle colour of the default parameters no longer
        // matches (0 on the sample).
        const CounterRun automatic = count({file});
        ASSERT_EQ(automatic.exitCode, 0) << automatic.err;
        EXPECT_NE(automatic.err.find("771..50115 over all channels (0.1st to 99.9th percentile)"), std::string::npos)
            << automatic.err;
        EXPECT_EQ(particles(automatic.out), expected);
        const CounterRun perChannel = count({QStringLiteral("--range"), QStringLiteral("per-channel"), file});
        ASSERT_EQ(perChannel.exitCode, 0) << perChannel.err;
        EXPECT_NE(perChannel.err.find(
                      "red 514..29812, green 3084..53970, blue 514..24415 (0.1st to 99.9th percentile)"),
                  std::string::npos)
            << perChannel.err;
        EXPECT_LT(particles(perChannel.out), expected / 2);
    }
    EXPECT_EQ(count({QStringLiteral("--range"), QStringLiteral("9,3"), tiff}).exitCode, 2);
}
