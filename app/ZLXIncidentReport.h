// SPDX-License-Identifier: GPL-3.0-or-later
// The incident report: one PDF of a moment of a drive, with the front and rear pictures, the
// route and the G-sensor and speed over the minute around it, the card's settings that matter,
// and the SHA-256 of every source file, so that a copy can be checked against the card.
#pragma once

#include "ZLXTrip.h"

#include <QString>
#include <optional>

namespace daxo {

struct ZLXReportResult {
    bool ok = false;
    QString error;   // when not ok
    QString sha256;  // of the written report, in hex
};

// The report of `moment` (seconds of the drive's line) into `pdfPath`, written whole or not at
// all. `configPath` is the card's settings file (left out when it cannot be read). The pictures
// are taken with the ffmpeg program.
ZLXReportResult writeIncidentReport(const ZLXDrive& drive, double moment, const QString& pdfPath,
                                    const QString& configPath);

// The SHA-256 of a file in hex; empty when it cannot be read.
QString fileSha256(const QString& path);

} // namespace daxo
