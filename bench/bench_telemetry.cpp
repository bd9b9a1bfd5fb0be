// SPDX-License-Identifier: GPL-3.0-or-later
// Telemetry extraction of given recordings (warm cache): time, records, and the bytes the
// process read for it (/proc/self/io rchar).
//   bench_telemetry --file=NAME:PATH [--file=NAME:PATH ...] [benchmark flags]
#include "telemetry/ZLXBlackBoxData.h"
#include "library/ZLXLog.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

uint64_t readChars() {
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:")
            return value;
    }
    return 0;
}

void extract(benchmark::State& state, const std::string& path) {
    daxo::ZLXBlackBoxData data;
    uint64_t chars = 0, walked = 0;
    for (auto _ : state) {
        const uint64_t before = readChars();
        if (!data.ExtractStreamInformation(path.c_str()))
            state.SkipWithError("not a recording with telemetry");
        chars = readChars() - before;
        walked = data.bytesRead();
    }
    state.counters["records"] = double(data.m_Times.size());
    state.counters["bytes_read"] = double(chars);
    state.counters["walk_bytes"] = double(walked);
}

} // namespace

int main(int argc, char** argv) {
    daxo::setLogQuiet(true);
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--file=", 7) == 0) {
            const std::string option = argv[i] + 7;
            const size_t colon = option.find(':');
            files.emplace_back(option.substr(0, colon), option.substr(colon + 1));
            argv[i--] = argv[--argc];
        }
    }
    for (const auto& [name, path] : files)
        benchmark::RegisterBenchmark(("BM_Extract/" + name).c_str(), extract, path)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
