// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-make-demo-card DIR
// Makes a small card that shows every feature of the viewer: a morning drive through Seoul in
// three continuous groups and an event group with a hard stop, a rear-only motion recording
// from the car park, and one file whose name the camera would never write. Videos come from
// ffmpeg's test sources; the telemetry is a plausible drive with RMC, GGA and GSA sentences.
#include "config/filedata/ZLXFileData.h"
#include "card/ZLXTimeSetupFile.h"
#include "tools/ZLXCardMaker.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using daxo::tools::TelemetryRecord;
namespace fs = std::filesystem;

constexpr int kSeconds = 20;
constexpr int kRecordsPerSecond = 5;
constexpr const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

bool run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "daxo-make-demo-card: cannot run %s\n", argv[0]);
        return false;
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A clip of ffmpeg's test picture with the channel's name and the running time on it.
bool makeClip(const std::string& out, const std::string& label, int seconds, int tone) {
    const std::string picture = "testsrc2=size=640x360:rate=25:duration=" + std::to_string(seconds) +
                                (fs::exists(kFont) ? std::string(",drawtext=fontfile=") + kFont : ",drawtext") +
                                ":text='" + label + " %{pts\\:hms}':fontsize=36:fontcolor=white"
                                ":box=1:boxcolor=black@0.55:boxborderw=8:x=(w-tw)/2:y=h-th-24";
    return run({"ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i", picture,
                "-f", "lavfi", "-i",
                "sine=frequency=" + std::to_string(tone) + ":duration=" + std::to_string(seconds),
                "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac",
                "-b:a", "64k", "-shortest", "-brand", "avc1", out});
}

// The drive: a path through central Seoul and a speed for every second.
struct Drive {
    struct Point {
        double lat, lon;
    };
    // City Hall, north up Sejong-daero, east along Jongno to Dongdaemun.
    std::vector<Point> path{{37.56630, 126.97790}, {37.56900, 126.97720}, {37.57160, 126.97690},
                            {37.57030, 126.98260}, {37.57040, 126.98800}, {37.57070, 126.99200},
                            {37.57100, 127.00200}, {37.57130, 127.00900}};
    double travelled = 0; // metres
    double speed = 0;     // km/h

    // km/h at second s of the whole drive: away from the lights, a cruise, a slow stretch,
    // faster again, and the hard stop of the event group.
    static double speedAt(double s) {
        if (s < 10)
            return s * 5;
        if (s < 25)
            return 50 + 20 * std::sin((s - 10) / 15 * M_PI);
        if (s < 35)
            return 50 - (s - 25) * 3;
        if (s < 50)
            return std::min(80.0, 20 + (s - 35) * 4);
        if (s < 60)
            return 80 - (s - 50);
        if (s < 68)
            return 70;
        if (s < 69)
            return 70 - (s - 68) * 70; // the stop
        return 0;
    }

    Point position() const {
        double left = travelled;
        for (size_t i = 0; i + 1 < path.size(); ++i) {
            const double dy = (path[i + 1].lat - path[i].lat) * 111320;
            const double dx = (path[i + 1].lon - path[i].lon) * 111320 * std::cos(path[i].lat * M_PI / 180);
            const double length = std::hypot(dx, dy);
            if (left <= length)
                return {path[i].lat + (path[i + 1].lat - path[i].lat) * left / length,
                        path[i].lon + (path[i + 1].lon - path[i].lon) * left / length};
            left -= length;
        }
        return path.back();
    }
    double course() const {
        const Point a = position();
        Drive ahead = *this;
        ahead.travelled += 5;
        const Point b = ahead.position();
        const double c = std::atan2((b.lon - a.lon) * std::cos(a.lat * M_PI / 180), b.lat - a.lat) * 180 / M_PI;
        return c < 0 ? c + 360 : c;
    }
};

