// SPDX-License-Identifier: GPL-3.0-or-later
// The playback state the controls and the telemetry display follow. Every assignment is
// announced, changed or not, as observers of a playback position expect.
#pragma once

#include <QObject>

namespace daxo {

class ZLXPlayInfo : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isPlaying READ isPlaying WRITE setIsPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(int audioMediaDirection READ audioMediaDirection WRITE setAudioMediaDirection NOTIFY audioMediaDirectionChanged)
    Q_PROPERTY(double position READ position WRITE setPosition NOTIFY positionChanged)
    Q_PROPERTY(double speed READ speed WRITE setSpeed NOTIFY speedChanged)
    Q_PROPERTY(double scale READ scale WRITE setScale NOTIFY scaleChanged)
public:
    using QObject::QObject;

    bool isPlaying() const { return m_isPlaying; }
    int audioMediaDirection() const { return m_audioMediaDirection; }
    double position() const { return m_position; }
    double speed() const { return m_speed; }
    double scale() const { return m_scale; }

    void setIsPlaying(bool v) { m_isPlaying = v, emit isPlayingChanged(v); }
    void setAudioMediaDirection(int v) { m_audioMediaDirection = v, emit audioMediaDirectionChanged(v); }
    void setPosition(double v) { m_position = v, emit positionChanged(v); }
    void setSpeed(double v) { m_speed = v, emit speedChanged(v); }
    void setScale(double v) { m_scale = v, emit scaleChanged(v); }

signals:
    void isPlayingChanged(bool);
    void audioMediaDirectionChanged(int);
    void positionChanged(double);
    void speedChanged(double);
    void scaleChanged(double);

private:
    bool m_isPlaying = false;
    int m_audioMediaDirection = 2;
    double m_position = 0;
    double m_speed = 1;
    double m_scale = 0;
};

} // namespace daxo
