// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/player/ZLXMpvMediaPlayer.h"

#include "library/ZLXLog.h"
#include "app/player/ZLXVideoView.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMetaObject>
#include <cmath>
#include <cstring>
#include <mpv/client.h>
#include <dlfcn.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <string>

namespace daxo {
namespace {

enum Observed : uint64_t { kTimePos = 1, kDuration, kEofReached, kFps, kTrackList, kWidth, kHeight, kDecoder };
// Replies to seek commands carry the seek's number above this.
constexpr uint64_t kSeekReply = uint64_t(1) << 32;

// libmpv's own messages of warning level and above reach the program's log, each text once.
void logMessage(const mpv_event_log_message& message) {
    static std::set<std::string> seen;
    std::string text = std::string(message.prefix ? message.prefix : "") + ": " + (message.text ? message.text : "");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (seen.size() < 1000 && seen.insert(text).second)
        ZLXLog("mpv %s", text.c_str());
}

QList<int> audioTracksOf(const mpv_node& list) {
    QList<int> tracks;
    if (list.format != MPV_FORMAT_NODE_ARRAY)
        return tracks;
    for (int i = 0; i < list.u.list->num; ++i) {
        const mpv_node& track = list.u.list->values[i];
        if (track.format != MPV_FORMAT_NODE_MAP)
            continue;
        bool audio = false;
        int64_t id = -1;
        for (int k = 0; k < track.u.list->num; ++k) {
            const std::string key = track.u.list->keys[k];
            const mpv_node& value = track.u.list->values[k];
            if (key == "type" && value.format == MPV_FORMAT_STRING)
                audio = std::string(value.u.string) == "audio";
            else if (key == "id" && value.format == MPV_FORMAT_INT64)
                id = value.u.int64;
        }
        if (audio && id >= 0)
            tracks << int(id);
    }
    return tracks;
}

const mpv_node* mapValue(const mpv_node& map, const char* key) {
    if (map.format != MPV_FORMAT_NODE_MAP)
        return nullptr;
    for (int i = 0; i < map.u.list->num; ++i) {
        if (std::string(map.u.list->keys[i]) == key)
            return &map.u.list->values[i];
    }
    return nullptr;
}

// The sound card library reports every failed open on stderr by itself, again at every file;
// libmpv already tells the program's log, once. Its reports are routed to nowhere.
void ignoreSoundLibraryReport(const char*, int, const char*, int, const char*, ...) {}

void quietenSoundLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        using SetHandler = int (*)(Handler);
        if (auto set = reinterpret_cast<SetHandler>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler")))
            set(&ignoreSoundLibraryReport);
    });
}

} // namespace

ZLXMpvMediaPlayer::ZLXMpvMediaPlayer(ZLXVideoView* videoView, const Options& options, QObject* parent)
    : ZLXMediaPlayer(parent), m_videoView(videoView) {
    quietenSoundLibrary();
    m_mpv = mpv_create();
    if (!m_mpv) {
        ZLXLog("mpv_create fail");
        return;
    }
    const Options own = {
        {"config", "no"},
        {"terminal", "no"},
        {"load-scripts", "no"},
        {"ytdl", "no"},
        {"idle", "yes"},
        {"pause", "yes"},
        {"vo", videoView ? "libmpv" : "null"},
        {"hwdec", chosenVideoOutput() == ZLXVideoOutput::OpenGL ? "auto-safe" : "no"},
        // The end of a recording stays on its last frame, paused.
        {"keep-open", "yes"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"osc", "no"},
        {"osd-level", "0"},
        // The telemetry track is a text track: never drawn over the picture.
        {"sid", "no"},
        {"sub-auto", "no"},
        {"audio-display", "no"},
        // The desktop's sound server (PulseAudio, or PipeWire through it), then the sound card;
        // without either the video plays on, silently. (Outputs that own process-wide state,
        // like SDL's, cannot serve two players.)
        {"ao", "pulse,alsa"},
        {"audio-fallback-to-null", "yes"},
        {"volume-max", "200"},
        {"hr-seek", "yes"},
        // The render API: draw each frame when it is due, never wait for it.
        {"video-timing-offset", "0"},
    };
    for (const auto& list : {own, options}) {
        for (const auto& [name, value] : list) {
            if (mpv_set_option_string(m_mpv, name.constData(), value.constData()) < 0)
                ZLXLog("mpv option %s=%s refused", name.constData(), value.constData());
        }
    }
    if (mpv_initialize(m_mpv) < 0) {
        ZLXLog("mpv_initialize fail");
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        return;
    }
    mpv_request_log_messages(m_mpv, "warn");
    mpv_observe_property(m_mpv, kTimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_mpv, kDuration, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_mpv, kEofReached, "eof-reached", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, kFps, "container-fps", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_mpv, kTrackList, "track-list", MPV_FORMAT_NODE);
    mpv_observe_property(m_mpv, kWidth, "dwidth", MPV_FORMAT_INT64);
    mpv_observe_property(m_mpv, kHeight, "dheight", MPV_FORMAT_INT64);
    mpv_observe_property(m_mpv, kDecoder, "hwdec-current", MPV_FORMAT_STRING);
    // The render context exists before any file is loaded.
    if (videoView && !videoView->attach(m_mpv))
        ZLXLog("mpv render context fail");
    mpv_set_wakeup_callback(m_mpv, &ZLXMpvMediaPlayer::onWakeup, this);
}

