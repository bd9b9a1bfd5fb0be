// SPDX-License-Identifier: GPL-3.0-or-later
// What the settings pages accept from the user.
#include "config/ZLXValidator.h"

#include <gtest/gtest.h>

using namespace daxo;

namespace {

TEST(Validator, NumbersAndTheirPrefixes) {
    EXPECT_TRUE(ZLXValidator::stringIsNumber("42"));
    EXPECT_TRUE(ZLXValidator::stringIsNumber(" -1.5e2 "));
    EXPECT_FALSE(ZLXValidator::stringIsNumber("12a"));
    EXPECT_FALSE(ZLXValidator::stringIsNumber(""));
    EXPECT_FALSE(ZLXValidator::stringIsNumber("."));
    EXPECT_EQ(ZLXValidator::numericStringFromString("12.5kg"), "12.5");
    EXPECT_EQ(ZLXValidator::numericStringFromString("abc"), "");
    EXPECT_EQ(ZLXValidator::numericStringFromString("42"), "42");
}

TEST(Validator, ImpactThresholdsFrom005To15) {
    const ZLXMessage range{"msg.gsensor_outofrange_fmt", {0.05, 1.5}};
    const ZLXMessage format{"msg.input_value_invalid_format", {}};
    EXPECT_EQ(ZLXValidator::validateGsensorThreshold(std::nullopt), std::nullopt);
    for (const char* ok : {"", "0.05", "1.5", "0.7x", " 1"})
        EXPECT_EQ(ZLXValidator::validateGsensorThreshold(std::string_view(ok)), std::nullopt) << ok;
    EXPECT_EQ(ZLXValidator::validateGsensorThreshold(std::string_view("abc")), format);
    EXPECT_EQ(ZLXValidator::validateGsensorThreshold(std::string_view("0.04")), range);
    EXPECT_EQ(ZLXValidator::validateGsensorThreshold(std::string_view("1.51")), range);
    EXPECT_EQ(ZLXValidator::validateGsensorThreshold(std::string_view("-0.5")), range);
}

TEST(Validator, CardSharesNeedTenPercent) {
    EXPECT_EQ(ZLXValidator::validateSDCardSizeRatio(9), (ZLXMessage{"msg.sdcard_ratio_too_low", {}}));
    EXPECT_EQ(ZLXValidator::validateSDCardSizeRatio(10), std::nullopt);
}

TEST(PlateText, KeepsAsciiLettersAndDigitsUpToEight) {
    EXPECT_EQ(filterPlateText("12 ab-34"), "12ab34");
    EXPECT_EQ(filterPlateText("ABCDEFGHIJ"), "ABCDEFGH");
    EXPECT_EQ(filterPlateText(""), "");
    EXPECT_EQ(filterPlateText("-- !?"), "");
    EXPECT_EQ(filterPlateText("서울12가3456"), "123456");
}

} // namespace
