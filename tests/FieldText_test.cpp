#include "core/FieldText.h"

#include <gtest/gtest.h>

#include <functional>

TEST(FieldText, WholeNumbers)
{
    EXPECT_EQ(parseWholeNumber("5"), 5);
    EXPECT_EQ(parseWholeNumber(" 42 "), 42);
    EXPECT_EQ(parseWholeNumber("-7"), -7);
    EXPECT_EQ(parseWholeNumber("+3"), 3);
    for (const char* bad : {"", " ", "12a", "1.5", "-", "0x10", "1 2", "9999999999999999999"})
        EXPECT_FALSE(parseWholeNumber(bad).has_value()) << bad;
}

TEST(FieldText, DecimalsTakeEitherSeparator)
{
    EXPECT_DOUBLE_EQ(*parseDecimal("0,143"), 0.143);
    EXPECT_DOUBLE_EQ(*parseDecimal("0.143"), 0.143);
    EXPECT_DOUBLE_EQ(*parseDecimal("12"), 12.0);
    EXPECT_DOUBLE_EQ(*parseDecimal("1,5E+02"), 150.0);
    EXPECT_DOUBLE_EQ(*parseDecimal("-2.5"), -2.5);
    for (const char* bad : {"", ",", "1,2,3", "1.2.3", "abc", "1e", "1,5x", "e5", "1e400"})
        EXPECT_FALSE(parseDecimal(bad).has_value()) << bad;
}

TEST(FieldText, RegionalSeparator)
{
    setDecimalSeparator(',');
    EXPECT_EQ(withRegionalSeparator("0.143"), "0,143");
    setDecimalSeparator('.');
    EXPECT_EQ(withRegionalSeparator("0.143"), "0.143");
    setDecimalSeparator('\0');
}

TEST(FieldText, FieldErrorsNameFieldAndText)
{
    try {
        readWholeField("Minimum size", "5x", 0, 255);
        FAIL() << "no error";
    } catch (const FieldError& error) {
        EXPECT_NE(error.message.find("Minimum size"), std::string::npos);
        EXPECT_NE(error.message.find("5x"), std::string::npos);
    }
    try {
        readWholeField("Minimum size", "300", 0, 255);
        FAIL() << "no error";
    } catch (const FieldError& error) {
        EXPECT_NE(error.message.find("0 to 255"), std::string::npos);
    }
    EXPECT_EQ(readWholeField("x", "255", 0, 255), 255);
    EXPECT_THROW(readDecimalField("Sample volume", "abc"), FieldError);
}

// A huge text is cut in the message (at a whole UTF-8 character), a short one is quoted whole.
TEST(FieldText, HugeTextsAreCutInMessages)
{
    const std::string huge = "1" + std::string(58, 'x') + "\xC3\xA4" + std::string(1 << 20, 'y');
    for (const auto& read : {std::function<void()>([&] { readWholeField("Minimum size", huge, 0, 255); }),
                             std::function<void()>([&] { readDecimalField("Sample volume", huge); })}) {
        try {
            read();
            FAIL() << "no error";
        } catch (const FieldError& error) {
            EXPECT_LT(error.message.size(), 200u);
            EXPECT_NE(error.message.find("'1" + std::string(58, 'x') + "... (" + std::to_string(huge.size()) +
                                         " bytes)'"),
                      std::string::npos)
                << error.message;
        }
    }
    EXPECT_EQ(shortenedForMessage(std::string(60, 'z')), std::string(60, 'z'));
}
