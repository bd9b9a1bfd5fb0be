// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/export/ZLXIncidentReport.h"
#include "telemetry/ZLXClockCheck.h"

#include "library/ZLXCleanup.h"
#include "config/filedata/ZLXFileData.h"
#include "telemetry/ZLXGraphGeometry.h"
#include "library/ZLXFileIO.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include "redaction/ZLXBoxTracker.h"
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace daxo {

namespace {

constexpr double kAround = 30.0; // seconds before and after the moment

// The picture of a file at a time, from ffmpeg; a null image when there is none. The file goes
// to ffmpeg by descriptor, so its name may be any bytes of any length.
QImage frameAt(const std::string& path, double seconds) {
    if (path.empty())
        return {};
    ZLXInheritedFiles files;
    const auto input = files.add(path);
    if (!input)
        return {};
    QProcess ffmpeg;
    ffmpeg.setChildProcessModifier(dieWithParent);
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                            QStringLiteral("-ss"), QString::number(std::max(0.0, seconds), 'f', 3),
                                            QStringLiteral("-i"), QString::fromStdString(*input),
                                            QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"),
                                            QStringLiteral("image2pipe"), QStringLiteral("-vcodec"), QStringLiteral("png"),
                                            QStringLiteral("-")});
    const ZLXCleanupEntry child = ZLXCleanupEntry::child(pid_t(ffmpeg.processId()));
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
        ffmpeg.kill();
        ffmpeg.waitForFinished(5000);
        return {};
    }
    return QImage::fromData(ffmpeg.readAllStandardOutput(), "PNG");
}

struct Sample {
    double time; // from the moment
    const ZLXTrackPoint* point;
};

// The points of the drive within kAround of the moment.
std::vector<Sample> samplesAround(const ZLXDrive& drive, double moment) {
    std::vector<Sample> samples;
    for (const ZLXRoutePoint& p : drive.route.points()) {
        if (std::fabs(p.time - moment) <= kAround)
            samples.push_back({p.time - moment, p.point});
    }
    return samples;
}

const ZLXTrackPoint* fixNearest(const std::vector<Sample>& samples) {
    const ZLXTrackPoint* best = nullptr;
    double distance = 10;
    for (const Sample& s : samples) {
        if (s.point->hasFix && std::fabs(s.time) < distance)
            best = s.point, distance = std::fabs(s.time);
    }
    return best;
}

// A plot of values over the minute, the moment as a red line at its middle.
void drawPlot(QPainter& p, const QRectF& box, const QString& title, const std::vector<Sample>& samples,
              const std::vector<std::pair<QColor, std::function<std::optional<double>(const ZLXTrackPoint&)>>>& series,
              double low, double high, const QString& unit) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawText(box.topLeft() + QPointF(0, -4), title);
    p.drawRect(box);
    auto x = [&](double t) { return box.left() + (t + kAround) / (2 * kAround) * box.width(); };
    auto y = [&](double v) { return box.bottom() - (std::clamp(v, low, high) - low) / (high - low) * box.height(); };
    p.setPen(QPen(QColor(200, 200, 200), 0.5));
    for (int i = 1; i < 4; ++i)
        p.drawLine(QPointF(box.left(), box.top() + box.height() * i / 4), QPointF(box.right(), box.top() + box.height() * i / 4));
    p.setPen(Qt::black);
    // both axes say their units: the values' at each end, the time from the moment below
    p.drawText(QPointF(box.right() + 4, box.top() + 8), QString::number(high) + QLatin1Char(' ') + unit);
    if (low < 0 && high > 0)
        p.drawText(QPointF(box.right() + 4, y(0) + 4), QStringLiteral("0 ") + unit);
    p.drawText(QPointF(box.right() + 4, box.bottom()), QString::number(low) + QLatin1Char(' ') + unit);
    p.drawText(QPointF(box.left(), box.bottom() + 12), QStringLiteral("-30 s"));
    p.drawText(QRectF(box.left(), box.bottom() + 2, box.width(), 14), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("seconds from the moment"));
    p.drawText(QPointF(box.right() - 30, box.bottom() + 12), QStringLiteral("+30 s"));
    for (const auto& [colour, value] : series) {
        QPainterPath path;
        bool started = false;
        for (const Sample& s : samples) {
            const auto v = value(*s.point);
            if (!v)
                continue;
            const QPointF at(x(s.time), y(*v));
            started ? path.lineTo(at) : path.moveTo(at);
            started = true;
        }
        p.setPen(QPen(colour, 1.2));
        p.drawPath(path);
    }
    p.setPen(QPen(QColor(200, 0, 30), 1.5));
    p.drawLine(QPointF(x(0), box.top()), QPointF(x(0), box.bottom()));
}

