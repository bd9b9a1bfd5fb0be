// SPDX-License-Identifier: GPL-3.0-or-later
// One clip export under way: the ffmpeg program in the background, its progress, cancelling.
// The clip is written beside its target under a passing name and takes the target's name only
// once complete, so a failed or cancelled export leaves nothing behind.
#pragma once

#include "library/ZLXCleanup.h"
#include "redaction/ZLXRedaction.h"
#include "telemetry/ZLXClip.h"
#include "library/ZLXFileIO.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <memory>
#include <thread>

class QTemporaryDir;

namespace daxo {

class ZLXClipExport : public QObject {
    Q_OBJECT
public:
    explicit ZLXClipExport(QObject* parent = nullptr);
    ~ZLXClipExport() override; // cancels an export under way

    // The stretch `from`..`to` of the drive's time line (kept within what its recordings hold)
    // into `output`. False, with `error` set, when it cannot start: nothing to cut, a target
    // that is one of the recordings or exists without `options.replace`, no ffmpeg, a folder
    // that cannot be written. The files are read by descriptor, so their names reach ffmpeg
    // as the file system holds them. A cancel, a failure, the object's end or a signal that
    // stops the program leave no partial file, no temporary folder and no ffmpeg behind.
    // With `redaction` (the boxes followed through the clip, see followBoxes), every box is
    // blurred or pixelated (options.redaction) in every frame; it is refused for the
    // original-quality copy.
    bool start(const ZLXDrive& drive, double from, double to, const ZLXClipOptions& options, const QString& output,
               QString* error = nullptr, const ZLXRedactionPaths* redaction = nullptr);
    void cancel();
    // The encoder clips are written with on this computer: found once (ffmpeg's list, the
    // devices, a short test of a hardware one), then kept; the choice is logged.
    static const ZLXVideoEncoder& videoEncoder();
    bool isRunning() const { return m_ffmpeg.state() != QProcess::NotRunning; }
    // Waits for the end (the command line); true when the clip was written.
    bool waitForFinished(int milliseconds = -1);

signals:
    void progress(double fraction);
    // `ok`: the clip is complete at its name. A cancelled export ends with `ok` false and no
    // message.
    void finished(bool ok, const QString& message);

private:
    void readProgress();
    void ended(int exitCode, QProcess::ExitStatus status);
    void launch();
    void tidyUp();
    void feedOverlay();
    bool openMaskPipe();
    void closeMaskPipe();

    QProcess m_ffmpeg;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_output, m_partial;
    double m_length = 0;
    bool m_cancelled = false;
    bool m_ok = false;
    bool m_retriedWithoutSound = false;
    std::vector<ZLXClipSegment> m_segments;
    ZLXClipOptions m_options;
    QString m_captions, m_list;
    QByteArray m_errors;
    std::vector<std::string> m_sources;      // what the clip is made of, never replaced
    std::vector<ZLXClipSegment> m_inputs;    // the same, as the descriptors ffmpeg reads
    ZLXInheritedFiles m_files;
    std::vector<ZLXCleanupEntry> m_leftovers; // removed if a signal stops the program
    ZLXCleanupEntry m_child;
    std::unique_ptr<ZLXDrive> m_drive;               // with an overlay: what it is drawn from
    std::unique_ptr<ZLXOverlayTimeline> m_timeline;
    int64_t m_overlayNext = 0;                       // the next picture to write
    // with boxes to hide: where they are, where each piece's channels lie in the picture, and
    // the socket ffmpeg reads their masks from, written by a thread of its own (the command
    // line waits for the export without an event loop)
    std::shared_ptr<const ZLXRedactionPaths> m_redaction;
    struct Placement {
        double start = 0; // on the clip's line
        std::optional<ZLXChannelPlacement> front, rear;
    };
    std::vector<Placement> m_placements;
    int m_maskFd = -1;
    std::string m_maskInput;
    std::thread m_maskWriter;
};

} // namespace daxo
