#include "report/Statistics.h"

#include <gtest/gtest.h>

#include "core/FieldText.h"

namespace {

constexpr std::uint32_t kMarker = 0xFC3700;  // blue 252, green 55

struct CommaLocale {
    CommaLocale() { setDecimalSeparator(','); }
    ~CommaLocale() { setDecimalSeparator('\0'); }
};

Picture emptyArea(int width, int height) { return Picture(width, height); }

}  // namespace

TEST(Statistics, WorkedExample)
{
    CommaLocale comma;
    Picture area = emptyArea(1600, 1200);
    // 16 x 12 fields of 98 pixels, margins 16 and 12: 40 fields with 1 marker, 20 with 2, 10 with 3,
    // 2 with 4, the other 120 empty.
    const int perField[] = {1, 2, 3, 4};
    const int fieldsWith[] = {40, 20, 10, 2};
    int field = 0;
    for (int k = 0; k < 4; ++k) {
        for (int f = 0; f < fieldsWith[k]; ++f, ++field) {
            const int left = 16 + (field % 16) * 98, top = 12 + (field / 16) * 98;
            for (int m = 0; m < perField[k]; ++m) area.setPixel(left + 5 + 20 * m, top + 40, kMarker);
        }
    }
    TAnalysisState state;
    state.GridMicrons = 25;
    state.ParticlesPerCm3 = 2580296.7;
    const ParameterTexts texts;
    const FieldScan scan = scanmarkers(area, state, texts);
    ASSERT_EQ(scan.error, "");
    EXPECT_EQ(scan.fieldSize, 98);
    EXPECT_EQ(scan.fieldsX * scan.fieldsY, 192);
    EXPECT_EQ(scan.total, 118);
    EXPECT_EQ(state.FieldHistogram[0], 120);
    const std::vector<std::string> expected = {
        "<STATISTICS> ",
        "<Small field area (um^2):> 625",
        "<Fields analysed:> 192",
        "<Total count:> 118",
        "<Fields with> 0 <counts:> 120",
        "<Fields with> 1 <counts:> 40",
        "<Fields with> 2 <counts:> 20",
        "<Fields with> 3 <counts:> 10",
        "<Fields with> 4 <counts:> 2",
        "<Average count per grid field:> 0,615",
        "<with \xC2\xB4" "Count = -ln(p0)\xC2\xB4 per field:> 0,470",
        "<corresponding count per cm^3:> 1,97E+06",
    };
    EXPECT_EQ(statisticsLines(scan, state), expected);
}

TEST(Statistics, SkipCapAndMargins)
{
    TAnalysisState state;
    state.GridMicrons = 25;
    ParameterTexts texts;  // minimum size 5
    Picture area = emptyArea(98 * 2 + 10, 98 + 4);  // two fields, margins 5 and 2
    area.setPixel(5 + 10, 2 + 10, kMarker);
    area.setPixel(5 + 13, 2 + 10, kMarker);  // 3 to the right of a counted marker: skipped
    area.setPixel(5 + 16, 2 + 10, kMarker);  // 6 to the right: counted
    area.setPixel(2, 50, kMarker);           // in the left margin: in no field
    area.setPixel(100, 0, kMarker);          // in the top margin
    FieldScan scan = scanmarkers(area, state, texts);
    ASSERT_EQ(scan.error, "");
    EXPECT_EQ(scan.total, 2);
    EXPECT_EQ(state.FieldHistogram[2], 1);
    EXPECT_EQ(state.FieldHistogram[0], 1);
    // The margins' markers do appear in the x/y export.
    scanMarkerPositions(area, state);
    EXPECT_EQ(state.MarkerList.size(), 5u);
    EXPECT_EQ(state.MarkerList.front(), (MarkerPosition{0, 100}));

    // A field of 300 markers counts 255; the rest count nowhere.
    Picture crowded = emptyArea(98, 98);
    texts.Edmin = "0";
    for (int i = 0; i < 300; ++i) crowded.setPixel(i % 98, i / 98 * 2, kMarker);
    scan = scanmarkers(crowded, state, texts);
    EXPECT_EQ(scan.total, 255);
    EXPECT_EQ(state.FieldHistogram[255], 1);
}