ZLXMpvMediaPlayer::~ZLXMpvMediaPlayer() {
    if (!m_mpv)
        return;
    mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
    // The render context goes before the core it belongs to.
    if (m_videoView)
        m_videoView->detach();
    mpv_terminate_destroy(m_mpv);
}

// Runs on a libmpv thread: only asks the interface thread to read the events.
void ZLXMpvMediaPlayer::onWakeup(void* self) {
    auto* player = static_cast<ZLXMpvMediaPlayer*>(self);
    if (player->m_wakeupQueued.exchange(true))
        return;
    QMetaObject::invokeMethod(
        player,
        [player] {
            player->m_wakeupQueued = false;
            player->readEvents();
        },
        Qt::QueuedConnection);
}

void ZLXMpvMediaPlayer::readEvents() {
    while (m_mpv) {
        const mpv_event* event = mpv_wait_event(m_mpv, 0);
        if (!event || event->event_id == MPV_EVENT_NONE)
            return;
        handleEvent(*event);
    }
}

void ZLXMpvMediaPlayer::handleEvent(const mpv_event& event) {
    switch (event.event_id) {
    case MPV_EVENT_LOG_MESSAGE:
        logMessage(*static_cast<const mpv_event_log_message*>(event.data));
        return;
    case MPV_EVENT_COMMAND_REPLY:
        if (event.reply_userdata > kSeekReply) {
            const uint64_t serial = event.reply_userdata - kSeekReply;
            m_seekTaken = std::max(m_seekTaken, serial);
            // A seek libmpv refused brings no restart: it is over.
            if (event.error < 0 && serial == m_seekSerial && m_seeking && m_loaded) {
                m_seeking = false;
                emit mediaPlayerSettled(this);
            }
        }
        return;
    case MPV_EVENT_START_FILE: {
        const auto* start = static_cast<const mpv_event_start_file*>(event.data);
        if (m_path && (m_entryId < 0 || start->playlist_entry_id == m_entryId)) {
            m_entryId = start->playlist_entry_id;
            m_current = true;
        }
        return;
    }
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        if (!m_current || end->playlist_entry_id != m_entryId)
            return;
        m_current = false;
        if (end->reason == MPV_END_FILE_REASON_ERROR || (end->reason == MPV_END_FILE_REASON_EOF && !m_loaded)) {
            m_error = true;
            ZLXLog("player error:%s (%s)", m_path ? m_path->constData() : "",
                   end->reason == MPV_END_FILE_REASON_ERROR ? mpv_error_string(end->error) : "nothing to play");
            if (m_videoView)
                m_videoView->setShowsFrames(false);
            reportState();
            emit mediaPlayerSettled(this);
        } else if (end->reason == MPV_END_FILE_REASON_EOF) {
            reachEnd();
        }
        return;
    }
    case MPV_EVENT_FILE_LOADED:
        if (!m_current)
            return;
        m_fileOpen = true;
        if (m_pendingFraction && m_duration <= 0) {
            double seconds = 0;
            if (mpv_get_property(m_mpv, "duration", MPV_FORMAT_DOUBLE, &seconds) >= 0)
                m_duration = seconds;
        }
        if (m_pendingFraction)
            m_pendingSeek = qint64(double(*m_pendingFraction) * m_duration * 1000);
        m_pendingFraction.reset();
        if (m_pendingSeek) {
            const qint64 target = *m_pendingSeek;
            m_pendingSeek.reset();
            setTime(target);
        }
        return;
    case MPV_EVENT_PLAYBACK_RESTART:
        if (!m_current || m_seekTaken < m_seekSerial)
            return;
        if (!isSettled()) {
            if (!m_loaded && m_videoView)
                m_videoView->setShowsFrames(true);
            m_loaded = true;
            m_seeking = false;
            reportState();
            reportTime(true);
            emit mediaPlayerSettled(this);
        }
        return;
    case MPV_EVENT_PROPERTY_CHANGE: {
        if (!m_current)
            return;
        const auto* property = static_cast<const mpv_event_property*>(event.data);
        const bool has = property->format != MPV_FORMAT_NONE && property->data;
        switch (event.reply_userdata) {
        case kTimePos:
            if (has && m_loaded && !m_ended)
                reportTime(false);
            break;
        case kDuration:
            m_duration = has ? *static_cast<double*>(property->data) : 0;
            break;
        case kEofReached:
            if (has && *static_cast<int*>(property->data) && m_loaded)
                reachEnd();
            break;
        case kFps:
            m_fps = has ? *static_cast<double*>(property->data) : 0;
            break;
        case kTrackList:
            m_audioTracks = has ? audioTracksOf(*static_cast<mpv_node*>(property->data)) : QList<int>{};
            break;
        case kWidth:
            m_videoSize.setWidth(has ? int(*static_cast<int64_t*>(property->data)) : 0);
            break;
        case kHeight:
            m_videoSize.setHeight(has ? int(*static_cast<int64_t*>(property->data)) : 0);
            break;
        case kDecoder: {
            // the hardware decoder libmpv chose for this file, where the machine has one
            const char* name = has ? *static_cast<char**>(property->data) : nullptr;
            const QString decoder = name && *name && std::strcmp(name, "no") != 0 ? QString::fromUtf8(name)
                                                                                    : QStringLiteral("software");
            if (decoder != m_decoder)
                ZLXLog("video decoding: %s", qPrintable(decoder));
            m_decoder = decoder;
            break;
        }
        }
        return;
    }
    default:
        return;
    }
}

