// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's top-level objects and the one place that connects them: the recording list,
// the main window with the playback it built, the trips and the map. Nothing else connects
// across them; a newcomer reads wire() to see who tells whom what.
#pragma once

#include "app/ZLXAppDelegate.h"
#include "library/ZLXMediaList.h"

#include <QObject>
#include <memory>
#include <optional>

namespace daxo {

class ZLXTripController;
class ZLXThumbnailer;
class ZLXThumbnailPreview;
struct ZLXSliderMoment;

class ZLXViewer : public QObject, public ZLXMediaListDelegate {
    Q_OBJECT
public:
    explicit ZLXViewer(const ZLXAppDelegate::PlayerFactory& playerFactory = {},
                       ZLXPlaybackClock& clock = ZLXPlaybackClock::eventLoop(), QObject* parent = nullptr);
    ~ZLXViewer() override;

    ZLXAppDelegate& app() const { return *m_app; }
    ZLXPlayback& playback() const { return *m_app->playback(); }
    ZLXTripController& trips() const { return *m_trips; }
    ZLXMediaList& mediaList() const { return *m_mediaList; }
    ZLXThumbnailer& thumbnailer() const { return *m_thumbnailer; }
    ZLXThumbnailPreview& thumbnailPreview() const { return *m_preview; }
    // What stands at a fraction of the recording's position slider: both channels of the
    // recording loaded; none while nothing is loaded.
    std::optional<ZLXSliderMoment> recordingMoment(double fraction) const;

private:
    void mediaListChanged(ZLXMediaList& list) override;
    void wire();

    std::unique_ptr<ZLXMediaList> m_mediaList;
    std::unique_ptr<ZLXAppDelegate> m_app;
    std::unique_ptr<ZLXTripController> m_trips;
    std::unique_ptr<ZLXThumbnailer> m_thumbnailer;
    ZLXThumbnailPreview* m_preview = nullptr; // the window's
};

} // namespace daxo
