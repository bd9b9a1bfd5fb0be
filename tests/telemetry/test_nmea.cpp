// SPDX-License-Identifier: GPL-3.0-or-later
// The NMEA parser on sentences as receivers send them.
#include "telemetry/ZLXGpsData.h"
#include "library/ZLXNumberText.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace daxo;

namespace {

const char* const kRmc = "$GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
const char* const kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";

TEST(NmeaRmc, SetsTimeSpeedCourseAndValidityButNotPosition) {
    for (const char* talker : {"$GPRMC", "$GNRMC"}) {
        ZLXNMEASentenceParser parser;
        const std::string sentence = std::string(talker) + std::string(kRmc).substr(6);
        ASSERT_TRUE(parser.parse(sentence)) << sentence;
        const ZLXGpsData& g = parser.m_Current;
        EXPECT_DOUBLE_EQ(g.SpeedOverGround, double(22.4f));
        EXPECT_DOUBLE_EQ(g.CourseOverGround, double(84.4f));
        EXPECT_EQ(g.gpsValid, 1);
        EXPECT_EQ(g.Now, (_SYSTEMTIME{2094, 3, 0, 23, 12, 35, 19, 0}));
        EXPECT_EQ(g.Latitude, 0);
        EXPECT_EQ(g.NS, 'N');
    }
}

TEST(NmeaRmc, ShortTimeKeepsTheClockVoidStatusAndEmptySpeed) {
    ZLXNMEASentenceParser parser;
    ASSERT_TRUE(parser.parse(kRmc));
    ASSERT_TRUE(parser.parse("$GPRMC,123600.00,V,,,,,,,240394,,*00"));
    const ZLXGpsData& g = parser.m_Current;
    EXPECT_EQ(g.Now.wMinute, 35); // the 9-character time changes nothing
    EXPECT_EQ(g.gpsValid, 0);
    EXPECT_EQ(g.SpeedOverGround, 0);
    // a short sentence: missing fields read as empty
    ASSERT_TRUE(parser.parse("$GNRMC,123519.000,A*00"));
    EXPECT_EQ(g.gpsValid, 1);
}

TEST(NmeaGga, PositionInSinglePrecisionAndCountsByTalker) {
    ZLXNMEASentenceParser parser;
    ASSERT_TRUE(parser.parse(kGga));
    const ZLXGpsData& g = parser.m_Current;
    EXPECT_EQ(g.Latitude, 4807.0380859375);
    EXPECT_EQ(g.NS, 'N');
    EXPECT_EQ(g.Longitude, 1131.0);
    EXPECT_EQ(g.EW, 'E');
    EXPECT_EQ(g.SatelliteUsedCount, 8u);
    EXPECT_EQ(g.HDOP, 0.8999999761581421);

    ZLXNMEASentenceParser gn;
    ASSERT_TRUE(gn.parse("$GNGGA,123519,3723.2475,S,12158.3416,W,1,11,1.4,5,M,0,M,,*47"));
    EXPECT_EQ(gn.m_Current.SatelliteUsedCount, 0u); // only "$GPGGA" counts satellites
    EXPECT_EQ(gn.m_Current.NS, 'S');
    EXPECT_EQ(gn.m_Current.EW, 'W');
    EXPECT_DOUBLE_EQ(gn.m_Current.HDOP, double(1.4f));

    // empty position fields keep the last position and hemispheres
    ASSERT_TRUE(gn.parse("$GNGGA,123520,,,,,0,00,,,M,,M,,*47"));
    EXPECT_DOUBLE_EQ(gn.m_Current.Latitude, double(3723.2475f));
    EXPECT_EQ(gn.m_Current.NS, 'S');
    EXPECT_DOUBLE_EQ(gn.m_Current.HDOP, double(1.4f));
}

TEST(NmeaParse, RejectsWhatIsNotOneHandledSentence) {
    ZLXNMEASentenceParser parser;
    ASSERT_TRUE(parser.parse(kGga));
    const ZLXGpsData before = parser.m_Current;
    for (const char* s : {"$GPGGA,123519,1111.0,S,2222.0,W,1,03,9.9,0,M,0,M,,",      // no '*'
                          "$GPGGA,123519,1111.0,S,2222.0,W,1,03,9.9*0,M,0,M,,*47", // two '*'
                          "$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74",
                          "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48",
                          "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39",
                          "$GPGGA,123519,\xff\xfe,S,2222.0,W,1,03,9.9,0,M,0,M,,*47", // not UTF-8
                          "", "*", "GPGGA*00"}) {
        EXPECT_FALSE(parser.parse(s)) << s;
    }
    EXPECT_EQ(parser.m_Current.Latitude, before.Latitude);
    EXPECT_EQ(parser.m_Current.NS, before.NS);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, before.SatelliteUsedCount);
    // a wrong checksum is not checked
    EXPECT_TRUE(parser.parse("$GPGGA,123519,4807.038,N,01131.000,E,1,09,0.9,545.4,M,46.9,M,,*FF"));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 9u);
}

TEST(NmeaGsa, GpsThenGlonassCountsAddUp) {
    ZLXNMEASentenceParser parser;
    ASSERT_TRUE(parser.parse("$GNGSA,A,3,05,12,29,,,,,,,,,,1.8,1.0,1.5*2A"));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount_GPS, 3u);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 3u);
    EXPECT_EQ(parser.m_Current.Cnt_GNGSA, 1);
    EXPECT_EQ(parser.m_Current.SatelliteUsedAtIndex(2), 29);
    ASSERT_TRUE(parser.parse("$GNGSA,A,3,70,71,,,,,,,,,,,1.8,1.0,1.5*2A"));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount_GLONASS, 2u);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 5u);
    EXPECT_EQ(parser.m_Current.Cnt_GNGSA, 0);
    EXPECT_EQ(parser.m_Current.Enable_GNGSA, 1);
    // once a GNGSA was seen, "$GPGGA" no longer sets the count
    ASSERT_TRUE(parser.parse(kGga));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 5u);
}

