// SPDX-License-Identifier: GPL-3.0-or-later
// An ordinary MP4 made by ffmpeg, for the toolkit-free tests.
#pragma once

#include <cstdlib>
#include <string>

namespace daxo::test {

// Returns true when ffmpeg wrote `path`: `seconds` of 320 x 240 H.264, with an AAC tone
// unless silent.
inline bool ffmpegMp4(const std::string& path, int seconds, bool withAudio = true) {
    std::string command = "ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc=duration=" +
                          std::to_string(seconds) + ":size=320x240:rate=25";
    if (withAudio)
        command += " -f lavfi -i sine=duration=" + std::to_string(seconds) + " -c:a aac";
    command += " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -brand avc1 '" + path + "'";
    return std::system(command.c_str()) == 0;
}

} // namespace daxo::test
