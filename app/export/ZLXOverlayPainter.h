// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of a clip's overlay, drawn by the program at the output's resolution: the date
// and time, the speed, the G-sensor's last seconds with the moment marked, and the route so far
// with the car (north up, on a plain ground with a scale bar), side by side in one panel.
#pragma once

#include "telemetry/ZLXClipOverlay.h"

#include <QImage>

namespace daxo {

// The panel at one moment, `size` as overlayRect gives it, in straight (not premultiplied)
// RGBA: what ffmpeg's overlay filter takes as "rgba".
QImage paintOverlay(const ZLXOverlayOptions& options, const ZLXOverlayTimeline& timeline,
                    const ZLXOverlayMoment& moment, QSize size);

} // namespace daxo
