// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXVlcMediaPlayer.h"

#include "ZLXLog.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QMetaObject>
#include <QPointer>
#include <mutex>
#include <vector>
#include <vlc/vlc.h>

namespace daxo {

namespace {

constexpr libvlc_event_e kObservedEvents[] = {
    libvlc_MediaPlayerOpening,  libvlc_MediaPlayerPlaying,    libvlc_MediaPlayerPaused,
    libvlc_MediaPlayerStopped,  libvlc_MediaPlayerEndReached, libvlc_MediaPlayerEncounteredError,
    libvlc_MediaPlayerTimeChanged,
};
} // namespace

bool ZLXVlcLibrary::drawsIntoWindows() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

libvlc_instance_t* ZLXVlcLibrary::sharedLibrary() {
    static libvlc_instance_t* instance = [] {
        std::vector<QByteArray> args = {
            "--quiet",          "--no-xlib",           "--no-osd",
            "--no-spu", // the telemetry track is a text track: never draw it over the picture
            "--no-video-title-show", "--no-snapshot-preview", "--snapshot-format=jpg",
            "--no-stats",       "--no-lua",            "--no-sub-autodetect-file",
        };
        if (!drawsIntoWindows())
            args.emplace_back("--vout=dummy");
        const QByteArray extra = qgetenv("DAXO_VLC_ARGS");
        for (const QByteArray& arg : extra.split(' ')) {
            if (!arg.isEmpty())
                args.push_back(arg);
        }
        std::vector<const char*> argv;
        for (const QByteArray& arg : args)
            argv.push_back(arg.constData());
        libvlc_instance_t* created = libvlc_new(static_cast<int>(argv.size()), argv.data());
        if (!created)
            ZLXLog("libvlc_new fail:%s", libvlc_errmsg() ? libvlc_errmsg() : "");
        return created;
    }();
    return instance;
}

ZLXVideoView::ZLXVideoView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    if (ZLXVlcLibrary::drawsIntoWindows()) {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_PaintOnScreen);
    }
}

ZLXVlcMediaPlayer::ZLXVlcMediaPlayer(ZLXVideoView* videoView, QObject* parent)
    : ZLXMediaPlayer(parent) {
    libvlc_instance_t* library = ZLXVlcLibrary::sharedLibrary();
    if (!library)
        return;
    m_player = libvlc_media_player_new(library);
    if (!m_player)
        return;
    m_videoView = videoView;
    libvlc_video_set_mouse_input(m_player, false);
    libvlc_video_set_key_input(m_player, false);
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(m_player);
    for (libvlc_event_e type : kObservedEvents)
        libvlc_event_attach(events, type, &ZLXVlcMediaPlayer::onVlcEvent, this);
}

ZLXVlcMediaPlayer::~ZLXVlcMediaPlayer() {
    if (!m_player)
        return;
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(m_player);
    for (libvlc_event_e type : kObservedEvents)
        libvlc_event_detach(events, type, &ZLXVlcMediaPlayer::onVlcEvent, this);
    libvlc_media_player_stop(m_player);
    libvlc_media_player_release(m_player);
}

// Runs on a libVLC thread: only hands the event over, never calls back into libVLC.
void ZLXVlcMediaPlayer::onVlcEvent(const libvlc_event_t* event, void* self) {
    auto* player = static_cast<ZLXVlcMediaPlayer*>(self);
    const int type = event->type;
    const unsigned generation = player->m_generation.load();
    QMetaObject::invokeMethod(
        player,
        [player, type, generation] {
            if (generation == player->m_generation.load())
                player->handleEvent(type);
        },
        Qt::QueuedConnection);
}

