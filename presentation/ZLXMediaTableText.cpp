// SPDX-License-Identifier: GPL-3.0-or-later
#include "presentation/ZLXMediaTableText.h"

#include <cstdio>

namespace daxo {

std::string mediaDateText(const ZLXMedia& media, bool shortForm) {
    if (media.year() < 1)
        return {};
    char text[48];
    if (shortForm)
        std::snprintf(text, sizeof text, "%02d-%02d", media.month(), media.day());
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", media.year(), media.month(), media.day());
    return text;
}

std::string mediaTimeText(const ZLXMedia& media) {
    if (media.year() <= 0)
        return {};
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", media.hour(), media.minute(),
                  media.second());
    return text;
}

const char* mediaModeKey(const ZLXMedia& media) {
    switch (media.mediaDivision()) {
    case ZLXMediaDivision::Always:
        return "media.always";
    case ZLXMediaDivision::Motion:
        return "media.motion";
    case ZLXMediaDivision::Event:
        return "media.event";
    }
    return "media.unknown";
}

std::optional<std::string> mediaModeImageName(const ZLXMedia& media) {
    const char* channel = nullptr;
    if (media.isFrontMedia())
        channel = "front";
    else if (media.isRearMedia())
        channel = "rear";
    else
        return std::nullopt;
    const char* mode = media.isMotionMedia() ? "motion" : media.isEventMedia() ? "event" : "alwa";
    return std::string("car_") + channel + "_" + mode;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string mediaListCsv(const std::vector<std::shared_ptr<const ZLXMedia>>& medias) {
    std::string csv = "mode,date,time,path\n";
    for (const auto& media : medias) {
        const char* mode = media->isEventMedia() ? "event" : media->isMotionMedia() ? "motion" : "always";
        csv += std::string(mode) + ',' + mediaDateText(*media) + ',' + mediaTimeText(*media) + ',' +
               csvField(media->path()) + '\n';
    }
    return csv;
}

} // namespace daxo