int64_t ZLXMpvMediaPlayer::droppedFrames() const {
    int64_t total = 0;
    for (const char* name : {"frame-drop-count", "decoder-frame-drop-count"}) {
        int64_t count = 0;
        if (m_mpv && mpv_get_property(m_mpv, name, MPV_FORMAT_INT64, &count) >= 0)
            total += count;
    }
    return total;
}

void ZLXMpvMediaPlayer::setMedia(const std::optional<QByteArray>& path) {
    m_path = path;
    m_entryId = -1;
    m_current = m_fileOpen = m_loaded = m_error = m_ended = m_stopped = m_wantPlay = false;
    m_pendingSeek.reset();
    m_pendingFraction.reset();
    m_seeking = path.has_value();
    m_decoder.clear(); // each file's decoding is told
    m_duration = 0;
    m_fps = 0;
    m_videoSize = QSize();
    m_audioTracks.clear();
    m_reportedState = State(-1); // whatever the new file's first state is, it is reported
    if (m_videoView)
        m_videoView->setShowsFrames(false);
    if (!m_mpv) {
        m_path.reset();
        return;
    }
    int paused = 1;
    mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &paused);
    // Synchronous, like the load below: an asynchronous stop could overtake a later load.
    if (!path) {
        const char* args[] = {"stop", nullptr};
        mpv_command(m_mpv, args);
    } else if (struct stat st {}; ::stat(path->constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        // Only regular files are played: a FIFO or a device would hold libmpv in its open.
        m_error = true;
        ZLXLog("player error:%s (not a regular file)", path->constData());
    } else {
        QByteArray file = *path; // the bytes as they are: libmpv takes any file name
        if (!file.startsWith('/'))
            file.prepend(QFile::encodeName(QDir::currentPath()) + '/');
        const char* args[] = {"loadfile", file.constData(), "replace", nullptr};
        mpv_node result{};
        if (mpv_command_ret(m_mpv, args, &result) < 0) {
            m_error = true;
        } else {
            if (const mpv_node* id = mapValue(result, "playlist_entry_id"); id && id->format == MPV_FORMAT_INT64)
                m_entryId = id->u.int64;
            mpv_free_node_contents(&result);
        }
    }
    QMetaObject::invokeMethod(this, &ZLXMpvMediaPlayer::reportState, Qt::QueuedConnection);
}

qint64 ZLXMpvMediaPlayer::mediaLength() const {
    if (!m_path)
        return 0;
    return qint64(std::llround(m_duration * 1000));
}