TEST(NmeaGsa, EmptyListDependsOnValidity) {
    ZLXNMEASentenceParser parser;
    ASSERT_TRUE(parser.parse(kGga));
    ASSERT_EQ(parser.m_Current.SatelliteUsedCount, 8u);
    ASSERT_TRUE(parser.parse("$GNGSA,A,1,,,,,,,,,,,,,99.9,99.9,99.9*2E"));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 0u); // gpsValid is 0
    EXPECT_EQ(parser.m_Current.Cnt_GNGSA, 255);

    ZLXNMEASentenceParser valid;
    ASSERT_TRUE(valid.parse(kRmc));
    ASSERT_TRUE(valid.parse(kGga));
    ASSERT_TRUE(valid.parse("$GNGSA,A,1,,,,,,,,,,,,,99.9,99.9,99.9*2E"));
    EXPECT_EQ(valid.m_Current.SatelliteUsedCount, 8u);
    EXPECT_EQ(valid.m_Current.Cnt_GNGSA, 255);
}

TEST(NmeaGns, TakesPrecedenceOverGsaAndGga) {
    ZLXNMEASentenceParser parser;
    ASSERT_TRUE(parser.parse("$GNGNS,112257.00,3844.24011,N,00908.43828,W,AN,12,1.2,1,0,,*5B"));
    EXPECT_EQ(parser.m_Current.Enable_GNGNS, 1);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 12u);
    EXPECT_DOUBLE_EQ(parser.m_Current.HDOP, double(1.2f));
    ASSERT_TRUE(parser.parse("$GNGSA,A,3,05,12,29,,,,,,,,,,1.8,1.0,1.5*2A"));
    EXPECT_EQ(parser.m_Current.Enable_GNGSA, 1);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount_GPS, 0u);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 12u);
    ASSERT_TRUE(parser.parse(kGga));
    EXPECT_DOUBLE_EQ(parser.m_Current.HDOP, double(1.2f));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 12u);
    EXPECT_EQ(parser.m_Current.Latitude, 4807.0380859375); // position still follows GGA
    parser.clear();
    EXPECT_EQ(parser.m_Current.Enable_GNGNS, 0);
}

TEST(NmeaGsv, KeepsChannelsInSequenceAndRefusesGaps) {
    ZLXNMEASentenceParser parser;
    auto fields = [](std::initializer_list<std::string_view> f) { return ZLXNMEASentenceParser::Fields(f); };
    EXPECT_TRUE(parser.parseGPGSV(fields({"$GPGSV", "2", "1", "08", "01", "40", "083", "46", "02", "17", "308", "41",
                                          "12", "07", "344", "39", "14", "22", "228", "45"})));
    EXPECT_EQ(parser.m_Current.SatelliteCount, 8u);
    EXPECT_EQ(parser.m_Current.SVonChannelAtIndex(0), (_PAIR{1, 46}));
    EXPECT_EQ(parser.m_Current.SVonChannelAtIndex(3), (_PAIR{14, 45}));
    EXPECT_FALSE(parser.parseGPGSV(fields({"$GPGSV", "3", "3", "08", "30", "10", "100", "20"})));
    EXPECT_TRUE(parser.parseGPGSV(fields({"$GPGSV", "2", "2", "08", "30", "10", "100", "20"})));
    EXPECT_EQ(parser.m_Current.SVonChannelAtIndex(4), (_PAIR{30, 20}));
    EXPECT_TRUE(parser.parseGPGSV(fields({"$GPGSV", "1", "1", "00"})));
}

TEST(NmeaFields, NumbersReadAsTheirLeadingPart) {
    EXPECT_EQ(leadingFloat(""), 0);
    EXPECT_EQ(leadingFloat("abc"), 0);
    EXPECT_EQ(leadingFloat("  12.5xyz"), 12.5);
    EXPECT_EQ(leadingFloat("-0.25"), -0.25);
    EXPECT_EQ(leadingFloat("1e3"), 1000);
    EXPECT_EQ(leadingFloat("1e"), 1);
    EXPECT_EQ(leadingFloat("1e99"), double(HUGE_VALF));
    EXPECT_EQ(leadingFloat("."), 0);
    EXPECT_EQ(leadingInteger("08"), 8);
    EXPECT_EQ(leadingInteger(" -7x"), -7);
    EXPECT_EQ(leadingInteger("99999999999"), INT32_MAX);
    EXPECT_EQ(leadingInteger("-99999999999"), INT32_MIN);
}

TEST(NmeaDegrees, DegreesAndMinutesToDecimal) {
    double lat = -1, lon = -1;
    convertNmeaToDegrees(&lat, &lon, 0, 100);
    EXPECT_EQ(lat, 0);
    EXPECT_EQ(lon, 1);
    convertNmeaToDegrees(&lat, &lon, 130, 3723.2475);
    EXPECT_DOUBLE_EQ(lat, 1.5);
    EXPECT_NEAR(lon, 37.387458333, 1e-9);
    convertNmeaToDegrees(nullptr, &lon, 999, -12158.3416);
    EXPECT_NEAR(lon, -121.97236, 1e-9);
    EXPECT_DOUBLE_EQ(lat, 1.5); // no location, nothing written
}

} // namespace
