// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXClipOverlay.h"

#include "telemetry/ZLXClip.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace daxo {

std::optional<ZLXOverlayOptions> parseOverlayElements(const std::string& list) {
    ZLXOverlayOptions options;
    std::stringstream words(list);
    std::string word;
    while (std::getline(words, word, ',')) {
        if (word == "map")
            options.map = true;
        else if (word == "speed")
            options.speed = true;
        else if (word == "g")
            options.g = true;
        else if (word == "time")
            options.time = true;
        else
            return std::nullopt;
    }
    return options.any() ? std::optional(options) : std::nullopt;
}

std::optional<ZLXOverlayOptions::Place> parseOverlayPlace(const std::string& word) {
    using Place = ZLXOverlayOptions::Place;
    if (word == "bottom-left")
        return Place::BottomLeft;
    if (word == "bottom-right")
        return Place::BottomRight;
    if (word == "top-left")
        return Place::TopLeft;
    if (word == "top-right")
        return Place::TopRight;
    if (word == "bottom")
        return Place::BottomStrip;
    return std::nullopt;
}

ZLXOverlayRect overlayRect(const ZLXOverlayOptions& options, int width, int height) {
    using Place = ZLXOverlayOptions::Place;
    // a square a fifth of the picture's height per element, the time taking two
    const int side = std::max(48, height / 5) / 2 * 2;
    const int margin = std::max(8, height / 60) / 2 * 2;
    const int elements = int(options.map) + int(options.speed) + int(options.g) + (options.time ? 2 : 0);
    ZLXOverlayRect r;
    r.height = side;
    r.width = options.place == Place::BottomStrip ? width : std::min(width - 2 * margin, std::max(1, elements) * side);
    r.width = std::max(2, r.width / 2 * 2); // even, as the encoder's chroma wants
    const bool top = options.place == Place::TopLeft || options.place == Place::TopRight;
    const bool right = options.place == Place::BottomRight || options.place == Place::TopRight;
    r.x = options.place == Place::BottomStrip ? 0 : right ? width - margin - r.width : margin;
    r.y = options.place == Place::BottomStrip ? height - side : top ? margin : height - margin - side;
    return r;
}

ZLXOverlayTimeline::ZLXOverlayTimeline(const ZLXDrive& drive, double from, bool kmh)
    : m_drive(drive), m_from(from), m_kmh(kmh) {
    for (size_t group = 0; group < drive.tracks.size() && group < drive.trip.groups.size(); ++group) {
        if (!drive.tracks[group])
            continue;
        const ZLXTrack& track = *drive.tracks[group];
        const ZLXGSensor rest = restingG(track);
        const double start = drive.trip.startOf(group);
        for (const ZLXTrackPoint& p : track.points) {
            const float worst = std::max({std::fabs(p.g.x - rest.x), std::fabs(p.g.y - rest.y), std::fabs(p.g.z - rest.z)});
            m_samples.push_back({start + p.seconds, std::isfinite(worst) ? worst : 0.0f, &p});
            if (p.hasFix) {
                m_routeTimes.push_back(start + p.seconds);
                m_route.emplace_back(p.latitude, p.longitude);
            }
        }
    }
}

ZLXOverlayMoment ZLXOverlayTimeline::momentAt(double seconds) const {
    ZLXOverlayMoment moment;
    const double t = m_from + seconds;
    const ZLXTrip::Place place = m_drive.trip.placeAt(t);
    if (place.group < m_drive.trip.groups.size()) {
        if (const auto& start = m_drive.trip.groups[place.group].start)
            moment.time = civilDateTimeText(*start + int64_t(std::floor(place.seconds)));
        if (place.group < m_drive.tracks.size() && m_drive.tracks[place.group])
            if (const ZLXTrackPoint* fix = fixNear(*m_drive.tracks[place.group], place.seconds))
                moment.speed = m_kmh ? fix->speedKmh : fix->speedKmh / 1.609344;
    }
    const auto after = [](const Sample& s, double time) { return s.time < time; };
    for (auto it = std::lower_bound(m_samples.begin(), m_samples.end(), t - kOverlayTraceSeconds, after);
         it != m_samples.end() && it->time <= t; ++it)
        moment.trace.push_back(it->departure);
    moment.routeSoFar = size_t(std::upper_bound(m_routeTimes.begin(), m_routeTimes.end(), t) - m_routeTimes.begin());
    if (moment.routeSoFar > 0)
        moment.car = m_route[moment.routeSoFar - 1];
    return moment;
}

ZLXOverlayOptions overlayForDrive(const ZLXDrive& drive, ZLXOverlayOptions wanted, std::string* note) {
    bool telemetry = false, fixes = false;
    for (const auto& track : drive.tracks) {
        if (!track)
            continue;
        telemetry = telemetry || !track->points.empty();
        fixes = fixes || std::any_of(track->points.begin(), track->points.end(),
                                     [](const ZLXTrackPoint& p) { return p.hasFix; });
    }
    if (!telemetry && (wanted.map || wanted.speed || wanted.g)) {
        wanted.map = wanted.speed = wanted.g = false;
        wanted.time = true;
        if (note)
            *note = "This clip has no telemetry: only the time is shown.";
    } else if (!fixes && (wanted.map || wanted.speed)) {
        wanted.map = wanted.speed = false;
        if (note)
            *note = "This clip has no GPS fixes: the map and the speed are left out.";
    }
    return wanted;
}

} // namespace daxo
