// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/thumbnails/ZLXThumbnailer.h"

#include "library/ZLXLog.h"

#include <QDir>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>
#include <sys/resource.h>

namespace daxo {

namespace {

constexpr int kMemoryBytes = 48 << 20;
constexpr int kHangMilliseconds = 15000; // a decode that takes longer is given up
constexpr uint64_t kDiskBytes = 256ull << 20; // the pictures used longest ago go beyond this

QString memoryKey(const ZLXThumbnailKey& key) {
    return QString::fromStdString(thumbnailFileName(key));
}

} // namespace

ZLXThumbnailer::ZLXThumbnailer(QString folder, QObject* parent) : QObject(parent), m_folder(std::move(folder)) {
    m_memory.setMaxCost(kMemoryBytes);
    if (!m_folder.isEmpty()) {
        QDir().mkpath(m_folder);
        // a year of drives leaves many pictures: the folder is kept in bounds, away from the window
        QThreadPool::globalInstance()->start(
            [folder = QFile::encodeName(m_folder).toStdString()] { pruneThumbnailFolder(folder, kDiskBytes); });
    }
    m_process.setProgram(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")));
    m_process.setChildProcessModifier([] {
        ::setpriority(PRIO_PROCESS, 0, 19); // never in playback's way
        dieWithParent();
    });
    connect(&m_process, &QProcess::finished, this, &ZLXThumbnailer::finished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finished();
    });
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] { m_process.kill(); });
}

ZLXThumbnailer::~ZLXThumbnailer() {
    m_later.clear();
    m_now.reset();
    disconnect(&m_process, nullptr, this, nullptr);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QImage ZLXThumbnailer::unreadable() {
    QImage image(kThumbnailWidth, kThumbnailWidth * 9 / 16, QImage::Format_RGB32);
    image.fill(QColor(0x80, 0x80, 0x80));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x50, 0x50, 0x50), 6));
    const QPoint c = image.rect().center();
    painter.drawLine(c + QPoint(-24, -24), c + QPoint(24, 24));
    painter.drawLine(c + QPoint(-24, 24), c + QPoint(24, -24));
    return image;
}

QString ZLXThumbnailer::cachePath(const ZLXThumbnailKey& key) const {
    return m_folder.isEmpty() ? QString() : m_folder + QLatin1Char('/') + memoryKey(key);
}

QImage ZLXThumbnailer::thumbnail(const QString& path, double seconds, Urgency urgency) {
    const std::optional<ZLXThumbnailKey> key = thumbnailKeyOf(path.toStdString(), seconds);
    if (!key)
        return unreadable();
    if (const QImage* kept = m_memory.object(memoryKey(*key)))
        return *kept;
    // the disk is looked at once for a picture not there: the strip asks again at every paint
    if (const QString file = cachePath(*key); !file.isEmpty() && !m_notOnDisk.contains(memoryKey(*key))) {
        QImage stored(file);
        if (stored.isNull())
            m_notOnDisk.insert(memoryKey(*key));
        if (!stored.isNull()) {
            touchThumbnail(QFile::encodeName(file).toStdString());
            m_memory.insert(memoryKey(*key), new QImage(stored), int(stored.sizeInBytes()));
            return stored;
        }
    }
    Job job{*key, path, seconds};
    auto same = [&](const Job& other) { return other.key == job.key; };
    if (m_running && same(*m_running))
        return QImage();
    if (urgency == Urgency::Now) {
        m_now = job;
    } else if (std::none_of(m_later.begin(), m_later.end(), same) && !(m_now && same(*m_now))) {
        m_later.push_back(job);
    }
    startNext();
    return QImage();
}

void ZLXThumbnailer::setHeldBack(bool held) {
    m_heldBack = held;
    if (!held)
        startNext();
}

void ZLXThumbnailer::startNext() {
    if (m_process.state() != QProcess::NotRunning || m_running)
        return;
    if (m_now) {
        m_running = std::move(m_now);
        m_now.reset();
    } else if (!m_heldBack && !m_later.empty()) {
        m_running = std::move(m_later.front());
        m_later.pop_front();
    } else {
        return;
    }
    QStringList arguments;
    for (const std::string& argument : thumbnailFfmpegArguments(m_running->key.path, m_running->seconds))
        arguments << QString::fromStdString(argument);
    m_process.setArguments(arguments);
    ++m_decodes;
    m_process.start(QIODevice::ReadOnly);
    if (m_process.processId() > 0)
        m_child = ZLXCleanupEntry::child(pid_t(m_process.processId()));
    m_watchdog.start(kHangMilliseconds);
}

void ZLXThumbnailer::finished() {
    m_watchdog.stop();
    m_child.release();
    if (!m_running)
        return;
    const Job job = std::move(*m_running);
    m_running.reset();
    QImage image;
    if (m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0) {
        const QByteArray jpeg = m_process.readAllStandardOutput();
        image.loadFromData(jpeg, "JPEG");
        if (const QString file = cachePath(job.key); !image.isNull() && !file.isEmpty()) {
            // written whole under a passing name, or not at all
            QSaveFile out(file);
            if (out.open(QIODevice::WriteOnly) && out.write(jpeg) == jpeg.size() && out.commit())
                m_notOnDisk.remove(memoryKey(job.key));
        }
    } else {
        m_process.readAllStandardOutput();
    }
    const QByteArray errors = m_process.readAllStandardError().trimmed();
    if (image.isNull()) {
        ZLXLog("no thumbnail of %s at %.1f s: %s", job.key.path.c_str(), job.seconds,
               errors.isEmpty() ? "ffmpeg gave no picture" : errors.constData());
        image = unreadable(); // kept in memory only: the next run tries again
    }
    m_memory.insert(memoryKey(job.key), new QImage(image), int(image.sizeInBytes()));
    emit ready(job.path, job.seconds, image);
    startNext();
}

} // namespace daxo
