// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window shows: its geometry, the telemetry texts at a position, and the
// progress text rules.
#include "presentation/ZLXMapScript.h"
#include "presentation/ZLXProgressText.h"
#include "presentation/ZLXTelemetryText.h"
#include "presentation/ZLXTimeText.h"
#include "presentation/ZLXWindowLayout.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace daxo;

namespace {

ZLXBlackBoxData telemetryOf(size_t n, double latitude, char ns, double longitude, char ew, char unit) {
    ZLXBlackBoxData data;
    for (size_t i = 0; i < n; ++i) {
        data.m_GSensors.emplace_back(float(i) / 100, -0.5f, 0);
        ZLXAviGpsData raw;
        raw.data.unit = unit;
        data.m_vGpsData.push_back(raw);
        ZLXGpsData fix;
        fix.Latitude = latitude;
        fix.NS = ns;
        fix.Longitude = longitude;
        fix.EW = ew;
        fix.SpeedOverGround = 10;
        fix.HDOP = 1.25;
        fix.SatelliteUsedCount = 7;
        data.m_NMEAs.push_back(fix);
    }
    return data;
}

TEST(TelemetryDisplay, SampleByProportion) {
    EXPECT_EQ(sampleIndex(0, 100), 0u);
    EXPECT_EQ(sampleIndex(0.505, 100), 50u);
    EXPECT_EQ(sampleIndex(1.0, 100), 99u);
    EXPECT_EQ(sampleIndex(7.5, 100), 99u);
    EXPECT_EQ(sampleIndex(-1, 100), 0u);
    EXPECT_EQ(sampleIndex(0.5, 0), 0u);
    EXPECT_EQ(gsensorText('X', 0.534f), "X=+0.53");
    EXPECT_EQ(gsensorText('Y', -1.2f), "Y=-1.20");
    EXPECT_EQ(gsensorText('Z', 0.0f), "Z=0.00");
}

TEST(TelemetryDisplay, TextsSpeedAndMapAtAPosition) {
    const ZLXBlackBoxData data = telemetryOf(100, 3723.5, 'N', 12658.25, 'E', '9');
    const ZLXTelemetryDisplay d = telemetryDisplayAt(data, 0.505);
    EXPECT_EQ(d.x, "X=+0.50");
    EXPECT_EQ(d.y, "Y=-0.50");
    EXPECT_EQ(d.z, "Z=0.00");
    EXPECT_EQ(d.mapScript, "setLatLag('126.970833','37.391667')");
    EXPECT_EQ(d.speed, "18 Km/h");
    EXPECT_EQ(d.hdop, "1.2");
    EXPECT_EQ(d.satellites, "7");
    EXPECT_EQ(telemetryDisplayAt(telemetryOf(3, 3723.5, 'N', 12658.25, 'E', 'M'), 0).speed, "11 Mi/h");
}

TEST(TelemetryDisplay, EachFixKeepsItsOwnHemisphere) {
    const ZLXBlackBoxData south = telemetryOf(2, 3352.128, 'S', 15112.5, 'E', '9');
    EXPECT_EQ(telemetryDisplayAt(south, 0).mapScript, "setLatLag('151.208333','-33.868800')");
    // a northern recording after a southern one stays north
    const ZLXBlackBoxData north = telemetryOf(2, 3723.5, 'N', 12658.25, 'E', '9');
    EXPECT_EQ(telemetryDisplayAt(north, 0).mapScript, "setLatLag('126.970833','37.391667')");
    EXPECT_EQ(telemetryDisplayAt(telemetryOf(1, 5130.0, 'N', 7.5, 'W', '9'), 0).mapScript,
              "setLatLag('-0.125000','51.500000')");
}

TEST(TelemetryDisplay, MissingDataShowsPlaceholdersAndShorterFixListsStayInside) {
    const ZLXTelemetryDisplay none = telemetryDisplayAt(ZLXBlackBoxData(), 0.5);
    EXPECT_FALSE(none.x);
    EXPECT_EQ(none.mapScript, kMapNoGpsScript); // the note, and no marker of the last recording
    EXPECT_EQ(none.speed, "- Km/h");
    EXPECT_EQ(none.hdop, "-.-");
    EXPECT_EQ(none.satellites, "-");

    ZLXBlackBoxData fewer = telemetryOf(10, 3723.5, 'N', 12658.25, 'E', '9');
    fewer.m_NMEAs.resize(3);
    fewer.m_NMEAs.back().Latitude = 100; // the last fix
    const ZLXTelemetryDisplay end = telemetryDisplayAt(fewer, 0.95);
    EXPECT_EQ(end.mapScript, "setLatLag('126.970833','1.000000')");
}

TEST(TelemetryDisplay, AFixWithoutAPositionChangesNothing) {
    // the first records of a drive, before the receiver had a position
    ZLXBlackBoxData start = telemetryOf(4, 3723.5, 'N', 12658.25, 'E', '9');
    start.m_NMEAs[0].Latitude = start.m_NMEAs[0].Longitude = 0;
    start.m_NMEAs[0].HDOP = 0;
    const ZLXTelemetryDisplay first = telemetryDisplayAt(start, 0);
    EXPECT_FALSE(first.mapScript);
    EXPECT_FALSE(first.speed);
    EXPECT_FALSE(first.hdop);
    EXPECT_FALSE(first.satellites);
    EXPECT_TRUE(first.x); // the G-sensor goes on
    EXPECT_EQ(telemetryDisplayAt(start, 0.3).mapScript, "setLatLag('126.970833','37.391667')");
}

TEST(ProgressText, PercentageEstimateAndMeasuringWindows) {
    ZLXProgressText text;
    text.displayPercentage = true;
    EXPECT_EQ(text.update(0, 0, 100, false, 100.0), "0 % completed");
    EXPECT_EQ(text.update(40, 0, 100, false, 104.0), "40 % completed - About ten seconds remaining");
    // without the percentage, the estimate alone, or the text is left as it was
    ZLXProgressText plain;
    EXPECT_EQ(plain.update(0, 0, 100, false, 0.0), "");
    EXPECT_EQ(plain.update(1, 0, 100, false, 0.2), std::nullopt);
    EXPECT_EQ(plain.update(10, 0, 100, false, 2.0), "Less than a minute remaining"); // 0.9 / 0.05 = 18 s
    EXPECT_EQ(ZLXProgressText().update(50, 0, 100, true, 1), "");
    // the window moves: after 3.5 s a second start, after 7 s it takes over
    ZLXProgressText moving;
    moving.update(0, 0, 100, false, 0);
    moving.update(10, 0, 100, false, 4);   // second window starts at 10 %
    moving.update(20, 0, 100, false, 8);   // the rate now counts from 10 % at 4 s
    EXPECT_EQ(moving.update(60, 0, 100, false, 9), "About five seconds remaining"); // 0.4 / (0.5 / 5) = 4 s
}

} // namespace