void ZLXVlcMediaPlayer::handleEvent(int type) {
    switch (type) {
    case libvlc_MediaPlayerTimeChanged:
        if (!m_ended)
            emit mediaPlayerTimeChanged(this);
        return;
    case libvlc_MediaPlayerOpening:
        m_state = Opening;
        break;
    case libvlc_MediaPlayerPlaying:
        m_state = Playing;
        m_ended = false;
        applyAudio();
        libvlc_media_player_set_rate(m_player, m_rate);
        if (m_pendingPosition)
            libvlc_media_player_set_position(m_player, *m_pendingPosition);
        else if (m_pendingTime)
            libvlc_media_player_set_time(m_player, *m_pendingTime);
        m_pendingPosition.reset();
        m_pendingTime.reset();
        break;
    case libvlc_MediaPlayerPaused:
        m_state = Paused;
        break;
    case libvlc_MediaPlayerStopped:
        if (m_ended)
            return; // libVLC stops after the end; the end stays reported as it was
        m_state = Stopped;
        break;
    case libvlc_MediaPlayerEndReached:
        m_endLength = mediaLength();
        m_ended = true;
        m_state = Paused;
        // The last time notification reaches the caller at the end position.
        emit mediaPlayerTimeChanged(this);
        break;
    case libvlc_MediaPlayerEncounteredError:
        m_state = Error;
        ZLXLog("player error:%s", m_path ? qUtf8Printable(*m_path) : "");
        break;
    default:
        return;
    }
    emit mediaPlayerStateChanged(this);
}

void ZLXVlcMediaPlayer::setMedia(const std::optional<QString>& path) {
    if (!m_player)
        return;
    libvlc_media_player_stop(m_player);
    ++m_generation; // reports still on their way belong to the old media
    m_ended = false;
    m_pendingPosition.reset();
    m_pendingTime.reset();
    m_state = Stopped;
    m_path = path;
    if (!path) {
        libvlc_media_player_set_media(m_player, nullptr);
        return;
    }
    libvlc_media_t* media =
        libvlc_media_new_path(ZLXVlcLibrary::sharedLibrary(), QFile::encodeName(*path).constData());
    if (!media) {
        m_path.reset();
        return;
    }
    // The length is known before playback starts once the file's header has been read.
    libvlc_media_parse_with_options(media, libvlc_media_parse_local, 5000);
    libvlc_media_player_set_media(m_player, media);
    libvlc_media_release(media);
}

qint64 ZLXVlcMediaPlayer::mediaLength() const {
    if (!m_player || !m_path)
        return 0;
    if (m_ended)
        return m_endLength;
    const libvlc_time_t length = libvlc_media_player_get_length(m_player);
    if (length > 0)
        return length;
    libvlc_media_t* media = libvlc_media_player_get_media(m_player);
    if (!media)
        return 0;
    const libvlc_time_t duration = libvlc_media_get_duration(media);
    libvlc_media_release(media);
    return duration > 0 ? duration : 0;
}

void ZLXVlcMediaPlayer::play() {
    if (!m_player || !m_path)
        return;
    // The surface's native window is made when it is first needed, once the window around
    // it exists: making it while the window is still being built upsets the web view beside it.
    if (m_videoView && !m_surfaceBound && ZLXVlcLibrary::drawsIntoWindows()) {
        libvlc_media_player_set_xwindow(m_player, static_cast<uint32_t>(m_videoView->winId()));
        m_surfaceBound = true;
    }
    if (m_ended) {
        // Opening the recording again starts it from the beginning, or from a seek asked for
        // meanwhile.
        libvlc_media_player_stop(m_player);
        m_ended = false;
    }
    libvlc_media_player_play(m_player);
}

void ZLXVlcMediaPlayer::pause() {
    if (m_player && !m_ended)
        libvlc_media_player_set_pause(m_player, 1);
}

void ZLXVlcMediaPlayer::stop() {
    if (!m_player)
        return;
    libvlc_media_player_stop(m_player);
    m_ended = false;
    m_state = Stopped;
}

bool ZLXVlcMediaPlayer::isPlaying() const {
    return m_player && !m_ended && libvlc_media_player_is_playing(m_player);
}

float ZLXVlcMediaPlayer::position() const {
    if (!m_player || !m_path)
        return 0.0f;
    if (m_pendingPosition)
        return *m_pendingPosition;
    if (m_ended)
        return m_pendingTime && m_endLength > 0 ? float(*m_pendingTime) / float(m_endLength) : 1.0f;
    const float position = libvlc_media_player_get_position(m_player);
    return position < 0 ? 0.0f : position;
}