std::vector<TelemetryRecord> telemetry(Drive& drive, double startSecond, long epoch, char unit, bool impact) {
    std::vector<TelemetryRecord> records;
    const double dt = 1.0 / kRecordsPerSecond;
    for (int i = 0; i < kSeconds * kRecordsPerSecond; ++i) {
        const double s = startSecond + i * dt;
        const double before = drive.speed;
        drive.speed = Drive::speedAt(s);
        drive.travelled += drive.speed / 3.6 * dt;
        const double accel = (drive.speed - before) / 3.6 / dt / 9.81; // in g

        TelemetryRecord r;
        const long now = epoch + long(i * dt);
        r.time = uint32_t(now);
        const double wobble = std::sin(i * 1.7) * 0.03 + std::sin(i * 0.31) * 0.02;
        double gx = -accel + wobble, gy = std::sin(s / 7) * 0.08 + wobble / 2, gz = 1.0 + wobble;
        if (impact && std::fabs(s - (startSecond + 8.4)) < 0.5) {
            const double k = 1 - std::fabs(s - (startSecond + 8.4)) * 2;
            gx += 2.3 * k;
            gy -= 1.4 * k;
            gz += 0.9 * k;
        }
        r.x = int32_t(std::lround(gx * 256));
        r.y = int32_t(std::lround(gy * 256));
        r.z = int32_t(std::lround(gz * 256));
        r.t = 0;
        r.unit = unit;

        const Drive::Point p = drive.position();
        const int second = int(now % 60), minute = int(now / 60 % 60), hour = int(now / 3600 % 24);
        char hms[16];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.%03d", hour, minute, second, (i % kRecordsPerSecond) * 200);
        const int sats = 7 + int(3 + 3 * std::sin(s / 13));
        char hdop[8];
        std::snprintf(hdop, sizeof hdop, "%.1f", 0.7 + 0.5 * (1 + std::sin(s / 9)));
        const std::string lat = daxo::tools::nmeaAngle(p.lat, 2) + ",N", lon = daxo::tools::nmeaAngle(p.lon, 3) + ",E";
        char speedCourse[32];
        std::snprintf(speedCourse, sizeof speedCourse, "%.1f,%.1f", drive.speed / 1.852, drive.course());
        const int slot = i % kRecordsPerSecond;
        if (slot == 0 || slot == 2) {
            r.text = daxo::tools::nmeaSentence("GNRMC," + std::string(hms) + ",A," + lat + "," + lon + "," +
                                  speedCourse + ",031024,,,A");
        } else if (slot == 1 || slot == 3) {
            r.text = daxo::tools::nmeaSentence("GNGGA," + std::string(hms) + "," + lat + "," + lon + ",1," +
                                  std::to_string(sats) + "," + hdop + ",38.0,M,18.2,M,,");
        } else {
            // GPS satellites, and every third second the GLONASS ones too: two short sentences
            std::string gps = "GNGSA,A,3";
            for (int k = 0; k < 12; ++k)
                gps += k < sats - 3 ? "," + std::to_string(2 + 3 * k) : ",";
            r.text = daxo::tools::nmeaSentence(gps + ",1.6," + hdop + ",1.2");
            if (int(s) % 3 == 0)
                r.text += daxo::tools::nmeaSentence("GNGSA,A,3,68,69,79,,,,,,,,,,1.6," + std::string(hdop) + ",1.2");
        }
        if (r.text.size() > 128) // never cut a sentence: drop the second one
            r.text = r.text.substr(0, r.text.find('\n') + 1);
        records.push_back(r);
    }
    return records;
}

bool writeRecording(const std::string& clip, const std::string& out,
                    std::optional<std::vector<TelemetryRecord>> records) {
    daxo::tools::WriterOptions options;
    options.telemetry = std::move(records);
    const auto result = daxo::tools::writeRecording(clip, out, options);
    if (!result.ok)
        std::fprintf(stderr, "daxo-make-demo-card: %s\n", result.error.c_str());
    return result.ok;
}

} // namespace