ZLXMediaPlayer::State ZLXMpvMediaPlayer::state() const {
    if (!m_path)
        return Stopped;
    if (m_error)
        return Error;
    if (m_stopped)
        return Stopped;
    if (m_ended)
        return Paused;
    if (!m_loaded)
        return Opening;
    return m_wantPlay ? Playing : Paused;
}

void ZLXMpvMediaPlayer::reportState() {
    const State now = state();
    if (now == m_reportedState)
        return;
    m_reportedState = now;
    emit mediaPlayerStateChanged(this);
}

void ZLXMpvMediaPlayer::reportTime(bool always) {
    // A notification every frame is more than anyone needs; ten a second follow the picture.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!always && now - m_lastTimeReport < 100)
        return;
    m_lastTimeReport = now;
    emit mediaPlayerTimeChanged(this);
}

void ZLXMpvMediaPlayer::applyPause() {
    if (!m_mpv)
        return;
    int paused = (m_wantPlay && !m_held && !m_ended && !m_stopped) ? 0 : 1;
    mpv_set_property_async(m_mpv, 0, "pause", MPV_FORMAT_FLAG, &paused);
}

void ZLXMpvMediaPlayer::applySpeed() {
    if (!m_mpv)
        return;
    double speed = double(m_rate) * m_nudge;
    mpv_set_property_async(m_mpv, 0, "speed", MPV_FORMAT_DOUBLE, &speed);
}

void ZLXMpvMediaPlayer::play() {
    if (!m_path || m_error)
        return;
    m_stopped = false;
    if (m_ended) {
        // Playing again from the end starts the recording from its beginning.
        m_ended = false;
        setTime(0);
    }
    m_wantPlay = true;
    applyPause();
    QMetaObject::invokeMethod(this, &ZLXMpvMediaPlayer::reportState, Qt::QueuedConnection);
}

void ZLXMpvMediaPlayer::pause() {
    if (!m_path)
        return;
    m_wantPlay = false;
    applyPause();
    QMetaObject::invokeMethod(this, &ZLXMpvMediaPlayer::reportState, Qt::QueuedConnection);
}

void ZLXMpvMediaPlayer::stop() {
    m_wantPlay = false;
    m_stopped = m_path.has_value();
    applyPause();
    QMetaObject::invokeMethod(this, &ZLXMpvMediaPlayer::reportState, Qt::QueuedConnection);
}

void ZLXMpvMediaPlayer::setHeld(bool held) {
    if (m_held == held)
        return;
    m_held = held;
    if (m_videoView)
        m_videoView->setPictureHeld(held);
    applyPause();
}

bool ZLXMpvMediaPlayer::isSettled() const {
    return !m_path || m_error || !m_mpv || (m_loaded && !m_seeking);
}

void ZLXMpvMediaPlayer::reachEnd() {
    if (m_ended)
        return;
    m_ended = true;
    m_wantPlay = false;
    applyPause();
    reportTime(true); // the last notification is at the end
    reportState();
}

float ZLXMpvMediaPlayer::position() const {
    if (!m_path)
        return 0.0f;
    if (m_ended)
        return 1.0f;
    if (m_pendingFraction)
        return *m_pendingFraction;
    const qint64 length = mediaLength();
    if (length <= 0)
        return 0.0f;
    return std::clamp(float(double(time()) / double(length)), 0.0f, 1.0f);
}

void ZLXMpvMediaPlayer::setPosition(float position) {
    if (!m_path)
        return;
    position = std::clamp(position, 0.0f, 1.0f);
    const qint64 length = mediaLength();
    if (length <= 0 && position > 0) {
        m_pendingFraction = position; // applied once the length is known
        m_pendingSeek.reset();
        m_ended = false;
        return;
    }
    setTime(qint64(double(position) * double(length)));
}

qint64 ZLXMpvMediaPlayer::time() const {
    if (!m_path || !m_mpv)
        return 0;
    if (m_ended)
        return mediaLength();
    if (m_pendingSeek)
        return *m_pendingSeek;
    // While the file is being opened libmpv may be busy reading it: no question is put to it
    // then (the answer would wait for the card).
    if (!m_loaded)
        return 0;
    if (m_seeking && m_seekSerial > 0)
        return m_seekTarget;
    double seconds = 0;
    if (mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &seconds) < 0)
        return 0;
    return std::max<qint64>(0, std::llround(seconds * 1000));
}

