#include "report/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/FieldText.h"

namespace {

struct FormatCase {
    double value;
    const char* written;
};

TEST(NumberFormat, ScientificRoundsHalfAwayFromZero)
{
    const FormatCase cases[] = {
        {307485.36, "3,07E+05"},  {2150247.27, "2,15E+06"}, {0.5, "5,00E-01"},   {0.0, "0,00E+00"},
        {-0.0, "0,00E+00"},       {1.125, "1,13E+00"},      {12450, "1,25E+04"}, {0.0125, "1,25E-02"},
        {0.0145, "1,45E-02"},     {2.675, "2,68E+00"},      {1.124, "1,12E+00"}, {9.995, "1,00E+01"},
        {999.5, "1,00E+03"},      {-1.125, "-1,13E+00"},    {-307485.36, "-3,07E+05"},
        {1e100, "1,00E+100"},     {1.5e-7, "1,50E-07"},     {100, "1,00E+02"},   {7, "7,00E+00"},
        {5e-324, "5,00E-324"},  // the shortest text of the least double is "5e-324"
    };
    for (const FormatCase& c : cases) EXPECT_EQ(formatScientific(c.value, ','), c.written) << c.value;
}

TEST(NumberFormat, FixedRoundsOnceAtThreeDigitsOrThreeDecimals)
{
    const FormatCase cases[] = {
        {1.2345, "1,230"},   {0.4567, "0,457"},  {12.5, "12,500"},    {0.0004, "0,000"},   {0.01246, "0,012"},
        {0.0005, "0,001"},   {0.0015, "0,002"},  {0.9996, "1,000"},   {99.95, "100,000"},  {0.0, "0,000"},
        {-0.0004, "0,000"},  {-1.2345, "-1,230"}, {123.456, "123,000"}, {0.1235, "0,124"}, {1234.5, "1230,000"},
        {0.00001, "0,000"},  {5, "5,000"},
    };
    for (const FormatCase& c : cases) EXPECT_EQ(formatFixed(c.value, ','), c.written) << c.value;
}

TEST(NumberFormat, SpecialValues)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(formatScientific(inf, ','), "INF");
    EXPECT_EQ(formatScientific(-inf, ','), "-INF");
    EXPECT_EQ(formatScientific(std::nan(""), ','), "NAN");
    EXPECT_EQ(formatFixed(std::nan(""), ','), "NAN");
}

TEST(NumberFormat, RegionalSeparator)
{
    setDecimalSeparator('.');
    EXPECT_EQ(formatScientific(1.125), "1.13E+00");
    EXPECT_EQ(formatFixed(12.5), "12.500");
    setDecimalSeparator(',');
    EXPECT_EQ(formatScientific(1.125), "1,13E+00");
    EXPECT_EQ(formatFixed(12.5), "12,500");
    setDecimalSeparator('\0');
}

}  // namespace
