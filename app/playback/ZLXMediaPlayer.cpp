// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/playback/ZLXMediaPlayer.h"

#include "presentation/ZLXTimeText.h"

#include <QFile>

namespace daxo {

QString ZLXMediaPlayer::remainingTimeString() const {
    if (!hasMedia())
        return QString::fromStdString(ZLXTimeString(std::nullopt));
    return QString::fromStdString(ZLXTimeString(remainingTime()));
}

ZLXMediaDirection ZLXMediaPlayer::mediaDirection() const {
    const auto path = mediaPath();
    if (!path)
        return mediaDirectionOfPlayerMedia(std::nullopt);
    return mediaDirectionOfPlayerMedia(path->toStdString());
}

} // namespace daxo