void ZLXMpvMediaPlayer::seekTo(qint64 milliseconds) {
    m_seekTarget = milliseconds;
    m_seeking = true;
    const QByteArray seconds = QByteArray::number(double(milliseconds) / 1000.0, 'f', 3);
    const char* args[] = {"seek", seconds.constData(), "absolute+exact", nullptr};
    mpv_command_async(m_mpv, kSeekReply + ++m_seekSerial, args);
}

void ZLXMpvMediaPlayer::setTime(qint64 milliseconds) {
    if (!m_path || !m_mpv || m_error)
        return;
    milliseconds = std::max<qint64>(0, milliseconds);
    m_pendingFraction.reset();
    if (!m_fileOpen) {
        m_pendingSeek = milliseconds; // the file is still being opened
        m_ended = false;
        return;
    }
    const qint64 length = mediaLength();
    if (length > 0 && milliseconds >= length) {
        // At or past the end: the last frame, reported as the end.
        seekTo(length);
        reachEnd();
        return;
    }
    if (m_ended) {
        m_ended = false;
        QMetaObject::invokeMethod(this, &ZLXMpvMediaPlayer::reportState, Qt::QueuedConnection);
    }
    seekTo(milliseconds);
}

void ZLXMpvMediaPlayer::setRate(float rate) {
    m_rate = rate;
    applySpeed();
}

void ZLXMpvMediaPlayer::setRateNudge(double factor) {
    if (m_nudge == factor)
        return;
    m_nudge = factor;
    applySpeed();
}

void ZLXMpvMediaPlayer::jumpForward(int seconds) {
    setTime(time() + qint64(seconds) * 1000);
}

void ZLXMpvMediaPlayer::jumpBackward(int seconds) {
    setTime(time() - qint64(seconds) * 1000);
}

void ZLXMpvMediaPlayer::setMute(bool mute) {
    m_muted = mute;
    if (!m_mpv)
        return;
    int flag = mute ? 1 : 0;
    mpv_set_property_async(m_mpv, 0, "mute", MPV_FORMAT_FLAG, &flag);
}

void ZLXMpvMediaPlayer::setVolume(int volume) {
    m_volume = std::clamp(volume, 0, 200);
    if (!m_mpv)
        return;
    double value = m_volume;
    mpv_set_property_async(m_mpv, 0, "volume", MPV_FORMAT_DOUBLE, &value);
}

bool ZLXMpvMediaPlayer::saveVideoSnapshotAt(const QString& path, int width, int height) {
    if (!m_path || !m_mpv || !m_loaded)
        return false;
    // The decoded frame itself, at the video's own size, whatever the surface shows.
    const char* args[] = {"screenshot-raw", "video", nullptr};
    mpv_node result{};
    if (mpv_command_ret(m_mpv, args, &result) < 0)
        return false;
    const mpv_node* w = mapValue(result, "w");
    const mpv_node* h = mapValue(result, "h");
    const mpv_node* stride = mapValue(result, "stride");
    const mpv_node* data = mapValue(result, "data");
    QImage picture;
    if (w && h && stride && data && w->format == MPV_FORMAT_INT64 && h->format == MPV_FORMAT_INT64 &&
        stride->format == MPV_FORMAT_INT64 && data->format == MPV_FORMAT_BYTE_ARRAY &&
        data->u.ba->size >= size_t(stride->u.int64 * h->u.int64)) {
        // "bgr0": 0x00RRGGBB in memory order on this little-endian layout.
        picture = QImage(static_cast<const uchar*>(data->u.ba->data), int(w->u.int64), int(h->u.int64),
                         qsizetype(stride->u.int64), QImage::Format_RGB32)
                      .convertToFormat(QImage::Format_RGB888);
    }
    mpv_free_node_contents(&result);
    if (picture.isNull())
        return false;
    if (width > 0 && height > 0)
        picture = picture.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return picture.save(path, "JPEG", 92);
}

void ZLXMpvMediaPlayer::setZoom(double factor, double panX, double panY) {
    if (!m_mpv)
        return;
    double zoom = std::log2(std::max(1.0, factor)); // the output's zoom is a power of two
    mpv_set_property(m_mpv, "video-zoom", MPV_FORMAT_DOUBLE, &zoom);
    mpv_set_property(m_mpv, "video-pan-x", MPV_FORMAT_DOUBLE, &panX);
    mpv_set_property(m_mpv, "video-pan-y", MPV_FORMAT_DOUBLE, &panY);
}

} // namespace daxo
