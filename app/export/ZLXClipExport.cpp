// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/export/ZLXClipExport.h"

#include "app/export/ZLXOverlayPainter.h"
#include "library/ZLXLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace daxo {

namespace {

QStringList toStrings(const std::vector<std::string>& args) {
    QStringList list;
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    return list;
}

bool writeText(const QString& path, const std::string& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.data(), qint64(text.size())) == qint64(text.size());
}

// What an export that was killed outright left in the temporary folder: its working folder,
// named after its process, which is gone.
void removeAbandonedWork() {
    const QDir temp(QDir::tempPath());
    for (const QFileInfo& info : temp.entryInfoList({QStringLiteral("daxo-clip-*")}, QDir::Dirs | QDir::NoSymLinks)) {
        const QStringList parts = info.fileName().split(QLatin1Char('-'));
        bool number = false;
        const qint64 pid = parts.size() == 4 ? parts[2].toLongLong(&number) : 0;
        if (!number || pid <= 0 || info.ownerId() != ::getuid() || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        QDir folder(info.filePath());
        for (const QString& name : {QStringLiteral("captions.srt"), QStringLiteral("pieces.txt")})
            folder.remove(name);
        temp.rmdir(info.fileName());
    }
}

} // namespace

ZLXClipExport::ZLXClipExport(QObject* parent) : QObject(parent) {
    m_ffmpeg.setProcessChannelMode(QProcess::SeparateChannels);
    m_ffmpeg.setChildProcessModifier(dieWithParent);
    connect(&m_ffmpeg, &QProcess::readyReadStandardOutput, this, &ZLXClipExport::readProgress);
    connect(&m_ffmpeg, &QProcess::readyReadStandardError, this, [this] { m_errors += m_ffmpeg.readAllStandardError(); });
    connect(&m_ffmpeg, &QProcess::finished, this, &ZLXClipExport::ended);
    connect(&m_ffmpeg, &QProcess::bytesWritten, this, &ZLXClipExport::feedOverlay);
}

ZLXClipExport::~ZLXClipExport() {
    if (isRunning()) {
        m_ffmpeg.disconnect(this);
        m_ffmpeg.kill();
        m_ffmpeg.waitForFinished(5000);
        QFile::remove(m_partial);
    }
    tidyUp();
}

void ZLXClipExport::tidyUp() {
    closeMaskPipe();
    m_work.reset();
    m_files.clear();
    m_leftovers.clear();
    m_child.release();
}

