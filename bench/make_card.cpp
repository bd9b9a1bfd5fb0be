// SPDX-License-Identifier: GPL-3.0-or-later
// Makes a card of N one-minute groups at a driver's scale in seconds and a few MB of disk: a
// front the size a minute of 4K takes, with telemetry at the chosen record rate, and a rear the
// size of a minute of 1080p, the media left as holes.
//
//   make_card DIR [--groups N] [--rate RECORDS_PER_MINUTE]
#include "tools/ZLXCardMaker.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {

bool ffmpeg(const std::string& arguments) {
    const std::string command = "ffmpeg -nostdin -y -loglevel error " + arguments;
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_card DIR [--groups N] [--rate RECORDS_PER_MINUTE]\n");
        return 2;
    }
    daxo::tools::CardOptions options;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--groups")
            options.groups = std::atoi(argv[i + 1]);
        else if (flag == "--rate")
            options.recordsPerMinute = std::atoi(argv[i + 1]);
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    // One-minute movies whose boxes hold the sample tables of a minute at 30 frames/s (and
    // the front's sound), tiny pictures: their media is replaced by holes anyway.
    const std::filesystem::path work = std::filesystem::temp_directory_path() / ("make_card." + std::to_string(::getpid()));
    std::filesystem::create_directories(work);
    options.frontInput = (work / "front.mp4").string();
    options.rearInput = (work / "rear.mp4").string();
    const bool made =
        ffmpeg("-f lavfi -i color=c=gray:s=64x36:r=30:d=60 -f lavfi -i sine=d=60 -c:v libx264 -g 30 -preset ultrafast "
               "-c:a aac -b:a 16k -brand avc1 '" + options.frontInput + "'") &&
        ffmpeg("-f lavfi -i color=c=gray:s=64x36:r=30:d=60 -c:v libx264 -g 30 -preset ultrafast -brand avc1 '" +
               options.rearInput + "'");
    const daxo::tools::CardResult result =
        made ? daxo::tools::makeCard(dir.string(), options) : daxo::tools::CardResult{false, "ffmpeg failed", 0};
    std::filesystem::remove_all(work);
    if (!result.ok) {
        std::fprintf(stderr, "make_card: %s\n", result.error.c_str());
        return 1;
    }
    std::printf("%d files in %s\n", result.files, dir.c_str());
    return 0;
}
