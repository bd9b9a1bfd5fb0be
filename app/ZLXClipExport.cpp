// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXClipExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

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

} // namespace

ZLXClipExport::ZLXClipExport(QObject* parent) : QObject(parent) {
    m_ffmpeg.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&m_ffmpeg, &QProcess::readyReadStandardOutput, this, &ZLXClipExport::readProgress);
    connect(&m_ffmpeg, &QProcess::readyReadStandardError, this, [this] { m_errors += m_ffmpeg.readAllStandardError(); });
    connect(&m_ffmpeg, &QProcess::finished, this, &ZLXClipExport::ended);
}

ZLXClipExport::~ZLXClipExport() {
    if (isRunning()) {
        m_ffmpeg.disconnect(this);
        m_ffmpeg.kill();
        m_ffmpeg.waitForFinished(5000);
        QFile::remove(m_partial);
    }
}

bool ZLXClipExport::start(const ZLXDrive& drive, double from, double to, const ZLXClipOptions& options,
                          const QString& output, QString* error) {
    auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (isRunning())
        return fail(QStringLiteral("An export is already running."));
    m_segments = clipSegments(drive.trip, from, to);
    if (m_segments.empty())
        return fail(QStringLiteral("The marked stretch holds no recording."));
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        return fail(QStringLiteral("ffmpeg is not installed."));
    m_work = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/daxo-clip-XXXXXX"));
    if (!m_work->isValid())
        return fail(QStringLiteral("No temporary folder."));
    m_options = options;
    m_captions = m_work->filePath(QStringLiteral("captions.srt"));
    m_list = m_work->filePath(QStringLiteral("pieces.txt"));
    const bool kmh = drive.tracks.empty() || drive.tracks.front()->speedInKmh;
    if ((options.captions && !writeText(m_captions, clipCaptions(drive, from, to, kmh))) ||
        !writeText(m_list, clipConcatList(m_segments)))
        return fail(QStringLiteral("No temporary folder."));
    const QFileInfo target(output);
    m_output = target.absoluteFilePath();
    // a passing name beside the target, with its extension, so that ffmpeg writes the same kind
    m_partial = target.absolutePath() + QStringLiteral("/.") + target.completeBaseName() +
                QStringLiteral(".partial.") + (target.suffix().isEmpty() ? QStringLiteral("mp4") : target.suffix());
    if (!QFileInfo(target.absolutePath()).isWritable())
        return fail(QStringLiteral("%1 cannot be written.").arg(target.absolutePath()));
    m_length = 0;
    for (const ZLXClipSegment& s : m_segments)
        m_length += s.length();
    m_cancelled = m_ok = m_retriedWithoutSound = false;
    m_errors.clear();
    m_ffmpeg.start(ffmpeg, toStrings(clipFfmpegArguments(m_segments, m_options, QFile::encodeName(m_partial).toStdString(),
                                                         QFile::encodeName(m_captions).toStdString(),
                                                         QFile::encodeName(m_list).toStdString())));
    if (!m_ffmpeg.waitForStarted(10000))
        return fail(QStringLiteral("ffmpeg could not be started."));
    return true;
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
    const bool done = status == QProcess::NormalExit && exitCode == 0 && QFileInfo(m_partial).size() > 0;
    if (!done && !m_cancelled && !m_retriedWithoutSound && m_options.audio && m_errors.contains("matches no streams")) {
        // a recording without a sound track: the clip is made without sound
        m_retriedWithoutSound = true;
        m_options.audio = false;
        m_errors.clear();
        QFile::remove(m_partial);
        m_ffmpeg.start(m_ffmpeg.program(),
                       toStrings(clipFfmpegArguments(m_segments, m_options, QFile::encodeName(m_partial).toStdString(),
                                                     QFile::encodeName(m_captions).toStdString(),
                                                     QFile::encodeName(m_list).toStdString())));
        return;
    }
    if (done) {
        QFile::remove(m_output); // the save dialog asked before replacing it
        m_ok = QFile::rename(m_partial, m_output);
    }
    if (!m_ok)
        QFile::remove(m_partial);
    m_work.reset();
    if (m_cancelled)
        emit finished(false, QString());
    else if (m_ok)
        emit finished(true, QString());
    else
        emit finished(false, done ? QStringLiteral("%1 could not be written.").arg(m_output)
                                  : QString::fromUtf8(m_errors.trimmed().right(400)));
}

} // namespace daxo
