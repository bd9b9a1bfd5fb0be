// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-make-recording INPUT.mp4 OUTPUT.mp4 [--telemetry FILE] [options]
// Lays an ordinary MP4 out as the camera writes its recordings; see ZLXRecordingWriter.h.
#include "tools/ZLXRecordingWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void usage(FILE* to = stderr) {
    std::fprintf(to,
                 "usage: daxo-make-recording INPUT.mp4 OUTPUT.mp4 [--telemetry FILE]\n"
                 "         [--large BYTES] [--brand XXXX] [--moov-not-third]\n"
                 "         [--stco-count N] [--offset-beyond-end] [--truncate BYTES]\n"
                 "  --telemetry FILE  one record a line: TIME X Y Z T UNIT TEXT (C escapes)\n"
                 "  --large BYTES     grow mdat to BYTES and spread the records through it\n"
                 "  --offsets         print where each telemetry record was written, one a line\n"
                 "The rest make damaged files for tests.\n");
}

bool number(const char* text, unsigned long long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(text, &end, 10);
    return end && *end == '\0' && errno == 0 && text[0] != '-';
}

} // namespace

int main(int argc, char** argv) {
    using namespace daxo::tools;
    std::string input, output, telemetry;
    WriterOptions options;
    bool offsets = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        unsigned long long n = 0;
        if (arg == "--telemetry") {
            const char* v = value();
            if (!v)
                return usage(), 2;
            telemetry = v;
        } else if (arg == "--large") {
            const char* v = value();
            if (!v || !number(v, n))
                return usage(), 2;
            options.largeMdatBytes = n;
        } else if (arg == "--brand") {
            const char* v = value();
            if (!v)
                return usage(), 2;
            options.majorBrand = v;
        } else if (arg == "--moov-not-third") {
            options.moovNotThird = true;
        } else if (arg == "--stco-count") {
            const char* v = value();
            if (!v || !number(v, n) || n > 0xFFFFFFFFULL)
                return usage(), 2;
            options.stcoEntryCount = uint32_t(n);
        } else if (arg == "--offset-beyond-end") {
            options.lastOffsetBeyondEnd = true;
        } else if (arg == "--truncate") {
            const char* v = value();
            if (!v || !number(v, n))
                return usage(), 2;
            options.truncateTo = n;
        } else if (arg == "--offsets") {
            offsets = true;
        } else if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            return usage(), 2;
        } else if (input.empty()) {
            input = arg;
        } else if (output.empty()) {
            output = arg;
        } else {
            return usage(), 2;
        }
    }
    if (input.empty() || output.empty())
        return usage(), 2;
    std::string error;
    if (!telemetry.empty()) {
        options.telemetry = readTelemetryDescription(telemetry, &error);
        if (!options.telemetry) {
            std::fprintf(stderr, "daxo-make-recording: %s\n", error.c_str());
            return 1;
        }
    }
    const WriteResult result = writeRecording(input, output, options);
    if (!result.ok) {
        std::fprintf(stderr, "daxo-make-recording: %s\n", result.error.c_str());
        return 1;
    }
    for (uint64_t offset : offsets ? result.recordOffsets : std::vector<uint64_t>{})
        std::printf("%llu\n", static_cast<unsigned long long>(offset));
    return 0;
}