// The route of the minute on a plain ground, north up, with a scale.
void drawRoute(QPainter& p, const QRectF& box, const std::vector<Sample>& samples) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(236, 239, 242));
    p.drawRect(box);
    p.drawText(box.topLeft() + QPointF(0, -4), QObject::tr("Route, 30 s before and after"));
    std::vector<const Sample*> fixes;
    for (const Sample& s : samples) {
        if (s.point->hasFix)
            fixes.push_back(&s);
    }
    if (fixes.empty()) {
        p.drawText(box, Qt::AlignCenter, QObject::tr("No GPS position in this minute"));
        return;
    }
    double minLat = 90, maxLat = -90, minLon = 180, maxLon = -180;
    for (const Sample* s : fixes) {
        minLat = std::min(minLat, s->point->latitude), maxLat = std::max(maxLat, s->point->latitude);
        minLon = std::min(minLon, s->point->longitude), maxLon = std::max(maxLon, s->point->longitude);
    }
    const double midLat = (minLat + maxLat) / 2;
    const double metresPerLat = 111195.0, metresPerLon = 111195.0 * std::cos(midLat * M_PI / 180);
    const double spanMetres = std::max({(maxLat - minLat) * metresPerLat, (maxLon - minLon) * metresPerLon, 50.0});
    const double scale = std::min(box.width(), box.height()) * 0.8 / spanMetres; // points per metre
    const QPointF centre = box.center();
    auto at = [&](const ZLXTrackPoint& q) {
        return QPointF(centre.x() + (q.longitude - (minLon + maxLon) / 2) * metresPerLon * scale,
                       centre.y() - (q.latitude - midLat) * metresPerLat * scale);
    };
    QPainterPath path(at(*fixes.front()->point));
    const Sample* moment = fixes.front();
    for (const Sample* s : fixes) {
        path.lineTo(at(*s->point));
        if (std::fabs(s->time) < std::fabs(moment->time))
            moment = s;
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(46, 110, 190), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(QColor(200, 0, 30));
    p.drawEllipse(at(*moment->point), 5, 5);
    // a scale bar of a round length
    double metres = 10;
    for (const double m : {10.0, 20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0})
        if (m * scale < box.width() / 3)
            metres = m;
    const QPointF s0 = box.bottomLeft() + QPointF(10, -10);
    p.setPen(QPen(Qt::black, 1.5));
    p.drawLine(s0, s0 + QPointF(metres * scale, 0));
    p.drawText(s0 + QPointF(0, -4), metres >= 1000 ? QStringLiteral("%1 km").arg(metres / 1000) : QStringLiteral("%1 m").arg(metres));
}

} // namespace

std::optional<ZLXFileHash> fileSha256(const std::string& path) {
    const int fd = openRegularFile(path);
    if (fd < 0)
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> buffer(1 << 20);
    uint64_t size = 0;
    for (;;) {
        const size_t got = readFullyAt(fd, size, buffer.data(), buffer.size());
        hash.addData(QByteArrayView(buffer.data(), qsizetype(got)));
        size += got;
        if (got < buffer.size())
            break;
    }
    struct stat st {};
    const bool whole = ::fstat(fd, &st) == 0 && uint64_t(st.st_size) == size;
    ::close(fd);
    if (!whole)
        return std::nullopt; // a read error, or a file that changed while it was read
    return ZLXFileHash{QString::fromLatin1(hash.result().toHex()), size};
}

void redactImage(QImage& picture, const std::vector<ZLXBoxRect>& boxes, ZLXRedactionStyle style) {
    picture = picture.convertToFormat(QImage::Format_BGR888);
    cv::Mat mat(picture.height(), picture.width(), CV_8UC3, picture.bits(), size_t(picture.bytesPerLine()));
    redactPicture(mat, boxes, style);
}

