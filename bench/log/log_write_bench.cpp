// The cost of one Logger::Write while the worker runs, next to one
// fprintf + fflush of the same line into a file.
//
//   build/release/bench/log/log_write_bench --benchmark_repetitions=9
//       --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "log/logger.h"
#include "platform/process_id.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder for the run's files, removed at the end.
class ScratchDir {
  public:
    ScratchDir()
        : path_(fs::temp_directory_path() /
                ("zqlogbench-" + std::to_string(platform::CurrentProcessId()))) {
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path File(const char* name) const { return path_ / name; }

  private:
    fs::path path_;
};

const char kFormat[] = "[%s][%d]Call FindFirstFile failed: %d";

void BM_LoggerWrite(benchmark::State& state) {
    ScratchDir dir;
    const fs::path log = dir.File("ZQCindervane.log");
    if (g_Logger.Init(log.native().c_str()) != 1) {
        state.SkipWithError("the logger did not start");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(g_Logger.Write(kFormat, "ScanFolder", 123, 5));
    }
    g_Logger.Stop();  // after the timed loop: the drain is not a Write's cost
}
BENCHMARK(BM_LoggerWrite);

void BM_FprintfFlush(benchmark::State& state) {
    ScratchDir dir;
    const fs::path file = dir.File("plain.log");
    std::FILE* out = std::fopen(file.string().c_str(), "ab");
    if (out == nullptr) {
        state.SkipWithError("cannot open the file");
        return;
    }
    // The same line as the logger's: timestamp, two spaces, message, CR LF.
    const std::string format = std::string("%d-%d-%d %02d:%02d:%02d %03d  ") + kFormat + "\r\n";
    for (auto _ : state) {
        std::fprintf(out, format.c_str(), 2026, 12, 10, 12, 34, 56, 789, "ScanFolder", 123, 5);
        std::fflush(out);
    }
    std::fclose(out);
}
BENCHMARK(BM_FprintfFlush);

}  // namespace

BENCHMARK_MAIN();
