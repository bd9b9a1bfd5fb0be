// SPDX-License-Identifier: GPL-3.0-or-later
// The incident report: one PDF of a moment of a drive, with the front and rear pictures, the
// route and the G-sensor and speed over the minute around it, the card's settings that matter,
// and the SHA-256 of every source file, so that a copy can be checked against the card.
#pragma once

#include "redaction/ZLXRedaction.h"
#include "telemetry/ZLXTrip.h"

#include <QImage>
#include <QString>
#include <optional>

namespace daxo {

struct ZLXReportResult {
    bool ok = false;
    QString error;   // when not ok
    QString sha256;  // of the written report, in hex
};

// The report of `moment` (seconds of the drive's line) into `pdfPath`, written whole or not at
// all: refused for a moment outside the drive, a target that is one of the files it reads or
// that exists without `replace`, and a source file that cannot be read (a report never lists
// a file it could not hash). `configPath` is the card's settings file (its path's bytes) (left out when it cannot
// be read). The pictures are taken with the ffmpeg program.
// With `redaction`, the boxes of each channel at the moment (in the recording's pixels) are
// hidden in its picture, and the first page says so; the hashes stay those of the source files.
struct ZLXReportRedaction {
    std::vector<ZLXBoxRect> front, rear;
    ZLXRedactionStyle style = ZLXRedactionStyle::Blur;
};
// A picture with boxes (in its own pixels) hidden as the clip hides them.
void redactImage(QImage& picture, const std::vector<ZLXBoxRect>& boxes, ZLXRedactionStyle style);

ZLXReportResult writeIncidentReport(const ZLXDrive& drive, double moment, const QString& pdfPath,
                                    const std::string& configPath, bool replace = false,
                                    const ZLXReportRedaction* redaction = nullptr);

// The SHA-256 of a file (its path as the file system's bytes, of any length) in hex, and its
// size; none when it cannot be read to its end.
struct ZLXFileHash {
    QString sha256;
    uint64_t size = 0;
};
std::optional<ZLXFileHash> fileSha256(const std::string& path);

} // namespace daxo