ZLXReportResult writeIncidentReport(const ZLXDrive& drive, double moment, const QString& pdfPath, const std::string& configPath,
                                    bool replace, const ZLXReportRedaction* redaction) {
    ZLXReportResult result;
    if (drive.trip.groups.empty()) {
        result.error = QStringLiteral("There is no recording at that moment.");
        return result;
    }
    const double length = drive.trip.duration();
    if (!std::isfinite(moment) || moment < 0 || moment > length) {
        result.error = QStringLiteral("The moment %1 s lies outside the recordings, which hold %2 s.")
                           .arg(moment, 0, 'f', 1).arg(length, 0, 'f', 1);
        return result;
    }
    const ZLXTrip::Place place = drive.trip.placeAt(moment);
    const ZLXTripGroup& group = drive.trip.groups[place.group];
    const std::vector<Sample> samples = samplesAround(drive, moment);
    const ZLXTrackPoint* fix = fixNearest(samples);

    // The files the report lists, hashed before anything is written: one that cannot be read
    // is an error, never an empty line.
    struct Source {
        std::string path;
        ZLXFileHash hash;
    };
    std::vector<Source> sources;
    std::vector<std::string> reads{configPath};
    for (size_t i = 0; i < drive.trip.groups.size(); ++i) {
        const ZLXTripGroup& g = drive.trip.groups[i];
        const double start = drive.trip.startOf(i);
        const bool near = !(start > moment + kAround || start + g.duration < moment - kAround);
        for (const std::string& path : {g.frontPath, g.rearPath}) {
            if (path.empty())
                continue;
            reads.push_back(path);
            if (!near)
                continue;
            const auto hash = fileSha256(path);
            if (!hash) {
                result.error = QStringLiteral("%1 cannot be read: %2")
                                   .arg(QFile::decodeName(QByteArray::fromStdString(path)),
                                        QString::fromLocal8Bit(std::strerror(errno ? errno : EIO)));
                return result;
            }
            sources.push_back({path, *hash});
        }
    }
    const std::string target = QFile::encodeName(QFileInfo(pdfPath).absoluteFilePath()).toStdString();
    if (const auto why = outputRefusal(target, reads, replace)) {
        result.error = QString::fromStdString(*why);
        return result;
    }
    // written beside the target under a passing name, which a signal that stops the program
    // removes, and renamed only once complete
    const size_t slash = target.rfind('/');
    std::string temp = target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        result.error = QStringLiteral("%1 cannot be written: %2").arg(pdfPath, QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    ::fchmod(fd, 0644);
    const ZLXCleanupEntry leftover = ZLXCleanupEntry::file(temp);
    QFile file;
    auto abandon = [&](const QString& why) {
        file.close();
        ::unlink(temp.c_str());
        result.error = why;
        return result;
    };
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return abandon(QStringLiteral("%1 cannot be written.").arg(pdfPath));
    {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setResolution(72); // one unit a point
        pdf.setTitle(QStringLiteral("Incident report"));
        pdf.setCreator(QStringLiteral("DAXO Viewer"));
        QPainter p(&pdf);
        const double W = pdf.width();
        QFont body(QStringLiteral("DejaVu Sans"), 9), heading(QStringLiteral("DejaVu Sans"), 16, QFont::Bold);
        double y = 40;
        auto line = [&](const QString& text, double dy = 14) {
            p.drawText(QPointF(40, y), text);
            y += dy;
        };

        // page 1: the moment, its pictures and its facts
        p.setFont(heading);
        line(QStringLiteral("Incident report"), 26);
        p.setFont(body);
        const QString when = group.start ? QString::fromStdString(civilDateTimeText(*group.start + int64_t(std::floor(place.seconds))))
                                         : QStringLiteral("unknown (the recording's name carries no date)");
        line(QStringLiteral("Date and time: %1 (camera clock)").arg(when));
        // the satellites' time of the moment, and how far the camera's clock is from it
        if (const auto gps = fix ? civilSeconds(fix->utc.wYear, fix->utc.wMonth, fix->utc.wDay, fix->utc.wHour,
                                                fix->utc.wMinute, fix->utc.wSecond)
                                 : std::nullopt) {
            QString offset = QStringLiteral("the card's time zone is not known");
            const auto zone = cardClockZone(configPath);
            if (zone && zoneOffsetSeconds(zone->zoneIndex) && group.start) {
                const int64_t error = *group.start + int64_t(std::floor(place.seconds)) - cardLocalSeconds(*gps, *zone);
                offset = QStringLiteral("camera clock %1%2 s against it in the card's time zone %3")
                             .arg(error > 0 ? "+" : "").arg(error)
                             .arg(QString::fromStdString(zoneText(int(cardLocalSeconds(0, *zone)))));
            }
            line(QStringLiteral("GPS time: %1 UTC; %2").arg(QString::fromStdString(civilDateTimeText(*gps)), offset));
        }
        line(QStringLiteral("Recording: %1 at %2 s")
                 .arg(QFile::decodeName(QByteArray::fromStdString(group.media->fileName())))
                 .arg(place.seconds, 0, 'f', 1));
        if (fix) {
            line(QStringLiteral("Position: %1, %2").arg(fix->latitude, 0, 'f', 6).arg(fix->longitude, 0, 'f', 6));
            line(QStringLiteral("Speed: %1 km/h   Course: %2°   HDOP: %3   Satellites: %4")
                     .arg(std::lround(fix->speedKmh)).arg(std::lround(fix->course)).arg(fix->hdop, 0, 'f', 1).arg(fix->satellites));
        } else {
            line(QStringLiteral("Position: no GPS fix at this moment"));
        }
        if (redaction) {
            const size_t boxes = redaction->front.size() + redaction->rear.size();
            line(QStringLiteral("Pictures: redacted, %1 %2 %3 as asked; the SHA-256 listed are those of the "
                                "unredacted source files.")
                     .arg(boxes)
                     .arg(boxes == 1 ? QStringLiteral("area") : QStringLiteral("areas"))
                     .arg(redaction->style == ZLXRedactionStyle::Pixelate ? QStringLiteral("pixelated")
                                                                          : QStringLiteral("blurred")));
        }
        y += 10;
        const double pictureWidth = (W - 80 - 20) / 2;
        double pictureBottom = y;
        const std::pair<QString, std::string> channels[] = {{QStringLiteral("Front"), group.frontPath},
                                                            {QStringLiteral("Rear"), group.rearPath}};
        for (int i = 0; i < 2; ++i) {
            const double x = 40 + i * (pictureWidth + 20);
            p.drawText(QPointF(x, y), channels[i].first);
            QImage picture = frameAt(channels[i].second, place.seconds);
            if (redaction && !picture.isNull())
                redactImage(picture, i == 0 ? redaction->front : redaction->rear, redaction->style);
            const QRectF box(x, y + 6, pictureWidth, pictureWidth * 9 / 16);
            if (picture.isNull()) {
                p.drawRect(box);
                p.drawText(box, Qt::AlignCenter, QStringLiteral("no picture"));
            } else {
                const QSizeF size = QSizeF(picture.size()).scaled(box.size(), Qt::KeepAspectRatio);
                p.drawImage(QRectF(box.topLeft(), size), picture);
            }
            pictureBottom = std::max(pictureBottom, box.bottom());
        }
        y = pictureBottom + 40;
        drawRoute(p, QRectF(40, y, W - 80, 300), samples);

        // page 2: the minute around it
        pdf.newPage();
        y = 40;
        p.setFont(heading);
        line(QStringLiteral("The minute around the moment"), 30);
        p.setFont(body);
        // the axis as wide as the minute's largest value, so that a hard blow is shown whole
        std::vector<ZLXGSensor> minute;
        for (const Sample& s : samples)
            minute.push_back(s.point->g);
        const double limit = gAxisLimit(minute);
        drawPlot(p, QRectF(40, y, W - 120, 180), QStringLiteral("G-sensor (g): X red, Y green, Z blue"), samples,
                 {{QColor(210, 30, 30), [](const ZLXTrackPoint& q) { return std::optional<double>(q.g.x); }},
                  {QColor(30, 150, 60), [](const ZLXTrackPoint& q) { return std::optional<double>(q.g.y); }},
                  {QColor(30, 60, 210), [](const ZLXTrackPoint& q) { return std::optional<double>(q.g.z); }}},
                 -limit, limit, QStringLiteral("g"));
        y += 230;
        double top = 0;
        for (const Sample& s : samples)
            top = std::max(top, s.point->hasFix ? s.point->speedKmh : 0);
        drawPlot(p, QRectF(40, y, W - 120, 180), QStringLiteral("Speed (km/h)"), samples,
                 {{QColor(46, 110, 190), [](const ZLXTrackPoint& q) { return q.hasFix ? std::optional<double>(q.speedKmh) : std::nullopt; }}},
                 0, std::max(20.0, std::ceil(top / 20) * 20), QStringLiteral("km/h"));
        y += 230;
        p.setPen(Qt::black);
        for (const ZLXDrive::Impact& impact : drive.impacts) {
            if (std::fabs(impact.time - moment) <= kAround)
                line(QStringLiteral("%1 of %2 g, %3 s from the moment")
                         .arg(impact.impact.eventRecording ? QStringLiteral("Event") : QStringLiteral("Impact"))
                         .arg(double(impact.impact.g), 0, 'f', 1)
                         .arg(impact.time - moment, 0, 'f', 1));
        }

        // page 3: the settings and the files
        pdf.newPage();
        y = 40;
        p.setFont(heading);
        line(QStringLiteral("Camera settings"), 26);
        p.setFont(body);
        _FILEDATA record{};
        if (LoadFileData(configPath, &record) && record.checksum == fileDataChecksum(record)) {
            line(QStringLiteral("Impact detection: %1").arg(record.g_sensor_enable ? QStringLiteral("on") : QStringLiteral("off")));
            line(QStringLiteral("Driving impact thresholds: X %1 g, Y %2 g, Z %3 g")
                     .arg(record.gsen_x_threshold / 100.0, 0, 'f', 2).arg(record.gsen_y_threshold / 100.0, 0, 'f', 2)
                     .arg(record.gsen_z_threshold / 100.0, 0, 'f', 2));
            line(QStringLiteral("Parking impact thresholds: X %1 g, Y %2 g, Z %3 g")
                     .arg(record.parkmode_x_threshold / 100.0, 0, 'f', 2).arg(record.parkmode_y_threshold / 100.0, 0, 'f', 2)
                     .arg(record.parkmode_z_threshold / 100.0, 0, 'f', 2));
            line(QStringLiteral("Speed unit: %1").arg(record.speed_disp_unit == 1 ? QStringLiteral("mi/h") : QStringLiteral("km/h")));
            QString zone = QStringLiteral("not set");
            if (record.time_gmt >= 0 && size_t(record.time_gmt) < kTimeZoneTable.size()) {
                const int z = kTimeZoneTable[size_t(record.time_gmt)];
                zone = QStringLiteral("UTC%1%2:%3").arg(z < 0 ? '-' : '+').arg(std::abs(z) / 100, 2, 10, QLatin1Char('0'))
                           .arg(std::abs(z) % 100, 2, 10, QLatin1Char('0'));
            }
            line(QStringLiteral("Time zone: %1%2").arg(zone, record.summer_time ? QStringLiteral(", summer time") : QString()));
        } else {
            line(QStringLiteral("No settings file was found with the recordings."));
        }
        y += 16;
        p.setFont(heading);
        line(QStringLiteral("Source files"), 26);
        p.setFont(body);
        QFont mono(QStringLiteral("DejaVu Sans Mono"), 7);
        for (const Source& source : sources) {
            const QString name = QFile::decodeName(QByteArray::fromStdString(source.path));
            p.setFont(body);
            line(QStringLiteral("%1   %2 bytes").arg(QFileInfo(name).fileName()).arg(source.hash.size), 11);
            p.setFont(mono);
            line(QStringLiteral("SHA-256 %1").arg(source.hash.sha256), 16);
        }
        p.setFont(body);
        y += 10;
        line(QStringLiteral("Made with DAXO Viewer on %1.").arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)));
        if (!p.end())
            return abandon(QStringLiteral("%1 cannot be written.").arg(pdfPath));
    }
    if (!file.flush() || ::fsync(file.handle()) != 0 || file.error() != QFileDevice::NoError)
        return abandon(QStringLiteral("%1 cannot be written: %2").arg(pdfPath, file.errorString()));
    file.close();
    const auto written = fileSha256(temp);
    if (!written)
        return abandon(QStringLiteral("%1 cannot be read back.").arg(pdfPath));
    // the target is looked at again: it may have come into being meanwhile
    if (const auto why = outputRefusal(target, reads, replace))
        return abandon(QString::fromStdString(*why));
    if (!renameInto(temp, target, replace))
        return abandon(QStringLiteral("%1 cannot be written: %2").arg(pdfPath, QString::fromLocal8Bit(std::strerror(errno))));
    result.sha256 = written->sha256;
    result.ok = true;
    return result;
}

} // namespace daxo