// The camera's drive-information log, DrvInfo/daxo_000.drv: a 12-byte header that counts the
// records, then one 44-byte record (little-endian) per logged moment of the drive.
bool writeDriveLog(const fs::path& file) {
    struct Entry {
        int second;   // into the drive, from 08:15:00
        uint8_t kind; // 1 A, 2 F, anything else V
        int16_t x, y, z;
    };
    const Entry entries[] = {{0, 0, 0, 0, 256},     {6, 1, 31, -12, 250},  {12, 0, 8, 4, 259},
                             {18, 2, -60, 20, 240}, {24, 0, 5, -3, 256},   {30, 1, -90, 35, 262},
                             {36, 0, 40, 10, 251},  {42, 2, 70, -44, 248}, {48, 0, 2, 1, 256},
                             {54, 1, 12, 60, 258},  {62, 0, -20, 8, 255},  {68, 2, -1180, 310, 402}};
    std::vector<uint8_t> bytes(12, 0);
    const auto put = [&](size_t at, uint32_t v, int size) {
        for (int i = 0; i < size; ++i)
            bytes[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put(0, uint32_t(std::size(entries)), 4);
    Drive drive;
    int second = 0;
    uint16_t seq = 1;
    for (const Entry& e : entries) {
        for (; second < e.second; ++second)
            drive.travelled += Drive::speedAt(second) / 3.6;
        const size_t at = bytes.size();
        bytes.resize(at + 44, 0);
        const Drive::Point p = drive.position();
        const auto ddmm = [](double degrees, uint32_t* whole, uint32_t* fraction) {
            const double minutes = (degrees - std::floor(degrees)) * 60;
            *whole = uint32_t(std::floor(degrees)) * 100 + uint32_t(std::floor(minutes));
            *fraction = uint32_t(std::lround((minutes - std::floor(minutes)) * 10000)) % 10000;
        };
        uint32_t latWhole, latFraction, lonWhole, lonFraction;
        ddmm(p.lat, &latWhole, &latFraction);
        ddmm(p.lon, &lonWhole, &lonFraction);
        const int clock = 15 * 60 + e.second;
        put(at + 0, seq++, 2);
        bytes[at + 2] = 4; // Thursday
        bytes[at + 3] = e.kind;
        bytes[at + 4] = 124; // 2024
        bytes[at + 5] = 10;
        bytes[at + 6] = 3;
        bytes[at + 7] = 8;
        bytes[at + 8] = uint8_t(clock / 60);
        bytes[at + 9] = uint8_t(clock % 60);
        put(at + 10, latWhole, 2);
        put(at + 12, latFraction, 2);
        put(at + 14, lonWhole, 2);
        put(at + 16, lonFraction, 2);
        put(at + 18, uint32_t(std::lround(Drive::speedAt(e.second))), 2);
        put(at + 20, uint32_t(std::lround(drive.travelled / 100)), 4); // tenths of a kilometre
        put(at + 28, 80, 2);
        put(at + 32, uint16_t(e.x), 2);
        put(at + 34, uint16_t(e.y), 2);
        put(at + 36, uint16_t(e.z), 2);
        put(at + 38, uint32_t(126 - e.second / 30), 2); // the battery under way
        put(at + 40, uint32_t(e.kind == 2 ? 18 : 0), 2);
        put(at + 42, uint32_t(e.kind == 2 ? 95 : 0), 2);
    }
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

int main(int argc, char** argv) {
    const bool help = argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h");
    if (argc != 2 || help) {
        std::fprintf(help ? stdout : stderr, "usage: daxo-make-demo-card DIR\n"
                                             "Makes a demo card in DIR: recordings with telemetry, a config.bin, a timeset.cfg and\n"
                                             "a drive-information log.\n");
        return help ? 0 : 2;
    }
    // Absolute, so that no path handed to ffmpeg can ever read as one of its options.
    const fs::path card = fs::absolute(argv[1]);
    std::error_code ec;
    fs::create_directories(card, ec);
    const fs::path work = card / ".making";
    fs::create_directories(work, ec);
    if (ec) {
        std::fprintf(stderr, "daxo-make-demo-card: cannot create %s\n", card.c_str());
        return 1;
    }
    const std::string front = (work / "front.mp4").string(), rear = (work / "rear.mp4").string();
    if (!makeClip(front, "FRONT", kSeconds, 440) || !makeClip(rear, "REAR", kSeconds, 660)) {
        std::fprintf(stderr, "daxo-make-demo-card: ffmpeg could not make the clips\n");
        return 1;
    }

    struct Group {
        const char* name;
        long epoch; // 2024-10-03 08:15:00 UTC and on
        char unit;
        bool impact;
    };
    const long start = 1727943300;
    const Group groups[] = {{"alwa_20241003_081500", start, '9', false},
                            {"alwa_20241003_081520", start + 20, 'M', false},
                            {"alwa_20241003_081540", start + 40, '9', false},
                            {"event_20241003_081600", start + 60, '9', true}};
    Drive drive;
    double second = 0;
    for (const Group& g : groups) {
        const std::string base = (card / g.name).string();
        if (!writeRecording(front, base + "_F.MP4", telemetry(drive, second, g.epoch, g.unit, g.impact)) ||
            !writeRecording(rear, base + "_R.MP4", std::nullopt))
            return 1;
        second += kSeconds;
    }
    // In the car park, only the rear camera saw the motion.
    if (!writeRecording(rear, (card / "motion_20241003_120210_R.MP4").string(), std::nullopt))
        return 1;
    // The camera's settings as a new camera has them, set to the zone its clock keeps (UTC).
    daxo::_FILEDATA settings{};
    daxo::InitFileData(&settings);
    settings.time_gmt = 14;
    daxo::FinalizeFileData(&settings);
    if (daxo::SaveFileData(&settings, (card / "config.bin").string())) {
        std::fprintf(stderr, "daxo-make-demo-card: cannot write config.bin\n");
        return 1;
    }
    // The clock file the camera read when it was last set, the morning of the drive.
    if (daxo::writeTimeSetupFile((card / "timeset.cfg").string(), {2024, 10, 3, 8, 0, 0})) {
        std::fprintf(stderr, "daxo-make-demo-card: cannot write timeset.cfg\n");
        return 1;
    }
    if (!writeDriveLog(card / "DrvInfo" / "daxo_000.drv")) {
        std::fprintf(stderr, "daxo-make-demo-card: cannot write the drive log\n");
        return 1;
    }
    // A name the camera never writes: the list leaves it out.
    fs::copy_file(front, card / "holiday clip.mp4", fs::copy_options::overwrite_existing, ec);
    fs::remove_all(work, ec);
    std::printf("demo card ready in %s\n", card.c_str());
    return ec ? 1 : 0;
}
