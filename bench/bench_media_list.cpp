// SPDX-License-Identifier: GPL-3.0-or-later
// The walk, sort and pairing of a folder of recordings (warm cache).
//   bench_media_list [--folder=DIR] [benchmark flags]
// Without --folder, a card of 15000 empty recordings is laid out in a temporary folder first.
#include "library/ZLXMediaList.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string g_folder;

// Makes `count` recordings as the camera names them: front and rear of one-minute groups,
// with an event or motion group now and then, spread over four folders.
std::string makeCard(int count) {
    std::string root = (std::filesystem::temp_directory_path() / "daxo-bench-XXXXXX").string();
    if (!mkdtemp(root.data()))
        return {};
    const char* folders[] = {"/Normal", "/Event", "/Motion", "/Parking"};
    for (const char* f : folders)
        std::filesystem::create_directory(root + f);
    char name[96];
    for (int i = 0; i < count; ++i) {
        const int group = i / 2;
        const int kind = group % 17 == 0 ? 1 : group % 11 == 0 ? 2 : 0;
        const char* prefix[] = {"alwa", "event", "motion"};
        const int minute = group % 60, hour = group / 60 % 24, day = 1 + group / 1440 % 28;
        std::snprintf(name, sizeof name, "%s/%s_202405%02d_%02d%02d00_%c.MP4", folders[kind],
                      prefix[kind], day, hour, minute, i % 2 ? 'R' : 'F');
        std::ofstream(root + name).flush();
    }
    return root;
}

void BM_MediaListBuild(benchmark::State& state) {
    size_t records = 0;
    for (auto _ : state) {
        auto contents = daxo::ZLXMediaList::build(g_folder);
        records = contents.medias.size();
        benchmark::DoNotOptimize(contents);
    }
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_MediaListBuild)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    bool made = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--folder=", 9) == 0) {
            g_folder = argv[i] + 9;
            argv[i--] = argv[--argc]; // drop it from benchmark's own flags
        }
    }
    if (g_folder.empty()) {
        g_folder = makeCard(15000);
        made = true;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (made)
        std::filesystem::remove_all(g_folder);
    return 0;
}