TEST(TimeText, MillisecondsOnlyWhilePaused) {
    EXPECT_EQ(ZLXPositionString(5400, 20000, false), "00:05 / 00:20");
    EXPECT_EQ(ZLXPositionString(5400, 20000, true), "00:05.400 / 00:20");
    EXPECT_EQ(ZLXPositionString(3723004, 7200000, true), "1:02:03.004 / 2:00:00");
    EXPECT_EQ(ZLXPositionString(std::nullopt, std::nullopt, true), "--:-- / --:--");
    EXPECT_EQ(ZLXPositionString(INT64_MIN, 0, true), ZLXTimeString(INT64_MIN) + " / 00:00");
}

TEST(WindowPlace, BesideItsWindowAndWholeOnTheScreen) {
    const ZLXRect screen{0, 0, 1280, 800};
    EXPECT_EQ(placeBeside({100, 50, 600, 500}, 400, 300, screen), (ZLXRect{700, 50, 400, 300}));  // to the right
    EXPECT_EQ(placeBeside({600, 50, 600, 500}, 400, 300, screen), (ZLXRect{200, 50, 400, 300}));  // no room: left
    EXPECT_EQ(placeBeside({100, 50, 1100, 500}, 400, 300, screen), (ZLXRect{880, 50, 400, 300})); // neither: inside
    EXPECT_EQ(placeBeside({100, 700, 600, 500}, 400, 300, screen), (ZLXRect{700, 500, 400, 300})); // not below
    EXPECT_EQ(placeBeside({0, 0, 10, 10}, 2000, 900, screen), (ZLXRect{0, 0, 1280, 800}));
}

