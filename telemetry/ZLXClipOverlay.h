// SPDX-License-Identifier: GPL-3.0-or-later
// What a clip's overlay shows at each moment: the route so far and the car, the speed, the
// G-sensor's last seconds, the date and time; which of them, and where in the picture. The
// pictures themselves are drawn by the export; here is what they are drawn from.
#pragma once

#include "telemetry/ZLXTrip.h"

#include <optional>
#include <string>
#include <vector>

namespace daxo {

struct ZLXOverlayOptions {
    bool map = false, speed = false, g = false, time = false;
    enum class Place { BottomLeft, BottomRight, TopLeft, TopRight, BottomStrip };
    Place place = Place::BottomLeft;
    bool any() const { return map || speed || g || time; }
};

// "map,speed,g,time" (any of them, in any order); none for another word or an empty list.
std::optional<ZLXOverlayOptions> parseOverlayElements(const std::string& list);
// "bottom-left", "bottom-right", "top-left", "top-right", "bottom"; none for another word.
std::optional<ZLXOverlayOptions::Place> parseOverlayPlace(const std::string& word);

// The overlay's pictures per second of the clip (the camera records about five samples a second).
inline constexpr int kOverlayRate = 5;
// The G-sensor seconds the trace shows, up to the moment.
inline constexpr double kOverlayTraceSeconds = 10;

struct ZLXOverlayRect {
    int x = 0, y = 0, width = 0, height = 0;
};
// Where the overlay's panel goes in a picture of `width` x `height`, with the elements it
// holds side by side (each a square of the panel's height; the strip takes the whole width).
ZLXOverlayRect overlayRect(const ZLXOverlayOptions& options, int width, int height);

// What the overlay shows at a moment of the clip.
struct ZLXOverlayMoment {
    std::string time;            // "2024-10-03 08:16:05", empty when the names carry no time
    std::optional<double> speed; // in the unit shown, when a fix is within a second
    std::vector<float> trace;    // the largest departure from rest (g), oldest first, one per sample
    size_t routeSoFar = 0;       // the drive's fixes up to the moment
    std::optional<std::pair<double, double>> car; // latitude, longitude
};

// A drive read once for its overlay: the moments of a clip that starts at `from` on its line.
class ZLXOverlayTimeline {
public:
    ZLXOverlayTimeline(const ZLXDrive& drive, double from, bool kmh);
    ZLXOverlayMoment momentAt(double seconds) const;
    // Every fix of the drive, in time order: latitude, longitude.
    const std::vector<std::pair<double, double>>& route() const { return m_route; }
    bool kmh() const { return m_kmh; }
    bool hasTelemetry() const { return !m_samples.empty(); }

private:
    const ZLXDrive& m_drive;
    double m_from = 0;
    bool m_kmh = true;
    struct Sample {
        double time = 0; // on the drive's line
        float departure = 0;
        const ZLXTrackPoint* point = nullptr;
    };
    std::vector<Sample> m_samples;
    std::vector<double> m_routeTimes;
    std::vector<std::pair<double, double>> m_route;
};

// Which elements a drive without telemetry can show, and the note the dialog gives: the time
// only, "This clip has no telemetry: only the time is shown."
ZLXOverlayOptions overlayForDrive(const ZLXDrive& drive, ZLXOverlayOptions wanted, std::string* note = nullptr);

} // namespace daxo
