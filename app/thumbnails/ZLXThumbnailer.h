// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbnails made in the background by the ffmpeg program, one at a time and at the lowest
// processor priority, from key frames only; kept in memory and on disk by the file's identity.
// The picture under the pointer goes before any other; the rest wait while the program is
// told to hold back (a large recording plays), and go on when it is not.
#pragma once

#include "library/ZLXCleanup.h"
#include "library/ZLXThumbnailKey.h"

#include <QCache>
#include <QImage>
#include <QObject>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QTimer>
#include <deque>
#include <optional>

namespace daxo {

class ZLXThumbnailer : public QObject {
    Q_OBJECT
public:
    // Pictures are kept in `folder` (made when missing); empty: in memory only.
    explicit ZLXThumbnailer(QString folder = QString::fromStdString(defaultThumbnailFolder()),
                            QObject* parent = nullptr);
    ~ZLXThumbnailer() override; // stops the program making one

    enum class Urgency { Now, Later };
    // The picture of `path` at `seconds` when it is made already; otherwise a null image, and
    // `ready` follows once it is made. `Now` replaces the earlier `Now` request not yet begun
    // (the pointer moved on); `Later` requests wait their turn.
    QImage thumbnail(const QString& path, double seconds, Urgency urgency = Urgency::Later);
    // Drops the `Later` requests not yet begun (what they were for is no longer shown).
    void forgetLater() { m_later.clear(); }
    // Whether the work asked for `Later` waits (the one being made is finished).
    void setHeldBack(bool held);
    bool isHeldBack() const { return m_heldBack; }
    bool isBusy() const { return m_process.state() != QProcess::NotRunning; }
    // How many pictures were decoded by ffmpeg, for the tests and the benchmarks.
    int decodes() const { return m_decodes; }
    // The picture shown for a file that cannot be decoded: grey with a cross.
    static QImage unreadable();

signals:
    void ready(const QString& path, double seconds, const QImage& image);

private:
    struct Job {
        ZLXThumbnailKey key;
        QString path;
        double seconds = 0;
    };
    void startNext();
    void finished();
    QString cachePath(const ZLXThumbnailKey& key) const;

    QString m_folder;
    QCache<QString, QImage> m_memory;
    QSet<QString> m_notOnDisk; // looked for on disk and missing, not made since
    std::optional<Job> m_now;
    std::deque<Job> m_later;
    std::optional<Job> m_running;
    QProcess m_process;
    QTimer m_watchdog;
    ZLXCleanupEntry m_child;
    bool m_heldBack = false;
    int m_decodes = 0;
};

} // namespace daxo
