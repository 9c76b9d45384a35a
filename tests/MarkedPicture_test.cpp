#include "report/MarkedPicture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <random>

#include "picture/PictureLoading.h"

namespace fs = std::filesystem;

namespace {

class MarkedPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        folder = fs::temp_directory_path() / ("spottally-marked-" + std::to_string(seed()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    static std::string bytesOf(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    static void put(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::vector<std::string> namesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Not every build has the JPEG encoder; the tests of written pictures skip without it.
    bool canWriteJpeg() const {
        const fs::path probe = folder / "probe.jpg";
        const bool written = writeJpegFile(Picture(2, 2), probe).empty();
        fs::remove(probe);
        return written;
    }

    static Picture countLayer() {
        Picture picture(16, 8);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) picture.setPixel(x, y, rgbColour(200, 30, 30));
        return picture;
    }

    fs::path folder;
};

TEST_F(MarkedPictureTest, ReplacesThePictureWithJpegDataAndKeepsItsPermissions) {
    if (!canWriteJpeg()) GTEST_SKIP() << "this build cannot write JPEG files";
    const fs::path picture = folder / "c_sample.bmp";  // JPEG whatever the extension says
    put(picture, "BM the picture itself");
    ::chmod(picture.c_str(), 0640);
    ASSERT_EQ(writeMarkedPicture(countLayer(), picture), "");
    EXPECT_EQ(bytesOf(picture).substr(0, 3), "\xFF\xD8\xFF");
    struct stat status {};
    ASSERT_EQ(::stat(picture.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(namesInFolder(), std::vector<std::string>{"c_sample.bmp"});
}

TEST_F(MarkedPictureTest, FailureLeavesTheExistingFileAndNoLeftovers) {
    struct Case {
        const char* what;
        Picture layer;
        bool blockWithFolder;  // a folder stands where the picture goes
    };
    const Case cases[] = {
        {"no picture", Picture(), false},
        {"a folder in the way", countLayer(), true},
    };
    for (const Case& c : cases) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        const fs::path target = folder / "c_sample.jpg";
        if (c.blockWithFolder)
            fs::create_directory(target);
        else
            put(target, "the picture itself");
        const std::string message = writeMarkedPicture(c.layer, target);
        EXPECT_NE(message.find(target.string()), std::string::npos) << c.what << ": " << message;
        if (!c.blockWithFolder) {
            EXPECT_EQ(bytesOf(target), "the picture itself") << c.what;
        }
        EXPECT_EQ(namesInFolder(), std::vector<std::string>{"c_sample.jpg"}) << c.what;
    }
}

TEST_F(MarkedPictureTest, MissingFolderIsReported) {
    const fs::path target = folder / "gone" / "c_sample.jpg";
    const std::string message = writeMarkedPicture(countLayer(), target);
    EXPECT_NE(message.find(target.string()), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(folder / "gone"));
}

}  // namespace