bool ZLXClipExport::start(const ZLXDrive& drive, double from, double to, const ZLXClipOptions& options,
                          const QString& output, QString* error, const ZLXRedactionPaths* redaction) {
    auto fail = [&](const QString& message) {
        tidyUp();
        if (error)
            *error = message;
        return false;
    };
    if (isRunning()) {
        if (error)
            *error = QStringLiteral("An export is already running.");
        return false;
    }
    // nothing is built for what the recordings do not hold
    const double length = drive.trip.duration();
    const double a = std::clamp(std::isfinite(from) ? from : 0.0, 0.0, length);
    const double b = std::clamp(std::isfinite(to) ? to : 0.0, 0.0, length);
    if (options.overlay && options.overlay->any() && options.layout == ZLXClipLayout::Original)
        return fail(QStringLiteral("The overlay cannot be burned into the original-quality copy: it copies the "
                                   "recording's stream as it is. Choose another layout."));
    if (redaction && options.layout == ZLXClipLayout::Original)
        return fail(QStringLiteral("The boxes cannot be hidden in the original-quality copy: it copies the "
                                   "recording's stream as it is. Choose another layout."));
    m_segments = clipSegments(drive.trip, a, b);
    if (m_segments.empty())
        return fail(QStringLiteral("The stretch from %1 s to %2 s holds nothing: the recordings hold %3 s.")
                        .arg(from, 0, 'f', 1).arg(to, 0, 'f', 1).arg(length, 0, 'f', 1));
    m_sources.clear();
    for (const ZLXTripGroup& g : drive.trip.groups) {
        for (const std::string& path : {g.frontPath, g.rearPath}) {
            if (!path.empty())
                m_sources.push_back(path);
        }
    }
    const QFileInfo target(output);
    m_output = target.absoluteFilePath();
    // a passing name beside the target, with its extension, so that ffmpeg writes the same kind
    m_partial = target.absolutePath() + QStringLiteral("/.") + target.completeBaseName() +
                QStringLiteral(".partial.") + (target.suffix().isEmpty() ? QStringLiteral("mp4") : target.suffix());
    const std::string outputPath = QFile::encodeName(m_output).toStdString();
    if (const auto why = outputRefusal(outputPath, m_sources, options.replace))
        return fail(QString::fromStdString(*why));
    if (const auto why = outputRefusal(QFile::encodeName(m_partial).toStdString(), m_sources, true))
        return fail(QString::fromStdString(*why));
    if (options.layout == ZLXClipLayout::Original) {
        // a stream copy of a file without a picture would be sound alone
        for (const ZLXClipSegment& segment : m_segments) {
            if (!movieFacts(segment.front.c_str()).hasVideo)
                return fail(QStringLiteral("%1 has no picture to copy.")
                                .arg(QFile::decodeName(QByteArray::fromStdString(segment.front))));
        }
    }
    // every piece read through a descriptor: its name may be any bytes, of any length
    m_inputs = m_segments;
    for (ZLXClipSegment& segment : m_inputs) {
        for (std::string* path : {&segment.front, &segment.rear}) {
            if (path->empty())
                continue;
            const auto opened = m_files.add(*path);
            if (!opened)
                return fail(QStringLiteral("%1 cannot be read: %2")
                                .arg(QFile::decodeName(QByteArray::fromStdString(*path)),
                                     QString::fromLocal8Bit(std::strerror(errno))));
            *path = *opened;
        }
    }
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        return fail(QStringLiteral("ffmpeg is not installed."));
    if (!QFileInfo(target.absolutePath()).isWritable())
        return fail(QStringLiteral("%1 cannot be written.").arg(target.absolutePath()));
    removeAbandonedWork();
    m_work = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                             QStringLiteral("/daxo-clip-%1-XXXXXX").arg(QCoreApplication::applicationPid()));
    if (!m_work->isValid())
        return fail(QStringLiteral("No temporary folder."));
    m_options = options;
    if (!m_options.encoder && m_options.layout != ZLXClipLayout::Original)
        m_options.encoder = videoEncoder();
    m_captions = m_work->filePath(QStringLiteral("captions.srt"));
    m_list = m_work->filePath(QStringLiteral("pieces.txt"));
    m_leftovers.clear();
    for (const QString& path : {m_captions, m_list, m_partial})
        m_leftovers.push_back(ZLXCleanupEntry::file(QFile::encodeName(path).toStdString()));
    m_leftovers.push_back(ZLXCleanupEntry::folder(QFile::encodeName(m_work->path()).toStdString()));
    const bool kmh = drive.tracks.empty() || drive.tracks.front()->speedInKmh;
    if ((options.captions && !writeText(m_captions, clipCaptions(drive, a, b, kmh, options.clockError))) ||
        !writeText(m_list, clipConcatList(m_inputs)))
        return fail(QStringLiteral("No temporary folder."));
    m_length = 0;
    for (const ZLXClipSegment& s : m_segments)
        m_length += s.length();
    m_cancelled = m_ok = m_retriedWithoutSound = false;
    m_errors.clear();
    m_timeline.reset();
    if (m_options.overlay && m_options.overlay->any()) {
        // the drive is kept with the export: its pictures are drawn as ffmpeg takes them
        m_drive = std::make_unique<ZLXDrive>(drive);
        m_timeline = std::make_unique<ZLXOverlayTimeline>(*m_drive, a, kmh);
    }
    m_redaction.reset();
    m_placements.clear();
    if (redaction) {
        // each piece's channels where the layout puts them, from the sizes their recordings have
        m_redaction = std::make_shared<const ZLXRedactionPaths>(*redaction);
        if (!m_options.redaction)
            m_options.redaction = ZLXClipOptions::Redaction{};
        m_options.redaction->rate = int(kRedactionRate);
        double start = 0;
        for (const ZLXClipSegment& segment : m_segments) {
            const ZLXMovieFacts front = movieFacts(segment.front.c_str());
            const ZLXMovieFacts rear = segment.rear.empty() ? ZLXMovieFacts{} : movieFacts(segment.rear.c_str());
            m_placements.push_back(
                {start, channelPlacement(m_options, ZLXRedactionChannel::Front, {front.width, front.height}, !segment.rear.empty()),
                 channelPlacement(m_options, ZLXRedactionChannel::Rear, {rear.width, rear.height}, !segment.rear.empty())});
            start += segment.length();
        }
    } else {
        m_options.redaction.reset();
    }
    m_ffmpeg.setProgram(ffmpeg);
    launch();
    if (!m_ffmpeg.waitForStarted(10000))
        return fail(QStringLiteral("ffmpeg could not be started."));
    return true;
}