void ZLXVlcMediaPlayer::setPosition(float position) {
    if (!m_player || !m_path)
        return;
    position = std::clamp(position, 0.0f, 1.0f);
    if (m_ended || !libvlc_media_player_is_seekable(m_player)) {
        m_pendingPosition = position;
        m_pendingTime.reset();
        return;
    }
    libvlc_media_player_set_position(m_player, position);
}

qint64 ZLXVlcMediaPlayer::time() const {
    if (!m_player || !m_path)
        return 0;
    if (m_pendingTime)
        return *m_pendingTime;
    if (m_ended)
        return m_pendingPosition ? qint64(*m_pendingPosition * float(m_endLength)) : m_endLength;
    const libvlc_time_t time = libvlc_media_player_get_time(m_player);
    return time < 0 ? 0 : time;
}

void ZLXVlcMediaPlayer::setTime(qint64 milliseconds) {
    if (!m_player || !m_path)
        return;
    milliseconds = std::max<qint64>(0, milliseconds);
    if (m_ended || !libvlc_media_player_is_seekable(m_player)) {
        m_pendingTime = milliseconds;
        m_pendingPosition.reset();
        return;
    }
    libvlc_media_player_set_time(m_player, milliseconds);
}

float ZLXVlcMediaPlayer::rate() const {
    return m_player ? libvlc_media_player_get_rate(m_player) : m_rate;
}

void ZLXVlcMediaPlayer::setRate(float rate) {
    m_rate = rate;
    if (m_player)
        libvlc_media_player_set_rate(m_player, rate);
}

void ZLXVlcMediaPlayer::jumpForward(int seconds) {
    setTime(time() + qint64(seconds) * 1000);
}

void ZLXVlcMediaPlayer::jumpBackward(int seconds) {
    setTime(time() - qint64(seconds) * 1000);
}

void ZLXVlcMediaPlayer::applyAudio() {
    if (!m_player)
        return;
    libvlc_audio_set_mute(m_player, m_muted ? 1 : 0);
    libvlc_audio_set_volume(m_player, m_volume);
}

void ZLXVlcMediaPlayer::setMute(bool mute) {
    m_muted = mute;
    applyAudio();
}

void ZLXVlcMediaPlayer::setVolume(int volume) {
    m_volume = std::clamp(volume, 0, 200);
    applyAudio();
}

QList<int> ZLXVlcMediaPlayer::audioTrackIndexes() const {
    QList<int> tracks;
    if (!m_player || !m_path)
        return tracks;
    libvlc_track_description_t* list = libvlc_audio_get_track_description(m_player);
    for (auto* track = list; track; track = track->p_next) {
        if (track->i_id >= 0) // -1 is "Disable"
            tracks << track->i_id;
    }
    libvlc_track_description_list_release(list);
    return tracks;
}

bool ZLXVlcMediaPlayer::hasVideoOut() const {
    return m_player && libvlc_media_player_has_vout(m_player) > 0;
}

QSize ZLXVlcMediaPlayer::videoSize() const {
    unsigned width = 0, height = 0;
    if (!m_player || libvlc_video_get_size(m_player, 0, &width, &height) != 0)
        return {};
    return QSize(int(width), int(height));
}

bool ZLXVlcMediaPlayer::saveVideoSnapshotAt(const QString& path, int width, int height) {
    if (!m_player || !m_path)
        return false;
    // libVLC writes its snapshots as PNG whatever the name; the picture is taken through a
    // private file and written again as the JPEG asked for.
    QTemporaryDir work;
    if (!work.isValid())
        return false;
    const QString png = work.filePath(QStringLiteral("snapshot.png"));
    if (libvlc_video_take_snapshot(m_player, 0, QFile::encodeName(png).constData(),
                                   unsigned(std::max(0, width)),
                                   unsigned(std::max(0, height))) != 0)
        return false;
    const QImage picture(png);
    return !picture.isNull() && picture.save(path, "JPEG", 92);
}

} // namespace daxo