TEST(Statistics, PoissonLinesOnlyWhenEmptyFieldsExceedHalfTheTotal)
{
    CommaLocale comma;
    TAnalysisState state;
    state.GridMicrons = 100;
    state.ParticlesPerCm3 = 1000;
    const ParameterTexts texts;  // 3952 px/mm: 395-pixel fields
    Picture area = emptyArea(395 * 4, 395);
    // Fields: 0 markers, 0 markers, 4 markers, 0 markers -> Total 4, empty 3 > 2: lines present.
    for (int m = 0; m < 4; ++m) area.setPixel(2 * 395 + 10 * m, 5, kMarker);
    FieldScan scan = scanmarkers(area, state, texts);
    EXPECT_EQ(statisticsLines(scan, state).size(), 4u + 2u + 1u + 2u);
    // Two more markers: Total 6, empty 3 = Total div 2: left out.
    area.setPixel(2 * 395 + 50, 5, kMarker);
    area.setPixel(2 * 395 + 60, 5, kMarker);
    scan = scanmarkers(area, state, texts);
    EXPECT_EQ(scan.total, 6);
    EXPECT_EQ(statisticsLines(scan, state).size(), 4u + 2u + 1u);
}

TEST(Statistics, NoMarkersAtAll)
{
    CommaLocale comma;
    TAnalysisState state;
    state.GridMicrons = 25;
    state.ParticlesPerCm3 = 5e5;
    const Picture area = emptyArea(200, 200);
    const FieldScan scan = scanmarkers(area, state, ParameterTexts{});
    const std::vector<std::string> lines = statisticsLines(scan, state);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[4], "<Fields with> 0 <counts:> 4");
    EXPECT_EQ(lines[5], "<Average count per grid field:> 0,000");
    EXPECT_EQ(lines[6], "<with \xC2\xB4" "Count = -ln(p0)\xC2\xB4 per field:> 0,000");
    EXPECT_EQ(lines[7], "<corresponding count per cm^3:> 0,00E+00");
}

TEST(Statistics, RefusedScansLeaveTheHistogramAlone)
{
    TAnalysisState state;
    state.FieldHistogram[3] = 7;  // from an earlier scan
    const Picture area = emptyArea(300, 300);
    ParameterTexts texts;
    state.GridMicrons = 0;
    EXPECT_NE(scanmarkers(area, state, texts).error, "");
    state.GridMicrons = 10;
    texts.Edpixmm = "99";  // field size 0
    EXPECT_NE(scanmarkers(area, state, texts).error, "");
    texts.Edpixmm = "3952";
    state.GridMicrons = 100;  // 395-pixel fields: less than one field
    EXPECT_NE(scanmarkers(area, state, texts).error, "");
    state.GridMicrons = 10;
    texts.Edpixmm = "100";  // 1-pixel fields: 300 per direction
    EXPECT_NE(scanmarkers(area, state, texts).error, "");
    EXPECT_EQ(state.FieldHistogram[3], 7);
    texts.Edmin = "x";
    EXPECT_THROW(scanmarkers(area, state, texts), FieldError);
}

TEST(XYExport, LinesNamesAndNoLimit)
{
    Picture area = emptyArea(50, 12);
    area.setPixel(10, 5, kMarker);
    area.setPixel(40, 5, kMarker);
    area.setPixel(7, 9, kMarker);
    area.setPixel(49, 11, 0x003700);  // blue 0: no marker
    TAnalysisState state;
    scanMarkerPositions(area, state);
    EXPECT_EQ(xyDataText(state.MarkerList), "5;10\r\n5;40\r\n9;7\r\n");
    EXPECT_EQ(xyDataText({}), "");
    EXPECT_EQ(xyDataFileName("sample.jpg"), "c_sample.asc");
    EXPECT_EQ(xyDataFileName("c_sample.jpg"), "c_sample.asc");
    EXPECT_EQ(xyDataFileName("CLIPBOARD.jpg"), "c_CLIPBOARD.asc");
    EXPECT_EQ(xyDataFileName("photo.jpeg"), "c_photo.asc");

    // More than 64,000 markers, the first row and the last column included: all exported.
    Picture dense = emptyArea(400, 400);
    for (int y = 0; y < 400; ++y)
        for (int x = y % 2; x < 400; x += 2) dense.setPixel(x, y, kMarker);
    dense.setPixel(399, 0, kMarker);
    scanMarkerPositions(dense, state);
    EXPECT_EQ(state.MarkerList.size(), 80001u);
    EXPECT_EQ(state.MarkerList[0], (MarkerPosition{0, 0}));
    EXPECT_EQ(state.MarkerList[200], (MarkerPosition{0, 399}));
}