void ZLXClipExport::launch() {
    closeMaskPipe();
    int maskReadEnd = -1;
    if (m_redaction) {
        // a socket rather than a pipe: a write after ffmpeg has gone fails, it does not signal
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0) {
            m_maskFd = pair[0];
            maskReadEnd = pair[1];
            ::shutdown(maskReadEnd, SHUT_WR);
            m_maskInput = "pipe:" + std::to_string(maskReadEnd);
        }
    }
    m_ffmpeg.setArguments(toStrings(clipFfmpegArguments(m_inputs, m_options, QFile::encodeName(m_partial).toStdString(),
                                                        QFile::encodeName(m_captions).toStdString(),
                                                        QFile::encodeName(m_list).toStdString(), m_maskInput)));
    // ffmpeg alone keeps the mask's reading end, open across its exec
    m_ffmpeg.setChildProcessModifier([maskReadEnd] {
        dieWithParent();
        if (maskReadEnd >= 0)
            ::fcntl(maskReadEnd, F_SETFD, 0);
    });
    m_overlayNext = 0;
    m_ffmpeg.start(m_timeline ? QIODevice::ReadWrite : QIODevice::ReadOnly);
    if (maskReadEnd >= 0)
        ::close(maskReadEnd);
    m_child = ZLXCleanupEntry::child(pid_t(m_ffmpeg.processId()));
    if (m_timeline)
        feedOverlay();
    if (m_maskFd >= 0) {
        const auto [width, height] = clipPictureSize(m_options.layout);
        const ZLXMaskGrid grid = maskGrid({width, height}, m_options.redaction->cell);
        const int rate = m_options.redaction->rate;
        // a mask for every frame of the clip, and one past its end
        const int64_t frames = int64_t(std::ceil(m_length * rate)) + 2;
        m_maskWriter = std::thread([fd = m_maskFd, paths = m_redaction, placements = m_placements, grid, rate, frames] {
            std::vector<uint8_t> mask;
            for (int64_t k = 0; k < frames; ++k) {
                const double t = double(k) / rate;
                auto piece = std::upper_bound(placements.begin(), placements.end(), t,
                                              [](double s, const Placement& p) { return s < p.start; });
                const Placement& at = piece == placements.begin() ? placements.front() : *(piece - 1);
                redactionMask(*paths, t, grid, at.front, at.rear, mask);
                for (size_t written = 0; written < mask.size();) {
                    const ssize_t n = ::send(fd, mask.data() + written, mask.size() - written, MSG_NOSIGNAL);
                    if (n < 0 && errno == EINTR)
                        continue;
                    if (n <= 0)
                        return; // ffmpeg has gone; its end tells the rest
                    written += size_t(n);
                }
            }
            ::shutdown(fd, SHUT_WR); // every mask written: the end of the stream
        });
    }
}

void ZLXClipExport::closeMaskPipe() {
    if (m_maskFd >= 0)
        ::shutdown(m_maskFd, SHUT_RDWR); // a writer still waiting on ffmpeg stops
    if (m_maskWriter.joinable())
        m_maskWriter.join();
    if (m_maskFd >= 0)
        ::close(m_maskFd);
    m_maskFd = -1;
    m_maskInput.clear();
}

void ZLXClipExport::feedOverlay() {
    if (!m_timeline || m_ffmpeg.state() == QProcess::NotRunning)
        return;
    const auto [width, height] = clipPictureSize(m_options.layout);
    const ZLXOverlayRect r = overlayRect(*m_options.overlay, width, height);
    const qint64 frameBytes = qint64(r.width) * r.height * 4;
    const int64_t frames = int64_t(std::ceil(m_length * kOverlayRate)) + 1;
    // two pictures ahead of ffmpeg at most: memory stays the same at any length
    while (m_overlayNext < frames && m_ffmpeg.bytesToWrite() < 2 * frameBytes) {
        const double seconds = double(m_overlayNext++) / kOverlayRate;
        const QImage picture =
            paintOverlay(*m_options.overlay, *m_timeline, m_timeline->momentAt(seconds), QSize(r.width, r.height));
        m_ffmpeg.write(reinterpret_cast<const char*>(picture.constBits()), frameBytes);
    }
    if (m_overlayNext >= frames)
        m_ffmpeg.closeWriteChannel();
}

