#include "view/ClipboardOps.h"

#include <gtest/gtest.h>

namespace {

/// A picture whose every pixel says where it is: red = x, green = y, blue = x + y (all mod 256).
Picture coordinatePicture(int width, int height)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.setPixel(x, y, rgbColour(x, y, x + y));
    return picture;
}

/// True when part equals source's pixels from (left, top) on, over part's whole size.
bool isPartOf(const Picture& part, const Picture& source, int left, int top)
{
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            if (part.pixel(x, y) != source.pixel(left + x, top + y)) return false;
    return true;
}

}  // namespace

TEST(CopyRectangle, TakesTheSpannedRectangleFromEitherCorner)
{
    const Picture source = coordinatePicture(200, 120);
    struct Row {
        int x0, y0, x1, y1;        // the corners as dragged
        int left, top, w, h;       // what comes out
    };
    const Row rows[] = {
        {10, 20, 110, 70, 10, 20, 100, 50},   // down and right
        {110, 70, 10, 20, 10, 20, 100, 50},   // up and left
        {110, 20, 10, 70, 10, 20, 100, 50},   // down and left
        {0, 0, 200, 120, 0, 0, 200, 120},     // the whole picture
        {150, 100, 250, 300, 150, 100, 50, 20},  // beyond the right and bottom edges: cut off
        {-30, -10, 5, 6, 0, 0, 5, 6},         // beyond the left and top edges: cut off
    };
    for (const Row& row : rows) {
        const Picture part = copyRectangle(source, row.x0, row.y0, row.x1, row.y1);
        ASSERT_EQ(part.width(), row.w) << row.x0 << "," << row.y0;
        ASSERT_EQ(part.height(), row.h);
        EXPECT_TRUE(isPartOf(part, source, row.left, row.top)) << row.x0 << "," << row.y0;
    }
}

TEST(CopyRectangle, EmptySelectionsGiveNoPicture)
{
    const Picture source = coordinatePicture(50, 40);
    const int rows[][4] = {
        {10, 10, 10, 10}, {10, 10, 30, 10}, {10, 10, 10, 30}, {60, 50, 80, 70}, {-9, -9, -1, -1}};
    for (const auto& r : rows)
        EXPECT_TRUE(copyRectangle(source, r[0], r[1], r[2], r[3]).empty()) << r[0] << "," << r[1];
    EXPECT_TRUE(copyRectangle(Picture(), 0, 0, 10, 10).empty());
}

TEST(PastePicture, DrawsOpaquelyAndCutsOffWhatFallsOutside)
{
    struct Row {
        int targetW, targetH, sourceW, sourceH, left, top;
        int shownLeft, shownTop, shownW, shownH;  // where the source shows in the target
    };
    const Row rows[] = {
        {1000, 800, 300, 200, 900, 700, 900, 700, 100, 100},  // the corner: only its top-left 100 x 100
        {60, 40, 10, 10, 5, 7, 5, 7, 10, 10},                 // wholly inside
        {60, 40, 10, 10, -4, -3, 0, 0, 6, 7},                 // over the top-left corner
        {60, 40, 100, 100, 0, 0, 0, 0, 60, 40},               // bigger than the target
    };
    for (const Row& row : rows) {
        Picture target(row.targetW, row.targetH);
        const Picture before = target;  // all zero
        Picture source(row.sourceW, row.sourceH);
        for (int y = 0; y < row.sourceH; ++y)
            for (int x = 0; x < row.sourceW; ++x) source.setPixel(x, y, rgbColour(x + 1, y + 1, 7));
        pastePicture(target, source, row.left, row.top);
        ASSERT_EQ(target.width(), row.targetW);
        ASSERT_EQ(target.height(), row.targetH);
        int changed = 0;
        for (int y = 0; y < row.targetH; ++y)
            for (int x = 0; x < row.targetW; ++x) {
                const bool inside = x >= row.shownLeft && x < row.shownLeft + row.shownW &&
                                    y >= row.shownTop && y < row.shownTop + row.shownH;
                if (inside) {
                    ASSERT_EQ(target.pixel(x, y), source.pixel(x - row.left, y - row.top)) << x << "," << y;
                    ++changed;
                } else {
                    ASSERT_EQ(target.pixel(x, y), before.pixel(x, y)) << x << "," << y;
                }
            }
        EXPECT_EQ(changed, row.shownW * row.shownH);
    }
}

TEST(PastePicture, EntirelyOutsideChangesNothing)
{
    Picture target = coordinatePicture(30, 20);
    const Picture before = target;
    const Picture source(10, 10);
    for (const auto& at : {std::pair{30, 0}, {0, 20}, {-10, 0}, {0, -10}, {40000, 40000}})
        pastePicture(target, source, at.first, at.second);
    EXPECT_TRUE(target == before);
}

TEST(QImageConversion, RoundTripIsExactForAnyWidth)
{
    // Odd widths: our rows are packed, Qt's are padded to 32-bit words.
    for (const int width : {1, 2, 3, 5, 33}) {
        const Picture picture = coordinatePicture(width, 7);
        const QImage image = toQImage(picture);
        ASSERT_EQ(image.size(), QSize(width, 7));
        EXPECT_EQ(image.pixel(width - 1, 6), qRgb(width - 1, 6, width + 5));
        EXPECT_TRUE(fromQImage(image) == picture) << width;
    }
}

TEST(QImageConversion, OtherFormatsAndNullImages)
{
    QImage argb(4, 3, QImage::Format_ARGB32);
    argb.fill(qRgba(121, 223, 95, 128));
    const Picture fromArgb = fromQImage(argb);
    ASSERT_EQ(fromArgb.width(), 4);
    EXPECT_EQ(fromArgb.pixel(3, 2), rgbColour(121, 223, 95));

    QImage grey(5, 2, QImage::Format_Grayscale8);
    grey.fill(77);
    EXPECT_EQ(fromQImage(grey).pixel(4, 1), rgbColour(77, 77, 77));

    EXPECT_TRUE(fromQImage(QImage()).empty());
    EXPECT_TRUE(toQImage(Picture()).isNull());
}