const ZLXVideoEncoder& ZLXClipExport::videoEncoder() {
    static const ZLXVideoEncoder chosen = [] {
        const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        QProcess list;
        list.start(ffmpeg, {QStringLiteral("-hide_banner"), QStringLiteral("-encoders")});
        const bool listed = list.waitForFinished(10000);
        const std::string encoders = listed ? list.readAllStandardOutput().toStdString() : std::string();
        const ZLXVideoEncoder encoder = chooseVideoEncoder(
            encoders, QFileInfo::exists(QStringLiteral("/dev/dri/renderD128")),
            QFileInfo::exists(QStringLiteral("/dev/nvidia0")), [&](const ZLXVideoEncoder& candidate) {
                // a second of a small picture through it, to nowhere
                QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error")};
                args << toStrings(candidate.globalArgs);
                args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                     << QStringLiteral("color=size=256x144:rate=5:duration=1");
                if (!candidate.filter.empty())
                    args << QStringLiteral("-vf") << QString::fromStdString(candidate.filter);
                args << toStrings(candidate.args) << QStringLiteral("-f") << QStringLiteral("null") << QStringLiteral("-");
                QProcess test;
                test.start(ffmpeg, args);
                return test.waitForFinished(15000) && test.exitStatus() == QProcess::NormalExit && test.exitCode() == 0;
            });
        ZLXLog("clips are encoded with %s", encoder.description.c_str());
        return encoder;
    }();
    return chosen;
}

void ZLXClipExport::cancel() {
    if (!isRunning())
        return;
    m_cancelled = true;
    m_ffmpeg.kill();
}

bool ZLXClipExport::waitForFinished(int milliseconds) {
    // a retry without sound starts again from the end of the first run
    while (isRunning() && m_ffmpeg.waitForFinished(milliseconds)) {
    }
    return m_ok;
}

void ZLXClipExport::readProgress() {
    while (m_ffmpeg.canReadLine()) {
        const QByteArray line = m_ffmpeg.readLine().trimmed();
        if (line.startsWith("out_time_us=") && m_length > 0) {
            bool ok = false;
            const double seconds = line.mid(12).toDouble(&ok) / 1e6;
            if (ok)
                emit progress(std::clamp(seconds / m_length, 0.0, 1.0));
        }
    }
}

void ZLXClipExport::ended(int exitCode, QProcess::ExitStatus status) {
    readProgress();
    m_child.release();
    const std::string partial = QFile::encodeName(m_partial).toStdString();
    // an export that ends without a picture has failed, whatever ffmpeg's status
    const bool done = status == QProcess::NormalExit && exitCode == 0 && QFileInfo(m_partial).size() > 0 &&
                      movieFacts(partial.c_str()).hasVideo;
    if (!done && !m_cancelled && !m_retriedWithoutSound && m_options.audio && m_errors.contains("matches no streams")) {
        // a recording without a sound track: the clip is made without sound
        m_retriedWithoutSound = true;
        m_options.audio = false;
        m_errors.clear();
        QFile::remove(m_partial);
        launch();
        return;
    }
    QString failure;
    if (done) {
        // the target is looked at again: it may have come into being meanwhile
        const std::string output = QFile::encodeName(m_output).toStdString();
        if (const auto why = outputRefusal(output, m_sources, m_options.replace))
            failure = QString::fromStdString(*why);
        else if (!renameInto(partial, output, m_options.replace))
            failure = QStringLiteral("%1 could not be written: %2").arg(m_output, QString::fromLocal8Bit(std::strerror(errno)));
        else
            m_ok = true;
    } else if (!m_cancelled) {
        failure = status == QProcess::NormalExit && exitCode == 0
                      ? QStringLiteral("ffmpeg wrote no picture.")
                      : QString::fromUtf8(m_errors.trimmed().right(400));
    }
    if (!m_ok)
        QFile::remove(m_partial);
    tidyUp();
    if (m_cancelled)
        emit finished(false, QString());
    else
        emit finished(m_ok, failure);
}

} // namespace daxo
